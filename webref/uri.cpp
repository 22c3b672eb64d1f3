#include "webref/webref.hpp"

#include "webref/internal.hpp"

#include <algorithm>
#include <cstring>

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
    const std::size_t path_end = std::min(rest.find_first_of("?#"), rest.size());
    parts.path = rest.substr(0, path_end);
    rest.remove_prefix(path_end);
    if (rest.starts_with('?')) {
        const std::size_t query_end = std::min(rest.find('#'), rest.size());
        parts.query = rest.substr(1, query_end - 1);
        parts.has_query = true;
        rest.remove_prefix(query_end);
    }
    if (rest.starts_with('#')) {
        parts.fragment = rest.substr(1);
        parts.has_fragment = true;
    }
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

// True when a byte standing as it is means what its escape means: an unreserved character, a
// byte of 0x80 and up, or the second byte of a Shift_JIS character standing as it is (which
// may be '\', '@', '[' and such: a browser sends the whole character escaped).
static bool
is_plain_as_escaped(uri_unit unit, bool second_byte)
{
    return is_unreserved(unit.value) || unit.value >= 0x80 || second_byte;
}

// True when a and b are equal as the comparison of is_same_uri has it; with fold_case, letters
// compare ignoring ASCII case.
static bool
is_same_component(std::string_view a, std::string_view b, bool fold_case)
{
    std::size_t i = 0;
    std::size_t j = 0;
    bool second_in_a = false;  // the unit is the second byte of a character standing as it is
    bool second_in_b = false;
    while (i < a.size() && j < b.size()) {
        const uri_unit x = next_unit(a, i);
        const uri_unit y = next_unit(b, j);
        const unsigned char vx = fold_case ? ascii_upper(x.value) : x.value;
        const unsigned char vy = fold_case ? ascii_upper(y.value) : y.value;
        if (vx != vy)
            return false;
        if (x.escaped != y.escaped &&
            !is_plain_as_escaped(x.escaped ? y : x, x.escaped ? second_in_b : second_in_a))
            return false;
        // the byte after a lead byte, written as it is or escaped, is a second byte
        second_in_a = !second_in_a && is_sjis_lead(x.value);
        second_in_b = !second_in_b && is_sjis_lead(y.value);
        i += x.width;
        j += y.width;
    }
    return i == a.size() && j == b.size();
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

bool
is_same_uri(std::string_view a, std::string_view b)
{
    const uri_parts x = split_uri(a);
    const uri_parts y = split_uri(b);
    if (x.has_scheme != y.has_scheme || x.has_authority != y.has_authority ||
        x.has_query != y.has_query || x.has_fragment != y.has_fragment)
        return false;
    const authority_parts ax = split_authority(x.authority);
    const authority_parts ay = split_authority(y.authority);
    return is_same_ascii_nocase(x.scheme, y.scheme) && is_same_component(ax.user, ay.user, false) &&
           is_same_component(ax.host, ay.host, true) && ax.port == ay.port &&
           is_same_component(x.path, y.path, false) && is_same_component(x.query, y.query, false) &&
           is_same_component(x.fragment, y.fragment, false);
}

// Appends component to out as canonical_uri writes it: unreserved characters as they are, every
// byte that equals its escape (a byte of 0x80 and up, a Shift_JIS second byte, anything
// escaped) as "%XX", the rest as it stands; letters folded to lower case with fold_case.
static bool
append_canonical(std::string_view component, bool fold_case, std::span<char> out, std::size_t *len)
{
    static constexpr char HEX[] = "0123456789ABCDEF";
    bool second = false;
    for (std::size_t at = 0; at < component.size();) {
        const uri_unit unit = next_unit(component, at);
        const unsigned char value = fold_case ? ascii_lower(unit.value) : unit.value;
        char spelled[3] = {static_cast<char>(value), 0, 0};
        std::size_t width = 1;
        if (!is_unreserved(value) && (unit.escaped || value >= 0x80 || second)) {
            spelled[0] = '%';
            spelled[1] = HEX[value >> 4];
            spelled[2] = HEX[value & 15];
            width = 3;
        }
        if (!append_text(out, len, std::string_view(spelled, width)))
            return false;
        second = !second && is_sjis_lead(value);
        at += unit.width;
    }
    return true;
}

bool
canonical_uri(std::string_view uri, std::span<char> out, std::size_t *len_out)
{
    const uri_parts parts = split_uri(uri);
    const authority_parts authority = split_authority(parts.authority);
    std::size_t len = 0;
    bool fits = true;
    if (parts.has_scheme)
        fits = append_canonical(parts.scheme, true, out, &len) && append_text(out, &len, ":");
    if (fits && parts.has_authority)
        fits = append_text(out, &len, "//") && append_canonical(authority.user, false, out, &len) &&
               append_canonical(authority.host, true, out, &len) &&
               append_text(out, &len, authority.port);
    fits = fits && append_canonical(parts.path, false, out, &len);
    if (fits && parts.has_query)
        fits = append_text(out, &len, "?") && append_canonical(parts.query, false, out, &len);
    if (fits && parts.has_fragment)
        fits = append_text(out, &len, "#") && append_canonical(parts.fragment, false, out, &len);
    if (!fits)
        return fail_output(len_out);
    *len_out = len;
    return true;
}
