#include "webref/webref.hpp"

#include "webref/internal.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

// Appends text to out after its first *len bytes. Returns false, leaving out as it was, when it
// does not fit.
static bool
append_text(std::span<char> out, std::size_t *len, std::string_view text)
{
    if (text.size() > out.size() - *len)
        return false;
    if (text.empty())
        return true;
    std::memmove(out.data() + *len, text.data(), text.size());
    *len += text.size();
    return true;
}

static bool
fail_output(std::size_t *len_out)
{
    *len_out = 0;
    return false;
}

// Length of the scheme at the start of reference (the index of its ':'), or 0 without one.
static std::size_t
scheme_length(std::string_view reference)
{
    if (reference.empty() || !is_ascii_alpha(static_cast<unsigned char>(reference[0])))
        return 0;
    for (std::size_t k = 1; k < reference.size(); ++k) {
        const auto c = static_cast<unsigned char>(reference[k]);
        if (c == ':')
            return k;
        if (!is_ascii_alpha(c) && !is_ascii_digit(c) && c != '+' && c != '-' && c != '.')
            return 0;
    }
    return 0;
}

// Takes rest apart into the path (up to '?' or '#'), the query (to '#') and the fragment.
static void
split_path_on(std::string_view rest, uri_parts *parts)
{
    const std::size_t path_end = std::min(rest.find_first_of("?#"), rest.size());
    parts->path = rest.substr(0, path_end);
    rest.remove_prefix(path_end);
    if (rest.starts_with('?')) {
        const std::size_t query_end = std::min(rest.find('#'), rest.size());
        parts->query = rest.substr(1, query_end - 1);
        parts->has_query = true;
        rest.remove_prefix(query_end);
    }
    if (rest.starts_with('#')) {
        parts->fragment = rest.substr(1);
        parts->has_fragment = true;
    }
}

uri_parts
split_uri(std::string_view reference)
{
    uri_parts parts;
    std::string_view rest = reference;
    if (const std::size_t colon = scheme_length(rest); colon > 0) {
        parts.scheme = rest.substr(0, colon);
        parts.has_scheme = true;
        rest.remove_prefix(colon + 1);
    }
    if (rest.starts_with("//")) {
        const std::size_t end = std::min(rest.find_first_of("/?#", 2), rest.size());
        parts.authority = rest.substr(2, end - 2);
        parts.has_authority = true;
        rest.remove_prefix(end);
    }
    split_path_on(rest, &parts);
    return parts;
}

bool
merge_paths(const uri_parts &base, std::string_view reference_path, std::span<char> out,
            std::size_t *len_out)
{
    std::string_view directory = "/";
    if (!base.has_authority || !base.path.empty()) {
        const std::size_t slash = base.path.rfind('/');
        directory =
            slash == std::string_view::npos ? std::string_view() : base.path.substr(0, slash + 1);
    }
    *len_out = 0;
    if (!append_text(out, len_out, directory) || !append_text(out, len_out, reference_path))
        return fail_output(len_out);
    return true;
}

// Takes the last segment and the '/' before it off the output's first *len bytes.
static void
drop_last_segment(const char *out, std::size_t *len)
{
    while (*len > 0 && out[*len - 1] != '/')
        --*len;
    if (*len > 0)
        --*len;
}

bool
remove_dot_segments(std::string_view path, std::span<char> out, std::size_t *len_out)
{
    // Each step writes at or before the input byte it reads, so out may be path's own bytes:
    // what is still to be read lies after everything written.
    std::size_t len = 0;
    std::size_t at = 0;
    while (at < path.size()) {
        const std::string_view input = path.substr(at);
        if (input.starts_with("../")) {
            at += 3;
        } else if (input.starts_with("./") || input.starts_with("/./")) {
            at += 2;
        } else if (input.starts_with("/../")) {
            drop_last_segment(out.data(), &len);
            at += 3;
        } else if (input == "/." || input == "/..") {
            if (input == "/..")
                drop_last_segment(out.data(), &len);
            if (len == out.size())
                return fail_output(len_out);
            out[len++] = '/';
            at = path.size();
        } else if (input == "." || input == "..") {
            at = path.size();
        } else {
            // the first segment, with its '/', up to the next '/'
            const std::size_t end = std::min(input.find('/', 1), input.size());
            if (!append_text(out, &len, input.substr(0, end)))
                return fail_output(len_out);
            at += end;
        }
    }
    *len_out = len;
    return true;
}

