// Web references: the URI references of RFC 3986 taken apart, resolved against a base and
// compared; percent-encoding; the character references of HTML attribute values; and a forward
// scan over HTML and CSS text that finds the references in it and lets the caller put its own
// text in their places. Pure: bytes in, bytes out, into the caller's buffers. Bytes are bytes:
// nothing here decodes Shift_JIS, and no result depends on the locale.
#pragma once

#include "support/support.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// uri.cpp

// A URI reference taken apart (RFC 3986 section 3, appendix B): views into the text it came
// from, without the delimiters (':' after the scheme, "//" before the authority, '?', '#').
// A component that is absent differs from one that is empty: "a?" has an empty query, "a" none.
// The path is always there, empty or not.
struct uri_parts {
    std::string_view scheme;
    std::string_view authority;
    std::string_view path;
    std::string_view query;
    std::string_view fragment;
    bool has_scheme = false;
    bool has_authority = false;
    bool has_query = false;
    bool has_fragment = false;
};

// Takes reference apart. A scheme is a letter and then letters, digits, '+', '-' or '.' before
// the first ':', with no '/', '?' or '#' before that ':' ("C:/x" has the scheme "C"; "1a:b",
// "a b:c" and a name with bytes of 0x80 and up have none and are paths). The authority follows
// "//" up to the next '/', '?' or '#'; the path runs to '?' or '#'; the query to '#'; the
// fragment to the end. Every byte is taken as it is: '\' is no separator, and bytes of 0x80 and
// up (Shift_JIS among them, whose second byte may be '\' or '@') are path bytes like letters.
uri_parts split_uri(std::string_view reference);

// Writes the path that a relative-path reference's path makes against base (RFC 3986 5.2.3):
// "/" and reference_path when base has an authority and an empty path, otherwise base's path
// up to and including its last '/' (nothing without one) and then reference_path. Stores the
// length in *len_out. Returns false, with *len_out 0, when out cannot hold it.
bool merge_paths(const uri_parts &base, std::string_view reference_path, std::span<char> out,
                 std::size_t *len_out);

// Writes path with its "." and ".." segments taken out (RFC 3986 5.2.4); a ".." at the root
// is dropped. The result is never longer than path, and out may begin where path begins (the
// work is done in place then). Stores the length in *len_out. Returns false, with *len_out 0,
// when out is shorter than the result.
bool remove_dot_segments(std::string_view path, std::span<char> out, std::size_t *len_out);

// Writes the target URI of reference against base (the transform of RFC 3986 5.2.2, strict:
// a reference with a scheme keeps it even when it is base's) recomposed as 5.3 says. Base
// should have a scheme (an absolute URI); with none, the result has none either. One addition
// for the "file" scheme (any case): a path that begins with a drive ("/C:" and then '/' or
// nothing) keeps it: a ".." never takes it away, and a reference that begins with '/' from a
// base on a drive lands on that drive ("file:///C:/a/b.htm" and "/x.gif" give
// "file:///C:/x.gif"), as Windows and browsers resolve local pages. The path is merged (5.2.3)
// in out and cleaned there (5.2.4), so out needs room for the merged path too (base's
// directory and the reference's path), which dot segments may make longer than the result;
// out must not overlap the texts base and reference view. Stores the length in *len_out.
// Returns false, with *len_out 0, when out cannot hold it.
bool resolve_reference(const uri_parts &base, const uri_parts &reference, std::span<char> out,
                       std::size_t *len_out);

// Writes parts recomposed (RFC 3986 5.3): "scheme:" when there is one, "//authority" when there
// is one, the path, "?query" and "#fragment" when there are. Stores the length in *len_out.
// Returns false, with *len_out 0, when out cannot hold it.
bool compose_uri(const uri_parts &parts, std::span<char> out, std::size_t *len_out);

