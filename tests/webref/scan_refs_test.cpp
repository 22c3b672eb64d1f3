#include "tests/webref/scan_driver.hpp"
#include "webref/webref.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

using namespace std::string_literals;

struct form_row {
    const char *name;
    scan_text kind;
    std::string input;
    std::vector<std::string> references;
    std::string replaced;  // the output with every reference replaced by "R"
};

const std::string LONGEST(SCAN_HOLD_SIZE, 'a');
const std::string TOO_LONG(SCAN_HOLD_SIZE + 1, 'a');

const form_row FORMS[] = {
    {"CapitalNames",
     SCAN_TEXT_HTML,
     "<IMG SRC=a.gif>",
     {"attr html -- img src a.gif"},
     "<IMG SRC=R>"},
    {"Quoting",
     SCAN_TEXT_HTML,
     "<a href='b.htm'>x</a><img src=\"c.gif\"><img src=d.gif alt=x>",
     {"attr html '' a href b.htm", "attr html \"\" img src c.gif", "attr html -- img src d.gif"},
     "<a href='R'>x</a><img src=\"R\"><img src=R alt=x>"},
    {"SpaceAroundEquals",
     SCAN_TEXT_HTML,
     "<img src =\n \"a.gif\" >",
     {"attr html \"\" img src a.gif"},
     "<img src =\n \"R\" >"},
    {"UnquotedValueTakesSlash",
     SCAN_TEXT_HTML,
     "<img src=a.gif/>",
     {"attr html -- img src a.gif/"},
     "<img src=R>"},
    {"EveryReferenceAttribute",
     SCAN_TEXT_HTML,
     "<body background=b><img lowsrc=l><object data=d><video poster=p>",
     {"attr html -- body background b", "attr html -- img lowsrc l", "attr html -- object data d",
      "attr html -- video poster p"},
     "<body background=R><img lowsrc=R><object data=R><video poster=R>"},
    {"WholeNamesOnly",
     SCAN_TEXT_HTML,
     "<img srcset=a datafld=b xsrc=c src=d>",
     {"attr html -- img src d"},
     "<img srcset=a datafld=b xsrc=c src=R>"},
    {"CharacterReferencesStay",
     SCAN_TEXT_HTML,
     "<a href=\"x?a=1&amp;b=2\">",
     {"attr html \"\" a href x?a=1&amp;b=2"},
     "<a href=\"R\">"},
    {"StyleAttributeQuotesAsReferences",
     SCAN_TEXT_HTML,
     "<div style=\"background:url(&quot;a.gif&quot;)\">",
     {"url html \"\" div style a.gif"},
     "<div style=\"background:url(&quot;R&quot;)\">"},
    {"StyleAttributeUnquoted",
     SCAN_TEXT_HTML,
     "<p style=background:url('a.gif') title=t>",
     {"url html '- p style a.gif"},
     "<p style=background:url('R') title=t>"},
    {"StyleBlock",
     SCAN_TEXT_HTML,
     "<style type=text/css>@import \"c.css\";\np{background:url('b.png')}</style>",
     {"import block \"- style - c.css", "url block '- style - b.png"},
     "<style type=text/css>@import \"R\";\np{background:url('R')}</style>"},
    {"SpaceInUrl", SCAN_TEXT_CSS, "a{b:url( d.png )}", {"url sheet -- - - d.png"}, "a{b:url( R )}"},
    {"UrlNotTailOfName",
     SCAN_TEXT_CSS,
     "a{background:url(e.gif)} b{x:myurl(f) -url(g) URL(h)}",
     {"url sheet -- - - e.gif", "url sheet -- - - h"},
     "a{background:url(R)} b{x:myurl(f) -url(g) URL(R)}"},
    {"ImportForms",
     SCAN_TEXT_CSS,
     "@import 'a.css';@IMPORT\"b.css\";@import url(c.css);@imports 'd'",
     {"import sheet '- - - a.css", "import sheet \"- - - b.css", "url sheet -- - - c.css"},
     "@import 'R';@IMPORT\"R\";@import url(R);@imports 'd'"},
    {"CssCommentsAndStrings",
     SCAN_TEXT_CSS,
     "/* url(a) */a{content:\"url(b)\" 'x\\'url(c)'} url()",
     {"url sheet -- - - "},
     "/* url(a) */a{content:\"url(b)\" 'x\\'url(c)'} url(R)"},
    {"UnclosedStringEndsAtLineEnd",
     SCAN_TEXT_CSS,
     "@import \"a.css\n;b{c:url(d)}",
     {"url sheet -- - - d"},
     "@import \"a.css\n;b{c:url(R)}"},
    {"HtmlComment",
     SCAN_TEXT_HTML,
     "<!-- <img src=x> --><!--><img src=y><!x <img src=z>>",
     {"attr html -- img src y"},
     "<!-- <img src=x> --><!--><img src=R><!x <img src=z>>"},
    {"RawText",
     SCAN_TEXT_HTML,
     "<script src=s.js>document.write(\"<img src=y>\")</script ><TITLE><img src=t></Title>"
     "<textarea><img src=u></textarea><xmp><img src=v></xmp><img src=w>",
     {"attr html -- script src s.js", "attr html -- img src w"},
     "<script src=R>document.write(\"<img src=y>\")</script ><TITLE><img src=t></Title>"
     "<textarea><img src=u></textarea><xmp><img src=v></xmp><img src=R>"},
    {"StyleEndsInComment",
     SCAN_TEXT_HTML,
     "<style>/* </STYLE><img src=a.gif> */</style>",
     {"attr html -- img src a.gif"},
     "<style>/* </STYLE><img src=R> */</style>"},
    {"StyleEndsInValue",
     SCAN_TEXT_HTML,
     "<style>a{b:url(\"x</style><img src=c>",
     {"attr html -- img src c"},
     "<style>a{b:url(\"x</style><img src=R>"},
    {"LongestValue",
     SCAN_TEXT_HTML,
     "<img src=\"" + LONGEST + "\">",
     {"attr html \"\" img src " + LONGEST},
     "<img src=\"R\">"},
    {"TooLongValue",
     SCAN_TEXT_HTML,
     "<img src=\"" + TOO_LONG + "\"><img src=b>",
     {"attr html -- img src b"},
     "<img src=\"" + TOO_LONG + "\"><img src=R>"},
    {"NulAndEofBytes",
     SCAN_TEXT_HTML,
     "<img src=a\0b.gif>\x1a<img src=\"c\x1a\">"s,
     {"attr html -- img src a\0b.gif"s, "attr html \"\" img src c\x1a"},
     "<img src=R>\x1a<img src=\"R\">"},
    // 表 (0x95 0x5C) and ソ (0x83 0x5C): the 0x5C escapes nothing
    {"Cp932Bytes",
     SCAN_TEXT_HTML,
     "<img src=\"\x95\x5c.gif\"><style>p{background:url(\"\x83\x5c\")} q{x:url(y)}</style>",
     {"attr html \"\" img src \x95\x5c.gif", "url block \"- style - \x83\x5c",
      "url block -- style - y"},
     "<img src=\"R\"><style>p{background:url(\"R\")} q{x:url(R)}</style>"},
};

