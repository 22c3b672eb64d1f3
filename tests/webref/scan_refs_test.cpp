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
    std::string replaced;  // the output with every reference replaced by "R" (dropped: none)
    bool drops = false;    // scanned with report_drops
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
     "<img srcset=a datafld=b xsrc=c src=d hrefs=e>",
     {"srcset html -- img srcset a", "attr html -- img src d"},
     "<img srcset=R datafld=b xsrc=c src=R hrefs=e>"},
    {"EveryUrlAttribute",
     SCAN_TEXT_HTML,
     "<form action=a><button FormAction=b><q cite=c><img longdesc=d usemap=#m dynsrc=j>"
     "<html manifest=e><command icon=f><object codebase=g classid=h><head profile=i>"
     "<use xlink:href=k>",
     {"attr html -- form action a", "attr html -- button formaction b", "attr html -- q cite c",
      "attr html -- img longdesc d", "attr html -- img usemap #m", "attr html -- img dynsrc j",
      "attr html -- html manifest e", "attr html -- command icon f",
      "attr html -- object codebase g", "attr html -- object classid h",
      "attr html -- head profile i", "attr html -- use xlink:href k"},
     "<form action=R><button FormAction=R><q cite=R><img longdesc=R usemap=R dynsrc=R>"
     "<html manifest=R><command icon=R><object codebase=R classid=R><head profile=R>"
     "<use xlink:href=R>"},
    {"Srcset",
     SCAN_TEXT_HTML,
     "<img srcset=\"a.gif 1x, b.gif 2x\"><link ImageSrcset=c.gif>",
     {"srcset html \"\" img srcset a.gif 1x, b.gif 2x", "srcset html -- link imagesrcset c.gif"},
     "<img srcset=\"R\"><link ImageSrcset=R>"},
    {"ScriptEscapedTwice",
     SCAN_TEXT_HTML,
     "<script><!--<script>x</script><img src=a>--></script><img src=b>",
     {"attr html -- img src b"},
     "<script><!--<script>x</script><img src=a>--></script><img src=R>"},
    {"ScriptEscapedOnce",
     SCAN_TEXT_HTML,
     "<script><!--<scripts></script><img src=a><script><!-- x --><script></script><img src=b>",
     {"attr html -- img src a", "attr html -- img src b"},
     "<script><!--<scripts></script><img src=R><script><!-- x --><script></script><img src=R>"},
    {"Plaintext",
     SCAN_TEXT_HTML,
     "<img src=a><plaintext><img src=b></plaintext><img src=c>",
     {"attr html -- img src a"},
     "<img src=R><plaintext><img src=b></plaintext><img src=c>"},
    {"CommentEnds",
     SCAN_TEXT_HTML,
     "<!-- x --!><img src=a><!--><img src=b><!---><img src=c><!-- -><img src=d> --><img src=e>"
     "<!--!><img src=f>--><!--a--!-><img src=g>--><img src=h>",
     {"attr html -- img src a", "attr html -- img src b", "attr html -- img src c",
      "attr html -- img src e", "attr html -- img src h"},
     "<!-- x --!><img src=R><!--><img src=R><!---><img src=R><!-- -><img src=d> --><img src=R>"
     "<!--!><img src=f>--><!--a--!-><img src=g>--><img src=R>"},
    {"RawTextElements",
     SCAN_TEXT_HTML,
     "<iframe><img src=a></iframe><noembed><img src=b></noembed><NOFRAMES><img src=c>"
     "</noframes><!DOCTYPE html><img src=d>",
     {"attr html -- img src d"},
     "<iframe><img src=a></iframe><noembed><img src=b></noembed><NOFRAMES><img src=c>"
     "</noframes><!DOCTYPE html><img src=R>"},
    {"Drops",
     SCAN_TEXT_HTML,
     "<script integrity=\"sha384-x\" CROSSORIGIN src=a.js></script integrity=y>"
     "<link crossorigin = 'use-credentials' href=b><img crossorigin><p integrity=z alt=q>",
     {"drop html -- script integrity integrity=\"sha384-x\"",
      "drop html -- script crossorigin CROSSORIGIN", "attr html -- script src a.js",
      "drop html -- link crossorigin crossorigin = 'use-credentials'", "attr html -- link href b",
      "drop html -- img crossorigin crossorigin", "drop html -- p integrity integrity=z"},
     "<script   src=R></script integrity=y><link  href=R><img ><p  alt=q>",
     true},
    {"Meta",
     SCAN_TEXT_HTML,
     "<meta charset=Shift_JIS><META HTTP-EQUIV=Content-Type CONTENT='text/html; "
     "charset=x-sjis'><p content=c>",
     {"charset html -- meta charset Shift_JIS",
      "content html '' meta content text/html; charset=x-sjis"},
     "<meta charset=R><META HTTP-EQUIV=Content-Type CONTENT='R'><p content=c>",
     true},
    {"MetaWithoutDrops",
     SCAN_TEXT_HTML,
     "<meta charset=Shift_JIS content=x><a integrity=y>",
     {},
     "<meta charset=Shift_JIS content=x><a integrity=y>"},
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
        const scanned_text plain = scan_in_chunks(row.input, row.kind, cuts, out_size,
                                                  SCAN_HOLD_SIZE, nullptr, false, row.drops);
        EXPECT_EQ(plain.references, row.references) << "byte by byte: " << bytewise;
        EXPECT_EQ(plain.output, row.input) << "byte by byte: " << bytewise;
        const scanned_text replaced = scan_in_chunks(
            row.input, row.kind, cuts, out_size, SCAN_HOLD_SIZE, &replacement, false, row.drops);
        EXPECT_EQ(replaced.output, row.replaced) << "byte by byte: " << bytewise;
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, ScanForms, testing::ValuesIn(FORMS),
                         [](const testing::TestParamInfo<form_row> &p) {
                             return std::string(p.param.name);
                         });