// Writes the URL that input (an attribute's or CSS value, its character references undone)
// names against base (an absolute URL, or empty for none) as a browser's URL parser makes it,
// where that differs from resolve_reference: C0 controls and spaces around input dropped and
// every tab, LF and CR in it taken out; the scheme in lower case. In the special schemes (http,
// https, ftp, ws, wss, file) '\' counts as '/' before the query (not the second byte of a
// Shift_JIS character), any number of slashes opens the authority ("http:\\h/x",
// "http:///h/x" and "http:h/x" without an http base are "http://h/x"; in "file" two slashes and
// no more, "file://C:/x" is "file:///C:/x"), a reference with the base's own scheme and no
// "//" after it is relative ("http:x" against an http base is "x"), "%2e" spells a dot in dot
// segments, the host is in lower case (ASCII only), a default or empty port is dropped (":80"
// http and ws, ":443" https and wss, ":21" ftp) and an empty path is "/". Any other scheme
// ("javascript:", "data:", "mailto:", "cid:") keeps input as it is (but as cleaned above, and
// its dot segments taken out when its path begins with '/'), never merged with base; a
// relative reference against such a base resolves when the base has an authority or a path
// beginning with '/' (RFC 3986), or when it is only a fragment. Bytes a browser would escape
// stay as they are: canonical_uri takes them as their escapes. Stores the length in *len_out.
// Returns false, with *len_out 0, when there is no URL: a relative input and no base (or a base
// that cannot take it), a special URL without a host (but "file") or with a port that is no
// number up to 65535; or when out cannot hold the result, the texts as cleaned and the merged
// path (2 * (base.size() + input.size()) + 8 bytes always do). out must not overlap base or
// input.
bool resolve_url(std::string_view base, std::string_view input, std::span<char> out,
                 std::size_t *len_out);

// True when a and b, URLs, name the same resource: when canonical_uri writes the same bytes
// for both (an empty or dot-segmented path, a default port, letter case in the scheme and the
// host, and escapes as below make no difference; the fragment counts: drop it first).
bool is_same_uri(std::string_view a, std::string_view b);

// Writes uri in the form in which two URLs that name the same resource are the same bytes (a
// key to look one up by), as a browser would send them: C0 controls and spaces around it
// dropped, the scheme and the host in lower case, the port as it is but for a special scheme's
// default or empty port (dropped), and elsewhere unreserved characters (also escaped: "%7e"
// and "%41" are "~" and "A") as they are, every byte that equals its escape as "%XX" in
// upper-case hex, every other byte as it stands. Bytes that equal their escapes: a byte of
// 0x80 and up (how a page's own non-ASCII bytes reach the server: RFC 3987 3.1), the second
// byte of a Shift_JIS character standing as it is ("\x95\x5C" 表 is "%95%5C"), and the bytes a
// browser escapes in a path or query: controls, space, '"', '<', '>', '`', '{', '}' and DEL.
// Tab, LF and CR standing as they are are dropped. Other escapes differ from their bytes:
// "%2F" is not '/', nor "%5C" a '\'. In a special scheme's authority and path '\' is '/' as
// resolve_url reads it, the authority may follow any number of slashes, the path's dot
// segments (those spelled "%2e" too) are taken out and an empty path is "/". Stores the length
// in *len_out. Returns false, with *len_out 0, when out cannot hold it (three bytes per byte
// of uri always fit).
bool canonical_uri(std::string_view uri, std::span<char> out, std::size_t *len_out);

// escapes.cpp

// True for the bytes a URI holds as they are: A-Z a-z 0-9 - . _ ~ (RFC 3986 "unreserved").
bool is_unreserved(unsigned char c);

// Writes bytes with every byte that is not unreserved as "%XX" (upper-case hex), the others as
// they are. Stores the length in *len_out. Returns false, with *len_out 0, when out cannot
// hold it.
bool percent_encode(std::string_view bytes, std::span<char> out, std::size_t *len_out);

// Writes text with every "%XX" (hex digits in either case) as the byte it stands for; a '%'
// without two hex digits after it stays as it is. The result is never longer than text.
// Stores the length in *len_out. Returns false, with *len_out 0, when out cannot hold it.
bool percent_decode(std::string_view text, std::span<char> out, std::size_t *len_out);

