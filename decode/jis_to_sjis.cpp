#include "decode/decode.hpp"

static constexpr unsigned char ESC = 0x1B;

// Number of bytes before the terminator among the count bytes at text, at most count.
static int
bytes_present(const char *text, int count)
{
    int k = 0;
    while (k < count && text[k] != '\0')
        ++k;
    return k;
}

void
read_jis_escape(const char *line, int *read_index, jis_mode *mode)
{
    const char *esc = line + *read_index;
    // A sequence cut by the terminator is dropped up to it and changes nothing; no byte past
    // the terminator is read.
    const int present = bytes_present(esc, 3);
    if (present < 3) {
        *read_index += present;
        return;
    }
    if (esc[1] == '$') {
        // ESC $ ( F selects a two-byte set in four bytes (JIS X 0212 among them), ESC $ F in
        // three; every two-byte set is converted with the JIS X 0208 arithmetic.
        if (esc[2] == '(') {
            if (esc[3] == '\0') {
                *read_index += 3;
                return;
            }
            *read_index += 1;
        }
        *mode = JIS_KANJI;
    } else if (esc[1] == '&') {
        *mode = JIS_KANJI;
    } else if (esc[1] == '(') {
        if (esc[2] == 'B' || esc[2] == 'J')
            *mode = JIS_ASCII;
        else if (esc[2] == 'I')
            *mode = JIS_KANA;
    }
    // Unknown sequences are dropped with three bytes and leave the mode as it was.
    *read_index += 3;
}

// Writes the Shift_JIS pair for the JIS X 0208 pair c1 c2; every step keeps 8 bits.
static void
convert_pair(unsigned char c1, unsigned char c2, char *out)
{
    unsigned char s1;
    unsigned char s2;
    if (c1 & 1) {
        s1 = static_cast<unsigned char>(((c1 + 1) >> 1) + 0x70);
        s2 = static_cast<unsigned char>(c2 + 0x1F);
    } else {
        s1 = static_cast<unsigned char>((c1 >> 1) + 0x70);
        s2 = static_cast<unsigned char>(c2 + 0x7D);
    }
    if (s1 >= 0xA0)
        s1 = static_cast<unsigned char>(s1 + 0x40);
    if (s2 >= 0x7F)
        s2 = static_cast<unsigned char>(s2 + 1);
    out[0] = static_cast<char>(s1);
    out[1] = static_cast<char>(s2);
}

void
jis_to_sjis(char *line)
{
    int r = 0;
    int w = 0;
    jis_mode mode = JIS_ASCII;
    // Escape sequences are read but never written, so w never passes r and the bytes still
    // to be read are never overwritten.
    while (line[r] != '\0') {
        const auto c = static_cast<unsigned char>(line[r]);
        if (c == ESC) {
            read_jis_escape(line, &r, &mode);
            continue;
        }
        if (mode == JIS_KANJI && line[r + 1] != '\0') {
            convert_pair(c, static_cast<unsigned char>(line[r + 1]), line + w);
            r += 2;
            w += 2;
        } else if (mode == JIS_KANA) {
            line[w++] = static_cast<char>(c + 0x80);
            ++r;
        } else {
            // ASCII, and the lone last byte of a two-byte run: half a pair is no character,
            // so it is kept as it stands (a "\n" left over keeps the line end).
            line[w++] = static_cast<char>(c);
            ++r;
        }
    }
    line[w] = '\0';
}
