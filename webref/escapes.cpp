// Percent-encoding, HTML character references in attribute values, and the spelling of a
// replacement in the place of a reference the scanner found.
#include "webref/webref.hpp"

#include "webref/internal.hpp"

#include <array>
#include <cstring>

static constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

// The bytes a URI holds as they are.
static constexpr std::array<bool, 256> UNRESERVED = [] {
    std::array<bool, 256> table{};
    for (const char c : std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                         "0123456789-._~"))
        table[static_cast<unsigned char>(c)] = true;
    return table;
}();

// The code points above this are left as their references stand.
static constexpr unsigned ASCII_LAST = 0x7F;

bool
is_unreserved(unsigned char c)
{
    return UNRESERVED[c];
}

// Appends bytes to out; a false result sticks, so a caller checks once at the end.
struct text_writer {
    std::span<char> out;
    std::size_t len = 0;
    bool fits = true;
};

static void
put_text(text_writer *w, std::string_view text)
{
    if (!w->fits || text.size() > w->out.size() - w->len) {
        w->fits = false;
        return;
    }
    if (text.empty())
        return;
    std::memcpy(w->out.data() + w->len, text.data(), text.size());
    w->len += text.size();
}

static void
put_byte(text_writer *w, char c)
{
    put_text(w, std::string_view(&c, 1));
}

static bool
finish_writer(const text_writer &w, std::size_t *len_out)
{
    *len_out = w.fits ? w.len : 0;
    return w.fits;
}

bool
percent_encode(std::string_view bytes, std::span<char> out, std::size_t *len_out)
{
    text_writer w{out};
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (UNRESERVED[byte]) {
            put_byte(&w, c);
        } else {
            const char escape[3] = {'%', HEX_DIGITS[byte >> 4], HEX_DIGITS[byte & 15]};
            put_text(&w, std::string_view(escape, 3));
        }
    }
    return finish_writer(w, len_out);
}

bool
percent_decode(std::string_view text, std::span<char> out, std::size_t *len_out)
{
    text_writer w{out};
    for (std::size_t k = 0; k < text.size(); ++k) {
        const int high = k + 2 < text.size() && text[k] == '%'
                             ? hex_digit_value(static_cast<unsigned char>(text[k + 1]))
                             : -1;
        const int low = high >= 0 ? hex_digit_value(static_cast<unsigned char>(text[k + 2])) : -1;
        if (low >= 0) {
            put_byte(&w, static_cast<char>(high * 16 + low));
            k += 2;
        } else {
            put_byte(&w, text[k]);
        }
    }
    return finish_writer(w, len_out);
}

// A named reference the attribute values of the pages use, and whether browsers take it
// without its ';' too.
struct named_reference {
    std::string_view name;
    char byte;
    bool without_semicolon;
};

static constexpr named_reference NAMED_REFERENCES[] = {{"amp", '&', true},
                                                       {"lt", '<', true},
                                                       {"gt", '>', true},
                                                       {"quot", '"', true},
                                                       {"apos", '\'', false}};

// The numeric reference at the start of text ("&#..."): its length, and the byte in *byte_out;
// 0 when it is none or stands for no ASCII character.
static std::size_t
read_numeric_reference(std::string_view text, char *byte_out)
{
    std::size_t at = 2;
    const bool hex = at < text.size() && (text[at] == 'x' || text[at] == 'X');
    at += hex ? 1 : 0;
    const std::size_t digits_from = at;
    unsigned value = 0;
    for (; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        const int digit = hex ? hex_digit_value(c) : (is_ascii_digit(c) ? c - '0' : -1);
        if (digit < 0)
            break;
        // past ASCII the value no longer matters: keep it from growing
        value = value > ASCII_LAST ? value : value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    }
    if (at == digits_from || value == 0 || value > ASCII_LAST)
        return 0;
    *byte_out = static_cast<char>(value);
    return at < text.size() && text[at] == ';' ? at + 1 : at;
}

// The character reference at the start of text (a '&'): its length, and the byte it stands
// for in *byte_out; 0 when none is read there.
static std::size_t
read_char_reference(std::string_view text, char *byte_out)
{
    if (text.size() > 1 && text[1] == '#')
        return read_numeric_reference(text, byte_out);
    for (const named_reference &named : NAMED_REFERENCES) {
        if (text.substr(1, named.name.size()) != named.name)
            continue;
        const std::size_t end = 1 + named.name.size();
        const unsigned char next = end < text.size() ? static_cast<unsigned char>(text[end]) : 0;
        *byte_out = named.byte;
        if (next == ';')
            return end + 1;
        // "&ltx=1" in a query is not a reference
        const bool name_goes_on = is_ascii_alpha(next) || is_ascii_digit(next) || next == '=';
        return named.without_semicolon && !name_goes_on ? end : 0;
    }
    return 0;
}

