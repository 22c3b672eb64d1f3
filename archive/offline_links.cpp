#include "archive/archive.hpp"

#include "archive/internal.hpp"
#include "platform/platform.hpp"
#include "webref/webref.hpp"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Pages that open offline: every reference in an HTML or style sheet output that names a part
// of the same archive is pointed at the file written for that part, as a reference relative to
// the page (the folder may move), percent-encoded from the name as the file system stores it.
// A reference names a part when, resolved against the page's base, it is the part's location
// (as the headers gave it, with the renames the page's text took), or when it is "cid:X" and
// the part's Content-ID is <X>. Every other byte of the page stays as it is.

// Bytes read from a page per step, and the size of the output gathered before a write.
static constexpr std::size_t READ_STEP = std::size_t{1} << 14;
static constexpr std::size_t OUT_STEP = std::size_t{1} << 14;

// The longest reference value looked at: a location is a header line, at most a read's 10,238
// bytes (or a name of that size decoded from encoded words); a longer value names no part and
// stays as it is.
static constexpr std::size_t VALUE_SIZE = std::size_t{1} << 14;

// What the archive's parts are known by: their locations (canonical form) as the pages' text
// names them after the renames, and, for the style sheets, whose text no rename touched, the
// locations the renames changed as they were before; and their Content-IDs. Each names the part
// written last with it.
struct part_index {
    std::unordered_map<std::string, std::size_t> by_location;
    std::unordered_map<std::string, std::size_t> by_former_location;
    std::vector<bool> renamed;  // per part: the renames changed its location
    std::unordered_map<std::string, std::size_t> by_content_id;
};

// The scratch buffers of one page's pass.
struct link_buffers {
    std::vector<char> hold = std::vector<char>(VALUE_SIZE);
    std::vector<char> value = std::vector<char>(VALUE_SIZE);
    std::vector<char> target;   // grows to what a resolved reference needs
    std::vector<char> key;      // grows to what a canonical form needs
    std::vector<char> written;  // grows to what a replacement needs
};

// What one page's references are resolved against.
struct page_context {
    std::span<const output_entry> outputs;
    const part_index *index = nullptr;
    bool style_sheet = false;  // its text took no renames: the former locations name parts
    std::string base;          // an absolute URI, or empty: no base
    bool has_base_element = false;
    std::string own_reference;  // the page's own file, as a reference
};

// The canonical form of a location or a resolved reference, to compare as URIs compare.
static bool
location_key(std::string_view uri, std::vector<char> *key, std::string *key_out)
{
    key->resize(std::max(key->size(), 3 * uri.size()));  // a byte is spelled in three at most
    std::size_t len = 0;
    if (!canonical_uri(uri, *key, &len))
        return false;
    key_out->assign(key->data(), len);
    return true;
}

// The file name of an output as a relative reference: its bytes as the system stores the name,
// percent-encoded.
static std::string
file_reference(const char *name, std::vector<char> *scratch)
{
    std::string bytes;
    name_as_url_bytes(name, &bytes);
    scratch->resize(bytes.size() * 3 + 1);
    std::size_t len = 0;
    percent_encode(bytes, *scratch, &len);
    return std::string(scratch->data(), len);
}

// The locations as the pages' text names them now: with every rename the close-out made in the
// pages' text, made one after another as it was made there.
static std::vector<std::string>
renamed_locations(std::span<const part_links> links,
                  const std::vector<std::pair<std::string, std::string>> &renames)
{
    std::string joined;
    for (const part_links &part : links) {
        joined += part.location;
        joined += '\n';
    }
    if (!renames.empty()) {
        std::vector<replacement> passes;
        for (const auto &[old_text, new_text] : renames)
            passes.push_back({old_text, new_text});
        joined = rewrite_text(joined, passes);
    }
    std::vector<std::string> locations;
    for (std::size_t from = 0; from < joined.size();) {
        const std::size_t lf = joined.find('\n', from);
        const std::size_t end = lf == std::string::npos ? joined.size() : lf;
        locations.emplace_back(joined, from, end - from);
        from = end + 1;
    }
    locations.resize(links.size());
    return locations;
}

static void
add_location(std::unordered_map<std::string, std::size_t> *map, std::string_view location,
             std::size_t entry, link_buffers *buffers)
{
    std::string key;
    if (!location.empty() && location_key(location, &buffers->key, &key))
        (*map)[key] = entry;  // the part written last with it: its file is the one on disk
}

