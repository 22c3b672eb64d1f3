#include "archive/archive.hpp"

#include "archive/internal.hpp"
#include "decode/decode.hpp"
#include "pagename/pagename.hpp"
#include "platform/platform.hpp"
#include "webref/webref.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Console texts, cp932 bytes.
static constexpr char MSG_INPUT_MISSING[] =
    "\x93\xfc\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82"
    "\xf1\n";  // 入力ファイルが見つかりません\n
static constexpr char MSG_LOG_OPEN[] =
    "\x8fo\x97\xcd\x83\x8d\x83O\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\n";  // 出力ログファイルを開けません\n
static constexpr char MSG_UNSUPPORTED_ENCODING[] =
    "%s\x82\xcc\x92\x86\x82\xc9\x96\xa2\x91\xce\x89\x9e\x82\xcc\x83G\x83\x93\x83R\x81["
    "\x83h\x95\xfb\x8e\xae\x82\xcc\x83p\x81[\x83g\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81"
    "B\n";  // %sの中に未対応のエンコード方式のパートがあります。\n
static constexpr char MSG_LINE_TOO_LONG[] =
    "\x88\xea\x8ds\x82\xcc\x92\xb7\x82\xb3\x82\xaa\x88\xb5"
    "\x82\xa6\x82\xe9\x94\xcd\x88\xcd\x82\xf0\x92\xb4\x82"
    "\xa6\x82\xdc\x82\xb5\x82\xbd\x81"
    "B\x83"
    "f\x81[\x83^"
    "\x82\xf0\x8d\xed\x82\xc1\x82\xc4\x91\xb1\x8ds\x82\xb5"
    "\x82\xdc\x82\xb7\n";  // 一行の長さが扱える範囲を超えました。データを削って続行します\n

static constexpr std::string_view BOUNDARY_PARAM = "boundary=";
static constexpr std::string_view FILENAME_PARAM = "filename=";
static constexpr std::string_view CONTENT_TYPE = "Content-Type: ";
static constexpr std::string_view CONTENT_TRANSFER_ENCODING = "Content-Transfer-Encoding: ";
static constexpr std::string_view CONTENT_LOCATION = "Content-Location:";
static constexpr std::string_view TEXT_HTML = "text/html";
static constexpr std::string_view TEXT_CSS = "text/css";
static constexpr std::string_view CONTENT_ID = "Content-ID:";
static constexpr std::string_view CONTENT_BASE = "Content-Base:";
static constexpr std::string_view APPLICATION_XHTML = "application/xhtml+xml";
static constexpr std::string_view WORD_START_ISO = "=?iso-2022-jp?";
static constexpr std::string_view WORD_START_SJIS = "=?shift_jis?";

// Header lines are read with room for 10238 bytes, body lines for 10239.
static constexpr std::size_t HEADER_READ_SIZE = LINE_BUFFER_SIZE - 1;
static constexpr std::size_t BODY_READ_SIZE = LINE_BUFFER_SIZE;

// A quoted-printable line of 10238 bytes and its line feed decodes to 10240 bytes (the line
// feed becomes CR LF): the work buffer has room for that and the terminator.
static constexpr std::size_t WORK_BUFFER_SIZE = LINE_BUFFER_SIZE + 4;

// Line-end normalisation keeps at most this many text bytes of a body line.
static constexpr int MAX_BODY_TEXT = LINE_BUFFER_SIZE - 3;

// Decoded body lines gather in a batch and reach the output in writes of about this size.
static constexpr std::size_t BATCH_SIZE = std::size_t{1} << 15;

// Open boundaries kept at most, so that memory stays flat whatever the archive: a declaration
// beyond them takes the place of the innermost one. No archive nests multiparts anywhere near
// this deep.
static constexpr std::size_t MAX_OPEN_BOUNDARIES = 1024;

// A boundary string, NUL-terminated, in a block of its own from checked_alloc.
struct boundary_entry {
    std::int32_t length = 0;
    char *text = nullptr;
    // what the relative locations of the parts under it resolve against: the Content-Base or
    // Content-Location of the entity whose headers declared it (pages that open offline only)
    std::string base;
};

// What the header lines have said of the part to come.
struct part_state {
    content_kind kind = KIND_NONE;
    transfer_encoding encoding = ENC_NONE;
    bool ready = true;                 // a blank line starts a body
    char name[LINE_BUFFER_SIZE] = {};  // the name it is to be written under
    part_links links;                  // kept for pages that open offline only
};

