#include "pagename/pagename.hpp"

#include "pagename/internal.hpp"
#include "platform/platform.hpp"

#include <cassert>
#include <cstdio>
#include <cstring>
#include <string_view>

// 関数htm_renameの中での想定しないエラー(fopen)です。
static constexpr char MSG_OPEN_FAILED[] =
    "\x8a\xd6\x90\x94htm_rename\x82\xcc\x92\x86\x82\xc5\x82\xcc\x91z\x92\xe8\x82\xb5\x82\xc8\x82"
    "\xa2\x83G\x83\x89\x81[(fopen)\x82\xc5\x82\xb7\x81"
    "B\n";

// 関数filename_split内でのリネームエラーです。\n%s\n%s\n
static constexpr char MSG_RENAME_FAILED[] =
    "\x8a\xd6\x90\x94"
    "filename_split\x93\xe0\x82\xc5\x82\xcc\x83\x8a\x83l\x81[\x83\x80\x83G\x83\x89\x81[\x82\xc5"
    "\x82\xb7\x81"
    "B\n%s\n%s\n";

static constexpr std::string_view MARK_THUMB =
    "\x83\x54\x83\x80\x83\x6c\x95\x5c\x8e\xa6";  // サムネ表示
static constexpr std::string_view MARK_FILE_NAME =
    "\x89\xe6\x91\x9c\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc";  // 画像ファイル名

static constexpr std::string_view POST_MARK = "No.";
static constexpr std::string_view BLOCKQUOTE = "<blockquote";
static constexpr std::string_view THUMB_SUFFIX = "s.jpg";

// Bytes read per line: 10239 and the terminator; longer lines arrive in pieces.
static constexpr std::size_t READ_SIZE = LINE_BUFFER_SIZE;

static constexpr int MAX_POST_DIGITS = 250;
static constexpr int THUMB_DIGITS = 13;

// What one scan carries from column to column and line to line.
struct scan_state {
    page_marks marks;
    bool armed = false;  // an image marker has been seen; rules for the image names apply
    bool ended = false;  // "<blockquote" met: nothing more is examined
};

static bool
is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// thumb_name := the digits followed by "s.jpg".
static void
store_thumb_name(image_names *images, const char *digits, int count)
{
    copy_bounded(images->thumb_name, std::string_view(digits, static_cast<std::size_t>(count)));
    append_bounded(images->thumb_name, THUMB_SUFFIX);
}

// 13 digits and ".gif", ".jpg" or ".png" in any case: the 13 digits name the thumbnail.
static void
match_image_file(const char *p, image_names *images)
{
    if (digit_run_max(p, THUMB_DIGITS) != THUMB_DIGITS)
        return;
    const char *ext = p + THUMB_DIGITS;
    if (str_nicmp(ext, ".gif", 4) == 0 || str_nicmp(ext, ".jpg", 4) == 0 ||
        str_nicmp(ext, ".png", 4) == 0)
        store_thumb_name(images, p, THUMB_DIGITS);
}

// "red/" (any case), at least 13 digits and ".htm" (exact): the whole run names the thumbnail.
static void
match_thread_link(const char *p, image_names *images)
{
    if (str_nicmp(p, "red/", 4) != 0 || digit_run_max(p + 4, THUMB_DIGITS) != THUMB_DIGITS)
        return;
    const int run = digit_run_max(p + 4, MAX_POST_DIGITS);
    if (has_prefix(p + 4 + run, ".htm"))
        store_thumb_name(images, p + 4, run);
}

// At a "src" (any case): skips spaces, tabs, '=' and '"', takes the value up to the next '"',
// tab, line feed or the end of the line text, and stores its last path segment as src_name.
// Returns the index of the byte that ended the value (possibly the terminator).
static std::size_t
take_src_value(const char *line, std::size_t column, image_names *images)
{
    std::size_t i = column + 3;
    while (line[i] == ' ' || line[i] == '\t' || line[i] == '=' || line[i] == '"')
        ++i;
    std::size_t segment = i;
    for (; line[i] != '\0' && line[i] != '"' && line[i] != '\t' && line[i] != '\n'; ++i) {
        // byte-wise: a Shift_JIS trail byte 0x5C separates like a backslash
        if (line[i] == '/' || line[i] == '\\')
            segment = i + 1;
    }
    copy_bounded(images->src_name, std::string_view(line + segment, i - segment));
    return i;
}

