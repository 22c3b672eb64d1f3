#include "archive/archive.hpp"

#include "archive/internal.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// Many passes over one text replace as one scan does when they cannot meet: no occurrence
// overlaps another's, no text a pass brings in (with the bytes around it) holds what a later
// pass looks for, and occurrences in a line lie far enough apart for each to be judged on the
// bytes around it. Then every occurrence keeps its bytes until the pass that replaces it, and
// what moves it in a pass's text is only what the passes before replaced to its left in its
// line. The scan finds every occurrence of every text sought at once by hashing, and sums those
// changes of length per pass in a Fenwick tree: it knows where each pass sees each occurrence,
// so whether a piece's end cuts it there, and which pass replaces it (the first seeking its
// text that sees it whole), whatever the line's length. When a condition fails in a line, the
// passes take the rest from that line's start.

static constexpr std::uint64_t HASH_BASE = 1099511628211ULL;
static constexpr int START_BITS = 16;
// Starts of occurrences looked for per stretch, whose hashes are held at once.
static constexpr std::size_t SCAN_STRETCH = std::size_t{1} << 16;
static constexpr std::uint32_t NO_PASS = UINT32_MAX;

static std::uint64_t
byte_value(char c)
{
    return static_cast<std::uint64_t>(static_cast<unsigned char>(c)) + 1;
}

// The hash of text[from, from + len), from the prefix hashes of text.
static std::uint64_t
range_hash(const std::vector<std::uint64_t> &prefix, const pattern_table &table, std::size_t from,
           std::size_t len)
{
    return prefix[from + len] - prefix[from] * table.powers[len];
}

static std::uint64_t
lookup_key(std::uint64_t hash, std::size_t len)
{
    return hash * 0x9E3779B97F4A7C15ULL ^ static_cast<std::uint64_t>(len);
}

// The bit of the first four bytes at p in the table's filter of starts.
static std::size_t
start_bit(const char *p)
{
    std::uint32_t four = 0;
    std::memcpy(&four, p, 4);
    return (four * 2654435761u) >> (32 - START_BITS);
}

static bool
has_start(const pattern_table &table, const char *p)
{
    const std::size_t bit = start_bit(p);
    return (table.starts[bit / 64] >> (bit % 64) & 1) != 0;
}

// The hashes of every prefix of text: prefix[k] of its first k bytes.
static void
fill_prefix(std::string_view text, std::vector<std::uint64_t> *prefix)
{
    prefix->resize(text.size() + 1);
    (*prefix)[0] = 0;
    for (std::size_t k = 0; k < text.size(); ++k)
        (*prefix)[k + 1] = (*prefix)[k] * HASH_BASE + byte_value(text[k]);
}

// Adds a distinct text sought, or returns the one it equals.
static std::uint32_t
add_text(pattern_table *table, std::string_view text, std::uint32_t pass)
{
    std::vector<std::uint64_t> prefix;
    fill_prefix(text, &prefix);
    const std::uint64_t key = lookup_key(prefix[text.size()], text.size());
    const auto [from, to] = table->by_key.equal_range(key);
    for (auto it = from; it != to; ++it) {
        if (table->texts[it->second] == text) {
            table->last_pass[it->second] = pass;
            return it->second;
        }
    }
    const auto id = static_cast<std::uint32_t>(table->texts.size());
    table->texts.push_back(text);
    table->last_pass.push_back(pass);
    table->by_key.emplace(key, id);
    const std::size_t bit = start_bit(text.data());
    table->starts[bit / 64] |= std::uint64_t{1} << (bit % 64);
    return id;
}

