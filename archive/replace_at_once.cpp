#include "archive/archive.hpp"

#include "archive/internal.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// Many passes over one text replace as one scan does when they cannot meet: no occurrence
// overlaps another's, no text a pass brings in (with the bytes around it) holds what a later
// pass looks for, and no line changed can reach a piece's size, where a pass would see it cut.
// The scan finds every occurrence of every text sought at once by hashing, checks those
// conditions on what it found, and replaces; when any fails the caller runs the passes.

static constexpr std::uint64_t HASH_BASE = 1099511628211ULL;
static constexpr int START_BITS = 16;

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
    table->first_pass.push_back(pass);
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

void
fill_pattern_table(pattern_table *table, std::span<const replacement> replacements)
{
    *table = pattern_table{};
    if (replacements.size() < AT_ONCE_FROM_PASSES)
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
    for (std::size_t k = 0; k < replacements.size(); ++k) {
        const std::string_view old_text = replacements[k].old_text;
        add_text(table, old_text, static_cast<std::uint32_t>(k));
        table->lengths.push_back(old_text.size());
    }
    std::sort(table->lengths.begin(), table->lengths.end());
    table->lengths.erase(std::unique(table->lengths.begin(), table->lengths.end()),
                         table->lengths.end());
    for (const std::uint32_t pass : table->first_pass)
        table->inserted.push_back(replacements[pass].new_text);
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

// Picks the occurrences the passes replace: each pass left to right without overlaps, as a
// pass does. False when occurrences of two different texts overlap (which pass takes the bytes
// then depends on their order).
static bool
pick_occurrences(const std::vector<occurrence> &found, std::vector<occurrence> *picked_out)
{
    std::size_t max_end = 0;
    std::uint32_t max_end_id = 0;
    std::size_t picked_end = 0;
    for (const occurrence &o : found) {
        if (o.pos < max_end && o.id != max_end_id)
            return false;
        if (o.pos + o.len > max_end) {
            max_end = o.pos + o.len;
            max_end_id = o.id;
        }
        if (!picked_out->empty() && o.pos < picked_end)
            continue;  // overlaps the last occurrence of its own text taken
        picked_out->push_back(o);
        picked_end = o.pos + o.len;
    }
    return true;
}

// True when the text that replaces o, with the bytes around it, holds an occurrence that a
// later pass would take: an occurrence that covers some of the new text (or, for an empty one,
// the place where it joins its neighbours).
static bool
brings_in_an_occurrence(const pattern_table &table, std::string_view text, const occurrence &o,
                        std::string *window, std::vector<std::uint64_t> *prefix)
{
    const std::size_t reach = table.longest - 1;
    const std::size_t left = o.pos >= reach ? o.pos - reach : 0;
    const std::size_t right = std::min(text.size(), o.pos + o.len + reach);
    const std::string_view inserted = table.inserted[o.id];
    window->assign(text.substr(left, o.pos - left));
    const std::size_t mid_from = window->size();
    window->append(inserted);
    const std::size_t mid_to = window->size();
    window->append(text.substr(o.pos + o.len, right - o.pos - o.len));
    fill_prefix(*window, prefix);
    std::vector<occurrence> found;
    find_occurrences(table, *window, *prefix, 0, inserted.empty() ? mid_from : mid_to, &found);
    const std::uint32_t pass = table.first_pass[o.id];
    for (const occurrence &f : found) {
        if (f.pos + f.len > mid_from && table.last_pass[f.id] > pass)
            return true;
    }
    return false;
}

// True when the picked occurrences leave room between them: each text a pass brings in has
// only bytes of the text around it, as far as any text sought reaches, and no line that
// changes can reach a piece's size at any pass. Lines are the text's own: no text sought or
// brought in holds a line end.
static bool
keeps_apart(const pattern_table &table, std::string_view text,
            const std::vector<occurrence> &picked)
{
    std::size_t line_start = 0;
    std::size_t line_end = 0;  // one past the line's line feed (or the text's end)
    std::size_t line_growth = 0;
    std::size_t prev_end = 0;
    for (const occurrence &o : picked) {
        if (o.pos >= line_end) {
            if (line_end - line_start + line_growth > PIECE_SIZE)
                return false;
            const std::size_t lf = text.rfind('\n', o.pos);
            line_start = lf == std::string_view::npos ? 0 : lf + 1;
            const std::size_t next = text.find('\n', o.pos);
            line_end = next == std::string_view::npos ? text.size() : next + 1;
            line_growth = 0;
        } else if (o.pos - prev_end < table.longest - 1) {
            return false;
        }
        const std::size_t inserted = table.inserted[o.id].size();
        line_growth += inserted > o.len ? inserted - o.len : 0;
        prev_end = o.pos + o.len;
    }
    return line_end - line_start + line_growth <= PIECE_SIZE;
}

// True when text holds a place where a text sought may begin, by the filter of starts.
static bool
may_hold_a_start(const pattern_table &table, std::string_view text)
{
    for (std::size_t pos = 0; pos + 4 <= text.size(); ++pos) {
        if (has_start(table, text.data() + pos))
            return true;
    }
    return false;
}

// Appends to found_out every occurrence in text, line by line (no text sought holds a line
// end), each line's prefix hashes in prefix. False when a line longer than a piece may hold
// one: the passes could see it cut, and its hashes would take much room.
static bool
find_in_lines(const pattern_table &table, std::string_view text, std::vector<std::uint64_t> *prefix,
              std::vector<occurrence> *found_out)
{
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t lf = text.find('\n', from);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        const std::string_view line = text.substr(from, end - from);
        if (line.size() >= PIECE_SIZE) {
            if (may_hold_a_start(table, line))
                return false;
        } else if (line.size() >= 4) {
            fill_prefix(line, prefix);
            const std::size_t first = found_out->size();
            find_occurrences(table, line, *prefix, 0, line.size(), found_out);
            for (std::size_t k = first; k < found_out->size(); ++k)
                (*found_out)[k].pos += from;
        }
        from = end + 1;
    }
    return true;
}

bool
replace_at_once(const pattern_table &table, std::string_view text, std::string *out)
{
    if (!table.usable)
        return false;
    std::vector<std::uint64_t> prefix;
    std::vector<occurrence> found;
    if (!find_in_lines(table, text, &prefix, &found))
        return false;
    std::vector<occurrence> picked;
    if (!pick_occurrences(found, &picked) || !keeps_apart(table, text, picked))
        return false;
    std::string window;
    for (const occurrence &o : picked) {
        if (brings_in_an_occurrence(table, text, o, &window, &prefix))
            return false;
    }
    std::size_t from = 0;
    for (const occurrence &o : picked) {
        out->append(text.substr(from, o.pos - from));
        out->append(table.inserted[o.id]);
        from = o.pos + o.len;
    }
    out->append(text.substr(from));
    return true;
}
