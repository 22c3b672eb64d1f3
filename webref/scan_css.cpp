// The reference scanner's CSS states: url(...) values and @import strings in style sheets,
// <style> elements and style attributes, outside comments and other strings. Each byte is
// first looked at for the end of what the CSS stands in ("</style", the attribute's end),
// which comes before anything the CSS itself would make of it.
#include "webref/webref.hpp"

#include "webref/internal.hpp"

#include <algorithm>

static constexpr std::string_view URL_OPEN = "url(";
static constexpr std::string_view IMPORT = "import";

// The longest character reference that may spell a quote ("&#x00000022;" and the like are
// not looked for).
static constexpr std::size_t QUOTE_REFERENCE_MAX = 10;

// The classes of the bytes that end the text CSS stands in, for the searches.
static std::uint16_t
host_stops(const ref_scanner *s)
{
    if (s->css_host == HOST_BLOCK)
        return BC_LT;
    if (s->css_host != HOST_ATTRIBUTE)
        return 0;
    if (s->attribute_quote == 0)
        return BC_UNQUOTED_END;
    return s->attribute_quote == '"' ? BC_DQUOTE : BC_SQUOTE;
}

static std::uint16_t
quote_class(char quote)
{
    return quote == '"' ? BC_DQUOTE : BC_SQUOTE;
}

// True when c ends the text the CSS stands in.
static bool
ends_host(const ref_scanner *s, unsigned char c)
{
    if (s->css_host == HOST_BLOCK)
        return is_end_tag_complete(s, c);
    if (s->css_host != HOST_ATTRIBUTE)
        return false;
    return s->attribute_quote != 0 ? c == static_cast<unsigned char>(s->attribute_quote)
                                   : has_class(c, BC_UNQUOTED_END);
}

static bool
is_holding(int state)
{
    return state >= C_VALUE_UNQUOTED && state <= C_VALUE_QUOTED_ESCAPE;
}

// At the byte (not read) that ends the CSS: a value being held is given up first; then the end
// tag or the rest of the tag is read as HTML.
static step_event
leave_css(scan_pass *p)
{
    ref_scanner *s = p->s;
    if (is_holding(s->state))
        return give_up_value(p, C_NORMAL);
    if (s->css_host == HOST_BLOCK) {
        enter_end_tag(s);
        return EV_CONTINUE;
    }
    p->i += s->attribute_quote != 0 ? 1 : 0;
    s->state = H_BEFORE_ATTR_NAME;
    return EV_CONTINUE;
}

// A '\' escapes the next byte only after a byte below 0x80: after a Shift_JIS first byte it
// is the character's second byte.
static bool
is_escape(const scan_pass *p, unsigned char c)
{
    return c == '\\' && byte_before(p) < 0x80;
}

// Holds the bytes from p->i on that have none of stop's classes (none where an end tag is half
// matched). Returns false when the value grew too long.
static bool
hold_run(scan_pass *p, std::uint16_t stop)
{
    std::size_t end = p->i;
    if (p->s->end_matched == 0) {
        while (end < p->limit && !has_class(static_cast<unsigned char>(p->text[end]), stop))
            ++end;
    }
    return hold_bytes(p, end);
}

static step_event
css_normal(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    const bool after_name = has_class(byte_before(p), BC_IDENT);
    take_byte(p, c);
    switch (c) {
    case 'u':
    case 'U':
        // "url(" begins no longer name ("myurl(" is another function)
        if (!after_name) {
            s->matched = 1;
            s->state = C_URL_NAME;
        }
        break;
    case '@':
        s->matched = 0;
        s->state = C_AT_NAME;
        break;
    case '/':
        s->state = C_SLASH;
        break;
    case '"':
    case '\'':
        s->value_quote = static_cast<char>(c);
        s->state = C_STRING;
        break;
    default:
        skip_bytes(p, BC_CSS_START | host_stops(s));
        break;
    }
    return EV_CONTINUE;
}

