// Line decoders for the two MIME transfer encodings, the in-place ISO-2022-JP to Shift_JIS
// converter and the decoder of encoded-word file names. Decoders never fail: odd input
// decodes leniently, and no input moves an index past a buffer.
#pragma once

#include "support/support.hpp"

#include <cstdint>
#include <span>
#include <string_view>

// base64.cpp

// Decodes one base64 line (text ended by "\n" and/or NUL) from src into dst, four characters
// to three bytes, each line on its own. Stores the number of decoded bytes in *length_out and
// a NUL after them (not counted). Decoded bytes may include NUL: write by count. dst must hold
// three bytes per four source characters plus four.
// The line ends only where a group starts with "\n" or NUL; characters outside the alphabet
// count 0 in their places; a '=' in the last two places of the last group takes one byte off
// the count. A last group cut by the terminator decodes the characters present (the rest
// count 0) and counts three bytes. A dst smaller than asked for cuts the output.
void decode_base64_line(const char *src, std::span<char> dst, std::int32_t *length_out);

// Decodes text as decode_base64_line decodes it followed by a terminator; a NUL in text ends
// it as the terminator would. A line feed after the last character would decode alike, so a
// line handed over without its line feed decodes as the whole line.
void decode_base64_text(std::string_view text, std::span<char> dst, std::int32_t *length_out);

// True for the characters of the base64 alphabet: 'A' to 'Z', 'a' to 'z', '0' to '9', '+', '/'.
bool is_base64_char(char c);

// What decode_base64_lines took from the raw bytes it was given.
struct base64_run {
    std::size_t lines = 0;      // lines decoded
    std::size_t consumed = 0;   // their raw bytes, each line's CR LF included
    std::size_t last_line = 0;  // offset of the last of them in the raw bytes
    std::size_t decoded = 0;    // bytes written to the start of dst
};

// Decodes the lines at the start of raw, bytes as a file holds them, while each is made only of
// alphabet characters in whole groups (one at least, at most max_text characters) ended by
// CR LF, and its bytes fit in what is left of dst: the common line of a base64 body, which
// decode_base64_text decodes to three bytes per group. The first line of any other form (a
// delimiter, padding, a short or cut group, a line not ended within raw) ends the run. The
// decoded bytes are written back to back from dst's start; dst's bytes after them may change.
base64_run decode_base64_lines(std::string_view raw, std::size_t max_text, std::span<char> dst);

// decode_base64_line with the lookup tables alone, group by group, on every CPU: the same
// bytes, count and terminator for every input. decode_base64_line runs a vector loop (SSSE3 or
// AVX2, as the CPU allows) over the whole groups of alphabet characters at the start of a line
// first; this is the reference it is tested against.
void decode_base64_line_exact(const char *src, std::span<char> dst, std::int32_t *length_out);

// quoted_printable.cpp

// Decodes one quoted-printable line from src into dst; "\n" becomes CR LF, "=" before "\n"
// is a soft break. Stores the number of decoded bytes in *length_out and a NUL after them
// (not counted). Decoded bytes may include NUL: write by count. dst must hold the source
// length plus two bytes; a smaller one cuts the output.
// An escape is the two bytes after '=' read as base-16 text the way strtol reads it (leading
// white space and a sign accepted, no digit gives 0), low 8 bits kept; both bytes are
// consumed. A lone '=' before the terminator yields nothing; '=' and one byte before it yield
// that byte's value. Underscores stay as they are.
void decode_qp_line(const char *src, std::span<char> dst, std::int32_t *length_out);

// Decodes, as decode_qp_line would, the line made of text (no NUL in it) followed by a "\n"
// when line_feed is set: the form in which the text reader hands lines over in place.
void decode_qp_text(std::string_view text, bool line_feed, std::span<char> dst,
                    std::int32_t *length_out);

// jis_to_sjis.cpp

enum jis_mode : int {
    JIS_ASCII = 0,
    JIS_KANA = 1,
    JIS_KANJI = 2
};

// Converts one NUL-terminated line of ISO-2022-JP text to Shift_JIS in place. Every line
// starts in JIS_ASCII; the result is never longer than the input. Every two-byte set is
// converted as JIS X 0208, bytes outside its range with the same 8-bit arithmetic; a CR LF
// still in JIS_KANJI becomes the pair 0x77 0x29. A lone last byte in JIS_KANJI is kept as
// it stands.
void jis_to_sjis(char *line);

// Interprets the escape sequence at line[*read_index] (an ESC byte): sets *mode and moves
// *read_index past the sequence (four bytes for ESC $ (, three for every other). Unknown
// sequences leave *mode unchanged; a sequence cut by the terminator leaves *mode unchanged
// and *read_index at the terminator.
void read_jis_escape(const char *line, int *read_index, jis_mode *mode);

// encoded_name.cpp

enum word_result : int {
    WORD_NONE = 0,           // the line holds no encoded word
    WORD_APPENDED = 1,       // the line's first word was decoded and appended
    WORD_UNKNOWN_LETTER = 2  // the first word's letter is neither B nor Q; nothing appended
};

// Decodes the first encoded word of the NUL-terminated text in line ("=?iso-2022-jp?" or
// "=?shift_jis?", the set name in any case, then the letter B or Q) and appends it to the text
// in name, cut at a character boundary when it would not fit; a decoded NUL ends what is
// appended. The encoded text starts two bytes after the letter and ends at the first "?=",
// whose '?' is overwritten with NUL, or at the end of the line, "\n" included. Sets *iso when
// the word is in iso-2022-jp; while *iso is set the decoded bytes are converted from JIS, so a
// caller carries it over the lines of one header. scratch receives the decoded bytes: it should
// hold the line's length plus four. A word start that ends the line is WORD_NONE.
word_result decode_encoded_word(std::span<char> line, std::span<char> scratch, bool *iso,
                                std::span<char> name);
