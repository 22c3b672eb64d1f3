#include "archive/archive.hpp"

#include "archive/internal.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// 関数replace_txtの中での想定しないエラー(fopen)です。
static constexpr char MSG_OPEN_FAILED[] =
    "\x8a\xd6\x90\x94replace_txt\x82\xcc\x92\x86\x82\xc5\x82\xcc\x91z\x92\xe8\x82\xb5\x82\xc8\x82"
    "\xa2\x83G\x83\x89\x81[(fopen)\x82\xc5\x82\xb7\x81"
    "B\n";

// Bytes taken from the file per step.
static constexpr std::size_t READ_STEP = std::size_t{1} << 14;

// One pass of the chain: its replacement and the piece it is gathering.
struct pass_state {
    std::string_view old_text;
    std::string_view new_text;
    std::string piece;
    bool may_meet_cr = false;  // a replacement before this pass brings in a CR
};

// Appends piece to out with every occurrence of old_text replaced by new_text, left to right
// and without overlaps; inserted text is never searched again.
static void
append_replaced(std::string *out, std::string_view piece, std::string_view old_text,
                std::string_view new_text)
{
    std::size_t from = 0;
    for (std::size_t hit = find_text(piece, old_text); hit != std::string_view::npos;
         hit = find_text(piece, old_text, from)) {
        out->append(piece.data() + from, hit - from);
        out->append(new_text);
        from = hit + old_text.size();
    }
    out->append(piece.data() + from, piece.size() - from);
}

// Replaces the gathered piece into out and starts the next one.
static void
flush_piece(pass_state *pass, std::string *out)
{
    append_replaced(out, pass->piece, pass->old_text, pass->new_text);
    pass->piece.clear();
}

// True when old_text occurs in the pending piece followed by text.
static bool
occurs_with_piece(const pass_state &pass, std::string_view text)
{
    const std::string_view old_text = pass.old_text;
    if (find_text(text, old_text) != std::string_view::npos)
        return true;
    if (pass.piece.empty())
        return false;
    if (find_text(pass.piece, old_text) != std::string::npos)
        return true;
    // an occurrence across the join holds at most old_text.size() - 1 bytes on either side
    const std::size_t before = std::min(old_text.size() - 1, pass.piece.size());
    std::string join = pass.piece.substr(pass.piece.size() - before);
    join.append(text.substr(0, std::min(old_text.size() - 1, text.size())));
    return find_text(join, old_text) != std::string::npos;
}

// How a pass took its text.
enum pass_result : int {
    PASS_WROTE = 0,  // what it gives is in out
    PASS_KEPT = 1    // it gives text itself, untouched: out was left as it was
};

// Feeds text to a pass as feed_pass does when no piece can change: old_text occurs nowhere in
// the pending piece and text together, and text holds no CR to drop (every piece is then a
// stretch of them). The complete pieces go to out as they are and the rest stays pending;
// text that holds whole pieces only, with none pending before it, is given back as it is.
// Returns false, having done nothing, when a piece might change.
static bool
feed_pass_unchanged(pass_state *pass, std::string_view text, std::string *out, pass_result *result)
{
    if (pass->old_text.empty() ||
        (pass->may_meet_cr && find_text(text, "\r") != std::string_view::npos) ||
        occurs_with_piece(*pass, text))
        return false;
    // After the last line feed a new line begins, cut every PIECE_SIZE bytes; without one the
    // pending piece's line goes on, and its pieces count from the piece's start.
    const std::size_t lf = text.rfind('\n');
    const std::size_t line_start = lf == std::string_view::npos ? 0 : lf + 1;
    const std::size_t line_part =
        text.size() - line_start + (lf == std::string_view::npos ? pass->piece.size() : 0);
    const std::size_t pending = line_part % PIECE_SIZE;
    *result = PASS_WROTE;
    if (pending > text.size()) {  // still within the pending piece
        pass->piece.append(text);
    } else if (pending == 0 && pass->piece.empty()) {
        *result = PASS_KEPT;
    } else {
        out->append(pass->piece);
        pass->piece.clear();
        out->append(text.substr(0, text.size() - pending));
        pass->piece.append(text.substr(text.size() - pending));
    }
    return true;
}

