#include "decode/decode.hpp"

#include <cassert>
#include <cstring>
#include <string_view>

static constexpr std::string_view ISO_2022_JP_WORD = "=?iso-2022-jp?";
static constexpr std::string_view SHIFT_JIS_WORD = "=?shift_jis?";

// Finds the first word start in text, ignoring ASCII case in the character-set name. Returns
// the index just past it (at the encoding letter, or the end of text), or npos when text holds
// none. Sets *iso when the word is in iso-2022-jp.
static std::size_t
find_word_start(std::string_view text, bool *iso)
{
    for (std::size_t at = text.find('='); at != std::string_view::npos;
         at = text.find('=', at + 1)) {
        if (has_prefix_nocase(text.data() + at, ISO_2022_JP_WORD)) {
            *iso = true;
            return at + ISO_2022_JP_WORD.size();
        }
        if (has_prefix_nocase(text.data() + at, SHIFT_JIS_WORD))
            return at + SHIFT_JIS_WORD.size();
    }
    return std::string_view::npos;
}

// The encoded text after the letter at letter[0]: it starts two bytes on (the byte between is
// passed over unexamined) and ends at the first "?=", whose '?' becomes the terminator. A word
// not closed on its line runs to the line's end, "\n" included; a line that ends at the letter
// or one byte after it gives an empty text rather than one past the terminator.
static char *
cut_encoded_text(char *letter)
{
    char *text = letter + 1;
    if (*text != '\0')
        ++text;
    for (char *q = std::strchr(text, '?'); q != nullptr; q = std::strchr(q + 1, '?')) {
        if (q[1] == '=') {
            *q = '\0';
            break;
        }
    }
    return text;
}

word_result
decode_encoded_word(std::span<char> line, std::span<char> scratch, bool *iso, std::span<char> name)
{
    const std::string_view text(line.data(), bounded_length(line));
    assert(text.size() < line.size());
    const std::size_t at = find_word_start(text, iso);
    if (at == std::string_view::npos || at == text.size())
        return WORD_NONE;
    char *letter = line.data() + at;
    const char *encoded = cut_encoded_text(letter);
    std::int32_t decoded_len = 0;
    if (*letter == 'B')
        decode_base64_line(encoded, scratch, &decoded_len);
    else if (*letter == 'Q')
        decode_qp_line(encoded, scratch, &decoded_len);
    else
        return WORD_UNKNOWN_LETTER;
    if (*iso)
        jis_to_sjis(scratch.data());
    // Appended as a string: a decoded zero byte ends the word.
    append_bounded(name, std::string_view(scratch.data(), bounded_length(scratch)));
    return WORD_APPENDED;
}
