#include "archive/archive.hpp"

#include "archive/internal.hpp"
#include "platform/platform.hpp"
#include "webref/webref.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Pages that open offline: every reference in an HTML or style sheet output that names a part
// of the same archive is pointed at the file written for that part, as a reference relative to
// the page (the folder may move), percent-encoded from the name as the file system stores it.
// A reference names a part when, resolved against the page's base as a browser resolves it, it
// is the part's location (as the headers gave it, with the renames the page's text took), or
// when it is "cid:X" and the part's Content-ID, or its location, is that. Elements whose
// reference now leads to a file lose their integrity and crossorigin attributes (a file
// satisfies neither), and a page's charset is declared as its text now is. Every other byte of
// the page stays as it is.

// Bytes read from a page per step, and the size of the output gathered before a write.
static constexpr std::size_t READ_STEP = std::size_t{1} << 14;
static constexpr std::size_t OUT_STEP = std::size_t{1} << 14;

// The longest reference value looked at: a location is a header line, at most a read's 10,238
// bytes (or a name of that size decoded from encoded words); a longer value names no part and
// stays as it is.
static constexpr std::size_t VALUE_SIZE = std::size_t{1} << 14;

// What a page without an absolute location resolves its references against: a stand-in for
// the folder it lies in, which no real location shares. A reference it makes absolute is
// written relative again, without it.
static constexpr std::string_view FOLDER_BASE = "http://page.invalid/";

// The text a page whose text is now Shift_JIS declares.
static constexpr std::string_view SHIFT_JIS = "Shift_JIS";

// What the archive's parts are known by: their locations (canonical form) as the pages' text
// names them after the renames, and, for the style sheets, whose text no rename touched, the
// locations the renames changed as they were before; and their Content-IDs and "cid:"
// locations (escapes undone). Each names the part written last with it.
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

// Where a page that declares no charset gets its <meta charset>: right after the first of
// these tags it has (the later ones only when it has none of the earlier), or at its start.
enum meta_place : int {
    META_AT_START = 0,
    META_AFTER_DOCTYPE = 1,
    META_AFTER_HTML = 2,
    META_AFTER_HEAD = 3
};

// The elements of a page that may lose their integrity and crossorigin attributes, at most.
static constexpr std::size_t MAX_LOCAL_ELEMENTS = std::size_t{1} << 16;

// What a first look at a page finds: its base element, whether any element may lose
// attributes, whether it declares a charset and where a declaration would go.
struct page_survey {
    bool has_base = false;
    std::uint64_t base_element = 0;
    std::string base_href;
    bool has_droppable = false;
    bool declares_charset = false;
    meta_place meta_at = META_AT_START;
};

// What a reference's value comes to on a page: the part it names (npos: none) and, for a
// relative one that names none under a base the page no longer has, where that base led it.
struct value_choice {
    std::size_t part = std::string::npos;
    bool led_elsewhere = false;
    std::string url;
};

// The choices made for a page's values, kept while they hold at most this many bytes: a page
// names the same image or link many times, and a long base makes each resolution long.
static constexpr std::size_t CHOICE_CACHE_BYTES = std::size_t{1} << 18;

// What one page's references are resolved against, and what its pass has done so far.
struct page_context {
    std::span<const output_entry> outputs;
    const part_index *index = nullptr;
    bool style_sheet = false;     // its text took no renames: the former locations name parts
    std::string location;         // its own location: absolute, or FOLDER_BASE
    std::string base;             // what its relative references resolve against (absolute)
    bool base_rewritten = false;  // its base element now names the page itself
    std::uint64_t base_element = 0;
    std::string own_reference;  // the page's own file, as a reference
    std::string charset;        // the charset its text is in now ("" unknown)
    bool converted = false;     // its text was converted to Shift_JIS
    std::string meta;           // a <meta charset> to insert ("" none)
    meta_place meta_at = META_AT_START;
    std::vector<std::uint64_t> local_elements;  // elements whose reference now leads to a file
    std::size_t next_local = 0;                 // the first of them not passed yet
    std::uint64_t read = 0;                     // bytes of the page read so far
    std::uint64_t added = 0;                    // bytes absolute references added
    std::unordered_map<std::string, value_choice> choices;  // by value
    std::size_t choice_bytes = 0;                           // the bytes they hold
};