// Feeds text to one pass: the text is cut into the pieces a line-by-line read would give (a
// line, or each PIECE_SIZE bytes of a longer one), and every completed piece goes to out
// replaced. A CR that a replacement brought in is dropped, as reading the text back would.
static pass_result
feed_pass(pass_state *pass, std::string_view text, std::string *out)
{
    pass_result result = PASS_WROTE;
    if (feed_pass_unchanged(pass, text, out, &result))
        return result;
    while (!text.empty()) {
        std::size_t take = std::min(PIECE_SIZE - pass->piece.size(), text.size());
        const std::size_t lf = find_text(text.substr(0, take), "\n");
        const bool complete =
            lf != std::string_view::npos || pass->piece.size() + take == PIECE_SIZE;
        if (lf != std::string_view::npos)
            take = lf + 1;
        const std::string_view chunk = text.substr(0, take);
        const std::size_t cr = find_text(chunk, "\r");
        if (cr != std::string_view::npos) {
            // a CR takes no room in a piece: the rest of the chunk comes round again
            pass->piece.append(chunk.substr(0, cr));
            text.remove_prefix(cr + 1);
            continue;
        }
        text.remove_prefix(take);
        if (!complete) {
            pass->piece.append(chunk);  // the piece goes on in the next text
        } else if (pass->piece.empty()) {
            append_replaced(out, chunk, pass->old_text, pass->new_text);  // whole where it lies
        } else {
            pass->piece.append(chunk);
            flush_piece(pass, out);
        }
    }
    return PASS_WROTE;
}

// Which sequences of four bytes a text holds, one bit per hash: a sequence whose bit is clear
// occurs nowhere in it. Hundreds of passes look at each step's text, and most find nothing;
// with the filter they learn it without a search.
struct gram_filter {
    static constexpr int HASH_BITS = 17;
    // Fewer passes than this search faster than the filter is filled.
    static constexpr std::size_t FROM_PASSES = 16;
    std::vector<std::uint64_t> bits;
    bool filled = false;  // false: it says nothing of the current text
};

static std::size_t
gram_hash(const char *p)
{
    std::uint32_t four = 0;
    std::memcpy(&four, p, 4);
    return (four * 2654435761u) >> (32 - gram_filter::HASH_BITS);
}

static void
fill_filter(gram_filter *filter, std::string_view text)
{
    filter->bits.assign((std::size_t{1} << gram_filter::HASH_BITS) / 64, 0);
    for (std::size_t k = 0; k + 4 <= text.size(); ++k) {
        const std::size_t h = gram_hash(text.data() + k);
        filter->bits[h / 64] |= std::uint64_t{1} << (h % 64);
    }
    filter->filled = true;
}

// True when the pass would hand text on as it is (feed_pass would return PASS_KEPT), as the
// filter can tell: nothing pending, only whole lines, no CR to drop, and old_text's first four
// bytes nowhere in text.
static bool
passes_untouched(const pass_state &pass, std::string_view text, gram_filter *filter)
{
    if (!pass.piece.empty() || text.empty() || text.back() != '\n' || pass.may_meet_cr ||
        pass.old_text.size() < 4)
        return false;
    if (!filter->filled)
        fill_filter(filter, text);
    const std::size_t h = gram_hash(pass.old_text.data());
    return (filter->bits[h / 64] & (std::uint64_t{1} << (h % 64))) == 0;
}

// Sends text through every pass in turn; what the last one gives is appended to out.
static void
run_passes(std::vector<pass_state> *passes, std::string *text, std::string *out, bool at_end,
           gram_filter *filter)
{
    std::string next;
    filter->filled = false;
    const bool filtered = passes->size() >= gram_filter::FROM_PASSES;
    for (pass_state &pass : *passes) {
        if (filtered && passes_untouched(pass, *text, filter))
            continue;
        next.clear();
        if (feed_pass(&pass, *text, &next) == PASS_KEPT)
            continue;  // nothing pending either: the text goes on to the next pass as it is
        if (at_end)
            flush_piece(&pass, &next);
        text->swap(next);
        filter->filled = false;
    }
    out->append(*text);
    text->clear();
}

// The passes of a rewrite and what they keep from one step of the text to the next.
struct rewrite_state {
    std::vector<pass_state> passes;
    pattern_table table;
    at_once_state at_once;
    gram_filter filter;
    bool between_pieces = true;     // every pass is between two pieces
    bool at_line_start = true;      // the steps so far ended with whole lines
    bool whole_lines_only = false;  // the scan takes only steps of whole lines
};

static void
start_rewrite(rewrite_state *rewrite, std::span<const replacement> replacements)
{
    bool cr_brought_in = false;  // the reader drops every CR: only a replacement brings one
    for (const replacement &r : replacements) {
        rewrite->passes.push_back({r.old_text, r.new_text, {}, cr_brought_in});
        cr_brought_in = cr_brought_in || find_text(r.new_text, "\r") != std::string_view::npos;
    }
    fill_pattern_table(&rewrite->table, replacements);
}

