#include "platform/platform.hpp"

#include "platform/internal.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// The console is the C library's standard streams. Standard output stays in text mode, so on
// Windows the C runtime stores each "\n" as CR LF, as a console program there does. To a pipe
// or a file the bytes go as they are: they are cp932 already. Only a terminal that shows
// another encoding gets them converted (console_posix.cpp, console_windows.cpp).

// What one console stream needs: whether it is a terminal and whether it is converted (decided
// at its first use), and the lead byte of a double-byte character whose trail byte has not been
// written yet.
struct console_sink {
    bool decided = false;
    bool terminal = false;
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

static bool
is_cp932_trail(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

std::size_t
shown_name_character(std::string_view name, std::size_t k, char *shown_out)
{
    const auto c = static_cast<unsigned char>(name[k]);
    if (is_cp932_lead(c) && k + 1 < name.size() &&
        is_cp932_trail(static_cast<unsigned char>(name[k + 1]))) {
        shown_out[0] = name[k];
        shown_out[1] = name[k + 1];
        return 2;
    }
    // a lead byte alone would take the next byte, an escape or a line end, into its character
    shown_out[0] = (c < 0x20 || c == 0x7F || is_cp932_lead(c)) ? '?' : name[k];
    return 1;
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
        sink->terminal = stream_is_terminal(stream);
        sink->convert = sink->terminal && terminal_needs_conversion(stream);
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

// Appends name to text as stream shows names: on a terminal as shown_name_character has it,
// elsewhere every byte as it is.
static void
append_name(std::string *text, console_stream stream, std::string_view name)
{
    if (!sink_of(stream)->terminal) {
        text->append(name);
        return;
    }
    char shown[2];
    for (std::size_t k = 0; k < name.size();) {
        const std::size_t len = shown_name_character(name, k, shown);
        text->append(shown, len);
        k += len;
    }
}

// Appends to text what vsnprintf makes of format with args.
[[gnu::format(printf, 2, 0)]] static void
append_formatted(std::string *text, const char *format, std::va_list args)
{
    std::va_list again;
    va_copy(again, args);
    char small[256];
    const int len = std::vsnprintf(small, sizeof small, format, args);
    if (len >= 0 && static_cast<std::size_t>(len) < sizeof small) {
        text->append(small, static_cast<std::size_t>(len));
    } else if (len >= 0) {
        std::vector<char> longer(static_cast<std::size_t>(len) + 1);
        std::vsnprintf(longer.data(), longer.size(), format, again);
        text->append(longer.data(), static_cast<std::size_t>(len));
    }
    va_end(again);
}

// Formats like vsnprintf into text, showing each "%s" argument as a name of stream. The
// program's formats hold "%s", "%d" and "%%"; from any other conversion on, the rest of the
// format goes to vsnprintf as it is.
[[gnu::format(printf, 3, 0)]] static void
format_console_text(std::string *text, console_stream stream, const char *format, std::va_list args)
{
    std::va_list rest;
    va_copy(rest, args);
    const std::string_view whole(format);
    if (whole == "%s") {
        text->append(va_arg(rest, const char *));  // a whole message, passed as it is
        va_end(rest);
        return;
    }
    std::size_t k = 0;
    while (k < whole.size()) {
        const std::size_t percent = whole.find('%', k);
        text->append(whole.substr(k, percent - k));
        if (percent == std::string_view::npos || percent + 1 >= whole.size())
            break;
        const char conversion = whole[percent + 1];
        if (conversion == 's') {
            append_name(text, stream, va_arg(rest, const char *));
        } else if (conversion == 'd') {
            text->append(std::to_string(va_arg(rest, int)));
        } else if (conversion == '%') {
            text->push_back('%');
        } else {
            append_formatted(text, format + percent, rest);
            break;
        }
        k = percent + 2;
    }
    va_end(rest);
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
    std::string text;
    format_console_text(&text, CONSOLE_OUT, format, args);
    console_write(text);
}

void
console_error(std::string_view text)
{
    clear_progress_line();
    std::fflush(stdout);  // a message and its reason keep their order on a shared terminal
    write_to(CONSOLE_ERR, text);
}

void
console_error_printf(const char *format, ...)
{
    std::string text;
    std::va_list args;
    va_start(args, format);
    format_console_text(&text, CONSOLE_ERR, format, args);
    va_end(args);
    console_error(text);
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