// Length of the drive ("/C:" before '/' or the end) that a path of the "file" scheme begins
// with, or 0.
static std::size_t
drive_length(const uri_parts &target, std::string_view path)
{
    if (!target.has_scheme || !is_same_ascii_nocase(target.scheme, "file"))
        return 0;
    if (path.size() < 3 || path[0] != '/' || !is_ascii_alpha(static_cast<unsigned char>(path[1])) ||
        path[2] != ':' || (path.size() > 3 && path[3] != '/'))
        return 0;
    return 3;
}

// Cleans the path in out from *len on (path_len bytes) of its dot segments where it lies; a
// drive it begins with stays.
static void
clean_path_in_place(const uri_parts &target, std::span<char> out, std::size_t *len,
                    std::size_t path_len)
{
    const std::string_view path(out.data() + *len, path_len);
    const std::size_t drive = drive_length(target, path);
    std::size_t clean = 0;
    // never longer than what it reads, so it always fits
    remove_dot_segments(path.substr(drive), out.subspan(*len + drive), &clean);
    *len += drive + clean;
}

// Appends path (from the reference or, with directory_of, merged with that base's directory)
// cleaned of its dot segments.
static bool
append_clean_path(const uri_parts &target, std::string_view path, const uri_parts *directory_of,
                  std::span<char> out, std::size_t *len)
{
    std::size_t path_len = path.size();
    if (directory_of != nullptr) {
        if (!merge_paths(*directory_of, path, out.subspan(*len), &path_len))
            return false;
    } else if (!append_text(out, len, path)) {
        return false;
    } else {
        *len -= path_len;
    }
    clean_path_in_place(target, out, len, path_len);
    return true;
}

// Appends the target path of a reference without scheme or authority whose path is not empty.
static bool
append_target_path(const uri_parts &base, std::string_view path, std::span<char> out,
                   std::size_t *len)
{
    if (path[0] != '/')
        return append_clean_path(base, path, &base, out, len);
    // from a base on a drive, a path without one of its own lands on the base's drive
    const std::size_t base_drive = drive_length(base, base.path);
    if (base_drive > 0 && drive_length(base, path) == 0 &&
        !append_text(out, len, base.path.substr(0, base_drive)))
        return false;
    return append_clean_path(base, path, nullptr, out, len);
}

bool
resolve_reference(const uri_parts &base, const uri_parts &reference, std::span<char> out,
                  std::size_t *len_out)
{
    // scheme and authority first: the path goes in after them, and is cleaned where it lies
    uri_parts front;
    const uri_parts &scheme_from = reference.has_scheme ? reference : base;
    front.scheme = scheme_from.scheme;
    front.has_scheme = scheme_from.has_scheme;
    // a reference with a scheme or an authority brings its own authority and path
    const bool own_authority = reference.has_scheme || reference.has_authority;
    const uri_parts &authority_from = own_authority ? reference : base;
    front.authority = authority_from.authority;
    front.has_authority = authority_from.has_authority;
    std::size_t len = 0;
    if (!compose_uri(front, out, &len))
        return fail_output(len_out);
    bool fits = true;
    if (own_authority)
        fits = append_clean_path(front, reference.path, nullptr, out, &len);
    else if (reference.path.empty())
        fits = append_text(out, &len, base.path);
    else
        fits = append_target_path(base, reference.path, out, &len);
    // only a reference of nothing but a fragment (or nothing) keeps the base's query
    const bool base_query = !own_authority && reference.path.empty() && !reference.has_query;
    const uri_parts &query_from = base_query ? base : reference;
    if (fits && query_from.has_query)
        fits = append_text(out, &len, "?") && append_text(out, &len, query_from.query);
    if (fits && reference.has_fragment)
        fits = append_text(out, &len, "#") && append_text(out, &len, reference.fragment);
    if (!fits)
        return fail_output(len_out);
    *len_out = len;
    return true;
}

bool
compose_uri(const uri_parts &parts, std::span<char> out, std::size_t *len_out)
{
    std::size_t len = 0;
    bool fits = true;
    if (parts.has_scheme)
        fits = append_text(out, &len, parts.scheme) && append_text(out, &len, ":");
    if (fits && parts.has_authority)
        fits = append_text(out, &len, "//") && append_text(out, &len, parts.authority);
    fits = fits && append_text(out, &len, parts.path);
    if (fits && parts.has_query)
        fits = append_text(out, &len, "?") && append_text(out, &len, parts.query);
    if (fits && parts.has_fragment)
        fits = append_text(out, &len, "#") && append_text(out, &len, parts.fragment);
    if (!fits)
        return fail_output(len_out);
    *len_out = len;
    return true;
}