// Everything one archive's walk owns.
struct walk_state {
    const char *archive_name = nullptr;
    const batch_info *batch = nullptr;
    text_input in;
    out_stream log;
    char line[LINE_BUFFER_SIZE] = {};
    char work[WORK_BUFFER_SIZE] = {};
    char out_batch[BATCH_SIZE];  // decoded body bytes not yet written
    char default_name[NAME_SIZE] = {};
    char page_name[NAME_SIZE] = {};
    image_names images;
    // the open boundaries: the first one declared, then each declared while the one before it
    // was current; the last is current, and a close delimiter returns to the one before it
    std::vector<boundary_entry> boundaries;
    std::vector<output_entry> outputs;
    std::vector<part_links> links;  // of each output, for pages that open offline only
    // the files this archive wrote, by identity, with the names their parts carried (folded)
    std::map<file_identity, std::string> written;
    part_state part;
    // Pages that open offline only: the entity whose headers are being read (the archive's
    // own, or a part's since its delimiter line) lies under the first entity_under boundaries
    // (those after them it declared itself); its Content-Location (resolved) and Content-Base.
    std::size_t entity_under = 0;
    std::string entity_location;
    std::string entity_content_base;
    bool in_content_type = false;  // the last header line read was of a Content-Type header
    bool charset_seen = false;     // ... which gave a charset parameter
};

// Starts the next part: nothing known of it but the default name. A blank line starts its body
// at once only at the start of the archive (a single-part archive); after a written part it
// waits for a delimiter line.
static void
reset_part(walk_state *s, bool ready)
{
    s->part.kind = KIND_NONE;
    s->part.encoding = ENC_NONE;
    s->part.ready = ready;
    copy_bounded(s->part.name, s->default_name);
    s->part.links = part_links{};
}

enum delimiter_kind : int {
    NOT_DELIMITER = 0,
    DELIMITER = 1,
    CLOSE_DELIMITER = 2
};

// Byte k of the line as a string: its text, the line feed when there is one, then NULs.
static char
byte_at(const text_line &line, std::size_t k)
{
    if (k < line.len)
        return line.text[k];
    return (k == line.len && line.line_feed) ? '\n' : '\0';
}

// The line as a NUL-terminated string reads it: up to its first NUL byte, and with its line
// feed only when no NUL came before.
static text_line
up_to_nul(text_line line)
{
    const void *nul = find_byte(line.text, '\0', line.len);
    if (nul != nullptr) {
        line.len = static_cast<std::size_t>(static_cast<const char *>(nul) - line.text);
        line.line_feed = false;
    }
    return line;
}

// Classifies line against the current boundary: its bytes from column 2 on must begin with
// the boundary; "--" right after it makes a close delimiter. Columns 0 and 1 are not examined.
static delimiter_kind
test_delimiter(const walk_state &s, const text_line &line)
{
    if (s.boundaries.empty())
        return NOT_DELIMITER;
    const boundary_entry &b = s.boundaries.back();
    const auto length = static_cast<std::size_t>(b.length);
    // most lines differ at column 2 (where a shorter line's NUL or line feed differs too)
    if (length > 0 && byte_at(line, 2) != b.text[0])
        return NOT_DELIMITER;
    const std::size_t total = line.len + (line.line_feed ? 1 : 0);
    if (total < 2 + length)
        return NOT_DELIMITER;
    if (find_byte(line.text, '\0', std::min(line.len, length + 4)) != nullptr)
        return test_delimiter(s, up_to_nul(line));  // a NUL ends the line there
    if (2 + length <= line.len) {
        if (std::memcmp(line.text + 2, b.text, length) != 0)
            return NOT_DELIMITER;
    } else {
        for (std::size_t k = 0; k < length; ++k) {
            if (byte_at(line, 2 + k) != b.text[k])
                return NOT_DELIMITER;
        }
    }
    if (byte_at(line, 2 + length) == '-' && byte_at(line, 3 + length) == '-')
        return CLOSE_DELIMITER;
    return DELIMITER;
}

// The header line in the line buffer, as a string.
static text_line
header_line(const walk_state &s)
{
    return text_line{s.line, std::strlen(s.line), false};
}

// The base the entity whose headers are being read gives the parts under the boundaries it
// declares: its Content-Base, else its Content-Location.
static const std::string &
entity_base(const walk_state &s)
{
    return s.entity_content_base.empty() ? s.entity_location : s.entity_content_base;
}

// Adds an entry for every "boundary=" on the line, each current from its declaration on. Past
// MAX_OPEN_BOUNDARIES open ones a declaration takes the place of the current one.
static void
scan_boundary_declarations(walk_state *s)
{
    const std::string_view line(s->line);
    for (std::size_t c = line.find(BOUNDARY_PARAM); c != std::string_view::npos;
         c = line.find(BOUNDARY_PARAM, c + BOUNDARY_PARAM.size() + 1)) {
        const std::string_view value = param_value_view(s->line + c + BOUNDARY_PARAM.size());
        boundary_entry entry;
        entry.length = static_cast<std::int32_t>(value.size());
        entry.text = checked_alloc(value.size() + 1);
        std::memcpy(entry.text, value.data(), value.size());
        entry.text[value.size()] = '\0';
        if (s->batch->offline)
            entry.base = entity_base(*s);
        if (s->boundaries.size() < MAX_OPEN_BOUNDARIES) {
            s->boundaries.push_back(std::move(entry));
        } else {
            checked_free(s->boundaries.back().text);
            s->boundaries.back() = std::move(entry);
        }
        s->part.ready = false;
    }
}

