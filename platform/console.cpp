#include "platform/platform.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// The console is the C library's standard streams on every platform. Standard output stays in
// text mode, so on Windows the C runtime stores each "\n" as CR LF, as a console program there
// does. Nothing else is converted: the bytes are cp932 already.

void
console_write(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void
console_printf(const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    console_vprintf(format, args);
    va_end(args);
}

void
console_vprintf(const char *format, std::va_list args)
{
    std::vprintf(format, args);
}

void
console_error(std::string_view text)
{
    std::fflush(stdout);  // a message and its reason keep their order on a shared terminal
    std::fwrite(text.data(), 1, text.size(), stderr);
}

bool
console_read_line(std::span<char> line)
{
    std::fflush(stdout);
    return std::fgets(line.data(), static_cast<int>(line.size()), stdin) != nullptr;
}

void
exit_process(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}
