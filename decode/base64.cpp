#include "decode/decode.hpp"

#include <cassert>
#include <cstdint>
#include <cstring>
#include <string_view>

// Lookup tables indexed by the unsigned value of a source character. Every character outside
// the alphabet ('=', CR, LF, space, tab, NUL, bytes from 0x80 up) has the value 0. b64_place[k]
// holds the value already shifted to the place of the k-th character of a group in the group's
// 24 bits, so that a group is four lookups joined by OR.
static unsigned char b64_value[256];
static std::uint32_t b64_place[4][256];

void
init_base64_tables()
{
    for (int k = 0; k < 26; ++k) {
        b64_value['A' + k] = static_cast<unsigned char>(k);
        b64_value['a' + k] = static_cast<unsigned char>(26 + k);
    }
    for (int k = 0; k < 10; ++k)
        b64_value['0' + k] = static_cast<unsigned char>(52 + k);
    b64_value[static_cast<unsigned char>('+')] = 62;
    b64_value[static_cast<unsigned char>('/')] = 63;
    for (int c = 0; c < 256; ++c) {
        const std::uint32_t v = b64_value[c];
        b64_place[0][c] = v << 18;
        b64_place[1][c] = v << 12;
        b64_place[2][c] = v << 6;
        b64_place[3][c] = v;
    }
}

// Four characters to three bytes: the 24 bits of the group, high byte first. The places never
// share a set bit, so OR is their sum. All four characters are read before the first store: a
// store through d could alias the source.
static inline void
decode_group(const unsigned char *s, unsigned char *d)
{
    const std::uint32_t bits =
        b64_place[0][s[0]] | b64_place[1][s[1]] | b64_place[2][s[2]] | b64_place[3][s[3]];
    d[0] = static_cast<unsigned char>(bits >> 16);
    d[1] = static_cast<unsigned char>(bits >> 8);
    d[2] = static_cast<unsigned char>(bits);
}

// Decodes the first `whole` groups, all of which lie before the terminator, and stops early at
// a group that begins with "\n". Returns the number of groups decoded and sets *line_end when
// a group start held "\n".
static std::size_t
decode_whole_groups(const unsigned char *s, unsigned char *d, std::size_t whole, bool *line_end)
{
    std::size_t g = 0;
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

void
decode_base64_line(const char *src, std::span<char> dst, std::int32_t *length_out)
{
    decode_base64_text(std::string_view(src), dst, length_out);
}

void
decode_base64_text(std::string_view text, std::span<char> dst, std::int32_t *length_out)
{
    assert(!dst.empty());
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    auto *d = reinterpret_cast<unsigned char *>(dst.data());
    const std::size_t len = text.size();
    // Groups whose three bytes fit in dst before its terminator; a smaller dst than the
    // contract asks for cuts the line rather than overrun.
    const std::size_t room = (dst.size() - 1) / 3;
    std::size_t whole = len / 4;
    if (whole > room)
        whole = room;

    bool line_end = false;
    std::size_t g = decode_whole_groups(s, d, whole, &line_end);
    const std::size_t rest = len - 4 * g;
    if (!line_end && g < room && rest > 0 && rest < 4 && s[4 * g] != '\n') {
        // A last group cut by the terminator: the characters present decode in their places,
        // the terminator and the places after it count 0, and the group counts three bytes.
        unsigned char cut[4] = {0, 0, 0, 0};
        std::memcpy(cut, s + 4 * g, rest);
        decode_group(cut, d + 3 * g);
        ++g;
    }

    std::size_t count = 3 * g;
    // Only the last two places of the last group can mark padding, and only where they hold
    // a character before the terminator.
    if (g > 0) {
        if (4 * g - 1 < len && s[4 * g - 1] == '=')
            --count;
        if (4 * g - 2 < len && s[4 * g - 2] == '=')
            --count;
    }
    d[count] = 0;
    assert(count <= INT32_MAX);
    *length_out = static_cast<std::int32_t>(count);
}
