#include "decode/decode.hpp"

#include "decode/internal.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <string_view>

// The 6-bit value of byte c in the base64 alphabet. Every byte outside it ('=', CR, LF,
// space, tab, NUL, bytes from 0x80 up) has the value 0.
static constexpr std::uint32_t
alphabet_value(int c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<std::uint32_t>(c - 'A');
    if (c >= 'a' && c <= 'z')
        return static_cast<std::uint32_t>(26 + c - 'a');
    if (c >= '0' && c <= '9')
        return static_cast<std::uint32_t>(52 + c - '0');
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 0;
}

// Indexed by the unsigned value of a source character: B64_PLACE[k] holds its value already
// shifted to the place of the k-th character of a group in the group's 24 bits, so that a
// group is four lookups joined by OR.
static constexpr std::array<std::array<std::uint32_t, 256>, 4> B64_PLACE = [] {
    std::array<std::array<std::uint32_t, 256>, 4> table{};
    for (int c = 0; c < 256; ++c) {
        const std::uint32_t v = alphabet_value(c);
        const auto i = static_cast<std::size_t>(c);
        table[0][i] = v << 18;
        table[1][i] = v << 12;
        table[2][i] = v << 6;
        table[3][i] = v;
    }
    return table;
}();

// Whether byte c is in the base64 alphabet.
static constexpr std::array<bool, 256> B64_ALPHABET = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[static_cast<std::size_t>(c)] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                             (c >= '0' && c <= '9') || c == '+' || c == '/';
    return table;
}();

bool
is_base64_char(char c)
{
    return B64_ALPHABET[static_cast<unsigned char>(c)];
}

// Four characters to three bytes: the 24 bits of the group, high byte first. The places never
// share a set bit, so OR is their sum. All four characters are read before the first store: a
// store through d could alias the source.
static inline void
decode_group(const unsigned char *s, unsigned char *d)
{
    const std::uint32_t bits =
        B64_PLACE[0][s[0]] | B64_PLACE[1][s[1]] | B64_PLACE[2][s[2]] | B64_PLACE[3][s[3]];
    d[0] = static_cast<unsigned char>(bits >> 16);
    d[1] = static_cast<unsigned char>(bits >> 8);
    d[2] = static_cast<unsigned char>(bits);
}

// Decodes the groups from `first` to `whole` - 1, all of which lie before the terminator, and
// stops early at a group that begins with "\n". Returns the number of groups decoded from the
// start of the line and sets *line_end when a group start held "\n".
static std::size_t
decode_whole_groups(const unsigned char *s, unsigned char *d, std::size_t first, std::size_t whole,
                    bool *line_end)
{
    std::size_t g = first;
    // Four groups per pass with one test of their four first characters: a "\n" can only end
    // a line at a group start, so the other twelve characters need no test at all.
    while (g + 4 <= whole) {
        const unsigned char *q = s + 4 * g;
        if ((q[0] == '\n') | (q[4] == '\n') | (q[8] == '\n') | (q[12] == '\n'))
            break;
        unsigned char *o = d + 3 * g;
        decode_group(q, o);
        decode_group(q + 4, o + 3);
        decode_group(q + 8, o + 6);
        decode_group(q + 12, o + 9);
        g += 4;
    }
    for (; g < whole; ++g) {
        if (s[4 * g] == '\n') {
            *line_end = true;
            break;
        }
        decode_group(s + 4 * g, d + 3 * g);
    }
    return g;
}

// The bytes that the first g groups of the text s (len characters) decode to: three a group,
// less the padding. Only the last two places of the last group can mark padding, and only
// where they hold a character before the terminator.
static std::size_t
padded_count(const unsigned char *s, std::size_t len, std::size_t g)
{
    std::size_t count = 3 * g;
    if (g > 0) {
        if (4 * g - 1 < len && s[4 * g - 1] == '=')
            --count;
        if (4 * g - 2 < len && s[4 * g - 2] == '=')
            --count;
    }
    return count;
}

// decode_base64_text with the vector loop of path.
static void
decode_base64_text_on(base64_path path, std::string_view text, std::span<char> dst,
                      std::int32_t *length_out)
{
    assert(!dst.empty());
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    auto *d = reinterpret_cast<unsigned char *>(dst.data());
    std::size_t len = text.size();
    // Groups whose three bytes fit in dst before its terminator; a smaller dst than the
    // contract asks for cuts the line rather than overrun.
    const std::size_t room = (dst.size() - 1) / 3;
    std::size_t whole = len / 4;
    if (whole > room)
        whole = room;

    // Each group decodes on its own, so the table loop can go on wherever the vector loop
    // stopped: the line end, the cut group and the padding are all found by the table loop.
    const std::size_t first = path == B64_PORTABLE ? 0 : decode_alphabet_groups(path, s, d, whole);
    // A NUL ends the text as a terminator would. The vector loop stops before any group that
    // holds one, so only the rest of the text is searched.
    const char *nul = find_byte(text.data() + 4 * first, '\0', len - 4 * first);
    if (nul != nullptr) {
        len = static_cast<std::size_t>(nul - text.data());
        whole = std::min(len / 4, room);
    }
    bool line_end = false;
    std::size_t g = decode_whole_groups(s, d, first, whole, &line_end);
    const std::size_t rest = len - 4 * g;
    if (!line_end && g < room && rest > 0 && rest < 4 && s[4 * g] != '\n') {
        // A last group cut by the terminator: the characters present decode in their places,
        // the terminator and the places after it count 0, and the group counts three bytes.
        unsigned char cut[4] = {0, 0, 0, 0};
        std::memcpy(cut, s + 4 * g, rest);
        decode_group(cut, d + 3 * g);
        ++g;
    }

    const std::size_t count = padded_count(s, len, g);
    d[count] = 0;
    assert(count <= INT32_MAX);
    *length_out = static_cast<std::int32_t>(count);
}