static part_index
index_parts(std::span<const part_links> links, const std::vector<std::string> &renamed,
            link_buffers *buffers)
{
    part_index index;
    index.renamed.resize(links.size());
    for (std::size_t k = 0; k < links.size(); ++k) {
        add_location(&index.by_location, renamed[k], k, buffers);
        index.renamed[k] = renamed[k] != links[k].location;
        if (index.renamed[k])
            add_location(&index.by_former_location, links[k].location, k, buffers);
        if (!links[k].content_id.empty())
            index.by_content_id[links[k].content_id] = k;
    }
    return index;
}

// Makes room for a URI resolved from texts of bytes bytes in all: the result, and the merged
// path beside it.
static void
fit_target(link_buffers *buffers, std::size_t bytes)
{
    buffers->target.resize(std::max(buffers->target.size(), 2 * bytes + 16));
}

static bool
is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

static std::string_view
trimmed(std::string_view text)
{
    while (!text.empty() && is_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_space(text.back()))
        text.remove_suffix(1);
    return text;
}

// The reference's value as a browser reads it: character references undone in HTML, white
// space around it dropped.
static std::string_view
reference_value(const scan_reference &found, link_buffers *buffers)
{
    if (found.place != PLACE_HTML)
        return trimmed(found.raw);
    std::size_t len = 0;
    if (!decode_char_refs(found.raw, buffers->value, &len))
        return {};
    return trimmed(std::string_view(buffers->value.data(), len));
}

// The part a "cid:" reference names, or npos: its Content-ID as the reference gives it, or
// with the reference's escapes undone (the URL form escapes what a Content-ID holds).
static std::size_t
find_by_content_id(const page_context &page, std::string_view id, link_buffers *buffers)
{
    const auto &map = page.index->by_content_id;
    auto found = map.find(std::string(id));
    std::size_t len = 0;
    buffers->key.resize(std::max(buffers->key.size(), id.size()));
    if (found == map.end() && percent_decode(id, buffers->key, &len))
        found = map.find(std::string(buffers->key.data(), len));
    return found == map.end() ? std::string::npos : found->second;
}

// True when the reference's scheme is scheme (lower case), in any letter case.
static bool
has_scheme(const uri_parts &reference, std::string_view scheme)
{
    if (!reference.has_scheme || reference.scheme.size() != scheme.size())
        return false;
    for (std::size_t k = 0; k < scheme.size(); ++k) {
        if (ascii_upper(static_cast<unsigned char>(reference.scheme[k])) !=
            ascii_upper(static_cast<unsigned char>(scheme[k])))
            return false;
    }
    return true;
}

// The part that target (resolved, without its fragment) names, or npos.
static std::size_t
find_by_location(const page_context &page, std::string_view target, link_buffers *buffers)
{
    std::string key;
    if (!location_key(target, &buffers->key, &key))
        return std::string::npos;
    if (page.style_sheet) {
        // a location the renames changed is known to a style sheet as it was
        const auto former = page.index->by_former_location.find(key);
        if (former != page.index->by_former_location.end())
            return former->second;
    }
    const auto found = page.index->by_location.find(key);
    if (found == page.index->by_location.end() ||
        (page.style_sheet && page.index->renamed[found->second]))
        return std::string::npos;
    return found->second;
}

