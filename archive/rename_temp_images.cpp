#include "archive/archive.hpp"
#include "pagename/pagename.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cassert>
#include <cstdint>
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

// A page of at most this many bytes of text is rewritten in memory; a larger one line by line,
// so that memory stays bounded whatever the size of the page.
static constexpr std::size_t IN_MEMORY_LIMIT = std::size_t{1} << 16;

// Bytes read from a page per step.
static constexpr std::size_t READ_STEP = std::size_t{1} << 13;

// Bits of the quick test that tells lines which no old text can touch (8 KiB).
static constexpr int FILTER_HASH_BITS = 16;

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

// Names that may denote one file: equal ignoring ASCII case (as on Windows).
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
// Returns false, with text_out holding a part of it, when the text is longer than
// IN_MEMORY_LIMIT bytes.
static bool
read_text(const char *name, std::vector<char> *text_out)
{
    text_input in;
    if (!text_open_read(&in, name))
        fail_run_file(name, MSG_REWRITE_FAILED);
    text_out->clear();
    std::size_t len = 0;
    while (len <= IN_MEMORY_LIMIT) {
        text_out->resize(len + READ_STEP);
        const std::size_t got = text_read_text(&in, std::span<char>(*text_out).subspan(len));
        len += got;
        text_out->resize(len);
        if (got == 0)
            break;
    }
    text_close(&in);
    return len <= IN_MEMORY_LIMIT;
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

// Applies the pending replacements to text in memory, with the result one pass per replacement
// would leave.
static void
replace_in_memory(std::vector<char> *text, const pending_list &pending)
{
    std::vector<char> next;
    for (std::size_t k = 0; k < pending.size(); ++k) {
        if (!replace_pass(*text, pending[k].first, pending[k].second, &next))
            continue;
        text->swap(next);
        if (k + 1 < pending.size())
            reread_text(text);
    }
}

// A quick test for lines that no pass can change: one bit per hash of the first gram_len bytes
// of every old text. A line in which no column hits a set bit holds no old text, so the first
// pass leaves it as it is, and so does every pass after it.
struct old_text_filter {
    std::size_t gram_len = 0;  // the shortest old text's length, at most 4
    std::vector<std::uint64_t> bits;
};

static std::uint32_t
hash_gram(const char *p, std::size_t gram_len)
{
    std::uint32_t key = 0;
    for (std::size_t k = 0; k < gram_len; ++k)
        key = key << 8 | static_cast<unsigned char>(p[k]);
    return (key * 2654435761u) >> (32 - FILTER_HASH_BITS);
}

static void
build_filter(const pending_list &pending, old_text_filter *filter)
{
    filter->gram_len = 4;
    for (const auto &entry : pending)
        filter->gram_len = std::min(filter->gram_len, entry.first.size());
    filter->bits.assign((std::size_t{1} << FILTER_HASH_BITS) / 64, 0);
    for (const auto &entry : pending) {
        const std::uint32_t h = hash_gram(entry.first.data(), filter->gram_len);
        filter->bits[h / 64] |= std::uint64_t{1} << (h % 64);
    }
}

static bool
may_hold_old_text(const old_text_filter &filter, std::string_view line)
{
    for (std::size_t c = 0; c + filter.gram_len <= line.size(); ++c) {
        const std::uint32_t h = hash_gram(line.data() + c, filter.gram_len);
        if ((filter.bits[h / 64] >> (h % 64)) & 1)
            return true;
    }
    return false;
}

// True when one line at a time gives what one pass per replacement over the whole text gives:
// every old text is without line feed and not empty, and no new text brings in a line feed, a
// CR or a 0x1A byte (which would change what the next pass reads back).
static bool
is_line_by_line_exact(const pending_list &pending)
{
    for (const auto &[old_text, new_text] : pending) {
        if (old_text.empty() || old_text.find('\n') != std::string::npos ||
            new_text.find_first_of("\n\r\x1A") != std::string::npos)
            return false;
    }
    return true;
}

// Applies every replacement in turn to one line (text without NUL, its line feed at its end
// or the last line of the page). Returns false when the line outgrows a piece before a pass:
// that pass would then cut it into pieces, and the line-by-line result would differ.
static bool
replace_line(std::vector<char> *line, const pending_list &pending, std::vector<char> *next)
{
    for (std::size_t k = 0; k < pending.size(); ++k) {
        if (line->size() > PIECE_SIZE)
            return false;
        const std::string_view old_text = pending[k].first;
        const std::string_view text(line->data(), line->size());
        if (text.find(old_text) == std::string_view::npos)
            continue;
        const text_searcher search(old_text.begin(), old_text.end());
        next->clear();
        append_replaced(next, text, search, old_text.size(), pending[k].second);
        line->swap(*next);
    }
    return true;
}

// Rewrites the page line by line from the work copy into name. Returns false when the page
// holds a NUL byte or a line longer than a piece, or a line outgrows one: name is then removed
// again and the page must be rewritten another way.
static bool
rewrite_by_lines(const char *name, const char *work_name, const pending_list &pending)
{
    old_text_filter filter;
    build_filter(pending, &filter);
    text_input in;
    if (!text_open_read(&in, work_name))
        fail_run_file(work_name, MSG_REWRITE_FAILED);
    out_stream out;
    if (!out_open(&out, name, "w"))
        fail_run_file(name, MSG_REWRITE_FAILED);
    char piece[PIECE_SIZE + 1];
    std::vector<char> line;
    std::vector<char> next;
    bool exact = true;
    std::size_t count = 0;
    while (exact && text_read_line_counted(&in, piece, &count)) {
        const std::string_view text(piece, count);
        // A piece without its line feed is the page's last line only when the read stopped
        // short of a full piece; a line holding NUL is cut by every pass.
        const bool whole = (count > 0 && piece[count - 1] == '\n') || count < PIECE_SIZE;
        exact = whole && text.find('\0') == std::string_view::npos;
        if (exact && may_hold_old_text(filter, text)) {
            line.assign(text.begin(), text.end());
            exact = replace_line(&line, pending, &next);
            out_write(&out, line.data(), line.size());
        } else if (exact) {
            out_write(&out, text.data(), text.size());
        }
    }
    text_close(&in);
    if (!out_close(&out) && exact)
        fail_run_file(name, MSG_REWRITE_FAILED);
    if (!exact && !remove_file(name))
        fail_run_file(name, MSG_REWRITE_FAILED);
    return exact;
}

// Applies the pending replacements to the HTML file name, with the result a replace_txt call per
// replacement would leave. The former content stays in a work copy until the new file is
// complete, as with replace_txt. A small page is read and written once; a large one is
// rewritten line by line, or, when its text does not allow that, by one pass per replacement.
static void
rewrite_page(const char *name, const pending_list &pending)
{
    char work_name[LINE_BUFFER_SIZE];
    const int len = std::snprintf(work_name, sizeof work_name, "%s.cpy", name);
    if (len < 0 || static_cast<std::size_t>(len) >= sizeof work_name)
        fail_run(MSG_REWRITE_FAILED);
    fit_file_name(work_name, NAME_SIZE - 1);  // a long page name leaves no room for ".cpy"
    make_unique_name(std::span<char>(work_name, NAME_SIZE));
    if (!rename_no_replace(name, work_name))
        fail_run_file(name, MSG_REWRITE_FAILED);

    std::vector<char> text;
    if (read_text(work_name, &text)) {
        replace_in_memory(&text, pending);
        out_stream out;
        if (!out_open(&out, name, "w"))
            fail_run_file(name, MSG_REWRITE_FAILED);
        out_write(&out, text.data(), text.size());
        if (!out_close(&out))
            fail_run_file(name, MSG_REWRITE_FAILED);
        remove_file(work_name);
        return;
    }
    text = std::vector<char>();  // no longer needed: release it before the line-by-line pass
    if (is_line_by_line_exact(pending) && rewrite_by_lines(name, work_name, pending)) {
        remove_file(work_name);
        return;
    }
    // back to the page as it was, then one pass per replacement
    if (!rename_no_replace(work_name, name))
        fail_run_file(work_name, MSG_REWRITE_FAILED);
    for (const auto &[old_text, new_text] : pending)
        replace_txt(name, old_text.c_str(), new_text.c_str());
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
    make_unique_name(thumb_name.first(NAME_SIZE));  // within the 255 bytes a file system holds
    apply_pending_before_rename(outputs, pending, src_name);
    if (!rename_no_replace(src_name, thumb_name.data()))
        fail_run_file(src_name, MSG_RENAME_FAILED, src_name, thumb_name.data());
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
        // The new name must fit a file system's 255 bytes: a long page_name is cut (at a
        // character boundary) to leave room for the number and ".tmp".
        char suffix[32];
        const int suffix_len =
            std::snprintf(suffix, sizeof suffix, "_%03d.tmp", static_cast<int>(tmp_sequence));
        const std::size_t keep =
            fit_characters(page_name, static_cast<std::size_t>(NAME_SIZE - 1 - suffix_len));
        std::snprintf(line_scratch.data(), line_scratch.size(), "%.*s%s", static_cast<int>(keep),
                      page_name, suffix);
        ++tmp_sequence;
        make_unique_name(line_scratch.first(NAME_SIZE));
        // references first, then the file; a failed rename leaves the references pointing
        // at the new name all the same
        queue_replacement(outputs, &pending, entry.name, line_scratch.data());
        apply_pending_before_rename(outputs, &pending, entry.name);
        rename_no_replace(entry.name, line_scratch.data());
        set_entry_name(&entry, line_scratch.data());
    }
    apply_pending(outputs, &pending);
}
