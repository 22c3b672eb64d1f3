#include "support/support.hpp"

#include "platform/platform.hpp"

#include <cstdarg>
#include <cstdio>

void
fail_run(const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    console_vprintf(format, args);
    va_end(args);
    sleep_ms(3000);
    exit_process(1);
}