// Writes an HTML attribute value with its character references undone, for the references
// that stand for ASCII: "&amp;", "&lt;", "&gt;", "&quot;", "&apos;" (lower case, as written),
// the first four also without ';' unless a letter, digit or '=' follows (a query's "&ltx=1"
// stays as it is, as browsers read attribute values), and "&#38;" and "&#x26;" forms (any
// number of digits, hex digits and 'x' in either case, ';' optional) for code points 1 to 127.
// A numeric reference of 0 or 128 and up is left as it stands: the pages are Shift_JIS, and no
// code point above ASCII maps to its bytes without a code-page table. Everything else is
// copied. The result is never longer than value. Stores the length in *len_out. Returns false,
// with *len_out 0, when out cannot hold it.
bool decode_char_refs(std::string_view value, std::span<char> out, std::size_t *len_out);

// Writes text (a CSS url or string value as the text holds it, quotes excluded) with its CSS
// escapes undone: '\' and 1 to 6 hex digits (and one white space after them, CR LF as one) is
// the code point's byte when it is 1 to 0x7F, and stays as it stands otherwise (the pages are
// Shift_JIS: no code point above ASCII maps to its bytes without a code-page table); '\' and a
// line end is a continuation (both dropped); '\' and any other byte is that byte; a '\' that
// ends the text stays. A '\' escapes only after a byte below 0x80 (the scanner's rule): the
// second byte 0x5C of a Shift_JIS character stands as it is. The result is never longer than
// text. Stores the length in *len_out. Returns false, with *len_out 0, when out cannot hold it.
bool decode_css_escapes(std::string_view text, std::span<char> out, std::size_t *len_out);

// Finds the next image candidate of a srcset list (a srcset or imagesrcset value, character
// references undone) from *pos on, as a browser splits the list: white space and commas are
// skipped, the URL is the run of bytes up to white space, without the commas it ends with (a
// URL that ends with one has no descriptors), and the descriptors run to the next comma outside
// parentheses. Stores where the URL begins in *url_from and its length (one byte at least) in
// *url_len, and where the next candidate's search begins in *pos. Returns false, with *pos at
// the end, when no candidate is left.
bool next_srcset_candidate(std::string_view list, std::size_t *pos, std::size_t *url_from,
                           std::size_t *url_len);

// Writes value for an HTML attribute quoted with quote ('"', '\'' or 0 for none): '&' as
// "&amp;", and the quote character as "&quot;" or "&#39;". Stores the length in *len_out.
// Returns false, with *len_out 0, when out cannot hold it.
bool encode_attribute_value(std::string_view value, char quote, std::span<char> out,
                            std::size_t *len_out);

// scan_html.cpp, scan_css.cpp

// The recommended capacity of a scanner's hold buffer, and so the longest value it reports.
inline constexpr std::size_t SCAN_HOLD_SIZE = 64 * 1024;

// Capacity of the tag and attribute names a reference carries (31 bytes and the terminator).
inline constexpr std::size_t SCAN_NAME_SIZE = 32;

enum scan_text : int {
    SCAN_TEXT_HTML = 0,  // an HTML page
    SCAN_TEXT_CSS = 1    // a style sheet
};

enum scan_result : int {
    SCAN_NEED_INPUT = 0,  // the chunk is used up: pass the next one (or call scan_finish)
    SCAN_REFERENCE = 1,   // a reference was found: write it or its replacement, then go on
    SCAN_TAG = 2,         // a tag was read to its '>' (only when tags are asked for)
    SCAN_OUTPUT_FULL = 3  // out is full: take its bytes, empty it and go on
};

enum reference_kind : int {
    REF_ATTRIBUTE = 0,     // an HTML attribute value that is a URL: src, href and the rest
    REF_CSS_URL = 1,       // the value of a CSS url(...)
    REF_CSS_IMPORT = 2,    // the string after a CSS @import ("@import url(x)" is REF_CSS_URL)
    REF_SRCSET = 3,        // a srcset or imagesrcset value, whole (next_srcset_candidate splits it)
    REF_DROPPABLE = 4,     // a whole integrity or crossorigin attribute (with report_drops)
    REF_META_CHARSET = 5,  // a <meta charset> value (with report_drops)
    REF_META_CONTENT = 6   // a <meta content> value, whatever http-equiv says (with report_drops)
};