// True when the one scan may take the step's text: it is in a line of its own, or the passes
// are all between pieces at a line's start (and, with whole_lines_only, the text is whole
// lines).
static bool
may_scan_at_once(const rewrite_state &rewrite, std::string_view text, bool at_end)
{
    if (!rewrite.table.usable)
        return false;
    if (rewrite.at_once.in_line)
        return true;
    return rewrite.between_pieces && rewrite.at_line_start &&
           (!rewrite.whole_lines_only || at_end || (!text.empty() && text.back() == '\n'));
}

// Appends to out what the passes give of one step's text (which the step empties): in one scan
// where the passes cannot meet, else through every pass in turn. False when the scan met such
// a place in a line it had begun in an earlier step: the text must be started again, with
// whole_lines_only.
static bool
rewrite_step(rewrite_state *rewrite, std::string *text, bool at_end, std::string *out)
{
    const bool any_text = !text->empty();
    const bool ends_line = any_text && text->back() == '\n';
    const bool scanned = may_scan_at_once(*rewrite, *text, at_end);
    if (scanned) {
        std::size_t taken = 0;
        if (!replace_at_once_step(rewrite->table, &rewrite->at_once, *text, at_end, out, &taken))
            return false;
        text->erase(0, taken);
    }
    if (!scanned || !text->empty()) {
        run_passes(&rewrite->passes, text, out, at_end, &rewrite->filter);
        rewrite->between_pieces =
            std::all_of(rewrite->passes.begin(), rewrite->passes.end(),
                        [](const pass_state &pass) { return pass.piece.empty(); });
    }
    text->clear();
    if (any_text)
        rewrite->at_line_start = ends_line;
    return true;
}

std::string
rewrite_text(std::string_view text, std::span<const replacement> replacements)
{
    rewrite_state rewrite;
    start_rewrite(&rewrite, replacements);
    std::string step(text);
    std::string out;
    // one step, at a line's start: the scan never has a line begun before it
    rewrite_step(&rewrite, &step, true, &out);
    return out;
}

// Name of the file that receives the new bytes: "%s.cpy" next to the file, shortened to what a
// file system holds (room bytes, the terminator included). False when the name does not fit
// work_name at all.
static bool
form_work_name(const char *file_name, std::span<char> work_name, std::size_t room)
{
    const int len = std::snprintf(work_name.data(), work_name.size(), "%s.cpy", file_name);
    if (len < 0 || static_cast<std::size_t>(len) >= work_name.size())
        return false;
    fit_file_name(work_name, room - 1);
    return true;
}

bool
create_work_file(const char *file_name, std::span<char> work_name, out_stream *out,
                 const char *mode)
{
    std::size_t room = NAME_SIZE;
    if (!form_work_name(file_name, work_name, room)) {
        note_reason("name too long");
        return false;
    }
    for (;;) {
        const create_result created = out_create_new(out, work_name.data(), mode);
        if (created == CREATE_OK)
            return true;
        if (created == CREATE_FAILED) {
            // a name the file system finds too long is shortened until it fits
            if (shorten_name_too_long(work_name, &room))
                continue;
            return false;
        }
        note_name_refused(work_name.data());
        form_work_name(file_name, work_name, room);
        make_unique_name(work_name.first(room));
    }
}

// What the page's name reached when the page was opened.
struct page_entry {
    entry_kind kind = ENTRY_NONE;
    file_identity file;
};

// Opens the page to rewrite: the file expected, when one is, reached by its own name. Stores in
// *page_out what the name reached.
static rewrite_result
open_page(text_input *in, const char *file_name, const file_identity *expected,
          page_entry *page_out)
{
    // Every byte is text here: a 0x1A byte or a NUL neither ends the page nor cuts its line.
    if (expected == nullptr) {
        if (!text_open_read(in, file_name, false))
            fail_run_file(file_name, MSG_OPEN_FAILED);
        page_out->kind = inspect_entry(file_name, &page_out->file);
        return REWRITE_DONE;
    }
    switch (text_open_own(in, file_name, *expected, READ_TEXT_TO_END)) {
    case EXISTING_PLAIN:
        *page_out = {ENTRY_REGULAR, *expected};
        return REWRITE_DONE;
    case EXISTING_OTHER:
        // a link or another file put in the page's place: never read through it
        console_printf(MSG_LEFT_ALONE, file_name);
        return REWRITE_LEFT_ALONE;
    default:
        fail_run_file(file_name, MSG_OPEN_FAILED);
    }
}