// Matches the rest of "url(" or "import"; at a byte that does not match, CSS text reads it.
static step_event
css_keyword(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    const std::string_view word = s->state == C_URL_NAME ? URL_OPEN : IMPORT;
    if (ascii_lower(c) != static_cast<unsigned char>(word[static_cast<std::size_t>(s->matched)])) {
        s->state = C_NORMAL;
        return EV_CONTINUE;
    }
    take_byte(p, c);
    if (static_cast<std::size_t>(++s->matched) == word.size())
        s->state = s->state == C_URL_NAME ? C_URL_SPACE : C_AT_IMPORT;
    return EV_CONTINUE;
}

// After "url(", "@import" or white space after them: where the value begins.
static step_event
css_before_value(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    const bool url = s->state == C_URL_SPACE;
    if (has_class(c, BC_SPACE)) {
        take_byte(p, c);
        if (!url)
            s->state = C_IMPORT_SPACE;
        return EV_CONTINUE;
    }
    if (c == '"' || c == '\'') {
        take_byte(p, c);
        begin_value(p, url ? REF_CSS_URL : REF_CSS_IMPORT, static_cast<char>(c));
        s->state = C_VALUE_QUOTED;
        return EV_CONTINUE;
    }
    if (!url) {
        s->state = C_NORMAL;
        return EV_CONTINUE;
    }
    begin_value(p, REF_CSS_URL, '\0');
    if (c == ')') {
        s->state = C_NORMAL;
        return report_value(p, 0);
    }
    // in a style attribute, "&quot;" may be the value's quote
    s->may_open_quote = c == '&' && s->css_host == HOST_ATTRIBUTE;
    s->state = C_VALUE_UNQUOTED;
    return EV_CONTINUE;
}

// The quote the held text ends with when it ends with a character reference to one, and where
// that reference begins; 0 otherwise.
static char
held_quote_reference(const ref_scanner *s, std::size_t *start_out)
{
    const std::size_t from = s->hold_len - std::min(s->hold_len, QUOTE_REFERENCE_MAX);
    const std::string_view tail(s->hold.data() + from, s->hold_len - from);
    const std::size_t amp = tail.rfind('&');
    if (amp == std::string_view::npos)
        return 0;
    *start_out = from + amp;
    return quote_of_reference(tail.substr(amp));
}

static step_event
css_unquoted_value(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    if (has_class(c, BC_SPACE) || c == ')') {
        s->state = C_NORMAL;
        return report_value(p, s->hold_len);
    }
    if (c == '"' || c == '\'' || c == '(')
        return give_up_value(p, C_BAD_URL);
    const bool escape = is_escape(p, c);
    if (!hold_byte(p, c))
        return give_up_value(p, C_BAD_URL);
    if (escape) {
        s->state = C_VALUE_UNQUOTED_ESCAPE;
        return EV_CONTINUE;
    }
    std::size_t start = 0;
    if (c == ';' && s->may_open_quote) {
        s->may_open_quote = false;
        const char quote = held_quote_reference(s, &start);
        if (quote != 0 && start == 0) {
            // "&quot;" opened the value: it passes through, and the value begins after it
            s->value_quote = quote;
            return give_up_value(p, C_VALUE_QUOTED);
        }
    }
    if (!hold_run(p, BC_SPACE | BC_PAREN | BC_DQUOTE | BC_SQUOTE | BC_BACKSLASH | BC_SEMICOLON |
                         host_stops(s)))
        return give_up_value(p, C_BAD_URL);
    return EV_CONTINUE;
}