enum reference_place : int {
    PLACE_HTML = 0,         // in an HTML attribute value (a style attribute's CSS too):
                            // character references apply, '&' is written "&amp;"
    PLACE_STYLE_BLOCK = 1,  // in a <style> element: no character references, no "</style"
    PLACE_STYLE_SHEET = 2   // in a style sheet file
};

// A reference the scanner found.
struct scan_reference {
    std::string_view raw;  // its bytes as the text holds them, quotes excluded; valid
                           // until the next scan_step or scan_finish
    reference_kind kind = REF_ATTRIBUTE;
    reference_place place = PLACE_HTML;
    char quote = 0;                 // the value's own quote: '"', '\'' or 0 for none (a CSS quote
                                    // written as "&quot;" or "&#39;" counts as that quote)
    char attribute_quote = 0;       // PLACE_HTML: the quote of the attribute value it stands in
    char tag[SCAN_NAME_SIZE] = {};  // the element's name, lower case ("" in a style sheet;
                                    // with SCAN_TAG, the tag just read)
    char attribute[SCAN_NAME_SIZE] = {};  // the attribute's name, lower case ("style" for a
                                          // style attribute's CSS; "" elsewhere)
    std::uint64_t element = 0;  // the ordinal of the start tag it stands in (0: the text's first
                                // start tag, every start tag counted; 0 in a style sheet)
};

// The scanner's state between calls. Fields are the scanner's own; use the functions.
struct ref_scanner {
    std::span<char> hold;        // the value being read (its capacity is the longest value)
    std::size_t hold_len = 0;    // bytes of it in hold
    std::size_t raw_len = 0;     // bytes of hold reported as the value
    std::size_t flush_from = 0;  // hold[flush_from, hold_len) is to be passed through
    bool flushing = false;       // ... before anything else
    bool reported = false;       // the last step reported hold[0, raw_len)
    bool report_tags = false;
    bool report_drops = false;
    bool dropping = false;          // an attribute that may be dropped is held, from its name on
    std::size_t drop_name_len = 0;  // bytes of its name in hold
    int script_state = 0;           // where in a script's content (scan_html.cpp)
    std::uint64_t start_tags = 0;   // start tags begun so far
    int state = 0;                  // what the next byte means (scan_html.cpp, scan_css.cpp)
    int css_host = 0;               // what CSS text stands in, and what ends it
    int matched = 0;  // bytes matched of "url(" or "import"; in an HTML comment, the dashes
                      // just read (two may end it)
    reference_kind kind = REF_ATTRIBUTE;
    char attribute_quote = 0;          // quote of the attribute value being read
    char value_quote = 0;              // quote of the value being held (or skipped)
    bool may_open_quote = false;       // an unquoted CSS value begins with '&': maybe a quote
    std::string_view end_tag;          // "</script" and so on while in raw text or <style>
    std::size_t end_matched = 0;       // bytes matched of end_tag
    bool in_end_tag = false;           // the tag being read is an end tag
    unsigned char byte_before = '\n';  // the last byte of the previous chunk
    char tag[SCAN_NAME_SIZE] = {};
    std::size_t tag_len = 0;
    char attribute[SCAN_NAME_SIZE] = {};
    std::size_t attribute_len = 0;
};

// Starts a scan of text of the kind given. hold (SCAN_HOLD_SIZE bytes, say) is where a value
// is kept while it is read, whatever the chunks; a longer value is no reference and passes
// through as it stands. With report_tags, each tag is reported as SCAN_TAG once its '>' has
// been written: found->tag is a start tag's name ("base", "head"), "/" and an end tag's name
// ("/template"), or "!doctype" for a <!DOCTYPE ...> declaration (the caller's first pass looks
// for <base href> and may stop at <body>). With report_drops, an integrity or crossorigin
// attribute (any case, on any element, not in end tags) is reported whole as REF_DROPPABLE:
// raw runs from its name's first byte to its value's end, closing quote included (a name with
// no value: the name alone), and the caller writes raw, or nothing to drop it (the white space
// before it is written as ever); an attribute longer than hold passes through unreported. Also
// with report_drops, a <meta> element's charset and content values are reported as
// REF_META_CHARSET and REF_META_CONTENT, quoted or not, as other values are.
void scan_init(ref_scanner *scanner, scan_text text, std::span<char> hold, bool report_tags = false,
               bool report_drops = false);