class ScanForms : public testing::TestWithParam<form_row>
{
};

// Whole, then a byte a chunk with a one-byte output buffer: the same references, the input
// back byte for byte, and "R" in every reference's place.
TEST_P(ScanForms, FindsTheReferences)
{
    const form_row &row = GetParam();
    const std::string replacement = "R";
    const std::size_t one_byte[] = {1};
    for (const bool bytewise : {false, true}) {
        const std::span<const std::size_t> cuts =
            bytewise ? std::span<const std::size_t>(one_byte) : std::span<const std::size_t>();
        const std::size_t out_size = bytewise ? 1 : 4096;
        const scanned_text plain =
            scan_in_chunks(row.input, row.kind, cuts, out_size, SCAN_HOLD_SIZE);
        EXPECT_EQ(plain.references, row.references) << "byte by byte: " << bytewise;
        EXPECT_EQ(plain.output, row.input) << "byte by byte: " << bytewise;
        const scanned_text replaced =
            scan_in_chunks(row.input, row.kind, cuts, out_size, SCAN_HOLD_SIZE, &replacement);
        EXPECT_EQ(replaced.output, row.replaced) << "byte by byte: " << bytewise;
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, ScanForms, testing::ValuesIn(FORMS),
                         [](const testing::TestParamInfo<form_row> &p) {
                             return std::string(p.param.name);
                         });

// The first pass asks for tags: each start tag is reported, <base href> among the references.
TEST(ScanTags, ReportsStartTags)
{
    const std::string page = "<html><head><base href=\"http://a/b/\"></head><BODY bgcolor=white>";
    const scanned_text scanned = scan_in_chunks(page, SCAN_TEXT_HTML, {}, 64, 256, nullptr, true);
    EXPECT_EQ(scanned.tags, (std::vector<std::string>{"html", "head", "base", "body"}));
    EXPECT_EQ(scanned.references, std::vector<std::string>{"attr html \"\" base href http://a/b/"});
    EXPECT_EQ(scanned.output, page);
}

}  // namespace