// Creates the work file for file_name's new text (see create_work_file), or ends the run.
static void
open_work_file(const char *file_name, std::span<char> work_name, out_stream *out)
{
    if (!create_work_file(file_name, work_name, out, "w"))
        fail_run_file(work_name.data(), MSG_OPEN_FAILED);
}

// Writes what the rewrite gives of the page's text to out. Each step's text ends at its last
// line feed, the rest going before the next read's, so that a pass finding nothing to change
// can hand the text on as it is. False when the rewrite must start again (see rewrite_step).
static bool
copy_rewritten(text_input *in, rewrite_state *rewrite, out_stream *out)
{
    std::string text;
    std::string rest;
    std::string replaced;
    for (;;) {
        text.assign(rest);
        text.resize(rest.size() + READ_STEP);
        const std::size_t got =
            text_read_text(in, std::span<char>(text.data() + rest.size(), READ_STEP));
        text.resize(rest.size() + got);
        rest.clear();
        const std::size_t lf = text.rfind('\n');
        if (got > 0 && lf != std::string::npos) {
            rest.assign(text, lf + 1);
            text.resize(lf + 1);
        }
        replaced.clear();
        if (!rewrite_step(rewrite, &text, got == 0, &replaced))
            return false;
        out_write(out, replaced.data(), replaced.size());
        if (got == 0)
            return true;
    }
}

// Writes the page's new text to the work file; when the one scan lost its way in a long line,
// it starts again from the page's first byte in a new work file.
static void
write_new_text(text_input *in, const char *file_name, std::span<const replacement> replacements,
               std::span<char> work_name, out_stream *out)
{
    rewrite_state rewrite;
    start_rewrite(&rewrite, replacements);
    if (copy_rewritten(in, &rewrite, out))
        return;
    out_close(out);
    remove_file(work_name.data());
    open_work_file(file_name, work_name, out);
    text_seek(in, 0);
    rewrite_state again;
    start_rewrite(&again, replacements);
    again.whole_lines_only = true;  // the scan never begins a line it may not finish
    copy_rewritten(in, &again, out);
}

// Called, when set, before a rewrite checks what its page's name reaches (tests swap the page).
void (*rewrite_before_rename_hook)(const char *file_name) = nullptr;

// True when the page's name reaches what it reached when the page was opened (or nothing: the
// page's new text then takes the name).
static bool
is_still_page(const char *file_name, const page_entry &page)
{
    if (rewrite_before_rename_hook != nullptr)
        rewrite_before_rename_hook(file_name);
    page_entry now;
    now.kind = inspect_entry(file_name, &now.file);
    return now.kind == ENTRY_NONE || (now.kind == page.kind && now.file == page.file);
}

rewrite_result
rewrite_text_file(const char *file_name, std::span<const replacement> replacements,
                  file_identity *expected)
{
    text_input in;
    page_entry page;
    if (open_page(&in, file_name, expected, &page) == REWRITE_LEFT_ALONE)
        return REWRITE_LEFT_ALONE;
    char work_name[LINE_BUFFER_SIZE];
    out_stream out;
    open_work_file(file_name, work_name, &out);
    write_new_text(&in, file_name, replacements, work_name, &out);
    text_close(&in);
    file_identity written;
    const bool written_known = out_identity(&out, &written);
    // The page is replaced only by a complete new text, in one step: at every moment it is
    // whole, its former text or its new one.
    // (a removal that succeeds leaves the failure's reason as it was)
    if (!out_close(&out)) {
        remove_file(work_name);
        fail_run_file(work_name, MSG_OPEN_FAILED);
    }
    if (!is_still_page(file_name, page)) {
        // another file was put in the page's place while it was read: it keeps its text
        remove_file(work_name);
        console_printf(MSG_LEFT_ALONE, file_name);
        return REWRITE_LEFT_ALONE;
    }
    if (!rename_replace(work_name, file_name)) {
        remove_file(work_name);
        fail_run_file(file_name, MSG_OPEN_FAILED);
    }
    if (expected != nullptr)
        *expected = written_known ? written : file_identity{};  // unknown: later left alone
    return REWRITE_DONE;
}

void
replace_txt(const char *file_name, const char *old_text, const char *new_text)
{
    const replacement one{old_text, new_text};
    rewrite_text_file(file_name, std::span<const replacement>(&one, 1));
}