// Scans chunk from *pos on, the next piece of the text (chunks may be cut anywhere, down to a
// byte each), and appends to out, after its first *out_len bytes, every byte that is not a
// reference's value as it stands, advancing *out_len and *pos. Stops:
// - SCAN_REFERENCE: *found holds a reference; its bytes have not been written. The caller
//   writes found->raw (then the output stays byte for byte the input) or what is to stand in
//   its place (write_replacement) after the bytes out holds, and calls again.
// - SCAN_TAG (with report_tags): found->tag names a tag, whose bytes up to its '>' are written.
// - SCAN_OUTPUT_FULL: out is full; the caller takes its bytes, sets *out_len to 0 and calls
//   again with the same chunk and *pos.
// - SCAN_NEED_INPUT: chunk is used up; the caller calls again with the next chunk and *pos 0.
// References are found as a browser's tokenizer reads the text: in HTML, the values of href,
// src, background, lowsrc, data, poster, action, formaction, cite, longdesc, usemap, manifest,
// icon, codebase, classid, profile, dynsrc and xlink:href (REF_ATTRIBUTE) and of srcset and
// imagesrcset (REF_SRCSET) on any element (names in any case), not in comments (which end at
// "-->" or "--!>", and at once for "<!-->" and "<!--->"), <!...> and <?...> declarations, the
// content of <textarea>, <title>, <xmp>, <iframe>, <noembed> and <noframes>, or of <script>
// (where a "</script>" after "<!--" and "<script" is the script's own text until "-->"), nor
// anywhere after <plaintext>; CSS in <style> elements and style attributes; in CSS, url(...) (not
// the tail of a longer name such as "myurl(") and the string after @import, not in comments or
// other strings. A <style> element ends at "</style" even inside a CSS comment or string, a style
// attribute's CSS where the attribute value ends. A '\' escapes the next byte in CSS only after a
// byte below 0x80, so a Shift_JIS second byte 0x5C never escapes a quote. The same references are
// found however the text is cut.
scan_result scan_step(ref_scanner *scanner, std::string_view chunk, std::size_t *pos,
                      std::span<char> out, std::size_t *out_len, scan_reference *found);

// Ends the scan: writes to out, after its first *out_len bytes, whatever the scan still holds
// (a value still open at the end of the text passes through as it stands). Returns false when
// out filled first: the caller takes its bytes, sets *out_len to 0 and calls again.
bool scan_finish(ref_scanner *scanner, std::span<char> out, std::size_t *out_len);

// escapes.cpp: a replacement spelled for the place of a reference

// True when replacement cannot stand without quotes where found stands unquoted: an HTML
// attribute value that is empty or holds white space, '"', '\'', '=', '<', '>' or '`'; a CSS
// url value that holds white space, a quote, '(', ')', '\', a control byte, or (in a <style>
// element) '<'. False for a quoted reference.
bool needs_quotes(const scan_reference &found, std::string_view replacement);

// Writes replacement (a URI reference, as the caller wants it read) as the text must spell it
// in found's place: in quotes ('"') when needs_quotes says so; in a CSS string with '\', the
// quote, line ends and (in a <style> element) '<' escaped; in HTML with '&' and the attribute's
// quote as character references. Stores the length in *len_out. Returns false, with *len_out
// 0, when out cannot hold it, or when the reference stands unquoted in an unquoted style
// attribute and needs quotes (no spelling fits there; keep found->raw).
bool write_replacement(const scan_reference &found, std::string_view replacement,
                       std::span<char> out, std::size_t *len_out);