static step_event
css_quoted_value(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    if (c == static_cast<unsigned char>(s->value_quote)) {
        s->state = C_VALUE_END;
        return report_value(p, s->hold_len);
    }
    // a line end ends a string unclosed: no reference
    if (has_class(c, BC_LINE_END))
        return give_up_value(p, C_NORMAL);
    const bool escape = is_escape(p, c);
    if (!hold_byte(p, c))
        return give_up_value(p, C_STRING);
    if (escape) {
        s->state = C_VALUE_QUOTED_ESCAPE;
        return EV_CONTINUE;
    }
    std::size_t start = 0;
    if (c == ';' && s->css_host == HOST_ATTRIBUTE &&
        held_quote_reference(s, &start) == s->value_quote) {
        s->state = C_NORMAL;
        return report_value(p, start);
    }
    const std::uint16_t semicolon = s->css_host == HOST_ATTRIBUTE ? BC_SEMICOLON : 0;
    if (!hold_run(p, quote_class(s->value_quote) | BC_LINE_END | BC_BACKSLASH | semicolon |
                         host_stops(s)))
        return give_up_value(p, C_STRING);
    return EV_CONTINUE;
}

// Comments, strings and url(...) that is no reference: read up to their end.
static step_event
css_skipped(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    const int state = s->state;
    const bool escape = is_escape(p, c);
    take_byte(p, c);
    if (state == C_STRING_ESCAPE || state == C_BAD_URL_ESCAPE) {
        s->state = state == C_STRING_ESCAPE ? C_STRING : C_BAD_URL;
    } else if (state == C_COMMENT) {
        if (c == '*')
            s->state = C_COMMENT_STAR;
        else
            skip_bytes(p, BC_STAR | host_stops(s));
    } else if (state == C_STRING) {
        if (c == static_cast<unsigned char>(s->value_quote) || has_class(c, BC_LINE_END))
            s->state = C_NORMAL;  // closed, or a line end ends it unclosed
        else if (escape)
            s->state = C_STRING_ESCAPE;
        else
            skip_bytes(p, quote_class(s->value_quote) | BC_LINE_END | BC_BACKSLASH | host_stops(s));
    } else {
        if (c == ')')
            s->state = C_NORMAL;
        else if (escape)
            s->state = C_BAD_URL_ESCAPE;
        else
            skip_bytes(p, BC_PAREN | BC_BACKSLASH | host_stops(s));
    }
    return EV_CONTINUE;
}

static step_event
css_byte(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    switch (s->state) {
    case C_NORMAL:
        return css_normal(p, c);
    case C_SLASH:
        if (c == '*')
            take_byte(p, c);
        s->state = c == '*' ? C_COMMENT : C_NORMAL;
        return EV_CONTINUE;
    case C_COMMENT_STAR:
        // "*/" closes the comment, and so does "**/"
        if (c == '/' || c == '*')
            take_byte(p, c);
        s->state = c == '/' ? C_NORMAL : c == '*' ? C_COMMENT_STAR : C_COMMENT;
        return EV_CONTINUE;
    case C_URL_NAME:
    case C_AT_NAME:
        return css_keyword(p, c);
    case C_URL_SPACE:
    case C_AT_IMPORT:
    case C_IMPORT_SPACE:
        return css_before_value(p, c);
    case C_VALUE_UNQUOTED:
        return css_unquoted_value(p, c);
    case C_VALUE_QUOTED:
        return css_quoted_value(p, c);
    case C_VALUE_UNQUOTED_ESCAPE:
    case C_VALUE_QUOTED_ESCAPE:
        if (!hold_byte(p, c))
            return give_up_value(p, s->state == C_VALUE_QUOTED_ESCAPE ? C_STRING : C_BAD_URL);
        s->state = s->state == C_VALUE_QUOTED_ESCAPE ? C_VALUE_QUOTED : C_VALUE_UNQUOTED;
        return EV_CONTINUE;
    case C_VALUE_END:
        take_byte(p, c);
        s->state = C_NORMAL;
        return EV_CONTINUE;
    default:
        return css_skipped(p, c);
    }
}

step_event
step_css(scan_pass *p)
{
    while (p->i < p->limit) {
        const auto c = static_cast<unsigned char>(p->text[p->i]);
        if (ends_host(p->s, c))
            return leave_css(p);
        const step_event event = css_byte(p, c);
        if (event != EV_CONTINUE)
            return event;
    }
    return EV_LIMIT;
}
