#include "archive/archive.hpp"
#include "platform/platform.hpp"

#include <cstdio>
#include <string_view>

// 関数replace_txtの中での想定しないエラー(fopen)です。
static constexpr char MSG_OPEN_FAILED[] =
    "\x8a\xd6\x90\x94replace_txt\x82\xcc\x92\x86\x82\xc5\x82\xcc\x91z\x92\xe8\x82\xb5\x82\xc8\x82"
    "\xa2\x83G\x83\x89\x81[(fopen)\x82\xc5\x82\xb7\x81"
    "B\n";

// Bytes read per line: 10238 and the terminator; a longer line arrives in pieces, each
// replaced on its own (an occurrence split between two pieces stays as it is).
static constexpr std::size_t READ_SIZE = LINE_BUFFER_SIZE - 1;

// Writes piece with every occurrence of old_text replaced by new_text, left to right and
// without overlaps; inserted text is never searched again. The output goes out as it is
// produced, so a line that grows is written whole, whatever its length.
static void
write_replaced(out_stream *out, std::string_view piece, std::string_view old_text,
               std::string_view new_text)
{
    std::size_t from = 0;
    if (!old_text.empty()) {
        for (std::size_t hit = piece.find(old_text); hit != std::string_view::npos;
             hit = piece.find(old_text, from)) {
            out_write(out, piece.data() + from, hit - from);
            out_write(out, new_text.data(), new_text.size());
            from = hit + old_text.size();
        }
    }
    out_write(out, piece.data() + from, piece.size() - from);
}

// Forms the work copy's name "%s.cpy". A name longer than a file system holds (file_name of
// more than 251 bytes) has its base shortened to fit, keeping ".cpy". When a file of that name
// already exists, a fresh name is taken instead, so that file is neither read as the page nor
// overwritten.
static void
form_work_name(const char *file_name, std::span<char> work_name)
{
    const int len = std::snprintf(work_name.data(), work_name.size(), "%s.cpy", file_name);
    if (len < 0 || static_cast<std::size_t>(len) >= work_name.size())
        fail_run(MSG_OPEN_FAILED);
    fit_file_name(work_name, NAME_SIZE - 1);
    make_unique_name(work_name.first(NAME_SIZE));
}

void
replace_txt(const char *file_name, const char *old_text, const char *new_text)
{
    char work_name[LINE_BUFFER_SIZE];
    form_work_name(file_name, work_name);
    // The former content moves to the work copy and stays there until the new file is
    // complete; a file that cannot be moved is left as it is.
    if (!rename_no_replace(file_name, work_name))
        fail_run_file(file_name, MSG_OPEN_FAILED);
    text_input in;
    if (!text_open_read(&in, work_name))
        fail_run_file(work_name, MSG_OPEN_FAILED);
    out_stream out;
    if (!out_open(&out, file_name, "w")) {
        text_close(&in);
        fail_run_file(file_name, MSG_OPEN_FAILED);
    }

    const std::string_view old_view(old_text);
    const std::string_view new_view(new_text);
    char line[LINE_BUFFER_SIZE] = {};
    while (text_read_line(&in, std::span<char>(line).first(READ_SIZE)))
        write_replaced(&out, line, old_view, new_view);
    text_close(&in);
    // A new file that could not be written completely is no success: the run ends and the
    // former content stays in the work copy.
    if (!out_close(&out))
        fail_run_file(file_name, MSG_OPEN_FAILED);
    remove_file(work_name);
}
