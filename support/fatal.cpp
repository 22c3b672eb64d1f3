#include "support/support.hpp"

#include "platform/platform.hpp"

#include <cstdarg>
#include <cstdio>

static bool person_pauses = true;

void
set_person_pauses(bool wanted)
{
    person_pauses = wanted;
}

void
pause_for_person(int milliseconds)
{
    if (person_pauses)
        sleep_ms(milliseconds);
}

void
fail_run(const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    console_vprintf(format, args);
    va_end(args);
    pause_for_person(3000);
    exit_process(1);
}

void
fail_run_file(const char *file_name, const char *format, ...)
{
    // first: printing may fail in turn and must not change the reason told
    char reason[REASON_SIZE];
    os_error_text(reason);
    std::va_list args;
    va_start(args, format);
    console_vprintf(format, args);
    va_end(args);
    // "fenwrack: <file>: <reason>\n" as other command-line tools tell it, in one write
    console_error_printf("%s: %s: %s\n", PROGRAM_NAME, file_name, reason);
    pause_for_person(3000);
    exit_process(1);
}
