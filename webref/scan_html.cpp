// The reference scanner's driver and its HTML states. HTML is read as a browser's tokenizer
// reads it (tags, attribute names up to white space, '/', '>' or '=', quoted or unquoted
// values, comments, raw text), one byte at a time where a byte may matter and with a vector
// search over the text, comments and values where only one byte can.
#include "webref/webref.hpp"

#include "webref/internal.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>

// Attributes whose values are references, on any element.
static constexpr std::string_view REFERENCE_ATTRIBUTES[] = {
    "href",   "src",        "background", "lowsrc",   "data",   "poster",
    "action", "formaction", "cite",       "longdesc", "usemap", "manifest",
    "icon",   "codebase",   "classid",    "profile",  "dynsrc", "xlink:href"};

// Attributes whose values are lists of references.
static constexpr std::string_view SRCSET_ATTRIBUTES[] = {"srcset", "imagesrcset"};

// Attributes a caller may drop (with report_drops).
static constexpr std::string_view DROPPABLE_ATTRIBUTES[] = {"integrity", "crossorigin"};

// Elements whose content is text up to their end tag, with no tags (and no references) in it.
static constexpr std::string_view RAW_TEXT_END_TAGS[] = {"</textarea", "</title",   "</xmp",
                                                         "</iframe",   "</noembed", "</noframes"};

static constexpr std::string_view SCRIPT_END_TAG = "</script";
static constexpr std::string_view STYLE_END_TAG = "</style";
static constexpr std::string_view PLAINTEXT = "plaintext";
static constexpr std::string_view DOCTYPE = "doctype";
static constexpr std::string_view SCRIPT = "script";