// The first pass asks for tags: each tag is reported once its '>' is written, with the start
// tag it is (or last was) as its element, <base href> among the references.
TEST(ScanTags, ReportsTags)
{
    const std::string page = "<html><head><base href=\"http://a/b/\"></head><BODY bgcolor=white>";
    const scanned_text scanned = scan_in_chunks(page, SCAN_TEXT_HTML, {}, 64, 256, nullptr, true);
    EXPECT_EQ(scanned.tags,
              (std::vector<std::string>{"html@0", "head@1", "base@2", "/head@2", "body@3"}));
    EXPECT_EQ(scanned.references, std::vector<std::string>{"attr html \"\" base href http://a/b/"});
    EXPECT_EQ(scanned.output, page);
    const std::string templated =
        "<!doctype html><template><base href=x></template ><script>a</script><br/><p title=\">\">"
        "<img src=a><style>p{x:url(b)}</style><div style=\"y:url(c)\">";
    const std::size_t cuts[] = {1, 2, 3};
    for (const std::size_t out_size : {std::size_t{1}, std::size_t{4096}}) {
        const scanned_text tagged =
            scan_in_chunks(templated, SCAN_TEXT_HTML, cuts, out_size, 256, nullptr, true);
        EXPECT_EQ(tagged.tags,
                  (std::vector<std::string>{"!doctype@0", "template@0", "base@1", "/template@1",
                                            "script@2", "/script@2", "br@3", "p@4", "img@5",
                                            "style@6", "/style@6", "div@7"}));
        EXPECT_TRUE(tagged.tags_after_gt);
        EXPECT_EQ(tagged.elements, (std::vector<std::uint64_t>{1, 5, 6, 7}));
        EXPECT_EQ(tagged.output, templated);
    }
}

// An attribute that may be dropped but does not fit the hold passes through unreported, and
// the scan goes on as before.
TEST(ScanDrops, LongAttributePassesThrough)
{
    const std::string page = "<script integrity=\"sha384-abcdefgh\" src=a crossorigin>";
    const scanned_text scanned =
        scan_in_chunks(page, SCAN_TEXT_HTML, {}, 8, 16, nullptr, false, true);
    EXPECT_EQ(scanned.references, (std::vector<std::string>{"attr html -- script src a",
                                                            "drop html -- script crossorigin "
                                                            "crossorigin"}));
    EXPECT_EQ(scanned.output, page);
}

}  // namespace