// An authority's user information (with its '@'), host and port (with its ':').
struct authority_parts {
    std::string_view user;
    std::string_view host;
    std::string_view port;
};

static authority_parts
split_authority(std::string_view authority)
{
    authority_parts parts;
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        parts.user = authority.substr(0, at + 1);
        authority.remove_prefix(at + 1);
    }
    // an IP literal "[...]" holds colons of its own
    const std::size_t from =
        authority.starts_with('[') ? std::min(authority.find(']'), authority.size()) : 0;
    const std::size_t colon = std::min(authority.find(':', from), authority.size());
    parts.host = authority.substr(0, colon);
    parts.port = authority.substr(colon);
    return parts;
}

// URLs as a browser's parser reads them, over the steps above.

// A scheme with a browser's special rules: '\' counts as '/' before the query, slashes open the
// authority, the path is never empty, and a default port is no port.
struct special_scheme {
    std::string_view name;
    std::string_view default_port;  // "" for none
};

static constexpr special_scheme SPECIAL_SCHEMES[] = {
    {"http", "80"}, {"https", "443"}, {"ftp", "21"}, {"ws", "80"}, {"wss", "443"}, {"file", ""}};

// The special scheme that scheme names in any case, or null.
static const special_scheme *
find_special_scheme(std::string_view scheme)
{
    for (const special_scheme &known : SPECIAL_SCHEMES) {
        if (is_same_ascii_nocase(known.name, scheme))
            return &known;
    }
    return nullptr;
}

static bool
is_file_scheme(const special_scheme *scheme)
{
    return scheme != nullptr && scheme->name == "file";
}

// The first of delimiters in text, or its size; with backslash, a '\' is found as '/' is,
// unless it is the second byte of a Shift_JIS character.
static std::size_t
find_url_delimiter(std::string_view text, std::string_view delimiters, bool backslash)
{
    bool second = false;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        const bool slash = c == '/' || (backslash && c == '\\' && !second);
        if ((slash && delimiters.find('/') != std::string_view::npos) ||
            (c != '\\' && delimiters.find(static_cast<char>(c)) != std::string_view::npos))
            return k;
        second = !second && is_sjis_lead(c);
    }
    return text.size();
}

// A drive as a file URL's host ("C:"), which a browser takes as the path's first segment.
static bool
is_drive(std::string_view host)
{
    return host.size() == 2 && is_ascii_alpha(static_cast<unsigned char>(host[0])) &&
           host[1] == ':';
}

// Takes url apart as split_uri does, but with special's rules: '\' is '/' before the query,
// and the authority follows any number of slashes when url has its own scheme or two slashes
// begin it; in "file", two slashes and no more open the authority, and a drive there is the
// path's. With scheme_allowed false, a "name:" at the start is path.
static uri_parts
split_url(std::string_view url, const special_scheme *special, bool scheme_allowed)
{
    if (special == nullptr)
        return split_uri(url);
    uri_parts parts;
    std::string_view rest = url;
    if (const std::size_t colon = scheme_allowed ? scheme_length(rest) : 0; colon > 0) {
        parts.scheme = rest.substr(0, colon);
        parts.has_scheme = true;
        rest.remove_prefix(colon + 1);
    }
    std::size_t slashes = 0;
    while (slashes < rest.size() && (rest[slashes] == '/' || rest[slashes] == '\\'))
        ++slashes;
    const bool file = is_file_scheme(special);
    if (file ? slashes >= 2 : (parts.has_scheme || slashes >= 2)) {
        rest.remove_prefix(file ? 2 : slashes);
        const std::size_t end = find_url_delimiter(rest, "/?#", true);
        parts.has_authority = true;
        if (file && is_drive(rest.substr(0, end))) {
            rest = std::string_view(rest.data() - 1, rest.size() + 1);  // from the '/' before it
        } else {
            parts.authority = rest.substr(0, end);
            rest.remove_prefix(end);
        }
    }
    split_path_on(rest, &parts);
    return parts;
}

// One text a URL is made of, cleaned in its own room at the end of the output.
struct url_text {
    std::string_view text;
    std::size_t colon = 0;  // where its scheme ends, 0 for none
    const special_scheme *special = nullptr;
};

