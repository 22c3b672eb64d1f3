// Test builds link this in place of the real sleep: waits are added up, never taken. When
// FENWRACK_SLEEP_LOG names a file, each wait is also appended to it as a line of milliseconds,
// so a test sees the waits a program under test asked for.
#include "platform/platform.hpp"

#include <cstdio>
#include <cstdlib>

int fake_sleep_total_ms = 0;

void
sleep_ms(int milliseconds)
{
    std::fflush(stdout);
    fake_sleep_total_ms += milliseconds;
    const char *log = std::getenv("FENWRACK_SLEEP_LOG");
    if (log == nullptr || *log == '\0')
        return;
    if (std::FILE *file = std::fopen(log, "ab")) {
        std::fprintf(file, "%d\n", milliseconds);
        std::fclose(file);
    }
}