// Tries the marker rules in their order at every column of one line (or piece of a line).
static void
scan_line(const char *line, scan_state *scan, image_names *images)
{
    page_marks &marks = scan->marks;
    std::size_t column = 0;
    while (line[column] != '\0') {
        const char *p = line + column;
        if (!marks.number_found && has_prefix(p, POST_MARK) && is_digit(p[POST_MARK.size()])) {
            const char *digits = p + POST_MARK.size();
            copy_bounded(marks.post_number,
                         std::string_view(digits, static_cast<std::size_t>(
                                                      digit_run_max(digits, MAX_POST_DIGITS))));
            marks.number_found = true;
        }
        match_date_time(p, &marks);
        if (!scan->armed && (has_prefix(p, MARK_THUMB) || has_prefix(p, MARK_FILE_NAME)))
            scan->armed = true;
        if (scan->armed) {
            match_image_file(p, images);
            match_thread_link(p, images);
            if (str_nicmp(p, "src", 3) == 0) {
                column = take_src_value(line, column, images);
                p = line + column;
            }
        }
        if (has_prefix_nocase(p, BLOCKQUOTE)) {
            scan->ended = true;
            return;
        }
        if (*p == '\0')
            return;  // a value ran to the end of the line text
        ++column;
    }
}

// Reads file_name up to its first "<blockquote" and collects the marks and image names.
static void
scan_page(const char *file_name, page_marks *marks_out, image_names *images)
{
    text_input in;
    if (!text_open_read(&in, file_name))
        fail_run_file(file_name, MSG_OPEN_FAILED);
    scan_state scan;
    char line[LINE_BUFFER_SIZE];
    while (!scan.ended && text_read_line(&in, std::span<char>(line).first(READ_SIZE)))
        scan_line(line, &scan, images);
    text_close(&in);
    *marks_out = scan.marks;
}

// Renames the page file to new_base + ".htm", made unique; file_name receives the new name.
// The new name is kept within NAME_SIZE (make_unique_name shortens the base if a suffix would
// not fit), so every file system and every name block holds it.
static void
rename_page(std::span<char> file_name, const char *new_full_name)
{
    char old_name[LINE_BUFFER_SIZE];
    copy_bounded(old_name, file_name.data());
    copy_bounded(file_name, new_full_name);
    make_unique_name(file_name.first(NAME_SIZE));
    if (!rename_no_replace(old_name, file_name.data()))
        fail_run_file(old_name, MSG_RENAME_FAILED, old_name, file_name.data());
}

void
htm_rename(std::span<char> file_name, std::span<char> page_name, image_names *images)
{
    assert(file_name.size() >= NAME_SIZE && page_name.size() >= NAME_SIZE);
    // Line-sized halves: a name longer than NAME_SIZE is split without being cut.
    char base[LINE_BUFFER_SIZE];
    char ext[LINE_BUFFER_SIZE];
    split_name_ext(file_name.data(), base, ext);

    page_marks marks;
    scan_page(file_name.data(), &marks, images);

    // A page is renamed only when its whole new name fits a name block; a longer one (a post
    // number of more than 237 digits in the dated program) keeps the page's name rather than
    // a cut number, which might name another thread.
    char new_base[NAME_SIZE];
    char new_full_name[NAME_SIZE];
    bool recognised = form_new_base(marks, new_base);
    if (recognised) {
        const int len = std::snprintf(new_full_name, sizeof new_full_name, "%s.htm", new_base);
        recognised = len > 0 && static_cast<std::size_t>(len) < sizeof new_full_name;
    }
    if (!recognised) {
        // page_name holds NAME_SIZE bytes: an over-long base is cut at a character boundary
        copy_bounded(page_name.first(NAME_SIZE), "");
        append_bounded(page_name.first(NAME_SIZE), base);
        return;
    }
    if (std::strcmp(new_base, base) != 0)
        rename_page(file_name, new_full_name);
    copy_bounded(page_name.first(NAME_SIZE), new_base);
}
