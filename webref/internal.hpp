// Shared by the files of webref/: byte classes, and the reference scanner's states and steps
// (scan_html.cpp reads HTML and drives the scan, scan_css.cpp reads CSS).
#pragma once

#include "webref/webref.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Byte classes, one bit each.
enum byte_class : std::uint16_t {
    BC_SPACE = 1,           // HTML and CSS white space: tab, LF, FF, CR, space
    BC_DQUOTE = 2,          // '"'
    BC_SQUOTE = 4,          // '\''
    BC_LT = 8,              // '<'
    BC_GT = 16,             // '>'
    BC_CSS_START = 32,      // what may begin something in CSS text: u U @ / " '
    BC_STAR = 64,           // '*'
    BC_BACKSLASH = 128,     // '\'
    BC_LINE_END = 256,      // LF, CR, FF: a CSS string cannot hold one
    BC_PAREN = 512,         // '(' and ')'
    BC_SEMICOLON = 1024,    // ';', which ends a character reference
    BC_NAME_END = 2048,     // what ends an HTML tag or attribute name: white space, '/', '>', '='
    BC_IDENT = 4096,        // what a CSS name is made of: letters, digits, '-', '_', 0x80 and up
    BC_UNQUOTED_END = 8192  // what ends an unquoted HTML attribute value: white space, '>'
};

inline constexpr std::array<std::uint16_t, 256> BYTE_CLASS = [] {
    std::array<std::uint16_t, 256> table{};
    const auto add = [&table](std::string_view bytes, std::uint16_t bits) {
        for (const char c : bytes)
            table[static_cast<unsigned char>(c)] |= bits;
    };
    add("\t\n\f\r ", BC_SPACE | BC_NAME_END | BC_UNQUOTED_END);
    add("\"", BC_DQUOTE | BC_CSS_START);
    add("'", BC_SQUOTE | BC_CSS_START);
    add("<", BC_LT);
    add(">", BC_GT | BC_NAME_END | BC_UNQUOTED_END);
    add("uU@/", BC_CSS_START);
    add("/=", BC_NAME_END);
    add("*", BC_STAR);
    add("\\", BC_BACKSLASH);
    add("\n\r\f", BC_LINE_END);
    add("()", BC_PAREN);
    add(";", BC_SEMICOLON);
    add("-_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", BC_IDENT);
    for (std::size_t c = 0x80; c < 0x100; ++c)
        table[c] |= BC_IDENT;
    return table;
}();

inline bool
has_class(unsigned char c, std::uint16_t bits)
{
    return (BYTE_CLASS[c] & bits) != 0;
}

inline bool
is_ascii_alpha(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline bool
is_ascii_digit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

inline unsigned char
ascii_lower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// The value of a hex digit in either case, or -1.
inline int
hex_digit_value(unsigned char c)
{
    if (is_ascii_digit(c))
        return c - '0';
    const unsigned char lower = ascii_lower(c);
    return (lower >= 'a' && lower <= 'f') ? lower - 'a' + 10 : -1;
}

// True when a and b are equal ignoring ASCII case.
inline bool
is_same_ascii_nocase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (ascii_lower(static_cast<unsigned char>(a[k])) !=
            ascii_lower(static_cast<unsigned char>(b[k])))
            return false;
    }
    return true;
}

// escapes.cpp

// The quote character ('"' or '\'') that text stands for when it is exactly one character
// reference ended by ';' ("&quot;", "&#39;", "&#x22;", ...), or 0.
char quote_of_reference(std::string_view text);

// The reference scanner