// The lines that follow belong to a new entity, under the boundaries open now: a part's
// headers after a delimiter line, an epilogue after a close delimiter.
static void
begin_entity(walk_state *s)
{
    s->entity_under = s->boundaries.size();
    s->entity_location.clear();
    s->entity_content_base.clear();
}

// A close delimiter of the current boundary: it is never current again, and the boundary it was
// declared in is current once more. Returns false when it was the first one (the walk ends).
static bool
close_boundary(walk_state *s)
{
    if (s->boundaries.size() <= 1)
        return false;
    checked_free(s->boundaries.back().text);
    s->boundaries.pop_back();
    begin_entity(s);
    return true;
}

// Tests the header line for a delimiter of the current boundary and acts on it. Returns false
// when it closes the first boundary (the walk ends).
static bool
take_delimiter(walk_state *s)
{
    const delimiter_kind delimiter = test_delimiter(*s, header_line(*s));
    if (delimiter == CLOSE_DELIMITER)
        return close_boundary(s);
    if (delimiter == DELIMITER) {
        s->part.ready = true;
        begin_entity(s);
    }
    return true;
}

// Keeps the charset parameter of the Content-Type header being read, from its first line or a
// continuation line: the first one counts.
static void
take_charset(walk_state *s, const char *text)
{
    std::string_view charset;
    if (s->charset_seen || !find_charset_param(text, &charset))
        return;
    s->part.links.charset.assign(charset);
    s->charset_seen = true;
}

// What a Content-Type line says for pages that open offline: a style sheet, an XHTML page
// (written as HTML pages are), its charset.
static void
apply_offline_content_type(walk_state *s)
{
    const char *value = s->line + CONTENT_TYPE.size();
    for (const char *p = value; *p != '\0'; ++p) {
        if (has_prefix_nocase(p, TEXT_CSS)) {
            s->part.links.style_sheet = true;
            break;
        }
    }
    while (*value == ' ' || *value == '\t')
        ++value;
    s->part.links.xhtml = has_prefix_nocase(value, APPLICATION_XHTML);
    if (s->part.links.xhtml)
        s->part.kind = KIND_HTML;
    s->part.links.charset.clear();
    s->charset_seen = false;
    take_charset(s, s->line + CONTENT_TYPE.size());
}

// line_start: the line read is a whole line or a line's first piece (a continuation line of a
// header begins with a space or a tab there).
static void
apply_content_type(walk_state *s, bool line_start)
{
    if (!has_prefix_nocase(s->line, CONTENT_TYPE)) {
        const bool continued = line_start && (s->line[0] == ' ' || s->line[0] == '\t');
        if (continued && s->in_content_type)
            take_charset(s, s->line);
        else if (line_start)
            s->in_content_type = false;
        return;
    }
    for (const char *p = s->line + CONTENT_TYPE.size(); *p != '\0'; ++p) {
        if (has_prefix_nocase(p, TEXT_HTML)) {
            s->part.kind = KIND_HTML;
            break;
        }
    }
    if (s->batch->offline) {
        s->in_content_type = true;
        apply_offline_content_type(s);
    }
    if (s->part.kind == KIND_NONE)
        s->part.kind = KIND_OTHER;
}

// The value of a header line after its name: white space before it and the line end and
// white space after it left out.
static std::string_view
header_value(const char *line, std::size_t name_len)
{
    std::string_view value(line + name_len);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == '\n' || value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    return value;
}

// Keeps a "Content-ID:" line's value, without its angle brackets, for pages that open offline.
static void
apply_content_id(walk_state *s)
{
    if (!s->batch->offline || !has_prefix_nocase(s->line, CONTENT_ID))
        return;
    std::string_view id = header_value(s->line, CONTENT_ID.size());
    if (id.size() >= 2 && id.front() == '<' && id.back() == '>')
        id = id.substr(1, id.size() - 2);
    s->part.links.content_id.assign(id);
}

static void
apply_transfer_encoding(walk_state *s)
{
    if (!has_prefix_nocase(s->line, CONTENT_TRANSFER_ENCODING))
        return;
    const char *value = s->line + CONTENT_TRANSFER_ENCODING.size();
    if (has_prefix_nocase(value, "quoted-printable"))
        s->part.encoding = ENC_QP;
    else if (has_prefix_nocase(value, "base64"))
        s->part.encoding = ENC_BASE64;
    else if (has_prefix_nocase(value, "7bit"))
        s->part.encoding = ENC_7BIT;
    else if (has_prefix_nocase(value, "8bit"))
        s->part.encoding = ENC_8BIT;
    else if (s->batch->offline && has_prefix_nocase(value, "binary"))
        s->part.encoding = ENC_BINARY;
    else {
        console_printf(MSG_UNSUPPORTED_ENCODING, s->archive_name);
        s->part.ready = false;
    }
}

// The closest base among the boundaries the entity being read lies under, or null.
static const std::string *
enclosing_base(const walk_state &s)
{
    for (std::size_t k = std::min(s.entity_under, s.boundaries.size()); k > 0; --k) {
        if (!s.boundaries[k - 1].base.empty())
            return &s.boundaries[k - 1].base;
    }
    return nullptr;
}

