#include "decode/decode.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

static constexpr std::string_view ISO_2022_JP_WORD = "=?iso-2022-jp?";
static constexpr std::string_view SHIFT_JIS_WORD = "=?shift_jis?";

// "error:ファイル名のエンコード方式が不明です。" and "として出力します\n" around the name.
static constexpr std::string_view UNKNOWN_LETTER_HEAD =
    "error:\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xcc\x83\x47\x83\x93\x83\x52\x81\x5b\x83"
    "\x68\x95\xfb\x8e\xae\x82\xaa\x95\x73\x96\xbe\x82\xc5\x82\xb7\x81\x42";
static constexpr std::string_view UNKNOWN_LETTER_TAIL =
    "\x82\xc6\x82\xb5\x82\xc4\x8f\x6f\x97\xcd\x82\xb5\x82\xdc\x82\xb7\n";

// Raw bytes scanned per step when walking back over a line.
static constexpr std::int64_t REWIND_WINDOW = 4096;

// Finds the first word start in line, ignoring ASCII case in the character-set name. Returns
// the index just past it (at the encoding letter), or -1 when line holds none. Sets *iso when
// the word is in iso-2022-jp.
static std::ptrdiff_t
find_word_start(const char *line, bool *iso)
{
    for (const char *p = std::strchr(line, '='); p != nullptr; p = std::strchr(p + 1, '=')) {
        if (has_prefix_nocase(p, ISO_2022_JP_WORD)) {
            *iso = true;
            return p - line + static_cast<std::ptrdiff_t>(ISO_2022_JP_WORD.size());
        }
        if (has_prefix_nocase(p, SHIFT_JIS_WORD))
            return p - line + static_cast<std::ptrdiff_t>(SHIFT_JIS_WORD.size());
    }
    return -1;
}

// The encoded text after the letter at letter[0]: it starts two bytes on (the byte between is
// passed over unexamined) and ends at the first "?=". A word not closed on its line runs to
// the line's end, "\n" included; a line that ends at the letter or one byte after it gives
// an empty text rather than one past the terminator.
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

static std::string_view
text_of(std::span<const char> buf)
{
    return std::string_view(buf.data(), bounded_length(buf));
}

// Error path for an unknown encoding letter: the part takes default_name made unique, and the
// console says so.
static void
fall_back_to_default(std::span<char> line, std::span<char> out_name, const char *default_name)
{
    copy_bounded(out_name, default_name);
    make_unique_name(out_name);
    console_write(UNKNOWN_LETTER_HEAD);
    console_write(text_of(out_name));
    console_write(UNKNOWN_LETTER_TAIL);
    copy_bounded(line, text_of(out_name));
}

void
decode_encoded_name(text_input *archive, std::span<char> line, std::span<char> scratch,
                    std::span<char> out_name, const char *default_name)
{
    const std::span<char> read_buffer =
        line.first(std::min(line.size(), static_cast<std::size_t>(LINE_BUFFER_SIZE)));
    bool iso = false;
    bool read_any = false;
    for (;;) {
        const std::ptrdiff_t at = find_word_start(line.data(), &iso);
        if (at < 0 || line[static_cast<std::size_t>(at)] == '\0') {
            // The first line without a word belongs to the caller: its next read returns it.
            // The caller's own line is never put back, even when its word start ends it with
            // no letter: it would be handed over again without end.
            if (read_any)
                rewind_lines(archive, 1);
            break;
        }
        char *letter = line.data() + at;
        const char *text = cut_encoded_text(letter);
        std::int32_t decoded_len = 0;
        if (*letter == 'B') {
            decode_base64_line(text, scratch, &decoded_len);
        } else if (*letter == 'Q') {
            decode_qp_line(text, scratch, &decoded_len);
        } else {
            fall_back_to_default(line, out_name, default_name);
            return;
        }
        if (iso)
            jis_to_sjis(scratch.data());
        // Appended as a string: a decoded zero byte ends the word, and a name that would not
        // fit is cut at a character boundary.
        append_bounded(out_name, text_of(scratch));
        // At the end of the input the name gathered so far stands and the stream stays at
        // the end: there is no line to hand back.
        if (!text_read_line(archive, read_buffer))
            break;
        read_any = true;
    }
    copy_bounded(line, text_of(out_name));
}

// Start of the line that holds the byte before position: just past the last LF stored before
// position - 1, or 0. Scans backwards window by window, reading each window forwards.
static std::int64_t
start_of_line_before(text_input *archive, std::int64_t position)
{
    std::int64_t limit = position - 1;  // an LF counts when it lies before this offset
    while (limit > 0) {
        const std::int64_t from = std::max<std::int64_t>(0, limit - REWIND_WINDOW);
        std::int64_t found = -1;
        text_seek(archive, from);
        while (text_tell(archive) < limit) {
            const int c = text_read_byte(archive);
            if (c == EOF)
                break;
            if (c == '\n' && text_tell(archive) <= limit)
                found = text_tell(archive);
        }
        if (found >= 0)
            return found;
        limit = from;
    }
    return 0;
}

void
rewind_lines(text_input *archive, int count)
{
    // The reader knows where the last line began, whatever its line end (CR LF or a bare LF)
    // and whether or not the read was cut short; earlier lines are found by their LF bytes.
    if (count < 1)
        return;
    std::int64_t position = text_line_start(archive);
    for (int k = 1; k < count && position > 0; ++k)
        position = start_of_line_before(archive, position);
    text_seek(archive, position);
}