template <std::size_t N>
static bool
is_one_of(const std::string_view (&names)[N], std::string_view name)
{
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// The name in name: cut names (len SCAN_NAME_SIZE) are 31 bytes long, longer than any name
// looked for.
static std::string_view
name_view(const char *name, std::size_t len)
{
    return {name, std::min(len, SCAN_NAME_SIZE - 1)};
}

// Appends c, lower case, to a name; past 31 bytes the name is marked cut.
static void
append_name(char *name, std::size_t *len, unsigned char c)
{
    if (*len < SCAN_NAME_SIZE - 1)
        name[(*len)++] = static_cast<char>(ascii_lower(c));
    else
        *len = SCAN_NAME_SIZE;
}

static void
copy_name(std::span<char, SCAN_NAME_SIZE> dst, const char *name, std::size_t len)
{
    const std::string_view view = name_view(name, len);
    std::memcpy(dst.data(), view.data(), view.size());
    dst[view.size()] = '\0';
}

void
write_run(scan_pass *p, std::size_t end)
{
    const std::size_t count = end - p->run_start;
    ref_scanner *s = p->s;
    if (s->dropping) {
        // the limit keeps every byte read while an attribute is held within hold's room
        assert(count <= s->hold.size() - s->hold_len);
        std::memcpy(s->hold.data() + s->hold_len, p->text + p->run_start, count);
        s->hold_len += count;
    } else {
        // the caller's limit keeps every byte read within out's room
        assert(count <= p->out.size() - *p->out_len);
        std::memcpy(p->out.data() + *p->out_len, p->text + p->run_start, count);
        *p->out_len += count;
    }
    p->run_start = end;
}

void
begin_value(scan_pass *p, reference_kind kind, char quote)
{
    write_run(p, p->i);
    ref_scanner *s = p->s;
    s->hold_len = 0;
    s->kind = kind;
    s->value_quote = quote;
    s->may_open_quote = false;
}

bool
hold_bytes(scan_pass *p, std::size_t end)
{
    ref_scanner *s = p->s;
    const std::size_t count = end - p->i;
    if (count > s->hold.size() - s->hold_len)
        return false;
    if (count > 0)
        std::memcpy(s->hold.data() + s->hold_len, p->text + p->i, count);
    s->hold_len += count;
    p->i = end;
    p->run_start = end;
    return true;
}

bool
hold_byte(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    if (s->hold_len == s->hold.size())
        return false;
    s->hold[s->hold_len++] = static_cast<char>(c);
    take_byte(p, c);
    p->run_start = p->i;
    return true;
}

step_event
give_up_value(scan_pass *p, int state)
{
    ref_scanner *s = p->s;
    s->flush_from = 0;
    s->flushing = true;
    s->state = state;
    p->run_start = p->i;
    return EV_FLUSH;
}

step_event
report_value(scan_pass *p, std::size_t raw_len)
{
    ref_scanner *s = p->s;
    s->raw_len = raw_len;
    s->reported = true;
    if (raw_len < s->hold_len) {
        s->flush_from = raw_len;
        s->flushing = true;
    }
    p->run_start = p->i;
    return EV_REFERENCE;
}

void
enter_end_tag(ref_scanner *s)
{
    const std::string_view name = s->end_tag.substr(2);
    std::memcpy(s->tag, name.data(), name.size());
    s->tag_len = name.size();
    s->in_end_tag = true;
    s->end_tag = {};
    s->end_matched = 0;
    s->state = H_TAG_NAME;
}

static void
begin_tag(ref_scanner *s, bool end)
{
    s->start_tags += end ? 0 : 1;
    s->tag_len = 0;
    s->attribute_len = 0;
    s->in_end_tag = end;
    s->state = H_TAG_NAME;
}

// After the '>' that ends a tag: what its content is. Reports the tag when tags are asked for.
static step_event
end_tag_token(ref_scanner *s)
{
    s->state = H_DATA;
    const step_event event = s->report_tags ? EV_TAG : EV_CONTINUE;
    if (s->in_end_tag)
        return event;
    const std::string_view name = name_view(s->tag, s->tag_len);
    for (const std::string_view end_tag : RAW_TEXT_END_TAGS) {
        if (end_tag.substr(2) == name) {
            s->end_tag = end_tag;
            s->state = H_RAW_TEXT;
        }
    }
    if (name == SCRIPT_END_TAG.substr(2)) {
        s->end_tag = SCRIPT_END_TAG;
        s->script_state = SD_DATA;
        s->state = H_SCRIPT;
    } else if (name == STYLE_END_TAG.substr(2)) {
        s->end_tag = STYLE_END_TAG;
        s->css_host = HOST_BLOCK;
        s->state = C_NORMAL;
    } else if (name == PLAINTEXT) {
        s->state = H_PLAINTEXT;
    }
    s->end_matched = 0;
    return event;
}

// At the first byte of an attribute's value (after its quote): held, read as CSS, or passed.
static void
begin_attribute_value(scan_pass *p, char quote)
{
    ref_scanner *s = p->s;
    const std::string_view name = name_view(s->attribute, s->attribute_len);
    s->attribute_quote = quote;
    s->value_quote = quote;
    s->state = H_SKIP_VALUE;
    if (s->in_end_tag || s->dropping)
        return;
    const bool meta = s->report_drops && name_view(s->tag, s->tag_len) == "meta";
    const reference_kind kind = is_one_of(REFERENCE_ATTRIBUTES, name) ? REF_ATTRIBUTE
                                : is_one_of(SRCSET_ATTRIBUTES, name)  ? REF_SRCSET
                                : meta && name == "charset"           ? REF_META_CHARSET
                                                                      : REF_META_CONTENT;
    if (kind != REF_META_CONTENT || (meta && name == "content")) {
        begin_value(p, kind, quote);
        s->state = H_VALUE;
    } else if (name == "style") {
        s->css_host = HOST_ATTRIBUTE;
        s->state = C_NORMAL;
    }
}

// After "<!": "--" opens a comment, "doctype" (any case) a <!DOCTYPE ...>, anything else a
// declaration read to its '>'.
static step_event
step_declaration_open(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    if (s->state == H_BANG_NAME || (s->state == H_BANG && ascii_lower(c) == DOCTYPE[0])) {
        const auto matched = static_cast<std::size_t>(s->state == H_BANG ? 0 : s->matched);
        if (ascii_lower(c) != static_cast<unsigned char>(DOCTYPE[matched])) {
            s->state = H_BOGUS_COMMENT;
            return EV_CONTINUE;
        }
        ++p->i;
        s->matched = static_cast<int>(matched + 1);
        s->state = matched + 1 == DOCTYPE.size() ? H_DOCTYPE : H_BANG_NAME;
        return EV_CONTINUE;
    }
    if (c != '-') {
        s->state = H_BOGUS_COMMENT;
        return EV_CONTINUE;
    }
    ++p->i;
    s->matched = COMMENT_START;
    s->state = s->state == H_BANG ? H_BANG_DASH : H_COMMENT;
    return EV_CONTINUE;
}

// Text, comments and declarations: everything outside tags.
static step_event
step_outside_tags(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    switch (s->state) {
    case H_TAG_OPEN:
        if (is_ascii_alpha(c)) {
            begin_tag(s, false);
            return EV_CONTINUE;
        }
        p->i += (c == '/' || c == '!' || c == '?') ? 1 : 0;
        s->state = c == '/'   ? H_END_TAG_OPEN
                   : c == '!' ? H_BANG
                   : c == '?' ? H_BOGUS_COMMENT
                              : H_DATA;
        return EV_CONTINUE;
    case H_END_TAG_OPEN:
        if (is_ascii_alpha(c)) {
            begin_tag(s, true);
            return EV_CONTINUE;
        }
        p->i += c == '>' ? 1 : 0;
        s->state = c == '>' ? H_DATA : H_BOGUS_COMMENT;
        return EV_CONTINUE;
    default:
        return step_declaration_open(p, c);
    }
}

// Searches for the next byte that may end what is being skipped.
static step_event
skip_to(scan_pass *p, char wanted)
{
    const char *hit = find_byte(p->text + p->i, wanted, p->limit - p->i);
    if (hit == nullptr) {
        p->i = p->limit;
        return EV_LIMIT;
    }
    p->i = static_cast<std::size_t>(hit - p->text);
    return EV_CONTINUE;
}

// What a comment has just read, in matched: '>' ends it after COMMENT_START, COMMENT_START_DASH,
// COMMENT_END ("--") and COMMENT_END_BANG ("--!").
static int
next_comment_mark(int mark, unsigned char c)
{
    if (c == '-')
        return mark == COMMENT_START ? COMMENT_START_DASH
               : mark == COMMENT_DASH || mark == COMMENT_START_DASH || mark == COMMENT_END
                   ? COMMENT_END
                   : COMMENT_DASH;
    return c == '!' && mark == COMMENT_END ? COMMENT_END_BANG : COMMENT_TEXT;
}

static step_event
step_comment(scan_pass *p)
{
    ref_scanner *s = p->s;
    while (p->i < p->limit) {
        if (s->matched == COMMENT_TEXT && skip_to(p, '-') == EV_LIMIT)
            return EV_LIMIT;
        const auto c = static_cast<unsigned char>(p->text[p->i++]);
        if (c == '>' && s->matched != COMMENT_TEXT && s->matched != COMMENT_DASH) {
            s->state = H_DATA;
            return EV_CONTINUE;
        }
        s->matched = next_comment_mark(s->matched, c);
    }
    return EV_LIMIT;
}

static step_event
step_raw_text(scan_pass *p)
{
    ref_scanner *s = p->s;
    while (p->i < p->limit) {
        if (s->end_matched == 0 && skip_to(p, '<') == EV_LIMIT)
            return EV_LIMIT;
        const auto c = static_cast<unsigned char>(p->text[p->i]);
        if (is_end_tag_complete(s, c)) {
            enter_end_tag(s);
            return EV_CONTINUE;
        }
        take_byte(p, c);
    }
    return EV_LIMIT;
}

// In a script's "<script" or "</script" after "<!--": the next state once c is read, where
// matched counts the bytes of "script" read (-1: another name); -1 when c is no part of a name
// nor its end (it is read again in the text it stands in).
static int
next_script_name_state(ref_scanner *s, unsigned char c, int matched_state, int other_state)
{
    const auto matched = static_cast<std::size_t>(s->matched);
    if (has_class(c, BC_SPACE) || c == '/' || c == '>')
        return s->matched >= 0 && matched == SCRIPT.size() ? matched_state : other_state;
    if (!is_ascii_alpha(c))
        return -1;
    const bool next = s->matched >= 0 && matched < SCRIPT.size() &&
                      ascii_lower(c) == static_cast<unsigned char>(SCRIPT[matched]);
    s->matched = next ? s->matched + 1 : -1;
    return s->script_state;
}

// The state a script's content is in once c is read: text, "<!--" escaped text, or text escaped
// twice after "<!--" and "<script" (where "</script>" ends nothing).
static int
next_script_state(ref_scanner *s, int state, unsigned char c)
{
    switch (state) {
    case SD_DATA:
    case SD_LT:
    case SD_ESC_START:
    case SD_ESC_START_DASH:
        if (c == '<')
            return SD_LT;
        if (state == SD_LT)
            return c == '!' ? SD_ESC_START : SD_DATA;
        if (state == SD_DATA || c != '-')
            return SD_DATA;
        return state == SD_ESC_START ? SD_ESC_START_DASH : SD_ESC_DASH_DASH;
    case SD_ESC_LT:
        if (is_ascii_alpha(c)) {
            s->matched = 0;
            next_script_name_state(s, c, SD_DOUBLE, SD_ESCAPED);
            return SD_DBL_START;
        }
        return c == '/' ? SD_ESCAPED : next_script_state(s, SD_ESCAPED, c);
    case SD_DBL_START:
    case SD_DBL_END: {
        const bool start = state == SD_DBL_START;
        const int next = next_script_name_state(s, c, start ? SD_DOUBLE : SD_ESCAPED,
                                                start ? SD_ESCAPED : SD_DOUBLE);
        return next >= 0 ? next : next_script_state(s, start ? SD_ESCAPED : SD_DOUBLE, c);
    }
    case SD_DBL_LT:
        s->matched = 0;
        return c == '/' ? SD_DBL_END : next_script_state(s, SD_DOUBLE, c);
    default: {
        // escaped (or escaped twice) text, a dash or two dashes after it
        const int text = state >= SD_DOUBLE ? SD_DOUBLE : SD_ESCAPED;
        if (c == '-')
            return state == text ? text + 1 : text + 2;
        if (c == '<')
            return text == SD_DOUBLE ? SD_DBL_LT : SD_ESC_LT;
        return c == '>' && state == text + 2 ? SD_DATA : text;
    }
    }
}

static step_event
step_script(scan_pass *p)
{
    ref_scanner *s = p->s;
    while (p->i < p->limit) {
        if (s->script_state == SD_DATA && s->end_matched == 0 && skip_to(p, '<') == EV_LIMIT)
            return EV_LIMIT;
        const auto c = static_cast<unsigned char>(p->text[p->i]);
        // "</script" ends the script but where it is escaped twice
        const bool twice = s->script_state >= SD_DBL_START;
        if (!twice && is_end_tag_complete(s, c)) {
            enter_end_tag(s);
            return EV_CONTINUE;
        }
        take_byte(p, c);
        s->script_state = next_script_state(s, s->script_state, c);
    }
    return EV_LIMIT;
}

static step_event
step_tag_name(scan_pass *p)
{
    ref_scanner *s = p->s;
    for (; p->i < p->limit; ++p->i) {
        const auto c = static_cast<unsigned char>(p->text[p->i]);
        if (has_class(c, BC_SPACE) || c == '/' || c == '>') {
            s->state = H_BEFORE_ATTR_NAME;
            return EV_CONTINUE;
        }
        append_name(s->tag, &s->tag_len, c);
    }
    return EV_LIMIT;
}

// Reports the attribute held, whole or only its name, for the caller to write or drop.
static step_event
report_drop(scan_pass *p, bool whole)
{
    ref_scanner *s = p->s;
    write_run(p, p->i);
    s->dropping = false;
    return report_value(p, whole ? s->hold_len : s->drop_name_len);
}

// At the end of a held attribute's name (the byte that ends it is read again): one that may be
// dropped is held on, any other passes through.
static step_event
end_drop_name(scan_pass *p)
{
    ref_scanner *s = p->s;
    write_run(p, p->i);
    s->drop_name_len = s->hold_len;
    if (is_one_of(DROPPABLE_ATTRIBUTES, name_view(s->attribute, s->attribute_len)))
        return EV_CONTINUE;
    s->dropping = false;
    return give_up_value(p, s->state);
}

static step_event
step_attribute_name(scan_pass *p)
{
    ref_scanner *s = p->s;
    for (; p->i < p->limit; ++p->i) {
        const auto c = static_cast<unsigned char>(p->text[p->i]);
        if (has_class(c, BC_NAME_END)) {
            // white space, '=', '/' or '>' is read again after the name
            s->state = H_AFTER_ATTR_NAME;
            return s->dropping ? end_drop_name(p) : EV_CONTINUE;
        }
        append_name(s->attribute, &s->attribute_len, c);
    }
    return EV_LIMIT;
}

// Begins an attribute's name at c; with report_drops it is held until the name is known.
static void
begin_attribute(scan_pass *p, unsigned char c)
{
    ref_scanner *s = p->s;
    if (s->report_drops && !s->in_end_tag) {
        begin_value(p, REF_DROPPABLE, '\0');
        s->dropping = true;
        p->limit = std::min(p->limit, p->i + s->hold.size());
    }
    s->attribute_len = 0;
    append_name(s->attribute, &s->attribute_len, c);
    ++p->i;
    s->state = H_ATTR_NAME;
}

// Between attributes, after a name and after '=': white space, then one byte that decides.
static step_event
step_in_tag(scan_pass *p)
{
    ref_scanner *s = p->s;
    while (p->i < p->limit && has_class(static_cast<unsigned char>(p->text[p->i]), BC_SPACE))
        ++p->i;
    if (p->i == p->limit)
        return EV_LIMIT;
    const auto c = static_cast<unsigned char>(p->text[p->i]);
    const int state = s->state;
    if (s->dropping && (state == H_AFTER_ATTR_NAME ? c != '=' : c == '>'))
        return report_drop(p, state != H_AFTER_ATTR_NAME);
    if (c == '/' && state != H_BEFORE_ATTR_VALUE) {
        ++p->i;
        s->state = H_BEFORE_ATTR_NAME;
    } else if (c == '>') {
        ++p->i;
        return end_tag_token(s);
    } else if (state == H_BEFORE_ATTR_VALUE) {
        const bool quoted = c == '"' || c == '\'';
        p->i += quoted ? 1 : 0;
        begin_attribute_value(p, quoted ? static_cast<char>(c) : '\0');
    } else if (state == H_AFTER_ATTR_NAME && c == '=') {
        ++p->i;
        s->state = H_BEFORE_ATTR_VALUE;
    } else {
        // a new attribute (its name may begin with '=')
        begin_attribute(p, c);
    }
    return EV_CONTINUE;
}

static step_event
step_value(scan_pass *p)
{
    ref_scanner *s = p->s;
    std::size_t end = p->limit;
    if (s->value_quote != 0) {
        const char *quote = find_byte(p->text + p->i, s->value_quote, p->limit - p->i);
        if (quote != nullptr)
            end = static_cast<std::size_t>(quote - p->text);
    } else {
        end = p->i;
        while (end < p->limit &&
               !has_class(static_cast<unsigned char>(p->text[end]), BC_UNQUOTED_END))
            ++end;
    }
    if (!hold_bytes(p, end))
        return give_up_value(p, H_SKIP_VALUE);
    if (end == p->limit)
        return EV_LIMIT;
    s->state = s->value_quote != 0 ? H_VALUE_END : H_BEFORE_ATTR_NAME;
    return report_value(p, s->hold_len);
}

static step_event
step_skip_value(scan_pass *p)
{
    ref_scanner *s = p->s;
    if (s->value_quote != 0) {
        if (skip_to(p, s->value_quote) == EV_LIMIT)
            return EV_LIMIT;
        ++p->i;
    } else {
        skip_bytes(p, BC_UNQUOTED_END);
        if (p->i == p->limit)
            return EV_LIMIT;
    }
    s->state = H_BEFORE_ATTR_NAME;
    return s->dropping ? report_drop(p, true) : EV_CONTINUE;
}

// Text that ends where wanted is read: "<" in text, ">" in a declaration. A <!DOCTYPE ...>
// is reported as a tag.
static step_event
step_to_byte(scan_pass *p)
{
    ref_scanner *s = p->s;
    const int state = s->state;
    if (skip_to(p, state == H_DATA ? '<' : '>') == EV_LIMIT)
        return EV_LIMIT;
    ++p->i;
    s->state = state == H_DATA ? H_TAG_OPEN : H_DATA;
    if (state != H_DOCTYPE || !s->report_tags)
        return EV_CONTINUE;
    copy_name(s->tag, "!doctype", 8);
    s->tag_len = 8;
    s->in_end_tag = false;
    return EV_TAG;
}

// One state's step: returns EV_CONTINUE when the state changed.
static step_event
step_html_state(scan_pass *p)
{
    ref_scanner *s = p->s;
    switch (s->state) {
    case H_DATA:
    case H_BOGUS_COMMENT:
    case H_DOCTYPE:
        return step_to_byte(p);
    case H_PLAINTEXT:
        p->i = p->limit;
        return EV_LIMIT;
    case H_COMMENT:
        return step_comment(p);
    case H_RAW_TEXT:
        return step_raw_text(p);
    case H_SCRIPT:
        return step_script(p);
    case H_TAG_NAME:
        return step_tag_name(p);
    case H_ATTR_NAME:
        return step_attribute_name(p);
    case H_BEFORE_ATTR_NAME:
    case H_AFTER_ATTR_NAME:
    case H_BEFORE_ATTR_VALUE:
        return step_in_tag(p);
    case H_VALUE:
        return step_value(p);
    case H_VALUE_END:
        ++p->i;
        s->state = H_BEFORE_ATTR_NAME;
        return EV_CONTINUE;
    case H_SKIP_VALUE:
        return step_skip_value(p);
    default:
        return step_outside_tags(p, static_cast<unsigned char>(p->text[p->i]));
    }
}

step_event
step_html(scan_pass *p)
{
    // state after state in one loop: a page changes state every few bytes
    while (p->i < p->limit && p->s->state < C_NORMAL) {
        const step_event event = step_html_state(p);
        if (event != EV_CONTINUE)
            return event;
    }
    return p->i < p->limit ? EV_CONTINUE : EV_LIMIT;
}

void
scan_init(ref_scanner *scanner, scan_text text, std::span<char> hold, bool report_tags,
          bool report_drops)
{
    *scanner = ref_scanner{};
    scanner->hold = hold;
    scanner->report_tags = report_tags;
    scanner->report_drops = report_drops;
    scanner->state = text == SCAN_TEXT_CSS ? C_NORMAL : H_DATA;
    scanner->css_host = HOST_SHEET;
}

// Passes held bytes through as far as out has room. Returns false when some are left.
static bool
flush_hold(ref_scanner *s, std::span<char> out, std::size_t *out_len)
{
    const std::size_t count = std::min(s->hold_len - s->flush_from, out.size() - *out_len);
    if (count > 0)
        std::memcpy(out.data() + *out_len, s->hold.data() + s->flush_from, count);
    *out_len += count;
    s->flush_from += count;
    if (s->flush_from < s->hold_len)
        return false;
    s->flushing = false;
    s->hold_len = 0;
    return true;
}

// After a reported value the caller has written its text: the value is done with.
static void
settle_report(ref_scanner *s)
{
    if (!s->reported)
        return;
    s->reported = false;
    if (!s->flushing)
        s->hold_len = 0;
}

// The ordinal of the start tag being read or last read (0 before any).
static std::uint64_t
element_of(const ref_scanner *s)
{
    return s->start_tags > 0 ? s->start_tags - 1 : 0;
}

static void
fill_reference(const ref_scanner *s, scan_reference *found)
{
    found->raw = std::string_view(s->hold.data(), s->raw_len);
    found->kind = s->kind;
    // an attribute that may be dropped holds its quotes in raw
    found->quote = s->kind == REF_DROPPABLE ? '\0' : s->value_quote;
    found->attribute_quote = 0;
    found->element = element_of(s);
    const bool in_html =
        (s->kind != REF_CSS_URL && s->kind != REF_CSS_IMPORT) || s->css_host == HOST_ATTRIBUTE;
    found->place = in_html                     ? PLACE_HTML
                   : s->css_host == HOST_BLOCK ? PLACE_STYLE_BLOCK
                                               : PLACE_STYLE_SHEET;
    if (in_html && s->kind != REF_DROPPABLE)
        found->attribute_quote = s->attribute_quote;
    const bool sheet = found->place == PLACE_STYLE_SHEET;
    copy_name(found->tag, s->tag, sheet ? 0 : s->tag_len);
    copy_name(found->attribute, s->attribute, in_html ? s->attribute_len : 0);
}

// A tag read to its '>': its name, "/" and its name for an end tag.
static void
fill_tag(const ref_scanner *s, scan_reference *found)
{
    const std::string_view name = name_view(s->tag, s->tag_len);
    const std::size_t slash = s->in_end_tag ? 1 : 0;
    const std::size_t len = std::min(name.size(), SCAN_NAME_SIZE - 1 - slash);
    found->tag[0] = '/';
    std::memcpy(found->tag + slash, name.data(), len);
    found->tag[slash + len] = '\0';
    found->element = element_of(s);
}

// Gives up an attribute held whole that grew past hold: it passes through.
static void
give_up_drop(ref_scanner *s)
{
    s->dropping = false;
    s->flush_from = 0;
    s->flushing = true;
}

scan_result
scan_step(ref_scanner *scanner, std::string_view chunk, std::size_t *pos, std::span<char> out,
          std::size_t *out_len, scan_reference *found)
{
    assert(*pos <= chunk.size() && *out_len <= out.size());
    settle_report(scanner);
    scan_pass p{scanner, chunk.data(), *pos, *pos, *pos, out, out_len};
    scan_result result = SCAN_NEED_INPUT;
    for (;;) {
        if (scanner->flushing && !flush_hold(scanner, out, out_len)) {
            result = SCAN_OUTPUT_FULL;
            break;
        }
        if (scanner->dropping && scanner->hold_len == scanner->hold.size()) {
            give_up_drop(scanner);
            continue;
        }
        const std::size_t room = out.size() - *out_len;
        if (p.i == chunk.size() || room == 0) {
            result = p.i == chunk.size() ? SCAN_NEED_INPUT : SCAN_OUTPUT_FULL;
            break;
        }
        // every byte read may pass through: read no more than out has room for (nor, while an
        // attribute is held, than hold has)
        p.limit = p.i + std::min(chunk.size() - p.i, room);
        if (scanner->dropping)
            p.limit = std::min(p.limit, p.i + scanner->hold.size() - scanner->hold_len);
        step_event event = EV_CONTINUE;
        while (event == EV_CONTINUE && p.i < p.limit)
            event = scanner->state >= C_NORMAL ? step_css(&p) : step_html(&p);
        write_run(&p, p.i);
        if (event == EV_REFERENCE || event == EV_TAG) {
            result = event == EV_REFERENCE ? SCAN_REFERENCE : SCAN_TAG;
            if (event == EV_REFERENCE)
                fill_reference(scanner, found);
            else
                fill_tag(scanner, found);
            break;
        }
    }
    *pos = p.i;
    if (p.i > 0)
        scanner->byte_before = static_cast<unsigned char>(chunk[p.i - 1]);
    return result;
}

bool
scan_finish(ref_scanner *scanner, std::span<char> out, std::size_t *out_len)
{
    settle_report(scanner);
    scanner->dropping = false;
    // a value (or an attribute held whole) still open passes through as it stands
    if (!scanner->flushing && scanner->hold_len > 0) {
        scanner->flush_from = 0;
        scanner->flushing = true;
    }
    return !scanner->flushing || flush_hold(scanner, out, out_len);
}
