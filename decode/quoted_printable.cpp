#include "decode/decode.hpp"

#include <array>
#include <cassert>
#include <cstring>
#include <string_view>

static constexpr unsigned char NOT_HEX = 0xFF;

static constexpr std::array<unsigned char, 256> HEX_VALUE = [] {
    std::array<unsigned char, 256> table{};
    table.fill(NOT_HEX);
    for (int k = 0; k < 10; ++k)
        table[static_cast<std::size_t>('0' + k)] = static_cast<unsigned char>(k);
    for (int k = 0; k < 6; ++k) {
        table[static_cast<std::size_t>('A' + k)] = static_cast<unsigned char>(10 + k);
        table[static_cast<std::size_t>('a' + k)] = static_cast<unsigned char>(10 + k);
    }
    return table;
}();

// White space as the C locale's isspace has it.
static bool
is_c_space(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Value of the escape text t0 t1 read as a base-16 number the way strtol reads a two-byte
// string, low 8 bits kept: leading white space and one sign are accepted, digits are taken
// up to the first other byte, and no digit gives 0. A "0x" prefix counts only with a digit
// after it, for which two bytes leave no room, so "0x" reads as the digit 0. t1 is 0 when the
// escape text is one byte long.
static unsigned char
escape_value(unsigned char t0, unsigned char t1)
{
    const unsigned char v0 = HEX_VALUE[t0];
    const unsigned char v1 = HEX_VALUE[t1];
    if (v0 != NOT_HEX)
        return v1 != NOT_HEX ? static_cast<unsigned char>(v0 * 16 + v1) : v0;
    if (v1 == NOT_HEX)
        return 0;
    if (is_c_space(t0) || t0 == '+')
        return v1;
    if (t0 == '-')
        return static_cast<unsigned char>(0x100 - v1);
    return 0;
}

// Copies the plain bytes of text from *i up to the next '=' (or the text's end) into room
// from *count on, each "\n" becoming CR LF, as far as room holds them; advances *i and *count.
// Runs between escapes are short in Japanese text (most bytes are escapes): a byte loop beats
// a search.
static void
copy_plain_run(std::string_view text, std::size_t *i, std::span<char> room, std::size_t *count)
{
    std::size_t k = *i;
    std::size_t n = *count;
    for (; k < text.size() && text[k] != '=' && n < room.size(); ++k) {
        if (text[k] != '\n') {
            room[n++] = text[k];
            continue;
        }
        room[n++] = '\r';
        if (n < room.size())
            room[n++] = '\n';
    }
    *i = k;
    *count = n;
}

void
decode_qp_text(std::string_view text, bool line_feed, std::span<char> dst, std::int32_t *length_out)
{
    assert(!dst.empty());
    const char *src = text.data();
    const std::size_t len = text.size();
    // The line as a string: text, the line feed when there is one, then the terminator.
    const std::size_t total = len + (line_feed ? 1 : 0);
    const auto at = [&](std::size_t k) -> unsigned char {
        if (k < len)
            return static_cast<unsigned char>(src[k]);
        return (k == len && line_feed) ? '\n' : '\0';
    };
    // Output that would not fit before dst's terminator is dropped: the contract asks for
    // len + 2 bytes, and a smaller dst cuts the line instead of overrunning it.
    const std::size_t room = dst.size() - 1;
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < total && count < room) {
        if (i == len) {
            // the line feed after the text becomes CR LF
            dst[count++] = '\r';
            if (count < room)
                dst[count++] = '\n';
            break;
        }
        if (src[i] != '=') {
            copy_plain_run(text, &i, dst.first(room), &count);
            continue;
        }
        const unsigned char t0 = at(i + 1);
        // A "\n" right after '=' is a soft break and ends the line. A lone '=' before the
        // terminator ends it too, with nothing written: an escape needs at least one byte of
        // text, and a zero byte made from nothing would only corrupt the output.
        if (t0 == '\n' || t0 == '\0')
            break;
        // An escape consumes both bytes after '=', digits or not; only the terminator may cut
        // it to one, and the escape's value then comes from that one byte.
        const unsigned char t1 = at(i + 2);
        dst[count++] = static_cast<char>(escape_value(t0, t1));
        i = t1 == '\0' ? total : i + 3;
    }
    dst[count] = '\0';
    assert(count <= INT32_MAX);
    *length_out = static_cast<std::int32_t>(count);
}

void
decode_qp_line(const char *src, std::span<char> dst, std::int32_t *length_out)
{
    decode_qp_text(std::string_view(src), false, dst, length_out);
}