bool
decode_char_refs(std::string_view value, std::span<char> out, std::size_t *len_out)
{
    text_writer w{out};
    std::size_t at = 0;
    while (at < value.size()) {
        const std::size_t amp = std::min(value.find('&', at), value.size());
        put_text(&w, value.substr(at, amp - at));
        if (amp == value.size())
            break;
        char byte = 0;
        const std::size_t length = read_char_reference(value.substr(amp), &byte);
        put_byte(&w, length > 0 ? byte : '&');
        at = amp + (length > 0 ? length : 1);
    }
    return finish_writer(w, len_out);
}

char
quote_of_reference(std::string_view text)
{
    char byte = 0;
    if (text.size() < 2 || text[0] != '&' || text.back() != ';' ||
        read_char_reference(text, &byte) != text.size())
        return 0;
    return byte == '"' || byte == '\'' ? byte : '\0';
}

// Appends c as an HTML attribute value quoted with quote spells it.
static void
put_attribute_byte(text_writer *w, char c, char quote)
{
    if (c == '&')
        put_text(w, "&amp;");
    else if (c == quote && quote != 0)
        put_text(w, quote == '"' ? "&quot;" : "&#39;");
    else
        put_byte(w, c);
}

bool
encode_attribute_value(std::string_view value, char quote, std::span<char> out,
                       std::size_t *len_out)
{
    text_writer w{out};
    for (const char c : value)
        put_attribute_byte(&w, c, quote);
    return finish_writer(w, len_out);
}

// True for the kinds that are an HTML attribute's value (or the whole attribute), not CSS.
static bool
is_html_value(reference_kind kind)
{
    return kind != REF_CSS_URL && kind != REF_CSS_IMPORT;
}

// True for a byte that cannot stand in an unquoted HTML attribute value.
static bool
is_unquoted_attribute_stop(unsigned char c)
{
    return has_class(c, BC_SPACE) || c == '"' || c == '\'' || c == '=' || c == '<' || c == '>' ||
           c == '`';
}

bool
needs_quotes(const scan_reference &found, std::string_view replacement)
{
    if (found.quote != 0)
        return false;
    const bool attribute = is_html_value(found.kind);
    if (attribute && replacement.empty())
        return true;
    const bool in_unquoted_attribute = found.place == PLACE_HTML && found.attribute_quote == 0;
    for (const char byte : replacement) {
        const auto c = static_cast<unsigned char>(byte);
        if (in_unquoted_attribute && is_unquoted_attribute_stop(c))
            return true;
        if (!attribute &&
            (has_class(c, BC_SPACE | BC_DQUOTE | BC_SQUOTE | BC_PAREN | BC_BACKSLASH) || c < 0x20 ||
             c == 0x7F || (c == '<' && found.place == PLACE_STYLE_BLOCK)))
            return true;
    }
    return false;
}

// Appends c as a CSS string quoted with quote spells it (in a <style> element when block).
static void
put_css_string_byte(text_writer *w, char c, char quote, bool block)
{
    if (c == '\\' || c == quote) {
        put_byte(w, '\\');
        put_byte(w, c);
    } else if (c == '\n' || c == '\r' || c == '\f' || (c == '<' && block)) {
        const char escape[4] = {'\\', HEX_DIGITS[static_cast<unsigned char>(c) >> 4],
                                HEX_DIGITS[static_cast<unsigned char>(c) & 15], ' '};
        put_text(w, std::string_view(escape, 4));
    } else {
        put_byte(w, c);
    }
}

