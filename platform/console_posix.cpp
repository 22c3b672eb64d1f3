#include "platform/platform.hpp"

#include "platform/internal.hpp"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

// A terminal shows the codeset of the user's locale. The texts are converted to it with iconv;
// a Shift_JIS terminal takes them as they are.

static const iconv_t NO_CONVERTER = reinterpret_cast<iconv_t>(-1);

// One converter per stream: a stateful target encoding keeps its shift state per stream.
static iconv_t converters[2] = {NO_CONVERTER, NO_CONVERTER};

static constexpr std::size_t CODESET_SIZE = 64;

// Codeset names that need no conversion.
static constexpr const char *CP932_CODESETS[] = {"SHIFT_JIS", "SHIFT-JIS",   "SJIS",
                                                 "CP932",     "WINDOWS-31J", "MS_KANJI"};

static std::FILE *
stream_file(console_stream stream)
{
    return stream == CONSOLE_OUT ? stdout : stderr;
}

// Equal ignoring ASCII case (the C library's folding would follow the locale).
static bool
equal_nocase(const char *a, const char *b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const char fa = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
        const char fb = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
        if (fa != fb)
            return false;
    }
    return *a == *b;
}

// Stores the codeset of the user's LC_CTYPE (LC_ALL, LC_CTYPE, LANG) in codeset. Only this
// query sees that locale: the former one is put back at once, so no case folding, character
// class, number parsing or message anywhere else depends on the user's settings. An unknown
// locale leaves the C locale, whose codeset is ASCII ("ANSI_X3.4-1968").
static void
read_user_codeset(std::span<char> codeset)
{
    // kept in a buffer of ours: setlocale's own text changes with the next call
    char former[256];
    const char *current = std::setlocale(LC_CTYPE, nullptr);
    const int len = std::snprintf(former, sizeof former, "%s", current != nullptr ? current : "C");
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof former)
        std::snprintf(former, sizeof former, "C");
    std::setlocale(LC_CTYPE, "");
    std::snprintf(codeset.data(), codeset.size(), "%s", nl_langinfo(CODESET));
    std::setlocale(LC_CTYPE, former);
}

bool
stream_is_terminal(console_stream stream)
{
    return isatty(fileno(stream_file(stream))) != 0;
}

int
terminal_columns(console_stream stream)
{
    winsize size = {};
    if (ioctl(fileno(stream_file(stream)), TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return DEFAULT_COLUMNS;
    return size.ws_col;
}

bool
terminal_needs_conversion(console_stream stream)
{
    if (!stream_is_terminal(stream))
        return false;
    static char codeset[CODESET_SIZE];
    if (codeset[0] == '\0')
        read_user_codeset(codeset);
    for (const char *name : CP932_CODESETS) {
        if (equal_nocase(codeset, name))
            return false;
    }
    // Without a converter for this codeset (or none at all), ASCII is shown and '?' for the rest.
    converters[stream] = iconv_open(codeset, "CP932");
    return true;
}

// Converted bytes on their way to the stream, written in pieces.
struct terminal_output {
    std::FILE *file = nullptr;
    char bytes[1024];
    std::size_t len = 0;
};

static void
flush_output(terminal_output *out)
{
    std::fwrite(out->bytes, 1, out->len, out->file);
    out->len = 0;
}

static void
put_byte(terminal_output *out, char c)
{
    if (out->len == sizeof out->bytes)
        flush_output(out);
    out->bytes[out->len++] = c;
}

// Bytes of the character at the start of text (left > 0 bytes): 2 for a lead byte with a
// possible trail byte after it, else 1.
static std::size_t
character_length(const char *text, std::size_t left)
{
    if (left < 2 || !is_cp932_lead(static_cast<unsigned char>(text[0])))
        return 1;
    const auto trail = static_cast<unsigned char>(text[1]);
    return (trail >= 0x40 && trail <= 0xFC && trail != 0x7F) ? 2 : 1;
}

// Converts as much as iconv takes; stops at a character it cannot convert (or the end).
static void
convert_run(iconv_t converter, char **in, std::size_t *in_left, terminal_output *out)
{
    while (*in_left > 0) {
        char *dst = out->bytes + out->len;
        std::size_t room = sizeof out->bytes - out->len;
        const std::size_t result = iconv(converter, in, in_left, &dst, &room);
        out->len = static_cast<std::size_t>(dst - out->bytes);
        if (result != static_cast<std::size_t>(-1))
            return;
        if (errno != E2BIG)
            return;  // EILSEQ or EINVAL: the character at *in is not converted
        flush_output(out);
    }
}

void
terminal_write(console_stream stream, std::string_view text)
{
    terminal_output out;
    out.file = stream_file(stream);
    const iconv_t converter = converters[stream];
    // iconv does not write through its input pointer; its interface merely lacks the const.
    char *in = const_cast<char *>(text.data());
    std::size_t in_left = text.size();
    while (in_left > 0) {
        if (converter != NO_CONVERTER)
            convert_run(converter, &in, &in_left, &out);
        if (in_left == 0)
            break;
        // A character the terminal's encoding lacks (or no converter and not ASCII); a byte
        // that is no cp932 character is shown the same way.
        const std::size_t len = character_length(in, in_left);
        const auto first = static_cast<unsigned char>(in[0]);
        put_byte(&out, converter == NO_CONVERTER && first < 0x80 ? in[0] : '?');
        in += len;
        in_left -= len;
    }
    if (converter != NO_CONVERTER) {
        // back to the initial shift state, so that each write stands alone
        flush_output(&out);
        char *dst = out.bytes;
        std::size_t room = sizeof out.bytes;
        iconv(converter, nullptr, nullptr, &dst, &room);
        out.len = static_cast<std::size_t>(dst - out.bytes);
    }
    flush_output(&out);
}