// An absolute reference a page's base made of a relative one may add at most this many bytes
// per byte of the page read so far: a long base never multiplies a page.
static constexpr std::uint64_t ADDED_PER_BYTE_READ = 2;

// A URL resolved as a browser resolves it, into buffers->target: input against base ("" for
// none). Returns false when it gives no URL.
static bool
resolve(std::string_view base, std::string_view input, link_buffers *buffers,
        std::string_view *url_out)
{
    // room for every byte escaped, the base and input each
    buffers->target.resize(std::max(buffers->target.size(), 3 * (base.size() + input.size()) + 64));
    std::size_t len = 0;
    if (!resolve_url(base, input, buffers->target, &len))
        return false;
    *url_out = std::string_view(buffers->target.data(), len);
    return true;
}

// True when text begins with prefix, ASCII case ignored.
static bool
begins_nocase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && has_suffix_nocase(text.substr(0, prefix.size()), prefix);
}

// The canonical form of a resolved URL, to compare as URLs compare.
static bool
location_key(std::string_view url, std::vector<char> *key, std::string *key_out)
{
    key->resize(std::max(key->size(), 3 * url.size()));  // a byte is spelled in three at most
    std::size_t len = 0;
    if (!canonical_uri(url, *key, &len))
        return false;
    key_out->assign(key->data(), len);
    return true;
}

