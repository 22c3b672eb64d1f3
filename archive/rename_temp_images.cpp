#include "archive/archive.hpp"
#include "pagename/pagename.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// リネームエラーです。\n%s\n%s\n
static constexpr char MSG_RENAME_FAILED[] =
    "\x83\x8a\x83l\x81[\x83\x80\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81"
    "B\n%s\n%s\n";

// 関数replace_txtの中での想定しないエラー(fopen)です。 (the rewrite stands in for replace_txt)
static constexpr char MSG_REWRITE_FAILED[] =
    "\x8a\xd6\x90\x94replace_txt\x82\xcc\x92\x86\x82\xc5\x82\xcc\x91z\x92\xe8\x82\xb5\x82\xc8\x82"
    "\xa2\x83G\x83\x89\x81[(fopen)\x82\xc5\x82\xb7\x81"
    "B\n";

// replace_txt reads 10238 bytes at most per line: longer lines are replaced piece by piece.
static constexpr std::size_t PIECE_SIZE = LINE_BUFFER_SIZE - 2;

static constexpr char END_OF_TEXT = '\x1A';

// Replacements waiting to be applied to every HTML output, in the order they were made.
using pending_list = std::vector<std::pair<std::string, std::string>>;

// Occurrences of a name are looked for with a skip table: names begin with common letters.
using text_searcher = std::boyer_moore_horspool_searcher<std::string_view::const_iterator>;

// True when name's extension begins with "tmp" in any case (tmp, TMP, tmpx).
static bool
has_tmp_extension(const char *name, std::span<char> base_scratch, std::span<char> ext_scratch)
{
    split_name_ext(name, base_scratch, ext_scratch);
    return str_nicmp(ext_scratch.data(), "tmp", 3) == 0;
}

// Stores name in the entry. A name that does not fit the entry's block gets a larger block
// (the old one is released), so a recorded name is never cut.
static void
set_entry_name(output_entry *entry, const char *name)
{
    const std::size_t need = std::strlen(name) + 1;
    if (need > entry->name_size) {
        char *block = checked_alloc(need);
        checked_free(entry->name);
        entry->name = block;
        entry->name_size = need;
    }
    std::memcpy(entry->name, name, need);
}

// Names that may denote one file: equal ignoring ASCII case (as on the reference platform).
static bool
is_same_file_name(const char *a, const char *b)
{
    const std::size_t len = std::strlen(a);
    return std::strlen(b) == len && str_nicmp(a, b, len) == 0;
}

// Rewrites old_text to new_text in every HTML output, one replace_txt call each.
static void
replace_in_pages(std::span<output_entry> outputs, const char *old_text, const char *new_text)
{
    for (const output_entry &page : outputs) {
        if (page.kind == KIND_HTML)
            replace_txt(page.name, old_text, new_text);
    }
}

// The text of name as a text-mode read delivers it: CR bytes dropped, ended by a 0x1A byte.
static void
read_text(const char *name, std::vector<char> *text_out)
{
    text_input in;
    if (!text_open_read(&in, name))
        fail_run(MSG_REWRITE_FAILED);
    text_out->clear();
    for (int c = text_read_byte(&in); c != EOF; c = text_read_byte(&in))
        text_out->push_back(static_cast<char>(c));
    text_close(&in);
}

// Appends piece with every occurrence of old_text replaced, left to right, without overlaps.
static void
append_replaced(std::vector<char> *out, std::string_view piece, const text_searcher &search,
                std::size_t old_len, std::string_view new_text)
{
    auto from = piece.begin();
    for (auto hit = std::search(from, piece.end(), search); hit != piece.end();
         hit = std::search(from, piece.end(), search)) {
        out->insert(out->end(), from, hit);
        out->insert(out->end(), new_text.begin(), new_text.end());
        from = hit + static_cast<std::ptrdiff_t>(old_len);
    }
    out->insert(out->end(), from, piece.end());
}