// Decides what stands in a reference's place. Returns false when its bytes stay as they are.
static bool
choose_replacement(const page_context &page, const scan_reference &found, link_buffers *buffers,
                   std::string *replacement)
{
    if (page.has_base_element && std::strcmp(found.tag, "base") == 0 &&
        std::strcmp(found.attribute, "href") == 0) {
        // the base now names the page itself: relative references resolve in its folder
        *replacement = page.own_reference;
        return true;
    }
    const std::string_view value = reference_value(found, buffers);
    if (value.empty() || value.front() == '#')
        return false;  // the page itself, wherever it lies
    const uri_parts reference = split_uri(value);
    std::size_t part = std::string::npos;
    if (has_scheme(reference, "cid")) {
        part = find_by_content_id(page, reference.path, buffers);
    } else if (reference.has_scheme || !page.base.empty()) {
        const uri_parts base = split_uri(page.base.empty() ? value : page.base);
        std::size_t len = 0;
        fit_target(buffers, page.base.size() + value.size());
        if (!resolve_reference(base, reference, buffers->target, &len))
            return false;
        const std::string_view target(buffers->target.data(), len);
        const uri_parts resolved = split_uri(target);
        std::string_view whole = target;
        if (resolved.has_fragment)
            whole.remove_suffix(resolved.fragment.size() + 1);
        part = find_by_location(page, whole, buffers);
        if (part == std::string::npos && page.has_base_element && !reference.has_scheme) {
            // it named what the base made of it, which the base no longer makes: say it whole
            replacement->assign(target);
            return true;
        }
    } else {
        std::string_view whole = value;
        if (reference.has_fragment)
            whole.remove_suffix(reference.fragment.size() + 1);
        part = find_by_location(page, whole, buffers);  // a location as relative as it
    }
    if (part == std::string::npos)
        return false;
    *replacement = file_reference(page.outputs[part].name, &buffers->written);
    if (reference.has_fragment) {
        replacement->push_back('#');
        replacement->append(reference.fragment);
    }
    return true;
}

// Writes the bytes that stand for a reference: its replacement spelled for its place, or its
// own bytes. Returns true when they differ from its own.
static bool
write_reference(const page_context &page, const scan_reference &found, link_buffers *buffers,
                out_stream *out)
{
    std::string replacement;
    std::size_t len = 0;
    if (choose_replacement(page, found, buffers, &replacement)) {
        buffers->written.resize(replacement.size() * 6 + 16);
        if (write_replacement(found, replacement, buffers->written, &len)) {
            out_write(out, buffers->written.data(), len);
            return std::string_view(buffers->written.data(), len) != found.raw;
        }
    }
    out_write(out, found.raw.data(), found.raw.size());
    return false;
}

// Hands the scanner's output to out, when there is one, and empties it.
static void
pass_on(out_stream *out, const std::vector<char> &buffer, std::size_t *len)
{
    if (out != nullptr)
        out_write(out, buffer.data(), *len);
    *len = 0;
}

// Runs the scanner over the whole of in, from its start, writing the result to out when out is
// given. With base_out, the pass only looks for the first <base href> (until <body>) and stores
// its value, as a browser reads it. Returns true when a reference was given other bytes.
static bool
scan_page(text_input *in, const page_context &page, link_buffers *buffers, out_stream *out,
          std::string *base_out)
{
    ref_scanner scanner;
    scan_init(&scanner, page.style_sheet ? SCAN_TEXT_CSS : SCAN_TEXT_HTML, buffers->hold,
              base_out != nullptr);
    std::vector<char> chunk(READ_STEP);
    std::vector<char> out_buffer(OUT_STEP);
    std::size_t out_len = 0;
    bool changed = false;
    for (;;) {
        const std::size_t got = text_read_text(in, chunk);
        const std::string_view text(chunk.data(), got);
        std::size_t pos = 0;
        scan_reference found;
        for (bool more = got > 0; more;) {
            switch (scan_step(&scanner, text, &pos, out_buffer, &out_len, &found)) {
            case SCAN_REFERENCE:
                pass_on(out, out_buffer, &out_len);
                if (base_out == nullptr) {
                    changed = write_reference(page, found, buffers, out) || changed;
                } else if (std::strcmp(found.tag, "base") == 0 &&
                           std::strcmp(found.attribute, "href") == 0) {
                    base_out->assign(reference_value(found, buffers));
                    return false;
                }
                break;
            case SCAN_TAG:
                if (std::strcmp(found.tag, "body") == 0)
                    return false;
                break;
            case SCAN_OUTPUT_FULL:
                pass_on(out, out_buffer, &out_len);
                break;
            default:
                more = false;
                break;
            }
        }
        if (got == 0) {
            while (!scan_finish(&scanner, out_buffer, &out_len))
                pass_on(out, out_buffer, &out_len);
            pass_on(out, out_buffer, &out_len);
            return changed;
        }
    }
}

// Opens an output to read it whole, as the file written for it: anything else put in its place
// is left alone (the console says so). Returns false then; a file gone or unreadable ends the
// run.
static bool
open_output(text_input *in, const output_entry &entry)
{
    if (!entry.file_known) {
        if (text_open_read(in, entry.name, false))
            return true;
        fail_run_file(entry.name, MSG_OUTPUT_OPEN, entry.name);
    }
    switch (text_open_own(in, entry.name, entry.file, READ_BYTES)) {
    case EXISTING_PLAIN:
        return true;
    case EXISTING_OTHER:
        console_printf(MSG_LEFT_ALONE, entry.name);
        return false;
    default:
        fail_run_file(entry.name, MSG_OUTPUT_OPEN, entry.name);
    }
}