// What the next byte means. HTML states first, then CSS states (from C_NORMAL on).
enum scan_state : int {
    H_DATA = 0,           // text: a '<' may begin a tag
    H_TAG_OPEN,           // after '<'
    H_END_TAG_OPEN,       // after "</"
    H_BANG,               // after "<!"
    H_BANG_DASH,          // after "<!-"
    H_BANG_NAME,          // after "<!" and the first bytes of "doctype" (matched)
    H_DOCTYPE,            // in "<!DOCTYPE ...>", up to '>'
    H_COMMENT,            // in "<!-- ... -->"; matched says what was just read (comment_mark)
    H_BOGUS_COMMENT,      // in "<!...>", "<?...>" or "</ ...>", up to '>'
    H_RAW_TEXT,           // in <textarea>, <title>, <xmp>, <iframe>, ..., up to its end tag
    H_SCRIPT,             // in <script>, up to its end tag (script_state says where)
    H_PLAINTEXT,          // after <plaintext>: text to the end
    H_TAG_NAME,           // in a tag's name
    H_BEFORE_ATTR_NAME,   // in a tag, between attributes
    H_ATTR_NAME,          // in an attribute's name
    H_AFTER_ATTR_NAME,    // white space after an attribute's name
    H_BEFORE_ATTR_VALUE,  // after '='
    H_VALUE,              // in a reference attribute's value, held
    H_VALUE_END,          // at the reported value's closing quote
    H_SKIP_VALUE,         // in any other attribute's value (or one too long)
    C_NORMAL,             // CSS text
    C_SLASH,              // after '/'
    C_COMMENT,            // in "/* ... */"
    C_COMMENT_STAR,       // after '*' in a comment
    C_STRING,             // in a string quoted with value_quote
    C_STRING_ESCAPE,      // after '\' in a string
    C_URL_NAME,           // matching "url(": matched bytes so far
    C_URL_SPACE,          // after "url(", before the value
    C_VALUE_UNQUOTED,     // in an unquoted url value, held
    C_VALUE_UNQUOTED_ESCAPE,
    C_VALUE_QUOTED,  // in a quoted url or @import value, held
    C_VALUE_QUOTED_ESCAPE,
    C_VALUE_END,  // at the reported value's closing quote
    C_BAD_URL,    // in a url(...) that is no reference, up to ')'
    C_BAD_URL_ESCAPE,
    C_AT_NAME,      // matching "import" after '@': matched bytes so far
    C_AT_IMPORT,    // after "@import"
    C_IMPORT_SPACE  // white space after "@import"
};

// Where in a script's content (H_SCRIPT) the last byte left the read, as a browser's tokenizer
// has it: text, "<!--" escaped text, and text escaped twice ("<!--" and then "<script"), where
// "</script>" ends nothing until "-->" or "</script>" takes it back.
enum script_state : int {
    SD_DATA = 0,        // text
    SD_LT,              // after '<'
    SD_ESC_START,       // after "<!"
    SD_ESC_START_DASH,  // after "<!-"
    SD_ESC_LT,          // after '<' in escaped text
    SD_ESCAPED,         // escaped text; the next two follow it in this order
    SD_ESC_DASH,        // after '-' there
    SD_ESC_DASH_DASH,   // after "--" there
    SD_DBL_START,       // after '<' and letters in escaped text: matched counts "script"
    SD_DBL_END,         // after "</" and letters in text escaped twice: matched counts "script"
    SD_DBL_LT,          // after '<' in text escaped twice
    SD_DOUBLE,          // text escaped twice; the next two follow it in this order
    SD_DBL_DASH,        // after '-' there
    SD_DBL_DASH_DASH    // after "--" there
};

// What a comment has just read (matched, in H_COMMENT).
enum comment_mark : int {
    COMMENT_TEXT = 0,       // text
    COMMENT_DASH = 1,       // '-'
    COMMENT_END = 2,        // "--": '>' ends the comment
    COMMENT_END_BANG = 3,   // "--!": '>' ends the comment
    COMMENT_START = 4,      // nothing yet after "<!--": '>' ends the comment
    COMMENT_START_DASH = 5  // '-' just after "<!--": '>' ends the comment
};