// One replace_txt pass over text in memory, with the same pieces: each line, or each 10238
// bytes of a longer one, is replaced on its own and ends at its first NUL byte.
static void
replace_by_pieces(const std::vector<char> &text, std::string_view old_text,
                  std::string_view new_text, const text_searcher &search, std::vector<char> *out)
{
    out->clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = std::min(pos + PIECE_SIZE, text.size());
        const void *lf = std::memchr(text.data() + pos, '\n', end - pos);
        if (lf != nullptr)
            end = static_cast<std::size_t>(static_cast<const char *>(lf) - text.data()) + 1;
        std::string_view piece(text.data() + pos, end - pos);
        piece = piece.substr(0, piece.find('\0'));
        append_replaced(out, piece, search, old_text.size(), new_text);
        pos = end;
    }
}

// True when every piece of text is a whole line without NUL bytes, so that no occurrence of a
// text without line feeds can cross a piece and the whole text may be replaced at once.
static bool
is_whole_lines(const std::vector<char> &text, std::string_view old_text)
{
    if (old_text.find('\n') != std::string_view::npos ||
        std::memchr(text.data(), '\0', text.size()) != nullptr)
        return false;
    std::size_t pos = 0;
    while (text.size() - pos > PIECE_SIZE) {
        const void *lf = std::memchr(text.data() + pos, '\n', PIECE_SIZE);
        if (lf == nullptr)
            return false;
        pos = static_cast<std::size_t>(static_cast<const char *>(lf) - text.data()) + 1;
    }
    return true;
}

// One replace_txt pass of old_text by new_text over text. Returns false, with out unused,
// when the pass leaves the text as it is.
static bool
replace_pass(const std::vector<char> &text, std::string_view old_text, std::string_view new_text,
             std::vector<char> *out)
{
    const text_searcher search(old_text.begin(), old_text.end());
    const std::string_view whole(text.data(), text.size());
    if (!is_whole_lines(text, old_text)) {
        replace_by_pieces(text, old_text, new_text, search, out);
        return true;
    }
    if (std::search(whole.begin(), whole.end(), search) == whole.end())
        return false;
    out->clear();
    append_replaced(out, whole, search, old_text.size(), new_text);
    return true;
}

// What the next pass would read back of text once written: a 0x1A byte ends it and CR bytes
// (only ever brought in by a replacement) are dropped.
static void
reread_text(std::vector<char> *text)
{
    const auto eot = std::find(text->begin(), text->end(), END_OF_TEXT);
    text->erase(eot, text->end());
    text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
}

// Applies the pending replacements to the HTML file name in one read and one write, with the
// result a replace_txt call per replacement would leave. The former content stays in a work
// copy until the new file is complete, as with replace_txt.
static void
rewrite_page(const char *name, const pending_list &pending)
{
    char work_name[LINE_BUFFER_SIZE];
    const int len = std::snprintf(work_name, sizeof work_name, "%s.cpy", name);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof work_name)
        fail_run(MSG_REWRITE_FAILED);
    make_unique_name(work_name);
    if (!rename_no_replace(name, work_name))
        fail_run(MSG_REWRITE_FAILED);

    std::vector<char> text;
    std::vector<char> next;
    read_text(work_name, &text);
    for (std::size_t k = 0; k < pending.size(); ++k) {
        if (!replace_pass(text, pending[k].first, pending[k].second, &next))
            continue;
        text.swap(next);
        if (k + 1 < pending.size())
            reread_text(&text);
    }

    out_stream out;
    if (!out_open(&out, name, "w"))
        fail_run(MSG_REWRITE_FAILED);
    out_write(&out, text.data(), text.size());
    if (!out_close(&out))
        fail_run(MSG_REWRITE_FAILED);
    remove_file(work_name);
}

// True when two HTML outputs name one file: each replacement must then reach it twice in turn.
static bool
has_shared_page(std::span<const output_entry> outputs)
{
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (std::size_t j = i + 1; j < outputs.size(); ++j) {
            if (outputs[i].kind == KIND_HTML && outputs[j].kind == KIND_HTML &&
                is_same_file_name(outputs[i].name, outputs[j].name))
                return true;
        }
    }
    return false;
}