// The base a page's relative references resolve against: its first <base href> (resolved
// against its location), or its location; empty when neither is an absolute URI.
static void
find_base(const output_entry &entry, std::string_view location, page_context *page,
          link_buffers *buffers)
{
    page->base.clear();
    page->has_base_element = false;
    const uri_parts own = split_uri(location);
    if (own.has_scheme)
        page->base.assign(location);
    if (page->style_sheet)
        return;
    text_input in;
    if (!open_output(&in, entry))
        return;
    std::string base_href;
    scan_page(&in, *page, buffers, nullptr, &base_href);
    text_close(&in);
    if (base_href.empty())
        return;
    page->has_base_element = true;
    const uri_parts href = split_uri(base_href);
    std::size_t len = 0;
    if (href.has_scheme || own.has_scheme) {
        fit_target(buffers, location.size() + base_href.size());
        if (resolve_reference(href.has_scheme ? href : own, href, buffers->target, &len))
            page->base.assign(buffers->target.data(), len);
    }
}

// Rewrites one output through a work file beside it, which takes its name when whole; an
// output whose references all stay is left as it is.
static void
link_output(output_entry *entry, page_context *page, link_buffers *buffers)
{
    text_input in;
    if (!open_output(&in, *entry))
        return;
    char work_name[LINE_BUFFER_SIZE];
    out_stream out;
    if (!create_work_file(entry->name, work_name, &out, "wb"))
        fail_run_file(work_name, MSG_OUTPUT_OPEN, entry->name);
    const bool changed = scan_page(&in, *page, buffers, &out, nullptr);
    text_close(&in);
    file_identity written;
    const bool known = out_identity(&out, &written);
    // (a removal that succeeds leaves the failure's reason as it was)
    if (!out_close(&out)) {
        remove_file(work_name);
        fail_run_file(work_name, MSG_OUTPUT_OPEN, entry->name);
    }
    if (!changed) {
        remove_file(work_name);
        return;
    }
    if (!rename_replace(work_name, entry->name)) {
        remove_file(work_name);
        fail_run_file(entry->name, MSG_OUTPUT_OPEN, entry->name);
    }
    entry->file = written;
    entry->file_known = known;
}

// Per output: the last output written as each file, whose own turn rewrites that file.
using last_outputs = std::map<file_identity, std::size_t>;

static last_outputs
last_output_of_each_file(std::span<const output_entry> outputs)
{
    last_outputs last;
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        if (outputs[k].file_known)
            last[outputs[k].file] = k;
    }
    return last;
}

// True when a later part replaced the file of entry k (they carried one name): the later one
// is the file on disk, and its own turn rewrites it.
static bool
is_replaced_later(std::span<const output_entry> outputs, const last_outputs &last, std::size_t k)
{
    file_identity now;
    if (!outputs[k].file_known || inspect_entry(outputs[k].name, &now) != ENTRY_REGULAR ||
        now == outputs[k].file)
        return false;
    const auto found = last.find(now);
    return found != last.end() && found->second > k;
}

void
link_outputs_offline(std::span<output_entry> outputs, std::span<const part_links> links,
                     const std::vector<std::pair<std::string, std::string>> &renames)
{
    link_buffers buffers;
    const std::vector<std::string> renamed = renamed_locations(links, renames);
    const part_index index = index_parts(links, renamed, &buffers);
    const last_outputs last = last_output_of_each_file(outputs);
    for (std::size_t k = 0; k < outputs.size() && k < links.size(); ++k) {
        output_entry &entry = outputs[k];
        const bool style_sheet = entry.kind != KIND_HTML && links[k].style_sheet;
        if ((entry.kind != KIND_HTML && !style_sheet) || is_replaced_later(outputs, last, k))
            continue;
        page_context page;
        page.outputs = outputs;
        page.index = &index;
        page.style_sheet = style_sheet;
        page.own_reference = file_reference(entry.name, &buffers.written);
        find_base(entry, style_sheet ? links[k].location : renamed[k], &page, &buffers);
        link_output(&entry, &page, &buffers);
    }
}