// Resolves a relative location (one without a scheme) against the closest enclosing
// multipart's base, as RFC 3986 resolves a reference; a location with a scheme (a cid: URL
// among them), an empty one, or one without a base around it stays as given.
static void
resolve_location(const walk_state &s, std::string *location)
{
    const std::string *base = enclosing_base(s);
    if (base == nullptr || location->empty())
        return;
    const uri_parts reference = split_uri(*location);
    if (reference.has_scheme)
        return;
    // the result, and the merged path before its dot segments go, fit in both texts together
    std::string resolved(base->size() + location->size() + 8, '\0');
    std::size_t len = 0;
    if (!resolve_reference(split_uri(*base), reference, resolved, &len))
        return;
    resolved.resize(len);
    *location = std::move(resolved);
}

// The entity's own base changed: the boundaries it declared take it.
static void
update_declared_bases(walk_state *s)
{
    for (std::size_t k = s->entity_under; k < s->boundaries.size(); ++k)
        s->boundaries[k].base = entity_base(*s);
}

// For pages that open offline: a "Content-Base:" line gives the parts under the entity's
// boundaries their base (resolved as a location is, quotes around it dropped).
static void
apply_content_base(walk_state *s)
{
    if (!s->batch->offline || !has_prefix_nocase(s->line, CONTENT_BASE))
        return;
    std::string_view value = header_value(s->line, CONTENT_BASE.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    s->entity_content_base.assign(value);
    resolve_location(*s, &s->entity_content_base);
    update_declared_bases(s);
}

// For pages that open offline: the part's location, as a page names it, and the entity's
// base when it declares boundaries.
static void
settle_location(walk_state *s)
{
    resolve_location(*s, &s->part.links.location);
    s->entity_location = s->part.links.location;
    update_declared_bases(s);
}

static bool
is_word_start(const char *p)
{
    return has_prefix_nocase(p, WORD_START_ISO) || has_prefix_nocase(p, WORD_START_SJIS);
}

// The location of a part whose "Content-Location:" line held encoded words after the text
// prefix: prefix, then what the words decoded to, which read_encoded_location appended to the
// name (before_name before). A name that no longer begins as before fell back to the default
// name: the location is then unknown.
static void
keep_decoded_location(walk_state *s, const std::string &prefix, const std::string &before_name)
{
    const std::string_view name(s->part.name);
    if (name.substr(0, before_name.size()) != before_name) {
        s->part.links.location.clear();
        return;
    }
    s->part.links.location = prefix;
    s->part.links.location.append(name.substr(before_name.size()));
}

// Names the part after the last path segment of a "Content-Location:" line, decoding encoded
// words (which may read the header's continuation lines) first. After a decode the line holds
// the name gathered so far: the scan goes on over it from the next column, and so do the
// later steps of this line ("filename=", the blank-line test).
static void
apply_location(walk_state *s)
{
    if (!has_prefix_nocase(s->line, CONTENT_LOCATION))
        return;
    // For pages that open offline, the location as the header gives it: the value, and in
    // place of the encoded words the text they decode to (none after an unknown letter).
    const bool keep = s->batch->offline;
    if (keep)
        s->part.links.location.assign(header_value(s->line, CONTENT_LOCATION.size()));
    bool decoded = false;
    std::size_t len = std::strlen(s->line);
    for (std::size_t c = CONTENT_LOCATION.size(); c < len; ++c) {
        if (is_word_start(s->line + c)) {
            const bool first = keep && !decoded;
            const std::string before = first ? s->part.name : std::string();
            std::size_t from = CONTENT_LOCATION.size();
            while (from < c && (s->line[from] == ' ' || s->line[from] == '\t'))
                ++from;
            const std::string prefix = first ? std::string(s->line + from, c - from) : "";
            read_encoded_location(&s->in, s->line, s->work, s->part.name, s->default_name);
            if (first)
                keep_decoded_location(s, prefix, before);
            decoded = true;
            copy_bounded(s->line, s->part.name);
            len = std::strlen(s->line);
        }
    }
    if (keep)
        settle_location(s);
    take_base_name(s->line, s->part.name);
    sanitize_file_name(s->part.name);
}

// Every "filename=" of the line, in any case, names the part; the scan goes on one column
// past the parameter's '='. Candidates are found by their '=', which few columns hold.
static void
apply_filename_param(walk_state *s)
{
    const std::string_view line(s->line);
    const std::size_t eq_offset = FILENAME_PARAM.size() - 1;
    std::size_t next = 0;  // the first column a parameter may begin at
    for (std::size_t eq = line.find('=', eq_offset); eq != std::string_view::npos;
         eq = line.find('=', eq + 1)) {
        const std::size_t c = eq - eq_offset;
        if (c < next || !has_prefix_nocase(s->line + c, FILENAME_PARAM))
            continue;
        std::int32_t length = 0;
        take_param_value(s->line + c + FILENAME_PARAM.size(), s->work, &length);
        take_base_name(s->work, s->part.name);
        sanitize_file_name(s->part.name);
        next = c + FILENAME_PARAM.size() + 1;
    }
}

// Opens a new HTML output under a free name: created exclusively, so an entry of that name is
// never written into (the creation itself tells whether there is one); the next free name is
// taken instead.
static void
create_html_output(walk_state *s, out_stream *out)
{
    const name_set *reserved = s->batch->guard.reserved_names;
    if (has_name_nocase(reserved, s->part.name))
        make_unique_name(std::span<char>(s->part.name, NAME_SIZE), reserved);
    std::size_t room = NAME_SIZE;  // a name too long for the file system lowers it
    for (;;) {
        const create_result created = out_create_new(out, s->part.name, "wb");
        if (created == CREATE_OK)
            return;
        if (created == CREATE_FAILED) {
            if (shorten_name_too_long(std::span<char>(s->part.name, NAME_SIZE), &room))
                continue;
            fail_run_file(s->part.name, MSG_OUTPUT_OPEN, s->part.name);
        }
        note_name_refused(s->part.name);
        make_unique_name(std::span<char>(s->part.name, room), reserved);
    }
}

// True when the name is refused to a part that replaces files: the entry of that name is a
// file no part may write into, or a file this archive wrote for a part that carried another
// name (a shortened or settled name that met an earlier one: both bodies are kept).
static bool
refuses_replacing(const walk_state &s, const file_identity &file, const std::string &carried)
{
    if (is_guarded_file(file, s.batch->guard))
        return true;
    const auto written = s.written.find(file);
    return written != s.written.end() && written->second != carried;
}

// The file a part's body goes to: a new file under the part's name, or, when the part replaces
// a file, a work file beside it that takes the name only once it is whole.
struct part_output {
    out_stream out;
    bool replacing = false;
    file_identity replaced;                 // the file it replaces
    char work_name[LINE_BUFFER_SIZE] = {};  // where the body goes meanwhile
};

// True when the existing file name may be replaced by a part: a plain file of the folder's own
// that refuses_replacing lets through and that could be written (as a part that wrote into it
// would need). It is looked at before it is opened (a file that must not be written is never
// opened for writing) and again as the open file, so a name changed meanwhile is never
// followed; it is closed again untouched. Stores what it is in *file_out.
static bool
may_replace(const walk_state &s, const std::string &carried, file_identity *file_out)
{
    out_stream existing;
    if (is_run_log_name(s.part.name) || inspect_entry(s.part.name, file_out) != ENTRY_REGULAR ||
        refuses_replacing(s, *file_out, carried))
        return false;
    switch (out_open_existing(&existing, s.part.name, "wb", file_out)) {
    case EXISTING_PLAIN:
        out_close(&existing);  // nothing written: the file stays as it was
        return !refuses_replacing(s, *file_out, carried);
    case EXISTING_FAILED:
        fail_run_file(s.part.name, MSG_OUTPUT_OPEN, s.part.name);
    default:
        return false;  // not a plain file of the folder (any more), or gone
    }
}

// Opens the output of a part that replaces a plain file of its name: a new file is created at
// once; an existing one that may_replace lets through is replaced by a work file when the body
// is whole. Anything else (a link, folder, FIFO or device, a run log, an archive of the batch,
// whatever name reaches it) sends the part to the next free name. carried is the name as the
// headers gave it, ASCII case folded where the file system folds case.
static void
open_replacing_output(walk_state *s, part_output *part, const std::string &carried)
{
    std::size_t room = NAME_SIZE;  // a name too long for the file system lowers it
    for (;;) {
        const create_result created = out_create_new(&part->out, s->part.name, "wb");
        if (created == CREATE_OK)
            return;
        if (created == CREATE_FAILED &&
            shorten_name_too_long(std::span<char>(s->part.name, NAME_SIZE), &room))
            continue;
        if (created == CREATE_FAILED && !entry_exists(s->part.name))
            fail_run_file(s->part.name, MSG_OUTPUT_OPEN, s->part.name);
        if (may_replace(*s, carried, &part->replaced)) {
            if (!create_work_file(s->part.name, part->work_name, &part->out, "wb"))
                fail_run_file(part->work_name, MSG_OUTPUT_OPEN, s->part.name);
            part->replacing = true;
            return;
        }
        // taken from now on, even where the system shows no entry of that name (a dangling
        // link under Wine)
        note_name_refused(s->part.name);
        make_unique_name(std::span<char>(s->part.name, room), s->batch->guard.reserved_names);
    }
}

// Closes the part's file. A work file that was written whole takes the part's name in one
// step, replacing the file there; one that was not is removed, and the file it would have
// replaced stays as it was.
static void
close_part_output(walk_state *s, part_output *part)
{
    if (!part->replacing) {
        if (!out_close(&part->out))
            fail_run_file(s->part.name, MSG_OUTPUT_OPEN, s->part.name);
        return;
    }
    // (a removal that succeeds leaves the failure's reason as it was)
    if (!out_close(&part->out)) {
        remove_file(part->work_name);
        fail_run_file(s->part.name, MSG_OUTPUT_OPEN, s->part.name);
    }
    if (!rename_replace(part->work_name, s->part.name)) {
        remove_file(part->work_name);
        fail_run_file(s->part.name, MSG_OUTPUT_OPEN, s->part.name);
    }
    s->written.erase(part->replaced);
}

// Sets the body line's end to CR LF: the text is cut at the first line feed or NUL, and to
// MAX_BODY_TEXT bytes (with a message) when the line fills the read. Returns the new length.
static std::size_t
normalise_line_end(char *line)
{
    // The read stored a terminator, so the text before it is searched for the line feed.
    const std::size_t len = std::strlen(line);
    const void *lf = find_byte(line, '\n', len);
    const std::size_t end =
        lf ? static_cast<std::size_t>(static_cast<const char *>(lf) - line) : len;
    int n = static_cast<int>(std::min(end, static_cast<std::size_t>(MAX_BODY_TEXT) + 1));
    if (n == MAX_BODY_TEXT + 1) {
        console_write(MSG_LINE_TOO_LONG);
        n = MAX_BODY_TEXT;
    }
    line[n] = '\r';
    line[n + 1] = '\n';
    line[n + 2] = '\0';
    return static_cast<std::size_t>(n) + 2;
}

// Puts line into the line buffer as a NUL-terminated string with its line feed, for the
// converters that work in place (a line read into the buffer is there already).
static void
place_in_line_buffer(walk_state *s, const text_line &line)
{
    if (line.text != s->line)
        std::memcpy(s->line, line.text, line.len);
    std::size_t end = line.len;
    if (line.line_feed)
        s->line[end++] = '\n';
    s->line[end] = '\0';
}

// True when the converter from ISO-2022-JP meets an escape sequence in line that selects a
// character set (ESC $, ESC &, ESC ( and what follows).
static bool
has_jis_escape(const char *line)
{
    static constexpr char ESC = '\x1b';
    for (const char *p = std::strchr(line, ESC); p != nullptr; p = std::strchr(p + 1, ESC)) {
        if (p[1] == '$' || p[1] == '&' || p[1] == '(')
            return true;
    }
    return false;
}

// Decodes one body line into window as the part's transfer encoding says. Returns the number
// of bytes to write.
static std::size_t
decode_body_line(walk_state *s, const text_line &line, std::span<char> window)
{
    const std::string_view text(line.text, line.len);
    std::int32_t count = 0;
    std::size_t len = 0;
    switch (s->part.encoding) {
    case ENC_QP:
        decode_qp_text(text, line.line_feed, window, &count);
        return static_cast<std::size_t>(count);
    case ENC_BASE64:
        // a line feed at the end decodes like the end of the text
        decode_base64_text(text, window, &count);
        return static_cast<std::size_t>(count);
    case ENC_7BIT:
    case ENC_8BIT:
        place_in_line_buffer(s, line);
        normalise_line_end(s->line);
        if (s->batch->offline && has_jis_escape(s->line))
            s->part.links.converted_to_sjis = true;
        jis_to_sjis(s->line);
        len = std::strlen(s->line);
        break;
    default:
        place_in_line_buffer(s, line);
        len = normalise_line_end(s->line);
        break;
    }
    std::memcpy(window.data(), s->line, len);
    return len;
}

// True when no line made only of base64 alphabet characters can be a delimiter: there is no
// boundary, or the current one begins with a character outside the alphabet (as "----=_Next"
// does), which column 2 of such a line never holds.
static bool
alphabet_lines_are_body(const walk_state &s)
{
    if (s.boundaries.empty())
        return true;
    const boundary_entry &b = s.boundaries.back();
    return b.length > 0 && !is_base64_char(b.text[0]);
}

// Decodes the run of common base64 lines (alphabet characters in whole groups, CR LF) at the
// reader's position where they lie in its block, as many as the batch holds; they decode as
// the line-by-line loop would decode them. Returns the batch's new fill.
static std::size_t
decode_base64_run(walk_state *s, std::size_t used)
{
    const std::string_view raw = text_unread_block(&s->in);
    const base64_run run = decode_base64_lines(
        raw, BODY_READ_SIZE - 2, std::span<char>(s->out_batch + used, BATCH_SIZE - used));
    if (run.lines > 0)
        text_pass_lines(&s->in, run.consumed, run.last_line);
    return used + run.decoded;
}

// A line end not written yet: when a delimiter line follows, it is the delimiter's.
struct held_line_end {
    char bytes[2] = {};
    std::size_t len = 0;
};

// Writes one read of a body stored byte for byte (CR bytes kept) to out, all but the line end
// it ends with (CR LF, LF, or a CR that a line feed may follow in the next read), which is
// held until the next read shows whether a delimiter line follows.
static void
write_binary_piece(out_stream *out, const text_line &line, held_line_end *held)
{
    if (held->len == 1 && held->bytes[0] == '\r' && line.len == 0 && line.line_feed) {
        held->bytes[1] = '\n';  // a CR LF that the reads cut in two
        held->len = 2;
        return;
    }
    out_write(out, held->bytes, held->len);
    held->len = 0;
    std::size_t len = line.len;
    if (len > 0 && line.text[len - 1] == '\r')
        held->bytes[held->len++] = line.text[--len];
    if (line.line_feed)
        held->bytes[held->len++] = '\n';
    out_write(out, line.text, len);
}

// Copies a body stored byte for byte into out: every byte up to the line end before the next
// delimiter line, read with the text rules off (CR, NUL and 0x1A are bytes like any other),
// then puts the input back at the delimiter line's start for the main loop, which reads by
// the text rules again. Only a line's start is tested for a delimiter. A body that runs to the
// end of the input keeps every byte, and the input stays at its end.
static void
copy_binary_body(walk_state *s, out_stream *out)
{
    const read_rule rule = text_rule(&s->in);
    text_set_rule(&s->in, READ_BYTES);
    held_line_end held;
    bool line_start = true;
    bool delimiter = false;
    text_line line;
    while (text_read_line_in_place(&s->in, std::span<char>(s->line, BODY_READ_SIZE), &line)) {
        if (line_start && test_delimiter(*s, line) != NOT_DELIMITER) {
            delimiter = true;
            break;
        }
        write_binary_piece(out, line, &held);
        line_start = line.line_feed;
    }
    text_set_rule(&s->in, rule);
    if (delimiter)
        text_seek(&s->in, text_line_start(&s->in));
    else
        out_write(out, held.bytes, held.len);
}

// Copies the body up to the next delimiter line (or the end of the input) into out, decoded
// as the part's transfer encoding says, then puts the input back at the start of the line
// that ended the body so that the main loop reads it again. A line that lies whole in the
// reader's block is decoded where it lies, and runs of common base64 lines in one go.
static void
copy_body(walk_state *s, out_stream *out)
{
    if (s->part.encoding == ENC_BINARY) {
        copy_binary_body(s, out);
        return;
    }
    const std::span<char> read_buffer(s->line, BODY_READ_SIZE);
    const bool base64_runs = s->part.encoding == ENC_BASE64 && alphabet_lines_are_body(*s);
    std::size_t used = 0;  // bytes in the batch
    text_line read;
    for (;;) {
        if (base64_runs) {
            used = decode_base64_run(s, used);
            if (BATCH_SIZE - used < WORK_BUFFER_SIZE) {
                out_write(out, s->out_batch, used);
                used = 0;
                continue;
            }
        }
        if (!text_read_line_in_place(&s->in, read_buffer, &read))
            break;
        // base64 lines, the bulk of an archive, are searched for a NUL only by the decoder,
        // and only where its vector loop stops
        const text_line line = s->part.encoding == ENC_BASE64 ? read : up_to_nul(read);
        if (test_delimiter(*s, line) != NOT_DELIMITER)
            break;
        if (BATCH_SIZE - used < WORK_BUFFER_SIZE) {
            out_write(out, s->out_batch, used);
            used = 0;
        }
        // Each line decodes into a work-buffer-sized window of the batch, so that a line is cut
        // exactly where a separate work buffer would cut it.
        const std::size_t len =
            decode_body_line(s, line, std::span<char>(s->out_batch + used, WORK_BUFFER_SIZE));
        used += len;
    }
    out_write(out, s->out_batch, used);
    text_seek(&s->in, text_line_start(&s->in));
}

// Records a written part in the output list, with the file it was written to when known. The
// name's block holds just the name: the list lives until the archive is done, and an archive of
// thousands of parts should not hold a full-size block for each (a later rename gives the entry
// a larger block when it needs one).
static void
record_output(walk_state *s, const file_identity *file)
{
    const std::size_t len = std::strlen(s->part.name);
    output_entry entry;
    entry.kind = s->part.kind;
    entry.name_size = len + 1;
    entry.name = checked_alloc(entry.name_size);
    std::memcpy(entry.name, s->part.name, len + 1);
    if (file != nullptr) {
        entry.file = *file;
        entry.file_known = true;
    }
    s->outputs.push_back(entry);
    if (s->batch->offline)
        s->links.push_back(std::move(s->part.links));
}

// name as the file system compares names: with ASCII letters folded to upper case where names
// that differ only in case denote one file, every byte as it is elsewhere.
static std::string
folded_name(const char *name)
{
    return names_fold_case() ? ascii_folded(name) : std::string(name);
}

// For pages that open offline: gives a page's or a style sheet's name the extension a browser
// opens it by (see give_extension), and default_out the default name with it; any other part
// keeps its name, and default_out is the default name.
static void
give_browser_extension(walk_state *s, std::span<char> default_out)
{
    static constexpr std::string_view PAGE[] = {".htm", ".html", ".xhtml"};
    static constexpr std::string_view XHTML_PAGE[] = {".xhtml", ".xht", ".htm", ".html"};
    static constexpr std::string_view STYLE_SHEET[] = {".css"};
    copy_bounded(default_out, s->default_name);
    if (!s->batch->offline)
        return;
    std::span<const std::string_view> kept = STYLE_SHEET;
    std::string_view added = ".css";
    if (s->part.kind == KIND_HTML) {
        kept = s->part.links.xhtml ? std::span<const std::string_view>(XHTML_PAGE) : PAGE;
        added = ".htm";
    } else if (!s->part.links.style_sheet) {
        return;  // images, fonts, scripts and the rest keep their names
    }
    give_extension(s->part.name, added, kept, s->default_name);
    give_extension(default_out, added, kept, s->default_name);
}

static void
write_part(walk_state *s)
{
    // HTML parts never replace a file; no part replaces an archive of the batch or a log.
    const bool html = s->part.kind == KIND_HTML;
    const std::string carried = folded_name(s->part.name);
    char default_name[NAME_SIZE];
    give_browser_extension(s, default_name);
    settle_part_name(s->part.name, default_name, s->batch->guard, !html);
    part_output part;
    if (html)
        create_html_output(s, &part.out);
    else
        open_replacing_output(s, &part, carried);
    file_identity file;
    const bool known = out_identity(&part.out, &file);
    if (known)
        s->written[file] = carried;
    copy_body(s, &part.out);
    close_part_output(s, &part);
    if (s->part.kind == KIND_HTML)
        htm_rename(s->part.name, s->page_name, &s->images);
    record_output(s, known ? &file : nullptr);
    reset_part(s, false);
}

// Opens the run log for appending: only the file the batch created under that name, whatever
// stands there by now (a link, another file); anything else ends the run.
static void
open_run_log(walk_state *s)
{
    const char *name = s->batch->log_name;
    file_identity file;
    const existing_result opened = out_open_existing(&s->log, name, "a", &file);
    if (opened != EXISTING_PLAIN)
        fail_run_file(name, "%s", MSG_LOG_OPEN);
    const file_identity &own = s->batch->log_identity;
    if (file != own) {
        out_close(&s->log);
        note_reason("not the file this run created");
        fail_run_file(name, "%s", MSG_LOG_OPEN);
    }
}

// Opens the archive and the log, writes the row's first field and sets the default names.
static void
start_archive(walk_state *s)
{
    if (!text_open_read(&s->in, s->archive_name))
        fail_run_file(s->archive_name, "%s", MSG_INPUT_MISSING);
    open_run_log(s);
    out_text(&s->log, s->archive_name);
    out_flush(&s->log);  // a run cut short still leaves the archive's name in its row
    char ext[NAME_SIZE];
    split_name_ext(s->archive_name, s->line, ext);
    // The default name keeps its ".dec" even when the base must be shortened to fit.
    static constexpr std::string_view DEC = ".dec";
    const std::size_t base_len = std::strlen(s->line);
    const std::size_t keep =
        std::min(base_len, static_cast<std::size_t>(NAME_SIZE) - 1 - DEC.size());
    copy_bounded(s->default_name, std::string_view(s->line, keep));
    append_bounded(s->default_name, DEC);
    reset_part(s, true);
    copy_bounded(s->page_name, s->line);
}

// Releases the boundaries, renames the temporary images, completes the log row and closes.
static void
finish_archive(walk_state *s)
{
    for (const boundary_entry &entry : s->boundaries)
        checked_free(entry.text);
    s->boundaries.clear();
    std::vector<std::pair<std::string, std::string>> renames;
    rename_temp_images(s->outputs, s->page_name, &s->images, s->line, s->work,
                       interrupt_requested(), s->batch->offline ? &renames : nullptr);
    if (s->batch->offline)
        link_outputs_offline(s->outputs, s->links, renames);
    char count[16];
    std::snprintf(count, sizeof count, ",%d", static_cast<int>(s->outputs.size()));
    out_text(&s->log, count);
    for (output_entry &entry : s->outputs) {
        out_text(&s->log, ",");
        out_text(&s->log, entry.name);
        checked_free(entry.name);
    }
    s->outputs.clear();
    out_text(&s->log, "\n");
    if (!out_close(&s->log))
        fail_run_file(s->batch->log_name, "%s", MSG_LOG_OPEN);
    text_close(&s->in);
}

void
split_archive(const char *archive_name, const batch_info &batch)
{
    auto *s = new walk_state;
    s->archive_name = archive_name;
    s->batch = &batch;
    start_archive(s);
    for (;;) {
        // Only a line holding nothing but its line end starts a body, never the line feed that
        // ends a line longer than a read.
        const bool whole_line = text_at_line_start(&s->in);
        if (!text_read_line(&s->in, std::span<char>(s->line, HEADER_READ_SIZE)))
            break;
        scan_boundary_declarations(s);
        if (!take_delimiter(s))
            break;
        apply_content_type(s, whole_line);
        apply_transfer_encoding(s);
        apply_location(s);
        apply_filename_param(s);
        apply_content_id(s);
        apply_content_base(s);
        if (s->part.ready && s->part.kind != KIND_NONE && s->line[0] == '\n' && whole_line) {
            write_part(s);
            // Between parts every file is whole: Ctrl-C ends the walk here, and the archive is
            // closed out as if it ended after this part.
            progress_poll();
            if (interrupt_requested())
                break;
        }
    }
    finish_archive(s);
    delete s;
}