// Makes '\' before the query '/' (not a Shift_JIS second byte), as a special scheme reads it.
static void
slash_backslashes(std::span<char> text)
{
    bool second = false;
    for (char &c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '?' || byte == '#')
            return;
        if (byte == '\\' && !second)
            c = '/';
        second = !second && is_sjis_lead(byte);
    }
}

// The dots that segment spells with "%2e" ("%2e": 1; ".%2e", "%2e." and "%2e%2e": 2), or 0.
static std::size_t
escaped_dots(std::string_view segment)
{
    static constexpr std::string_view DOT = "%2e";
    const auto is_dot = [](std::string_view s) { return s == "." || is_same_ascii_nocase(s, DOT); };
    if (is_same_ascii_nocase(segment, DOT))
        return 1;
    for (const std::size_t first : {std::size_t{1}, std::size_t{3}}) {
        if (segment.size() > first && segment != ".." && is_dot(segment.substr(0, first)) &&
            is_dot(segment.substr(first)))
            return 2;
    }
    return 0;
}

// Writes the segments before the query that spell "." or ".." with "%2e" as those dots, in
// place. Returns the new length.
static std::size_t
fold_dot_escapes(std::span<char> text)
{
    const std::string_view view(text.data(), text.size());
    const std::size_t query = std::min(view.find_first_of("?#"), view.size());
    std::size_t w = 0;
    // w never passes r, and text[r - 1] is still the byte read there
    for (std::size_t r = 0; r < text.size();) {
        if (r < query && (r == 0 || text[r - 1] == '/')) {
            const std::size_t end = std::min(view.find('/', r), query);
            const std::size_t dots = escaped_dots(view.substr(r, end - r));
            if (dots > 0) {
                text[w++] = '.';
                if (dots == 2)
                    text[w++] = '.';
                r = end;
                continue;
            }
        }
        text[w++] = text[r++];
    }
    return w;
}

// Writes text into room as a browser's parser first reads it: C0 controls and spaces at either
// end dropped, every tab, LF and CR taken out, the scheme in lower case; with a special scheme
// (its own, or inherited when it has none), '\' as '/' and "%2e" dot segments as dots. Room
// holds text.size() bytes at least.
static url_text
prepare_url(std::string_view text, std::span<char> room, const special_scheme *inherited)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    std::size_t len = 0;
    for (const char c : text) {
        if (c != '\t' && c != '\n' && c != '\r')
            room[len++] = c;
    }
    url_text url;
    url.colon = scheme_length(std::string_view(room.data(), len));
    for (std::size_t k = 0; k < url.colon; ++k)
        room[k] = static_cast<char>(ascii_lower(static_cast<unsigned char>(room[k])));
    url.special =
        url.colon > 0 ? find_special_scheme(std::string_view(room.data(), url.colon)) : inherited;
    if (url.special != nullptr) {
        slash_backslashes(room.first(len));
        len = fold_dot_escapes(room.first(len));
    }
    url.text = std::string_view(room.data(), len);
    return url;
}

// Takes count bytes out of out's first *len at at (count 0: none).
static void
erase_bytes(std::span<char> out, std::size_t *len, std::size_t at, std::size_t count)
{
    std::memmove(out.data() + at, out.data() + at + count, *len - at - count);
    *len -= count;
}

// True when port (after its ':') is a number at most 65535; its value in *value_out.
static bool
read_port(std::string_view port, unsigned *value_out)
{
    unsigned value = 0;
    for (const char c : port) {
        if (!is_ascii_digit(static_cast<unsigned char>(c)))
            return false;
        value = std::min(value * 10 + static_cast<unsigned>(c - '0'), 65536u);
    }
    *value_out = value;
    return value < 65536;
}

// Makes a resolved URL of a special scheme in out[0, *len) what a browser writes: the host in
// lower case, a default or empty port dropped, an empty path "/". Returns false when the URL
// is none: no host (but in "file"), a port that is no number, no room for the '/'.
static bool
finish_special_url(std::span<char> out, std::size_t *len, const special_scheme &scheme)
{
    const std::string_view url(out.data(), *len);
    const uri_parts parts = split_uri(url);
    const authority_parts authority = split_authority(parts.authority);
    unsigned port = 0;
    if (!parts.has_authority || (authority.host.empty() && scheme.name != "file") ||
        (!authority.port.empty() && !read_port(authority.port.substr(1), &port)))
        return false;
    for (std::size_t k = 0; k < authority.host.size(); ++k) {
        char &c = out[static_cast<std::size_t>(authority.host.data() - url.data()) + k];
        c = static_cast<char>(ascii_lower(static_cast<unsigned char>(c)));
    }
    std::size_t path_at = static_cast<std::size_t>(parts.path.data() - url.data());
    unsigned default_port = 0;
    read_port(scheme.default_port, &default_port);
    if (authority.port.size() == 1 || (authority.port.size() > 1 && port == default_port)) {
        erase_bytes(out, len, path_at - authority.port.size(), authority.port.size());
        path_at -= authority.port.size();
    }
    if (!parts.path.empty())
        return true;
    if (*len == out.size())
        return false;
    std::memmove(out.data() + path_at + 1, out.data() + path_at, *len - path_at);
    out[path_at] = '/';
    ++*len;
    return true;
}

