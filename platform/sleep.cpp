#include "platform/platform.hpp"

#include <chrono>
#include <cstdio>
#include <thread>

void
sleep_ms(int milliseconds)
{
    std::fflush(stdout);  // the message before a pause is seen during it
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