// Applies the pending replacements to every HTML output and empties the list.
static void
apply_pending(std::span<output_entry> outputs, pending_list *pending)
{
    if (pending->empty())
        return;
    if (has_shared_page(outputs)) {
        for (const auto &[old_text, new_text] : *pending)
            replace_in_pages(outputs, old_text.c_str(), new_text.c_str());
    } else {
        for (const output_entry &page : outputs) {
            if (page.kind == KIND_HTML)
                rewrite_page(page.name, *pending);
        }
    }
    pending->clear();
}

// Records a replacement for every HTML output. An HTML output that has gone from the disk
// would end the run at this replacement: the pending ones are applied and this one goes
// through replace_txt, so the run ends at the same point with the same files.
static void
queue_replacement(std::span<output_entry> outputs, pending_list *pending, const char *old_text,
                  const char *new_text)
{
    for (const output_entry &page : outputs) {
        if (page.kind == KIND_HTML && !entry_exists(page.name)) {
            apply_pending(outputs, pending);
            replace_in_pages(outputs, old_text, new_text);
            return;
        }
    }
    pending->emplace_back(old_text, new_text);
}

// Before a file is renamed away: an HTML output of that name takes its pending replacements
// first, while it can still be found.
static void
apply_pending_before_rename(std::span<output_entry> outputs, pending_list *pending,
                            const char *name)
{
    for (const output_entry &page : outputs) {
        if (page.kind == KIND_HTML && is_same_file_name(page.name, name)) {
            apply_pending(outputs, pending);
            return;
        }
    }
}

// The image that the page shows was saved under a ".tmp" name: it takes thumb_name (made
// unique), and every reference and recorded name follows.
static void
rename_thumbnail(std::span<output_entry> outputs, std::span<char> image_names,
                 std::span<char> line_scratch, std::span<char> work_scratch, pending_list *pending)
{
    const std::span<char> thumb_name = image_names.first(LINE_BUFFER_SIZE);
    const char *src_name = image_names.data() + SRC_NAME_OFFSET;
    if (!has_tmp_extension(src_name, line_scratch, work_scratch) || thumb_name[0] == '\0')
        return;
    make_unique_name(thumb_name);
    apply_pending_before_rename(outputs, pending, src_name);
    if (!rename_no_replace(src_name, thumb_name.data()))
        fail_run(MSG_RENAME_FAILED, src_name, thumb_name.data());
    for (output_entry &entry : outputs) {
        if (std::strcmp(entry.name, src_name) == 0)
            set_entry_name(&entry, thumb_name.data());
    }
    queue_replacement(outputs, pending, src_name, thumb_name.data());
}

void
rename_temp_images(std::span<output_entry> outputs, const char *page_name,
                   std::span<char> image_names, std::span<char> line_scratch,
                   std::span<char> work_scratch)
{
    assert(image_names.size() >= IMAGE_NAMES_SIZE);
    // Every rename is made as it comes; the references are collected and each HTML output is
    // rewritten once at the end, with the text that one rewrite per rename would give.
    pending_list pending;
    rename_thumbnail(outputs, image_names, line_scratch, work_scratch, &pending);

    std::int32_t tmp_sequence = 1;
    for (output_entry &entry : outputs) {
        if (!has_tmp_extension(entry.name, line_scratch, work_scratch))
            continue;
        // page_name holds at most 255 bytes, so the new name always fits the scratch
        std::snprintf(line_scratch.data(), line_scratch.size(), "%s_%03d.tmp", page_name,
                      static_cast<int>(tmp_sequence));
        ++tmp_sequence;
        make_unique_name(line_scratch);
        // references first, then the file; a failed rename leaves the references pointing
        // at the new name all the same
        queue_replacement(outputs, &pending, entry.name, line_scratch.data());
        apply_pending_before_rename(outputs, &pending, entry.name);
        rename_no_replace(entry.name, line_scratch.data());
        set_entry_name(&entry, line_scratch.data());
    }
    apply_pending(outputs, &pending);
}
