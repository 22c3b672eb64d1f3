#include "webref/webref.hpp"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

using namespace std::string_literals;

// Every byte value: kept as it is exactly when it is A-Z a-z 0-9 - . _ ~, else "%XX".
TEST(PercentEncode, KeepsOnlyUnreservedBytes)
{
    std::string all;
    std::string expected;
    for (int c = 0; c < 256; ++c) {
        all += static_cast<char>(c);
        const bool kept = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                          (c >= 'a' && c <= 'z') || c == '-' || c == '.' || c == '_' || c == '~';
        if (kept) {
            expected += static_cast<char>(c);
        } else {
            char escape[4];
            ASSERT_EQ(std::snprintf(escape, sizeof escape, "%%%02X", c), 3);
            expected += escape;
        }
    }
    std::string out(expected.size(), '\0');
    std::size_t len = 0;
    ASSERT_TRUE(percent_encode(all, out, &len));
    EXPECT_EQ(out.substr(0, len), expected);
    EXPECT_FALSE(percent_encode(all, std::span(out.data(), out.size() - 1), &len));
}

struct text_row {
    std::string in;
    std::string out;
};

TEST(DecodeCharRefs, UndoesAsciiReferences)
{
    const text_row rows[] = {
        {"a&amp;b&lt;&gt;&quot;&apos;", "a&b<>\"'"},
        {"&#38;&#x26;&#X3c;&#0000065;&#97", "&&<Aa"},
        {"x?a=1&ampb=2&amp=3&lt", "x?a=1&ampb=2&amp=3<"},
        {"&amp &apos &AMP; &#; &#x; &", "& &apos &AMP; &#; &#x; &"},
        // beyond ASCII (and 0) no byte can stand for it: left as it is
        {"&#233;&#x3042;&#0;&#99999999999999999999;", "&#233;&#x3042;&#0;&#99999999999999999999;"},
        {"\x95\x5c&amp;\0"s, "\x95\x5c&\0"s},
    };
    for (const text_row &row : rows) {
        std::string out(row.in.size(), '\0');
        std::size_t len = 0;
        ASSERT_TRUE(decode_char_refs(row.in, out, &len)) << row.in;
        EXPECT_EQ(out.substr(0, len), row.out) << row.in;
    }
}

// CSS escapes: ASCII code points and escaped bytes undone, the rest as it stands; a 0x5C after
// a Shift_JIS lead byte (表 0x95 0x5C, ソ 0x83 0x5C) escapes nothing.
TEST(DecodeCssEscapes, UndoesAsciiEscapes)
{
    const text_row rows[] = {
        {"a\\28 b\\29\\", "a(b)\\"},
        {"\\41\\000042C\\7e\r\nd", "AB"
                                   "C~d"},
        {"\\\\ \\\" \\' \\g", "\\ \" ' g"},
        {"a\\\nb\\\r\nc\\\fd", "abcd"},
        {"\\3042 x\\0 y\\110000z", "\\3042 x\\0 y\\110000z"},
        {"\x95\x5c\x83\x5c'\\\x95\x5c", "\x95\x5c\x83\x5c'\x95\x5c"},
        {"p.gif#a\\\\b", "p.gif#a\\b"},
    };
    for (const text_row &row : rows) {
        std::string out(row.in.size(), '\0');
        std::size_t len = 0;
        ASSERT_TRUE(decode_css_escapes(row.in, out, &len)) << row.in;
        EXPECT_EQ(out.substr(0, len), row.out) << row.in;
    }
}

struct srcset_row {
    std::string list;
    std::vector<std::string> urls;
};

// A srcset list split as a browser splits it: the URLs, commas around them not theirs, and
// descriptors (commas inside parentheses among them) skipped.
TEST(NextSrcsetCandidate, SplitsTheList)
{
    const srcset_row rows[] = {
        {"a.gif 1x, b.gif 2x", {"a.gif", "b.gif"}},
        {" ,\t, a.gif,b.gif,,  c,d.gif 10w ,", {"a.gif,b.gif", "c,d.gif"}},
        {"a.gif (1x, 2x) 100w, b.gif", {"a.gif", "b.gif"}},
        {"data:image/gif;base64,R0lG 1x,x.gif", {"data:image/gif;base64,R0lG", "x.gif"}},
        {"\x95\x5c.gif 1x", {"\x95\x5c.gif"}},
        {" , ", {}},
    };
    for (const srcset_row &row : rows) {
        std::vector<std::string> urls;
        std::size_t pos = 0;
        std::size_t from = 0;
        std::size_t len = 0;
        while (next_srcset_candidate(row.list, &pos, &from, &len)) {
            ASSERT_LE(from + len, row.list.size());
            urls.push_back(row.list.substr(from, len));
        }
        EXPECT_EQ(urls, row.urls) << row.list;
        EXPECT_EQ(pos, row.list.size());
    }
}

