#include "platform/platform.hpp"

#include "platform/internal.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

// The console is the C library's standard streams. Standard output stays in text mode, so on
// Windows the C runtime stores each "\n" as CR LF, as a console program there does. To a pipe
// or a file the bytes go as they are: they are cp932 already. Only a terminal that shows
// another encoding gets them converted (console_posix.cpp, console_windows.cpp).

// What one console stream needs: whether it is converted (decided at its first write), and
// the lead byte of a double-byte character whose trail byte has not been written yet.
struct console_sink {
    bool decided = false;
    bool convert = false;
    bool has_lead = false;
    char lead = 0;
};

static console_sink sinks[2];

bool
is_cp932_lead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

static std::FILE *
stream_file(console_stream stream)
{
    return stream == CONSOLE_OUT ? stdout : stderr;
}

// A lead byte still waiting when the output ends has no character: the terminal shows '?'.
static void
flush_leads()
{
    for (const console_stream stream : {CONSOLE_OUT, CONSOLE_ERR}) {
        console_sink *sink = &sinks[stream];
        if (sink->has_lead) {
            sink->has_lead = false;
            terminal_write(stream, std::string_view(&sink->lead, 1));
        }
    }
}

static console_sink *
sink_of(console_stream stream)
{
    console_sink *sink = &sinks[stream];
    if (!sink->decided) {
        sink->decided = true;
        sink->convert = terminal_needs_conversion(stream);
        static bool flush_registered = false;
        if (sink->convert && !flush_registered) {
            flush_registered = true;
            std::atexit(flush_leads);  // every end, exit_process or main's return
        }
    }
    return sink;
}

// Hands the terminal whole characters only: a lead byte at the end of text waits for the
// first byte of the next write, so a character written in two pieces is converted whole.
static void
write_converted(console_sink *sink, console_stream stream, std::string_view text)
{
    if (sink->has_lead && !text.empty()) {
        const char pair[2] = {sink->lead, text[0]};
        sink->has_lead = false;
        terminal_write(stream, std::string_view(pair, 2));
        text.remove_prefix(1);
    }
    std::size_t whole = 0;
    while (whole < text.size()) {
        const std::size_t len = is_cp932_lead(static_cast<unsigned char>(text[whole])) ? 2 : 1;
        if (whole + len > text.size())
            break;
        whole += len;
    }
    if (whole > 0)
        terminal_write(stream, text.substr(0, whole));
    if (whole < text.size()) {
        sink->lead = text[whole];
        sink->has_lead = true;
    }
}

static void
write_to(console_stream stream, std::string_view text)
{
    console_sink *sink = sink_of(stream);
    if (sink->convert)
        write_converted(sink, stream, text);
    else
        std::fwrite(text.data(), 1, text.size(), stream_file(stream));
}

void
console_write_raw(std::string_view text)
{
    write_to(CONSOLE_OUT, text);
}

void
console_write(std::string_view text)
{
    clear_progress_line();
    write_to(CONSOLE_OUT, text);
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
    // Formatted first, then written like any text: the bytes are the ones vprintf would write.
    char text[1024];
    std::va_list again;
    va_copy(again, args);
    const int len = std::vsnprintf(text, sizeof text, format, args);
    if (len >= 0 && static_cast<std::size_t>(len) < sizeof text) {
        console_write(std::string_view(text, static_cast<std::size_t>(len)));
    } else if (len >= 0) {
        std::vector<char> longer(static_cast<std::size_t>(len) + 1);
        std::vsnprintf(longer.data(), longer.size(), format, again);
        console_write(std::string_view(longer.data(), static_cast<std::size_t>(len)));
    }
    va_end(again);
}

void
console_error(std::string_view text)
{
    clear_progress_line();
    std::fflush(stdout);  // a message and its reason keep their order on a shared terminal
    write_to(CONSOLE_ERR, text);
}

bool
console_read_line(std::span<char> line)
{
    std::fflush(stdout);  // the prompt is seen before the wait
    std::size_t len = 0;
    int c = 0;
    while (len + 1 < line.size() && (c = std::getc(stdin)) != EOF) {
        line[len++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    if (len == 0 && c == EOF)
        return false;
    if (!line.empty())
        line[len] = '\0';
    // The rest of a longer line is read and dropped: left waiting, it would answer the next
    // question (the final Enter) at once.
    while (c != '\n' && c != EOF)
        c = std::getc(stdin);
    return true;
}

void
exit_process(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}