// Decodes the run of whole groups of alphabet characters at the start of s, at most groups of
// them, as decode_alphabet_groups does but to its end: the vector loop first, where path has
// one, then the tables, each group checked first. Returns the number of groups decoded.
static std::size_t
decode_checked_groups(base64_path path, const unsigned char *s, unsigned char *d,
                      std::size_t groups)
{
    const std::size_t first = path == B64_PORTABLE ? 0 : decode_alphabet_groups(path, s, d, groups);
    for (std::size_t g = first; g < groups; ++g) {
        const unsigned char *q = s + 4 * g;
        if (!(B64_ALPHABET[q[0]] && B64_ALPHABET[q[1]] && B64_ALPHABET[q[2]] && B64_ALPHABET[q[3]]))
            return g;
        decode_group(q, d + 3 * g);
    }
    return groups;
}

// Length of the text of the line at s (rest raw bytes) when it ends in CR LF within max_text
// characters, or 0. The line before is usually as long: that length is tried first.
static std::size_t
crlf_line_length(const unsigned char *s, std::size_t rest, std::size_t max_text, std::size_t guess)
{
    if (guess > 0 && guess + 2 <= rest && s[guess] == '\r' && s[guess + 1] == '\n')
        return guess;  // a CR or LF before them is not in the alphabet and stops the decoder
    const char *line = reinterpret_cast<const char *>(s);
    const char *lf = find_byte(line, '\n', std::min(rest, max_text + 2));
    if (lf == nullptr)
        return 0;
    const auto k = static_cast<std::size_t>(lf - line);
    return (k >= 2 && s[k - 1] == '\r') ? k - 1 : 0;
}

base64_run
decode_base64_lines_on(base64_path path, std::string_view raw, std::size_t max_text,
                       std::span<char> dst)
{
    const auto *s = reinterpret_cast<const unsigned char *>(raw.data());
    auto *d = reinterpret_cast<unsigned char *>(dst.data());
    base64_run run;
    std::size_t text_len = 0;
    for (;;) {
        const std::size_t pos = run.consumed;
        text_len = crlf_line_length(s + pos, raw.size() - pos, max_text, text_len);
        const std::size_t groups = text_len / 4;
        if (text_len == 0 || text_len % 4 != 0)
            break;
        // the lines of this length that fit in raw and in dst, taken by the vector loop while
        // they keep to it
        const std::size_t stride = text_len + 2;
        const std::size_t fit =
            std::min((raw.size() - pos) / stride, (dst.size() - run.decoded) / (3 * groups));
        if (fit == 0)
            break;
        std::size_t lines = decode_alphabet_lines(path, s + pos, text_len, fit, d + run.decoded);
        if (lines == 0) {
            if (decode_checked_groups(path, s + pos, d + run.decoded, groups) != groups)
                break;
            lines = 1;
        }
        run.last_line = pos + (lines - 1) * stride;
        run.consumed = pos + lines * stride;
        run.decoded += lines * 3 * groups;
        run.lines += lines;
    }
    return run;
}

base64_run
decode_base64_lines(std::string_view raw, std::size_t max_text, std::span<char> dst)
{
    return decode_base64_lines_on(best_base64_path(), raw, max_text, dst);
}

const char *
base64_path_name(base64_path path)
{
    switch (path) {
    case B64_AVX2:
        return "avx2";
    case B64_SSSE3:
        return "ssse3";
    case B64_PORTABLE:
        break;
    }
    return "portable";
}

void
decode_base64_line_on(base64_path path, const char *src, std::span<char> dst,
                      std::int32_t *length_out)
{
    decode_base64_text_on(path, std::string_view(src), dst, length_out);
}

void
decode_base64_line(const char *src, std::span<char> dst, std::int32_t *length_out)
{
    decode_base64_text_on(best_base64_path(), std::string_view(src), dst, length_out);
}

void
decode_base64_text(std::string_view text, std::span<char> dst, std::int32_t *length_out)
{
    decode_base64_text_on(best_base64_path(), text, dst, length_out);
}

void
decode_base64_line_exact(const char *src, std::span<char> dst, std::int32_t *length_out)
{
    decode_base64_line_on(B64_PORTABLE, src, dst, length_out);
}