// After resolve_reference gave resolved: a special URL finished, or false with *len_out 0.
static bool
finish_url(bool resolved, const special_scheme *special, std::span<char> out, std::size_t *len_out)
{
    if (resolved && (special == nullptr || finish_special_url(out, len_out, *special)))
        return true;
    return fail_output(len_out);
}

// Writes an absolute URL that is its own target: special, or hierarchical (its path cleaned),
// or anything else as it stands.
static bool
resolve_own_url(const url_text &url, std::span<char> out, std::size_t *len_out)
{
    const uri_parts parts = split_url(url.text, url.special, true);
    if (url.special == nullptr && !parts.path.starts_with('/')) {
        *len_out = 0;
        if (!append_text(out, len_out, url.text))
            return false;
        return true;
    }
    uri_parts base = parts;
    uri_parts reference = parts;
    if (!parts.has_authority && url.special != nullptr) {
        // "file:x" and "file:/x" lie under "file:///"
        base.has_authority = true;
        base.authority = {};
        base.path = "/";
        reference.has_scheme = false;
    }
    return finish_url(resolve_reference(base, reference, out, len_out), url.special, out, len_out);
}

bool
resolve_url(std::string_view base, std::string_view input, std::span<char> out,
            std::size_t *len_out)
{
    *len_out = 0;
    if (base.size() + input.size() > out.size())
        return false;
    // the cleaned texts lie at out's end, the target is built before them
    const std::size_t work = out.size() - base.size() - input.size();
    const url_text from = prepare_url(base, out.subspan(work, base.size()), nullptr);
    const url_text in = prepare_url(input, out.subspan(work + base.size()), from.special);
    const std::span<char> target = out.first(work);
    const bool same_special = in.colon > 0 && in.special != nullptr &&
                              in.text.substr(0, in.colon) == from.text.substr(0, from.colon);
    if (in.colon > 0 && !same_special)
        return resolve_own_url(in, target, len_out);
    if (from.colon == 0)
        return false;  // relative, and no base
    // "http:x" against an http base is "x"
    const std::string_view relative = same_special ? in.text.substr(in.colon + 1) : in.text;
    const uri_parts base_parts = split_url(from.text, from.special, true);
    const uri_parts reference = split_url(relative, from.special, !same_special);
    const bool opaque_base = !base_parts.has_authority && !base_parts.path.starts_with('/');
    if (opaque_base && !relative.starts_with('#'))
        return fail_output(len_out);
    return finish_url(resolve_reference(base_parts, reference, target, len_out), from.special,
                      target, len_out);
}

// One unit of a URI for comparing: a byte, or the byte a "%XX" stands for.
struct uri_unit {
    unsigned char value = 0;
    bool escaped = false;
    std::size_t width = 1;
};

static uri_unit
next_unit(std::string_view text, std::size_t at)
{
    const auto c = static_cast<unsigned char>(text[at]);
    if (c == '%' && text.size() - at >= 3) {
        const int high = hex_digit_value(static_cast<unsigned char>(text[at + 1]));
        const int low = hex_digit_value(static_cast<unsigned char>(text[at + 2]));
        if (high >= 0 && low >= 0)
            return {static_cast<unsigned char>(high * 16 + low), true, 3};
    }
    return {c, false, 1};
}

// True for a byte a browser escapes in a path or query when the text has it as it is: a
// control, space, '"', '<', '>', '`', '{', '}' or DEL.
static bool
is_escaped_by_browser(unsigned char c)
{
    static constexpr std::string_view ESCAPED = " \"<>`{}";
    return c < 0x20 || c == 0x7F || ESCAPED.find(static_cast<char>(c)) != std::string_view::npos;
}