// What CSS text stands in, which decides where it ends.
enum css_host : int {
    HOST_SHEET = 0,     // a style sheet: the end of the input
    HOST_BLOCK = 1,     // a <style> element: "</style"
    HOST_ATTRIBUTE = 2  // a style attribute: the end of its value
};

// Why a step stopped.
enum step_event : int {
    EV_CONTINUE = 0,   // the state changed: go on
    EV_LIMIT = 1,      // the bytes allowed are used up
    EV_REFERENCE = 2,  // a value is complete: report it
    EV_TAG = 3,        // a tag's '>' was read: report it
    EV_FLUSH = 4       // held bytes are to be passed through first
};

// One call's view of the chunk: bytes before run_start are written (or held), bytes from
// run_start to i are read and passed through, not written yet; no step reads at or past limit.
struct scan_pass {
    ref_scanner *s = nullptr;
    const char *text = nullptr;
    std::size_t i = 0;
    std::size_t limit = 0;
    std::size_t run_start = 0;
    std::span<char> out;
    std::size_t *out_len = nullptr;
};

// Steps through HTML (scan_html.cpp) or CSS (scan_css.cpp) states from p->i until the state
// changes, an event happens or p->limit is reached.
step_event step_html(scan_pass *p);
step_event step_css(scan_pass *p);

// scan_html.cpp: shared steps

// Writes the bytes read since p->run_start, up to end.
void write_run(scan_pass *p, std::size_t end);

// Begins a value of kind at p->i, quoted with quote (0: none): what was read before it is
// written, and what follows is held.
void begin_value(scan_pass *p, reference_kind kind, char quote);

// Holds the bytes from p->i up to end, none of them '<' (the end tag search does not see
// them), and moves p->i there. Returns false, holding nothing, when the value would grow past
// the hold's capacity.
bool hold_bytes(scan_pass *p, std::size_t end);

// Holds c, the byte at p->i, and reads it. Returns false, holding nothing, when the value would
// grow past the hold's capacity.
bool hold_byte(scan_pass *p, unsigned char c);

// Leaves raw text or a <style> element at its end tag, whose name has been read: the tag is
// read on from its name's end.
void enter_end_tag(ref_scanner *s);

// Gives the held value up: it is passed through, and state reads on from p->i.
step_event give_up_value(scan_pass *p, int state);

// Reports the first raw_len held bytes as the value; held bytes after them are passed through
// after the caller's text.
step_event report_value(scan_pass *p, std::size_t raw_len);

// The byte before p->i, from this chunk or the one before.
inline unsigned char
byte_before(const scan_pass *p)
{
    return p->i > 0 ? static_cast<unsigned char>(p->text[p->i - 1]) : p->s->byte_before;
}

// Feeds c, a byte read, to the search for the end tag of raw text or a <style> element.
inline void
match_end_tag(ref_scanner *s, unsigned char c)
{
    if (s->end_matched < s->end_tag.size() &&
        ascii_lower(c) == static_cast<unsigned char>(s->end_tag[s->end_matched]))
        ++s->end_matched;
    else
        s->end_matched = c == '<' ? 1 : 0;
}

// True when the end tag is matched whole and c, which follows it, ends its name.
inline bool
is_end_tag_complete(const ref_scanner *s, unsigned char c)
{
    return !s->end_tag.empty() && s->end_matched == s->end_tag.size() &&
           (has_class(c, BC_SPACE) || c == '/' || c == '>');
}

// Reads the byte at p->i (c): it passes through, or is held when the state holds a value.
inline void
take_byte(scan_pass *p, unsigned char c)
{
    ++p->i;
    if (!p->s->end_tag.empty())
        match_end_tag(p->s, c);
}

// Reads on while the bytes have none of stop's classes; only where no end tag is half matched.
inline void
skip_bytes(scan_pass *p, std::uint16_t stop)
{
    if (p->s->end_matched != 0)
        return;
    while (p->i < p->limit && !has_class(static_cast<unsigned char>(p->text[p->i]), stop))
        ++p->i;
}
