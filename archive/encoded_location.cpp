#include "archive/archive.hpp"

#include "archive/internal.hpp"
#include "decode/decode.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <string_view>

// "error:ファイル名のエンコード方式が不明です。%sとして出力します\n", with the name.
static constexpr char MSG_UNKNOWN_LETTER[] =
    "error:\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xcc\x83\x47\x83\x93\x83\x52\x81\x5b\x83"
    "\x68\x95\xfb\x8e\xae\x82\xaa\x95\x73\x96\xbe\x82\xc5\x82\xb7\x81\x42"
    "%s\x82\xc6\x82\xb5\x82\xc4\x8f\x6f\x97\xcd\x82\xb5\x82\xdc\x82\xb7\n";

// An unknown encoding letter: the part takes default_name made unique, and the console says so.
// Words decoded from earlier lines of the header are dropped with the rest of the name.
static void
fall_back_to_default(std::span<char> out_name, const char *default_name)
{
    copy_bounded(out_name, default_name);
    make_unique_name(out_name);
    console_printf(MSG_UNKNOWN_LETTER, out_name.data());
}

void
read_encoded_location(text_input *archive, std::span<char> line, std::span<char> scratch,
                      std::span<char> out_name, const char *default_name)
{
    const std::span<char> read_buffer =
        line.first(std::min(line.size(), static_cast<std::size_t>(LINE_BUFFER_SIZE)));
    bool iso = false;  // an iso-2022-jp word on this or an earlier line of the header
    bool read_any = false;
    // Where the line last read began: a line read in pieces goes back from its first piece.
    // Never before the end of the caller's own line, even when the read cut that line (its
    // rest would hand the location over again without end).
    std::int64_t line_begin = text_tell(archive);
    for (;;) {
        const word_result result = decode_encoded_word(line, scratch, &iso, out_name);
        if (result == WORD_UNKNOWN_LETTER) {
            fall_back_to_default(out_name, default_name);
            return;
        }
        if (result == WORD_NONE) {
            // The first line without a word belongs to the caller: its next read returns it.
            // The caller's own line is never put back, even when its word start ends it with
            // no letter: it would be handed over again without end.
            if (read_any)
                text_seek(archive, line_begin);
            return;
        }
        if (text_at_line_start(archive))
            line_begin = text_tell(archive);
        // At the end of the input the name gathered so far stands and the stream stays at the
        // end: there is no line to hand back.
        if (!text_read_line(archive, read_buffer))
            return;
        read_any = true;
    }
}
