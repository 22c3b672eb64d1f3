// Test builds link this in place of the real sleep: waits are added up, never taken.
#include "platform/platform.hpp"

#include <cstdio>

int fake_sleep_total_ms = 0;

void
sleep_ms(int milliseconds)
{
    std::fflush(stdout);
    fake_sleep_total_ms += milliseconds;
}