// How append_canonical reads a component.
enum canonical_flags : int {
    CANON_FOLD_CASE = 1,  // letters in lower case (scheme, host)
    CANON_SLASHES = 2     // '\' standing as it is is '/' (authority and path of a special scheme)
};

// Appends component to out as canonical_uri writes it: unreserved characters as they are, every
// byte that equals its escape (a byte of 0x80 and up, a Shift_JIS second byte, a byte a browser
// escapes, anything escaped) as "%XX", tab, LF and CR standing as they are dropped, the rest as
// it stands.
static bool
append_canonical(std::string_view component, int flags, std::span<char> out, std::size_t *len)
{
    static constexpr char HEX[] = "0123456789ABCDEF";
    bool second = false;
    for (std::size_t at = 0; at < component.size();) {
        const uri_unit unit = next_unit(component, at);
        at += unit.width;
        unsigned char value = (flags & CANON_FOLD_CASE) != 0 ? ascii_lower(unit.value) : unit.value;
        if (!unit.escaped && (value == '\t' || value == '\n' || value == '\r'))
            continue;
        if (!unit.escaped && value == '\\' && !second && (flags & CANON_SLASHES) != 0)
            value = '/';
        char spelled[3] = {static_cast<char>(value), 0, 0};
        std::size_t width = 1;
        if (!is_unreserved(value) &&
            (unit.escaped || value >= 0x80 || second || is_escaped_by_browser(value))) {
            spelled[0] = '%';
            spelled[1] = HEX[value >> 4];
            spelled[2] = HEX[value & 15];
            width = 3;
        }
        if (!append_text(out, len, std::string_view(spelled, width)))
            return false;
        second = !second && is_sjis_lead(value);
    }
    return true;
}

// Appends the canonical path of a special URL: its dot segments (those escaped among them)
// taken out, "/" for an empty one.
static bool
append_special_path(const uri_parts &parts, std::span<char> out, std::size_t *len)
{
    std::size_t at = *len;
    if (!append_canonical(parts.path, CANON_SLASHES, out, len))
        return false;
    clean_path_in_place(parts, out, &at, *len - at);
    *len = at;
    return !parts.path.empty() || append_text(out, len, "/");
}

bool
canonical_uri(std::string_view uri, std::span<char> out, std::size_t *len_out)
{
    while (!uri.empty() && static_cast<unsigned char>(uri.front()) <= ' ')
        uri.remove_prefix(1);
    while (!uri.empty() && static_cast<unsigned char>(uri.back()) <= ' ')
        uri.remove_suffix(1);
    const std::size_t colon = scheme_length(uri);
    const special_scheme *special = colon > 0 ? find_special_scheme(uri.substr(0, colon)) : nullptr;
    const uri_parts parts = split_url(uri, special, true);
    const authority_parts authority = split_authority(parts.authority);
    const bool default_port =
        special != nullptr && !authority.port.empty() &&
        (authority.port.size() == 1 || authority.port.substr(1) == special->default_port);
    std::size_t len = 0;
    bool fits = true;
    if (parts.has_scheme)
        fits = append_canonical(parts.scheme, CANON_FOLD_CASE, out, &len) &&
               append_text(out, &len, ":");
    if (fits && parts.has_authority)
        fits = append_text(out, &len, "//") && append_canonical(authority.user, 0, out, &len) &&
               append_canonical(authority.host, CANON_FOLD_CASE, out, &len) &&
               append_text(out, &len, default_port ? std::string_view() : authority.port);
    if (special != nullptr && parts.has_authority)
        fits = fits && append_special_path(parts, out, &len);
    else
        fits = fits && append_canonical(parts.path, 0, out, &len);
    if (fits && parts.has_query)
        fits = append_text(out, &len, "?") && append_canonical(parts.query, 0, out, &len);
    if (fits && parts.has_fragment)
        fits = append_text(out, &len, "#") && append_canonical(parts.fragment, 0, out, &len);
    if (!fits)
        return fail_output(len_out);
    *len_out = len;
    return true;
}

bool
is_same_uri(std::string_view a, std::string_view b)
{
    std::vector<char> key_a(3 * a.size() + 1);
    std::vector<char> key_b(3 * b.size() + 1);
    std::size_t len_a = 0;
    std::size_t len_b = 0;
    return canonical_uri(a, key_a, &len_a) && canonical_uri(b, key_b, &len_b) &&
           std::string_view(key_a.data(), len_a) == std::string_view(key_b.data(), len_b);
}