static bool
has_line_end(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// Lists the passes seeking each text, text by text, in pass order (text_of: the text of each
// pass).
static void
list_passes(pattern_table *table, const std::vector<std::uint32_t> &text_of)
{
    table->passes_from.assign(table->texts.size() + 1, 0);
    for (const std::uint32_t id : text_of)
        ++table->passes_from[id + 1];
    for (std::size_t k = 1; k < table->passes_from.size(); ++k)
        table->passes_from[k] += table->passes_from[k - 1];
    std::vector<std::uint32_t> next(table->passes_from.begin(), table->passes_from.end() - 1);
    table->passes.resize(text_of.size());
    for (std::size_t pass = 0; pass < text_of.size(); ++pass)
        table->passes[next[text_of[pass]]++] = static_cast<std::uint32_t>(pass);
}

void
fill_pattern_table(pattern_table *table, std::span<const replacement> replacements)
{
    *table = pattern_table{};
    if (replacements.size() < AT_ONCE_FROM_PASSES || replacements.size() >= NO_PASS)
        return;
    for (const replacement &r : replacements) {
        if (r.old_text.size() < 4 || has_line_end(r.old_text) || has_line_end(r.new_text))
            return;  // short texts are too common to index; a line end changes the pieces
        table->longest = std::max(table->longest, r.old_text.size());
    }
    table->powers.resize(table->longest + 1);
    table->powers[0] = 1;
    for (std::size_t k = 1; k <= table->longest; ++k)
        table->powers[k] = table->powers[k - 1] * HASH_BASE;
    table->starts.assign((std::size_t{1} << START_BITS) / 64, 0);
    std::vector<std::uint32_t> text_of;
    for (std::size_t k = 0; k < replacements.size(); ++k) {
        const std::string_view old_text = replacements[k].old_text;
        text_of.push_back(add_text(table, old_text, static_cast<std::uint32_t>(k)));
        table->lengths.push_back(old_text.size());
        table->new_texts.push_back(replacements[k].new_text);
    }
    std::sort(table->lengths.begin(), table->lengths.end());
    table->lengths.erase(std::unique(table->lengths.begin(), table->lengths.end()),
                         table->lengths.end());
    list_passes(table, text_of);
    table->usable = true;
}

// One occurrence of a text sought: where it begins, its length and which text it is.
struct occurrence {
    std::size_t pos = 0;
    std::size_t len = 0;
    std::uint32_t id = 0;
};

// Appends to found_out every occurrence of a text sought in text whose start lies in
// [from, to), in order of position, then length.
static void
find_occurrences(const pattern_table &table, std::string_view text,
                 const std::vector<std::uint64_t> &prefix, std::size_t from, std::size_t to,
                 std::vector<occurrence> *found_out)
{
    for (std::size_t pos = from; pos < to && pos + 4 <= text.size(); ++pos) {
        if (!has_start(table, text.data() + pos))
            continue;
        for (const std::size_t len : table.lengths) {
            if (pos + len > text.size())
                break;
            const std::uint64_t key = lookup_key(range_hash(prefix, table, pos, len), len);
            const auto [first, last] = table.by_key.equal_range(key);
            for (auto it = first; it != last; ++it) {
                if (text.substr(pos, len) == table.texts[it->second])
                    found_out->push_back({pos, len, it->second});
            }
        }
    }
}

// What the replacements the passes before pass made in the line so far added to the length of
// the line's text up to here, as pass sees it.
static std::int64_t
growth_before(const at_once_state &state, std::uint32_t pass)
{
    std::int64_t sum = 0;
    for (std::size_t k = pass; k > 0; k &= k - 1)
        sum += state.growth[k];
    return sum;
}

static void
add_growth(at_once_state *state, std::uint32_t pass, std::int64_t change)
{
    for (std::size_t k = std::size_t{pass} + 1; k < state->growth.size(); k += k & (~k + 1))
        state->growth[k] += change;
}

// The pass that replaces o: the first seeking its text that sees it within one piece of its
// line, where the replacements of the passes before it moved it; NO_PASS when each sees it cut.
static std::uint32_t
replacing_pass(const pattern_table &table, const at_once_state &state, const occurrence &o)
{
    for (std::uint32_t k = table.passes_from[o.id]; k < table.passes_from[o.id + 1]; ++k) {
        const std::uint32_t pass = table.passes[k];
        const auto pos =
            static_cast<std::size_t>(static_cast<std::int64_t>(o.pos) + growth_before(state, pass));
        if (pos / PIECE_SIZE == (pos + o.len - 1) / PIECE_SIZE)
            return pass;
    }
    return NO_PASS;
}

// True when the text that pass puts in place of o, with the bytes of the line around it, holds
// an occurrence that a later pass would take: one that covers some of the new text (or, for an
// empty one, the place where it joins its neighbours). line holds the line's bytes from its
// offset at on, as far around o as any text sought reaches.
static bool
brings_in_an_occurrence(const pattern_table &table, std::string_view line, std::size_t at,
                        const occurrence &o, std::uint32_t pass, std::vector<std::uint64_t> *prefix)
{
    const std::size_t reach = table.longest - 1;
    const std::size_t pos = o.pos - at;
    const std::size_t left = pos >= reach ? pos - reach : 0;
    const std::size_t right = std::min(line.size(), pos + o.len + reach);
    const std::string_view inserted = table.new_texts[pass];
    std::string window(line.substr(left, pos - left));
    const std::size_t mid_from = window.size();
    window.append(inserted);
    const std::size_t mid_to = window.size();
    window.append(line.substr(pos + o.len, right - pos - o.len));
    fill_prefix(window, prefix);
    std::vector<occurrence> found;
    find_occurrences(table, window, *prefix, 0, inserted.empty() ? mid_from : mid_to, &found);
    return std::any_of(found.begin(), found.end(), [&](const occurrence &f) {
        return f.pos + f.len > mid_from && table.last_pass[f.id] > pass;
    });
}

// Takes an occurrence found in the line (line: its bytes from offset at on), in order of
// position: replaces it with what the pass that takes it puts in, or keeps it where no pass
// does. False when the passes could meet there.
static bool
take_occurrence(const pattern_table &table, at_once_state *state, std::string_view line,
                std::size_t at, const occurrence &o, std::string *out)
{
    const std::size_t end = o.pos + o.len;
    if (o.pos < state->max_end && o.id != state->max_end_id)
        return false;  // two texts overlap: which pass takes the bytes depends on their order
    if (end > state->max_end) {
        state->max_end = end;
        state->max_end_id = o.id;
    }
    if (state->picked_any && o.pos < state->picked_end) {
        // within the last one taken, of the same text: its pass replaced the bytes they share
        // (had a cut kept them, the pass would have looked for the text again after the cut)
        return state->picked_at_first;
    }
    if (state->picked_any && o.pos - state->picked_end < table.longest - 1)
        return false;  // too close: a text brought in could meet the other one
    const std::uint32_t pass = replacing_pass(table, *state, o);
    state->picked_any = true;
    state->picked_end = end;
    state->picked_at_first = pass == table.passes[table.passes_from[o.id]];
    if (pass == NO_PASS)
        return true;  // cut in every pass seeking it: it stays
    std::vector<std::uint64_t> window_prefix;
    if (brings_in_an_occurrence(table, line, at, o, pass, &window_prefix))
        return false;
    out->append(line.substr(state->emitted - at, o.pos - state->emitted));
    out->append(table.new_texts[pass]);
    state->emitted = end;
    const auto change =
        static_cast<std::int64_t>(table.new_texts[pass].size()) - static_cast<std::int64_t>(o.len);
    add_growth(state, pass, change);
    state->grown.emplace_back(pass, change);
    return true;
}

// Looks for occurrences beginning at line offsets from state->scanned up to scan_to and takes
// them, a stretch at a time. line holds the line's bytes from offset at on.
static bool
scan_stretches(const pattern_table &table, at_once_state *state, std::string_view line,
               std::size_t at, std::size_t scan_to, std::string *out)
{
    const std::size_t reach = table.longest - 1;
    std::vector<occurrence> found;
    while (state->scanned < scan_to) {
        const std::size_t starts_to = std::min(scan_to, state->scanned + SCAN_STRETCH);
        const std::size_t from = state->scanned - at;
        const std::size_t to = std::min(line.size(), starts_to - at + table.longest);
        fill_prefix(line.substr(from, to - from), &state->prefix);
        found.clear();
        find_occurrences(table, line.substr(from, to - from), state->prefix, 0,
                         starts_to - state->scanned, &found);
        for (occurrence &o : found) {
            o.pos += state->scanned;
            if (!take_occurrence(table, state, line, at, o, out))
                return false;
        }
        state->scanned = starts_to;
        // what lies before the last stretch's bytes needed around an occurrence goes out
        const std::size_t settled = state->scanned >= reach ? state->scanned - reach : 0;
        if (state->emitted < settled) {
            out->append(line.substr(state->emitted - at, settled - state->emitted));
            state->emitted = settled;
        }
    }
    return true;
}

// Forgets the line: the next byte begins one.
static void
reset_line(at_once_state *state)
{
    for (const auto &[pass, change] : state->grown)
        add_growth(state, pass, -change);
    state->grown.clear();
    state->in_line = false;
    state->carry.clear();
    state->carry_at = state->scanned = state->emitted = state->max_end = state->picked_end = 0;
    state->picked_any = false;
}

// Takes the bytes of one line from offset state->carry_at on (line), all of it when complete,
// else holding back its last bytes, where an occurrence could go on into the next text.
static bool
scan_line(const pattern_table &table, at_once_state *state, std::string_view line, bool complete,
          std::string *out)
{
    const std::size_t at = state->carry_at;
    const std::size_t reach = table.longest - 1;
    std::size_t scan_to = at + line.size();
    if (!complete) {
        // an occurrence beginning before scan_to ends, with the bytes after it that it is
        // judged on, within line
        const std::size_t hold = table.longest + reach;
        scan_to = std::max(state->scanned, line.size() > hold ? scan_to - hold : at);
    }
    if (!scan_stretches(table, state, line, at, scan_to, out))
        return false;
    if (complete) {
        out->append(line.substr(state->emitted - at));
        return true;
    }
    // kept: the bytes an occurrence found next is judged on, and those not yet out
    const std::size_t keep_from =
        std::min(state->emitted, std::max(at, scan_to >= reach ? scan_to - reach : 0));
    state->carry.assign(line.substr(keep_from - at));
    state->carry_at = keep_from;
    state->in_line = true;
    return true;
}

bool
replace_at_once_step(const pattern_table &table, at_once_state *state, std::string_view text,
                     bool at_end, std::string *out, std::size_t *taken_out)
{
    *taken_out = text.size();
    if (state->growth.size() != table.new_texts.size() + 1)
        state->growth.assign(table.new_texts.size() + 1, 0);
    std::string held = std::move(state->carry);
    const std::size_t carried = held.size();
    held.append(text);
    for (std::size_t from = 0;;) {
        const std::size_t lf = held.find('\n', from);
        const bool complete = lf != std::string::npos || at_end;
        const std::size_t end = lf != std::string::npos ? lf + 1 : held.size();
        const bool begun_before = state->in_line;
        const std::size_t out_before = out->size();
        if (!scan_line(table, state, std::string_view(held).substr(from, end - from), complete,
                       out)) {
            if (begun_before)
                return false;
            // the line began in this text: the passes take it from its start
            out->resize(out_before);
            reset_line(state);
            *taken_out = from - carried;
            return true;
        }
        if (!complete)
            return true;
        reset_line(state);
        from = end;
        if (from == held.size())
            return true;
    }
}

bool
replace_at_once(const pattern_table &table, std::string_view text, std::string *out)
{
    if (!table.usable)
        return false;
    at_once_state state;
    const std::size_t out_before = out->size();
    std::size_t taken = 0;
    if (!replace_at_once_step(table, &state, text, true, out, &taken) || taken < text.size()) {
        out->resize(out_before);
        return false;
    }
    return true;
}