TEST(EncodeAttributeValue, EscapesAmpersandAndTheQuote)
{
    char out[64];
    std::size_t len = 0;
    ASSERT_TRUE(encode_attribute_value("a&b\"c'd", '"', out, &len));
    EXPECT_EQ(std::string(out, len), "a&amp;b&quot;c'd");
    ASSERT_TRUE(encode_attribute_value("a&b\"c'd", '\'', out, &len));
    EXPECT_EQ(std::string(out, len), "a&amp;b\"c&#39;d");
    EXPECT_FALSE(encode_attribute_value("a&b", '"', std::span(out, 6), &len));
}

struct spelling_row {
    reference_kind kind;
    reference_place place;
    char quote;
    char attribute_quote;
    std::string replacement;
    const char *spelled;  // null when it cannot be written there
};

// A replacement spelled for its place: quotes where it cannot stand unquoted, CSS escapes in a
// CSS string, character references in HTML.
TEST(WriteReplacement, SpellsForThePlace)
{
    const spelling_row rows[] = {
        {REF_ATTRIBUTE, PLACE_HTML, 0, 0, "a%20b.gif", "a%20b.gif"},
        {REF_ATTRIBUTE, PLACE_HTML, 0, 0, "a b&c", "\"a b&amp;c\""},
        {REF_ATTRIBUTE, PLACE_HTML, 0, 0, "", "\"\""},
        {REF_ATTRIBUTE, PLACE_HTML, 0, 0, "a=b", "\"a=b\""},
        {REF_ATTRIBUTE, PLACE_HTML, '\'', '\'', "it's", "it&#39;s"},
        {REF_CSS_URL, PLACE_STYLE_SHEET, 0, 0, "", ""},
        {REF_CSS_URL, PLACE_STYLE_SHEET, 0, 0, "a(1).gif", "\"a(1).gif\""},
        {REF_CSS_URL, PLACE_STYLE_SHEET, '\'', 0, "a'\\\n", "a\\'\\\\\\0A "},
        {REF_CSS_URL, PLACE_STYLE_BLOCK, '"', 0, "</style>", "\\3C /style>"},
        {REF_CSS_URL, PLACE_HTML, '"', '"', "a\"&", "a\\&quot;&amp;"},
        {REF_CSS_URL, PLACE_HTML, 0, '"', "a b", "&quot;a b&quot;"},
        {REF_CSS_URL, PLACE_HTML, 0, 0, "a b", nullptr},
        {REF_CSS_URL, PLACE_HTML, 0, 0, "a>b", nullptr},
        // a '\' the caller found escaped and undid is escaped once again, not twice
        {REF_CSS_URL, PLACE_STYLE_SHEET, '"', 0, "p.gif#a\\b", "p.gif#a\\\\b"},
        {REF_CSS_URL, PLACE_STYLE_SHEET, 0, 0, "p\\b", "\"p\\\\b\""},
        {REF_SRCSET, PLACE_HTML, 0, 0, "a.gif 1x, b&c.gif 2x", "\"a.gif 1x, b&amp;c.gif 2x\""},
        {REF_META_CONTENT, PLACE_HTML, '\'', '\'', "text/html; charset=utf-8",
         "text/html; charset=utf-8"},
    };
    for (const spelling_row &row : rows) {
        scan_reference found;
        found.kind = row.kind;
        found.place = row.place;
        found.quote = row.quote;
        found.attribute_quote = row.attribute_quote;
        char out[64];
        std::size_t len = 99;
        const bool written = write_replacement(found, row.replacement, out, &len);
        ASSERT_EQ(written, row.spelled != nullptr) << row.replacement;
        if (written) {
            EXPECT_EQ(std::string(out, len), row.spelled) << row.replacement;
        }
    }
}

}  // namespace