// The key of a location or a reference resolved against base: its canonical form, without
// the fragment.
static bool
resolved_key(std::string_view base, std::string_view input, link_buffers *buffers,
             std::string *key_out)
{
    std::string_view url;
    if (!resolve(base, input, buffers, &url))
        return false;
    url = url.substr(0, url.find('#'));
    return location_key(url, &buffers->key, key_out);
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

// Gives each of texts what the passes, one after another, give of it (each text taken alone,
// as one line): in one scan each where the passes allow it.
static void
rewrite_each_text(std::vector<std::string> *texts, std::span<const replacement> passes)
{
    if (passes.empty())
        return;
    pattern_table table;
    fill_pattern_table(&table, passes);
    std::string out;
    for (std::string &text : *texts) {
        out.clear();
        if (table.usable && replace_at_once(table, text, &out))
            text.swap(out);
        else
            text = rewrite_text(text, passes);
    }
}

// The locations as the pages' text names them now: each location with every rename the
// close-out made in the pages' text, made one after another as it was made there.
static std::vector<std::string>
renamed_locations(std::span<const part_links> links,
                  const std::vector<std::pair<std::string, std::string>> &renames)
{
    std::vector<replacement> passes;
    for (const auto &[old_text, new_text] : renames)
        passes.push_back({old_text, new_text});
    std::vector<std::string> locations;
    locations.reserve(links.size());
    for (const part_links &part : links)
        locations.push_back(part.location);
    rewrite_each_text(&locations, passes);
    return locations;
}

// The Content-ID a "cid:" URL names: what follows the scheme, escapes undone. Empty when url
// is no "cid:" URL.
static std::string
cid_of(std::string_view url, link_buffers *buffers)
{
    static constexpr std::string_view CID = "cid:";
    if (url.size() <= CID.size() || !begins_nocase(url, CID))
        return "";
    const std::string_view id = url.substr(CID.size());
    buffers->key.resize(std::max(buffers->key.size(), id.size()));
    std::size_t len = 0;
    if (!percent_decode(id, buffers->key, &len))
        return std::string(id);
    return std::string(buffers->key.data(), len);
}

static void
add_location(std::unordered_map<std::string, std::size_t> *map, std::string_view location,
             std::size_t entry, link_buffers *buffers)
{
    std::string key;
    if (!location.empty() && resolved_key(FOLDER_BASE, location, buffers, &key))
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
        const std::string cid = cid_of(links[k].location, buffers);
        if (!cid.empty())
            index.by_content_id[cid] = k;
    }
    return index;
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

// The reference's value as a browser reads it: character references undone in HTML, escapes
// in CSS, white space around it dropped.
static std::string_view
reference_value(const scan_reference &found, link_buffers *buffers)
{
    std::size_t len = 0;
    const bool decoded = found.place == PLACE_HTML
                             ? decode_char_refs(found.raw, buffers->value, &len)
                             : decode_css_escapes(found.raw, buffers->value, &len);
    if (!decoded)
        return {};
    return trimmed(std::string_view(buffers->value.data(), len));
}

// The part a resolved key names, or npos.
static std::size_t
find_by_location(const page_context &page, const std::string &key)
{
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

// The part that value names, or npos: by its Content-ID or "cid:" location, or by its
// location resolved against the page's base.
static std::size_t
find_part(const page_context &page, std::string_view value, link_buffers *buffers)
{
    std::string_view url;
    if (resolve("", value, buffers, &url)) {
        const std::string cid = cid_of(url, buffers);
        if (!cid.empty()) {
            const auto found = page.index->by_content_id.find(cid);
            return found == page.index->by_content_id.end() ? std::string::npos : found->second;
        }
    }
    std::string key;
    if (!resolved_key(page.base, value, buffers, &key))
        return std::string::npos;
    return find_by_location(page, key);
}

// Where a relative reference under a base the page no longer has led: the URL the old base
// made of it (relative to the page's folder when the page had no location). False when the
// base made nothing of it that differs from what it says alone.
static bool
url_as_before(const page_context &page, std::string_view value, link_buffers *buffers,
              std::string *url_out)
{
    std::string_view alone;
    if (resolve("", value, buffers, &alone))
        return false;  // absolute: no base changes it
    std::string_view url;
    if (!resolve(page.base, value, buffers, &url))
        return false;
    if (url.substr(0, FOLDER_BASE.size()) == FOLDER_BASE)
        url.remove_prefix(FOLDER_BASE.size());
    url_out->assign(url);
    return true;
}

// What value comes to on the page, worked out once for each value while the cache holds it.
static const value_choice &
choose_for_value(page_context *page, std::string_view value, link_buffers *buffers)
{
    const std::string key(value);
    const auto known = page->choices.find(key);
    if (known != page->choices.end())
        return known->second;
    value_choice choice;
    choice.part = find_part(*page, value, buffers);
    if (choice.part == std::string::npos && page->base_rewritten)
        choice.led_elsewhere = url_as_before(*page, value, buffers, &choice.url);
    const std::size_t bytes = key.size() + choice.url.size() + 64;
    if (page->choice_bytes + bytes > CHOICE_CACHE_BYTES) {
        page->choices.clear();
        page->choice_bytes = 0;
    }
    page->choice_bytes += bytes;
    return page->choices.emplace(key, std::move(choice)).first->second;
}

// What stands in place of value, a reference of the page. Returns false when it stays as it
// is; *local_out tells whether the replacement leads to a file of the archive. A reference
// spelled as its old base led it may add at most ADDED_PER_BYTE_READ bytes per byte of the
// page read so far; past that it stays as it stands (it then resolves in the page's folder).
static bool
replace_value(page_context *page, std::string_view value, link_buffers *buffers,
              std::string *replacement, bool *local_out)
{
    *local_out = false;
    if (value.empty() || value.front() == '#')
        return false;  // the page itself, wherever it lies
    const value_choice &choice = choose_for_value(page, value, buffers);
    if (choice.part == std::string::npos) {
        const std::uint64_t growth =
            choice.url.size() > value.size() ? choice.url.size() - value.size() : 0;
        if (!choice.led_elsewhere || page->added + growth > ADDED_PER_BYTE_READ * page->read)
            return false;
        page->added += growth;
        replacement->assign(choice.url);
        return true;
    }
    *replacement = file_reference(page->outputs[choice.part].name, &buffers->written);
    const std::size_t hash = value.find('#');
    if (hash != std::string_view::npos)
        replacement->append(value.substr(hash));
    *local_out = true;
    return true;
}

// A srcset list with each candidate's URL replaced as a reference is. Returns false when no
// candidate changed.
static bool
replace_srcset(page_context *page, std::string_view list, link_buffers *buffers,
               std::string *replacement, bool *local_out)
{
    const std::string copy(list);  // the buffers' value is reused by each candidate
    std::size_t pos = 0;
    std::size_t from = 0;
    std::size_t len = 0;
    std::size_t kept = 0;  // bytes of copy handed over
    bool changed = false;
    *local_out = false;
    replacement->clear();
    while (next_srcset_candidate(copy, &pos, &from, &len)) {
        std::string one;
        bool local = false;
        if (!replace_value(page, std::string_view(copy).substr(from, len), buffers, &one, &local))
            continue;
        replacement->append(copy, kept, from - kept);
        replacement->append(one);
        kept = from + len;
        changed = true;
        *local_out = *local_out || local;
    }
    replacement->append(copy, kept, std::string::npos);
    return changed;
}

// A meta content value ("text/html; charset=iso-2022-jp") with its charset as the text now
// is. Returns false when it names no charset.
static bool
replace_content_charset(std::string_view value, std::string *replacement)
{
    static constexpr std::string_view CHARSET = "charset=";
    for (std::size_t at = 0; at + CHARSET.size() <= value.size(); ++at) {
        if (!begins_nocase(value.substr(at), CHARSET))
            continue;
        std::size_t from = at + CHARSET.size();
        std::size_t end = from;
        const char quote = from < value.size() ? value[from] : 0;
        if (quote == '"' || quote == '\'') {
            end = value.find(quote, ++from);
            end = end == std::string_view::npos ? value.size() : end;
        } else {
            while (end < value.size() && value[end] != ';' && !is_space(value[end]))
                ++end;
        }
        replacement->assign(value.substr(0, from));
        replacement->append(SHIFT_JIS);
        replacement->append(value.substr(end));
        return true;
    }
    return false;
}

// Decides what stands in a reference's place. Returns false when its bytes stay as they are.
static bool
choose_replacement(page_context *page, const scan_reference &found, link_buffers *buffers,
                   std::string *replacement, bool *local_out)
{
    *local_out = false;
    if (page->base_rewritten && found.element == page->base_element &&
        std::strcmp(found.tag, "base") == 0 && std::strcmp(found.attribute, "href") == 0) {
        // the base now names the page itself: relative references resolve in its folder
        *replacement = page->own_reference;
        return true;
    }
    const std::string_view value = reference_value(found, buffers);
    switch (found.kind) {
    case REF_SRCSET:
        return replace_srcset(page, value, buffers, replacement, local_out);
    case REF_META_CHARSET:
        replacement->assign(SHIFT_JIS);
        return page->converted;
    case REF_META_CONTENT:
        return page->converted && replace_content_charset(value, replacement);
    default:
        return replace_value(page, value, buffers, replacement, local_out);
    }
}

// True when found, an integrity or crossorigin attribute, stands on an element whose reference
// now leads to a file: it is then dropped.
static bool
drops_attribute(page_context *page, const scan_reference &found)
{
    std::vector<std::uint64_t> &local = page->local_elements;
    while (page->next_local < local.size() && local[page->next_local] < found.element)
        ++page->next_local;
    return page->next_local < local.size() && local[page->next_local] == found.element;
}

// Writes the bytes that stand for a reference: its replacement spelled for its place, or its
// own bytes (or none, for an attribute dropped). Returns true when they differ from its own.
static bool
write_reference(page_context *page, const scan_reference &found, link_buffers *buffers,
                out_stream *out)
{
    if (found.kind == REF_DROPPABLE) {
        if (drops_attribute(page, found))
            return true;
        out_write(out, found.raw.data(), found.raw.size());
        return false;
    }
    std::string replacement;
    bool local = false;
    std::size_t len = 0;
    if (choose_replacement(page, found, buffers, &replacement, &local)) {
        buffers->written.resize(replacement.size() * 6 + 16);
        if (write_replacement(found, replacement, buffers->written, &len)) {
            out_write(out, buffers->written.data(), len);
            return std::string_view(buffers->written.data(), len) != found.raw;
        }
    }
    out_write(out, found.raw.data(), found.raw.size());
    return false;
}

// Notes, in the look for elements that may lose attributes, that found's element now leads to
// a file.
static void
note_local_element(page_context *page, const scan_reference &found, link_buffers *buffers)
{
    if (found.kind == REF_DROPPABLE || found.kind == REF_META_CHARSET ||
        found.kind == REF_META_CONTENT)
        return;
    std::string replacement;
    bool local = false;
    choose_replacement(page, found, buffers, &replacement, &local);
    std::vector<std::uint64_t> &elements = page->local_elements;
    // (memory stays flat on any page: past the bound, elements keep those attributes)
    if (local && (elements.empty() || elements.back() != found.element) &&
        elements.size() < MAX_LOCAL_ELEMENTS)
        elements.push_back(found.element);
}

// Notes what a page's first look learns from a reference.
static void
survey_reference(const scan_reference &found, int template_depth, link_buffers *buffers,
                 page_survey *survey)
{
    if (found.kind == REF_DROPPABLE) {
        survey->has_droppable = true;
    } else if (found.kind == REF_META_CHARSET) {
        survey->declares_charset = true;
    } else if (found.kind == REF_META_CONTENT) {
        std::string unused;
        survey->declares_charset =
            survey->declares_charset ||
            replace_content_charset(reference_value(found, buffers), &unused);
    } else if (!survey->has_base && template_depth == 0 && std::strcmp(found.tag, "base") == 0 &&
               std::strcmp(found.attribute, "href") == 0) {
        survey->has_base = true;
        survey->base_element = found.element;
        survey->base_href.assign(reference_value(found, buffers));
    }
}

// The place a <meta charset> takes right after the tag reported as tag; META_AT_START for a
// tag it never follows.
static meta_place
meta_place_after(const char *tag)
{
    return std::strcmp(tag, "head") == 0       ? META_AFTER_HEAD
           : std::strcmp(tag, "html") == 0     ? META_AFTER_HTML
           : std::strcmp(tag, "!doctype") == 0 ? META_AFTER_DOCTYPE
                                               : META_AT_START;
}

// Notes what a page's first look learns from a tag: templates, and where a charset would go.
static void
survey_tag(const char *tag, int *template_depth, page_survey *survey)
{
    if (std::strcmp(tag, "template") == 0)
        ++*template_depth;
    else if (std::strcmp(tag, "/template") == 0 && *template_depth > 0)
        --*template_depth;
    survey->meta_at = std::max(survey->meta_at, meta_place_after(tag));
}

// How a pass over a page treats what the scanner finds.
enum pass_kind : int {
    PASS_SURVEY = 0,  // the first look: base, attributes that may go, charset
    PASS_LOCAL = 1,   // which elements' references lead to files
    PASS_WRITE = 2    // the page written anew
};

// The state of one pass over a page.
struct page_pass {
    pass_kind kind = PASS_WRITE;
    page_context *page = nullptr;
    page_survey *survey = nullptr;
    link_buffers *buffers = nullptr;
    out_stream *out = nullptr;
    int template_depth = 0;
    bool meta_written = false;
    bool changed = false;
};

// Writes the <meta charset> a page gets, when this is its place.
static void
write_meta(page_pass *pass, meta_place place)
{
    page_context &page = *pass->page;
    if (pass->kind != PASS_WRITE || page.meta.empty() || pass->meta_written ||
        page.meta_at != place)
        return;
    out_write(pass->out, page.meta.data(), page.meta.size());
    pass->meta_written = true;
    pass->changed = true;
}

// Takes what the scanner found, as the pass does.
static void
take_found(page_pass *pass, scan_result result, const scan_reference &found)
{
    if (result == SCAN_TAG) {
        if (pass->kind == PASS_SURVEY)
            survey_tag(found.tag, &pass->template_depth, pass->survey);
        const meta_place place = meta_place_after(found.tag);
        if (place != META_AT_START)
            write_meta(pass, place);
    } else if (pass->kind == PASS_SURVEY) {
        survey_reference(found, pass->template_depth, pass->buffers, pass->survey);
    } else if (pass->kind == PASS_LOCAL) {
        note_local_element(pass->page, found, pass->buffers);
    } else {
        pass->changed =
            write_reference(pass->page, found, pass->buffers, pass->out) || pass->changed;
    }
}

// Hands the scanner's output to out, when there is one, and empties it.
static void
pass_on(out_stream *out, const std::vector<char> &buffer, std::size_t *len)
{
    if (out != nullptr)
        out_write(out, buffer.data(), *len);
    *len = 0;
}

// Scans one chunk of the page, handing what is found to the pass.
static void
scan_chunk(page_pass *pass, ref_scanner *scanner, std::string_view text,
           std::vector<char> *out_buffer, std::size_t *out_len)
{
    std::size_t pos = 0;
    scan_reference found;
    for (;;) {
        const scan_result result = scan_step(scanner, text, &pos, *out_buffer, out_len, &found);
        if (result == SCAN_NEED_INPUT)
            return;
        pass_on(pass->out, *out_buffer, out_len);
        if (result != SCAN_OUTPUT_FULL)
            take_found(pass, result, found);
    }
}

// Runs a pass over the whole of in, from its start, writing the result to pass->out when
// there is one.
static void
scan_page(text_input *in, page_pass *pass)
{
    ref_scanner scanner;
    scan_init(&scanner, pass->page->style_sheet ? SCAN_TEXT_CSS : SCAN_TEXT_HTML,
              pass->buffers->hold, true, true);
    std::vector<char> chunk(READ_STEP);
    std::vector<char> out_buffer(OUT_STEP);
    std::size_t out_len = 0;
    pass->page->read = 0;
    write_meta(pass, META_AT_START);
    for (;;) {
        const std::size_t got = text_read_text(in, chunk);
        if (got == 0)
            break;
        pass->page->read += got;
        scan_chunk(pass, &scanner, std::string_view(chunk.data(), got), &out_buffer, &out_len);
    }
    while (!scan_finish(&scanner, out_buffer, &out_len))
        pass_on(pass->out, out_buffer, &out_len);
    pass_on(pass->out, out_buffer, &out_len);
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
        return false;  // (each output is looked at once: the message is given once)
    default:
        fail_run_file(entry.name, MSG_OUTPUT_OPEN, entry.name);
    }
}

// Runs a pass that writes nothing over an output. Returns false when it is not the file
// written for it (the console has said so).
static bool
look_at_output(const output_entry &entry, page_pass *pass)
{
    text_input in;
    if (!open_output(&in, entry))
        return false;
    scan_page(&in, pass);
    text_close(&in);
    return true;
}

// The base a page's relative references resolve against: its first <base href> outside a
// template, resolved against its location, unless that gives no URL or a "javascript:" or
// "data:" one (a browser takes no base then); else its location.
static void
settle_base(const page_survey &survey, page_context *page, link_buffers *buffers)
{
    page->base = page->location;
    std::string_view url;
    if (!survey.has_base || !resolve(page->location, survey.base_href, buffers, &url) ||
        begins_nocase(url, "javascript:") || begins_nocase(url, "data:"))
        return;
    page->base.assign(url);
    page->base_rewritten = true;
    page->base_element = survey.base_element;
}

// The <meta charset> a page that declares none gets, from what its text is now.
static void
settle_charset(const page_survey &survey, page_context *page)
{
    if (page->style_sheet || survey.declares_charset)
        return;
    const std::string_view charset = page->converted ? SHIFT_JIS : std::string_view(page->charset);
    if (charset.empty())
        return;
    page->meta = "<meta charset=\"";
    page->meta.append(charset);
    page->meta.append("\">");
    page->meta_at = survey.meta_at;
}

// True when the output's name still leads to the file read (a regular file, the one written
// for it); the console says so when it does not.
static bool
is_still_own(const output_entry &entry)
{
    file_identity now;
    const entry_kind kind = inspect_entry(entry.name, &now);
    if (kind == ENTRY_REGULAR && (!entry.file_known || now == entry.file))
        return true;
    console_printf(MSG_LEFT_ALONE, entry.name);
    return false;
}

// Rewrites one output through a work file beside it, which takes its name when whole and
// when the name still leads to the file read; an output whose references all stay is left as
// it is.
static void
write_output(output_entry *entry, page_pass *pass)
{
    text_input in;
    if (!open_output(&in, *entry))
        return;
    char work_name[LINE_BUFFER_SIZE];
    out_stream out;
    if (!create_work_file(entry->name, work_name, &out, "wb"))
        fail_run_file(work_name, MSG_OUTPUT_OPEN, entry->name);
    pass->out = &out;
    scan_page(&in, pass);
    text_close(&in);
    file_identity written;
    const bool known = out_identity(&out, &written);
    // (a removal that succeeds leaves the failure's reason as it was)
    if (!out_close(&out)) {
        remove_file(work_name);
        fail_run_file(work_name, MSG_OUTPUT_OPEN, entry->name);
    }
    if (!pass->changed || !is_still_own(*entry)) {
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

// Looks at a page, then writes it anew as the look found it must be. A style sheet has no
// base or charset to look for.
static void
link_output(output_entry *entry, page_context *page, link_buffers *buffers)
{
    page_survey survey;
    page->base = page->location;
    if (page->style_sheet) {
        page_pass write{PASS_WRITE, page, &survey, buffers};
        write_output(entry, &write);
        return;
    }
    page_pass look{PASS_SURVEY, page, &survey, buffers};
    if (!look_at_output(*entry, &look))
        return;
    settle_base(survey, page, buffers);
    settle_charset(survey, page);
    if (survey.has_droppable) {
        page_pass local{PASS_LOCAL, page, &survey, buffers};
        if (!look_at_output(*entry, &local))
            return;
    }
    page->added = 0;
    page_pass write{PASS_WRITE, page, &survey, buffers};
    write_output(entry, &write);
}

last_outputs
last_output_of_each_file(std::span<const output_entry> outputs)
{
    last_outputs last;
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        if (outputs[k].file_known)
            last[outputs[k].file] = k;
    }
    return last;
}

bool
is_replaced_later(std::span<const output_entry> outputs, const last_outputs &last, std::size_t k)
{
    file_identity now;
    if (!outputs[k].file_known || inspect_entry(outputs[k].name, &now) != ENTRY_REGULAR ||
        now == outputs[k].file)
        return false;
    const auto found = last.find(now);
    return found != last.end() && found->second > k;
}

// The location a page's references resolve against when it has no base element: its own,
// when that is a URL relative references resolve against; else fallback.
static std::string
page_location(std::string_view location, std::string_view fallback, link_buffers *buffers)
{
    std::string_view url;
    if (location.empty() || !resolve(location, "x", buffers, &url))
        return std::string(fallback);
    return std::string(location);
}

// The location of the archive's first page that has one relative references resolve against,
// or the folder's stand-in: what a style sheet known only by a "cid:" location (a browser's
// save of a page's own style rules) resolves its relative references against, as the page
// that holds it does.
static std::string
main_page_location(std::span<const output_entry> outputs, const std::vector<std::string> &renamed,
                   link_buffers *buffers)
{
    for (std::size_t k = 0; k < outputs.size() && k < renamed.size(); ++k) {
        if (outputs[k].kind == KIND_HTML)
            return page_location(renamed[k], FOLDER_BASE, buffers);
    }
    return std::string(FOLDER_BASE);
}

void
link_outputs_offline(std::span<output_entry> outputs, std::span<const part_links> links,
                     const std::vector<std::pair<std::string, std::string>> &renames)
{
    link_buffers buffers;
    const std::vector<std::string> renamed = renamed_locations(links, renames);
    const part_index index = index_parts(links, renamed, &buffers);
    const last_outputs last = last_output_of_each_file(outputs);
    const std::string main_location = main_page_location(outputs, renamed, &buffers);
    for (std::size_t k = 0; k < outputs.size() && k < links.size(); ++k) {
        output_entry &entry = outputs[k];
        const bool style_sheet = entry.kind != KIND_HTML && links[k].style_sheet;
        if ((entry.kind != KIND_HTML && !style_sheet) || entry.left_alone ||
            is_replaced_later(outputs, last, k))
            continue;
        page_context page;
        page.outputs = outputs;
        page.index = &index;
        page.style_sheet = style_sheet;
        page.own_reference = file_reference(entry.name, &buffers.written);
        page.location = style_sheet ? page_location(links[k].location, main_location, &buffers)
                                    : page_location(renamed[k], FOLDER_BASE, &buffers);
        page.charset = links[k].charset;
        page.converted = links[k].converted_to_sjis;
        link_output(&entry, &page, &buffers);
    }
}