bool
write_replacement(const scan_reference &found, std::string_view replacement, std::span<char> out,
                  std::size_t *len_out)
{
    const bool add_quotes = needs_quotes(found, replacement);
    const char quote = add_quotes ? '"' : found.quote;
    const bool html = found.place == PLACE_HTML;
    if (add_quotes && html && !is_html_value(found.kind) && found.attribute_quote == 0)
        return finish_writer(text_writer{out, 0, false}, len_out);
    text_writer w{out};
    if (is_html_value(found.kind)) {
        // the added quotes are the attribute's own
        if (add_quotes)
            put_byte(&w, quote);
        for (const char c : replacement)
            put_attribute_byte(&w, c, quote);
        if (add_quotes)
            put_byte(&w, quote);
        return finish_writer(w, len_out);
    }
    // CSS text first, then spelled for the attribute it stands in, if any
    char css[16];
    const auto put_css = [&](std::string_view text) {
        for (const char c : text) {
            if (html)
                put_attribute_byte(&w, c, found.attribute_quote);
            else
                put_byte(&w, c);
        }
    };
    if (add_quotes)
        put_css(std::string_view(&quote, 1));
    for (const char c : replacement) {
        text_writer piece{css};
        if (quote != 0)
            put_css_string_byte(&piece, c, quote, found.place == PLACE_STYLE_BLOCK);
        else
            put_byte(&piece, c);
        put_css(std::string_view(css, piece.len));
    }
    if (add_quotes)
        put_css(std::string_view(&quote, 1));
    return finish_writer(w, len_out);
}

// Reads the CSS escape at text[at] (a '\' after a byte below 0x80): returns where it ends, and
// stores in *byte_out the byte it stands for, -1 when it stays as it stands (a code point of 0
// or 0x80 and up, or a '\' that ends the text), -2 when it stands for nothing (a continuation).
static std::size_t
read_css_escape(std::string_view text, std::size_t at, int *byte_out)
{
    std::size_t end = at + 1;
    *byte_out = -1;
    if (end == text.size())
        return end;
    const auto first = static_cast<unsigned char>(text[end]);
    if (has_class(first, BC_LINE_END)) {
        // a continuation: the '\' and the line end (CR LF as one) are dropped
        end += (first == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? std::size_t{2}
                                                                                 : std::size_t{1};
        *byte_out = -2;
        return end;
    }
    if (hex_digit_value(first) < 0) {
        *byte_out = first;
        return end + 1;
    }
    unsigned value = 0;
    for (std::size_t digits = 0; digits < 6 && end < text.size(); ++digits, ++end) {
        const int digit = hex_digit_value(static_cast<unsigned char>(text[end]));
        if (digit < 0)
            break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    if (end < text.size() && has_class(static_cast<unsigned char>(text[end]), BC_SPACE)) {
        const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        end += crlf ? std::size_t{2} : std::size_t{1};
    }
    if (value > 0 && value <= ASCII_LAST)
        *byte_out = static_cast<int>(value);
    return end;
}

bool
decode_css_escapes(std::string_view text, std::span<char> out, std::size_t *len_out)
{
    text_writer w{out};
    unsigned char before = '\n';
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c != '\\' || before >= 0x80) {
            put_byte(&w, text[at++]);
            before = c;
            continue;
        }
        int byte = 0;
        const std::size_t end = read_css_escape(text, at, &byte);
        if (byte >= 0)
            put_byte(&w, static_cast<char>(byte));
        else if (byte == -1)
            put_text(&w, text.substr(at, end - at));
        before = static_cast<unsigned char>(text[end - 1]);
        at = end;
    }
    return finish_writer(w, len_out);
}

static bool
is_srcset_space(char c)
{
    return has_class(static_cast<unsigned char>(c), BC_SPACE);
}

bool
next_srcset_candidate(std::string_view list, std::size_t *pos, std::size_t *url_from,
                      std::size_t *url_len)
{
    std::size_t at = std::min(*pos, list.size());
    while (at < list.size() && (is_srcset_space(list[at]) || list[at] == ','))
        ++at;
    *pos = at;
    if (at == list.size())
        return false;
    const std::size_t from = at;
    while (at < list.size() && !is_srcset_space(list[at]))
        ++at;
    std::size_t end = at;
    while (list[end - 1] == ',')
        --end;  // never past from: the URL begins with no comma
    *url_from = from;
    *url_len = end - from;
    if (end < at) {
        *pos = at;  // a URL that ends with commas has no descriptors
        return true;
    }
    // the descriptors run to the next comma outside parentheses
    bool in_parens = false;
    for (; at < list.size(); ++at) {
        if (list[at] == '(' || list[at] == ')')
            in_parens = list[at] == '(';
        else if (list[at] == ',' && !in_parens)
            break;
    }
    *pos = std::min(at + 1, list.size());
    return true;
}
