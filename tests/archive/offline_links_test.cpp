// Pages that open offline: an archive split with the batch's offline switch on, and the page's
// (or the style sheet's) text compared with what each form of reference must become.
#include "archive/archive.hpp"
#include "platform/platform.hpp"
#include "tests/common/test_files.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

using namespace std::string_literals;

// An image part at location, its body "GIF".
std::string
image(const std::string &location)
{
    return "Content-Type: image/gif\r\nContent-Location: " + location + "\r\n\r\nGIF\r\n";
}

struct link_row {
    const char *title;
    std::string page;                // the body of the page at http://h/d/p.htm
    std::vector<std::string> parts;  // the parts after it, headers and body
    std::string expected;            // the output's bytes afterwards, without the last CR LF
    const char *output = "p.htm";    // the output compared (the page, or another one)
    bool quoted_printable = false;   // the page's body is quoted-printable
    // the page's headers after its Content-Type line
    std::string page_headers = "Content-Location: http://h/d/p.htm\r\n";
    std::string page_type = "text/html";
};

// A row's page at location.
std::string
located(const std::string &location)
{
    return "Content-Location: " + location + "\r\n";
}

const link_row ROWS[] = {
    {"absolute",
     "<img src=\"http://h/d/a.gif\">",
     {image("http://h/d/a.gif")},
     "<img src=\"a.gif\">"},
    {"relative, rooted, scheme-relative, capitals",
     "<img src=\"../img/b.gif\"><img src=/img/b.gif><img src='//h/img/b.gif'>"
     "<IMG SRC=\"HTTP://H/img/b.gif\">",
     {image("http://h/img/b.gif")},
     "<img src=\"b.gif\"><img src=b.gif><img src='b.gif'><IMG SRC=\"b.gif\">"},
    {"query with &amp;, fragment",
     "<a href=\"http://h/q.gif?a=1&amp;b=2\">q</a> <a href=\"p2.htm#sec\">2</a>",
     {image("http://h/q.gif?a=1&b=2"),
      "Content-Type: text/html\r\nContent-Location: http://h/d/p2.htm\r\n\r\n<p>2</p>\r\n"},
     "<a href=\"q.gif_a%3D1%26b%3D2\">q</a> <a href=\"p2.htm#sec\">2</a>"},
    {"CSS in a style attribute, a style block, @import",
     "<p style=\"background:url(&quot;../img/b.gif&quot;)\">"
     "<style>@import \"http://h/css/s.css\"; p{background:url( /img/b.gif )}</style>",
     {image("http://h/img/b.gif"),
      "Content-Type: text/css\r\nContent-Location: http://h/css/s.css\r\n\r\n.x{}\r\n"},
     "<p style=\"background:url(&quot;b.gif&quot;)\">"
     "<style>@import \"s.css\"; p{background:url( b.gif )}</style>"},
    {"a style sheet's url() against its own location",
     "<link rel=stylesheet href=\"../css/s.css\">",
     {image("http://h/img/b.gif"),
      "Content-Type: text/css\r\nContent-Location: http://h/css/s.css\r\n\r\n"
      ".x{background:url(../img/b.gif)} .y{background:url(\"http://h/none.gif\")}\r\n"},
     ".x{background:url(b.gif)} .y{background:url(\"http://h/none.gif\")}",
     "s.css"},
    {"a style sheet names a .tmp image as it was before its rename",
     "<img src=\"file:///C:/T/x.tmp\">",
     {image("file:///C:/T/x.tmp"),
      "Content-Type: text/css\r\nContent-Location: http://h/css/s.css\r\n\r\n"
      ".x{background:url(file:///C:/T/x.tmp)}\r\n"},
     ".x{background:url(p_001.tmp)}",
     "s.css"},
    {"a style sheet replaced by a later one of its name",
     "<link rel=stylesheet href=\"http://h/css/s.css\">",
     {image("http://h/img/b.gif"),
      "Content-Type: text/css\r\nContent-Location: http://h/css/s.css\r\n\r\n.x{}\r\n",
      "Content-Type: text/css\r\nContent-Location: http://h/old/s.css\r\n\r\n"
      ".y{background:url(../img/b.gif)}\r\n"},
     ".y{background:url(b.gif)}",
     "s.css"},
    {"cid:, and what names no part",
     "<img src=\"cid:id1@x\"><img src=\"http://other/x.gif\"><a href=\"nothing.htm\">n</a>",
     {"Content-Type: image/gif\r\nContent-ID: <id1@x>\r\nContent-Location: http://h/c/c.gif"
      "\r\n\r\nGIF\r\n"},
     "<img src=\"c.gif\"><img src=\"http://other/x.gif\"><a href=\"nothing.htm\">n</a>"},
    {"under a base: the base names the page, a reference to the web says where it led",
     "<base href=\"http://h/x/\"><frame src=\"f.htm\"><a href=\"n.htm#a\">n</a>",
     {"Content-Type: text/html\r\nContent-Location: http://h/x/f.htm\r\n\r\n<p>f</p>\r\n"},
     "<base href=\"p.htm\"><frame src=\"f.htm\"><a href=\"http://h/x/n.htm#a\">n</a>"},
    {"a page renamed after its post number",
     "<a href=\"http://h/d/t.htm\">thread</a>",
     {"Content-Type: text/html\r\nContent-Location: http://h/d/t.htm\r\n\r\nNo.123\r\n"},
     "<a href=\"123.htm\">thread</a>"},
    {"two parts of one location: the file on disk",
     "<img src=\"http://h/d/dup.gif\">",
     {image("http://h/d/dup.gif"), image("http://h/d/dup.gif")},
     "<img src=\"dup.gif\">"},
    {"NUL and 0x1A in the page",
     "a=00b=1A<img src=3D\"http://h/d/a.gif\">=1A",
     {image("http://h/d/a.gif")},
     "a\0b\x1a<img src=\"a.gif\">\x1a"s,
     "p.htm",
     true},
    {"a thread page's .tmp thumbnail",
     "No.12345678 \x89\xe6\x91\x9c\x83t\x83@\x83"
     "C\x83\x8b\x96\xbc 1191234567890.jpg <img src=\"file:///C:/T/TH.tmp\">",
     {image("file:///C:/T/TH.tmp")},
     "No.12345678 \x89\xe6\x91\x9c\x83t\x83@\x83"
     "C\x83\x8b\x96\xbc 1191234567890.jpg <img src=\"1191234567890s.jpg\">",
     "12345678.htm"},
    {"a base a browser refuses is no base",
     "<base href=\"javascript:alert(1)//\"><a href=\"next.htm\">n</a><img src=\"a.gif\">",
     {image("http://h/d/a.gif")},
     "<base href=\"javascript:alert(1)//\"><a href=\"next.htm\">n</a><img src=\"a.gif\">"},
    {"a base in a template is no base; the first base counts, wherever it stands",
     "<template><base href=\"http://other/\"></template><img src=\"a.gif\"><body>"
     "<base href=\"http://h/e/\"><base href=\"http://h/f/\"><img src=\"x/b.gif\">",
     {image("http://h/e/x/b.gif"), image("http://h/e/a.gif")},
     "<template><base href=\"http://other/\"></template><img src=\"a.gif\"><body>"
     "<base href=\"p.htm\"><base href=\"http://h/f/\"><img src=\"b.gif\">"},
    {"a relative base on a page without a location keeps its links",
     "<base href=\"sub/\"><a href=\"n.htm\">n</a><img src=\"a.gif\">",
     {image("sub/a.gif")},
     "<base href=\"p.htm\"><a href=\"sub/n.htm\">n</a><img src=\"a.gif\">",
     "p.htm",
     false,
     located("./p.htm")},
    {"a host with an empty path; white space around a value",
     "<img src=\"img/a.gif\"><img src=\" \t/img/b.gif \">",
     {image("http://h.example/img/a.gif"), image("http://h.example/img/b.gif")},
     "<img src=\"a.gif\"><img src=\"b.gif\">",
     "h.example.htm",
     false,
     located("http://h.example")},
    {"under a base, as a browser reads them: backslashes, a tab in a scheme",
     "<base href=\"http://h/x/\"><a href=\"\\\\server\\share\\x.gif\">s</a>"
     "<a href=\"java&#x09;script:void(0)\">j</a>",
     {},
     "<base href=\"p.htm\"><a href=\"http://server/share/x.gif\">s</a>"
     "<a href=\"java&#x09;script:void(0)\">j</a>"},
    {"a location that decodes to a line feed names its own part only",
     "<img src=\"http://h/d/two.gif\"><img src=\"http://h/d/three.gif\">",
     {image("=?shift_jis?Q?http://s/x=0Ay.gif?="), image("http://h/d/two.gif"),
      image("http://h/d/three.gif")},
     "<img src=\"two.gif\"><img src=\"three.gif\">"},
    {"CSS escapes undone, then spelled once",
     "<style>p{background:url(\"http://h/d/a.gif#a\\\\b\")}</style>",
     {image("http://h/d/a.gif")},
     "<style>p{background:url(\"a.gif#a\\\\b\")}</style>"},
    {"cid: in capitals, an escape at the end, a cid: location",
     "<img src=\"CID:id1@x\"><img src=\"cid:id2@%78\"><img src=\"cid:loc@x\">",
     {"Content-Type: image/gif\r\nContent-ID: <id1@x>\r\nContent-Location: http://h/c/c.gif"
      "\r\n\r\nGIF\r\n",
      "Content-Type: image/gif\r\nContent-ID: <id2@x>\r\nContent-Location: http://h/c/e.gif"
      "\r\n\r\nGIF\r\n",
      image("cid:loc@x")},
     // (a location without '/' names its part after the whole header line)
     "<img src=\"c.gif\"><img src=\"e.gif\"><img src=\"Content-Location_%20cid_loc%40x\">"},
    {"a style sheet known by a cid: location resolves against the page",
     "<link rel=stylesheet href=\"cid:css-1@x\">",
     {"Content-Type: text/css\r\nContent-Location: cid:css-1@x\r\n\r\n"
      ".x{background:url(\"img/b.gif\")}\r\n",
      image("http://h/d/img/b.gif")},
     ".x{background:url(\"b.gif\")}",
     "Content-Location_ cid_css-1@x.css"},
    {"the last of several parts with one location",
     "<img src=\"http://h/d/dup.gif\">",
     {image("http://h/d/dup.gif"),
      "Content-Type: image/gif\r\nContent-Location: http://h/d/dup.gif\r\n"
      "Content-Disposition: inline; filename=\"second.gif\"\r\n\r\nGIF\r\n"},
     "<img src=\"second.gif\">"},
    {"comments end at --> and --!>, not at ->",
     "<!-- -> <img src=\"http://h/d/a.gif\"> --><!-- --!><img src=\"http://h/d/a.gif\">",
     {image("http://h/d/a.gif")},
     "<!-- -> <img src=\"http://h/d/a.gif\"> --><!-- --!><img src=\"a.gif\">"},
    {"srcset candidates, descriptors kept",
     "<img srcset=\"http://h/d/a.gif 1x, b.gif 2x,http://o/c.gif\">",
     {image("http://h/d/a.gif"), image("http://h/d/b.gif")},
     "<img srcset=\"a.gif 1x, b.gif 2x,http://o/c.gif\">"},
    {"integrity and crossorigin go where the reference leads to a file",
     "<img crossorigin src=\"a.gif\"><link integrity=\"sha256-x\" crossorigin=anonymous "
     "rel=stylesheet href=\"http://o/s.css\">",
     {image("http://h/d/a.gif")},
     "<img  src=\"a.gif\"><link integrity=\"sha256-x\" crossorigin=anonymous "
     "rel=stylesheet href=\"http://o/s.css\">"},
    {"a name of three double-byte characters, escaped whole",
     "<img src=\"http://h/d/\x82\xa0\x82\xa2\x82\xa4.gif\">",
     {image("=?shift_jis?B?aHR0cDovL2gvZC+CoIKigqQuZ2lm?=")},
     // the bytes as the file system stores the name: Windows' UTF-16 as UTF-8
     names_fold_case() ? "<img src=\"%E3%81%82%E3%81%84%E3%81%86.gif\">"
                       : "<img src=\"%82%A0%82%A2%82%A4.gif\">"},
    {"a page a later part replaced: that part's file, and no message",
     "<img src=\"file:///C:/T/x.tmp\">",
     {image("file:///C:/T/x.tmp"), image("http://h/d/p.htm")},
     "GIF"},
    {"a charset only in the headers is declared in the page",
     "<!DOCTYPE html><html><head><title>t</title></head>",
     {},
     "<!DOCTYPE html><html><head><meta charset=\"shift_jis\"><title>t</title></head>",
     "p.htm",
     false,
     located("http://h/d/p.htm"),
     "text/html; charset=shift_jis"},
    {"a page converted to Shift_JIS declares it",
     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-2022-jp\">"
     "\x1b$B$\"\x1b(B",
     {},
     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\x82\xa0",
     "p.htm",
     false,
     located("http://h/d/p.htm") + "Content-Transfer-Encoding: 7bit\r\n",
     "text/html; charset=iso-2022-jp"},
};

class OfflineLinks : public ScratchDirTest
{
};

TEST_F(OfflineLinks, ReferenceFormsBecomeTheFilesWritten)
{
    int index = 0;
    for (const link_row &row : ROWS) {
        const std::filesystem::path folder = scratch / std::to_string(index++);
        std::filesystem::create_directory(folder);
        std::filesystem::current_path(folder);
        std::string archive =
            "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n--BB\r\nContent-Type: " +
            row.page_type + "\r\n" + row.page_headers;
        if (row.quoted_printable)
            archive += "Content-Transfer-Encoding: quoted-printable\r\n";
        archive += "\r\n" + row.page + "\r\n";
        for (const std::string &part : row.parts)
            archive += "--BB\r\n" + part;
        archive += "--BB--\r\n";
        write_file("a.mht", archive);
        static const name_set reserved =
            make_name_set(std::vector<std::string>{"a.mht", "log.csv"});
        batch_info batch = test_batch(&reserved);
        batch.offline = true;
        testing::internal::CaptureStdout();
        split_archive("a.mht", batch);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << row.title;
        EXPECT_EQ(read_file(row.output), row.expected + "\r\n") << row.title;
        std::filesystem::current_path(scratch);
    }
}

}  // namespace

namespace
{

// Regression: a 16,000-byte base and 10,000 references under it made each reference absolute,
// and a 146 KB archive gave a 160 MB page.
TEST_F(OfflineLinks, LongBaseNeverMultipliesThePage)
{
    const std::string base = "http://h/" + std::string(16000, 'b') + "/";
    std::string page = "<base href=\"" + base + "\">\r\n";
    for (int k = 0; k < 10000; ++k)
        page += "<img src=a>";
    const std::string archive = "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n--BB\r\n"
                                "Content-Type: text/html\r\nContent-Location: http://h/d/p.htm"
                                "\r\n\r\n" +
                                page + "\r\n--BB--\r\n";
    write_file("a.mht", archive);
    static const name_set reserved = make_name_set(std::vector<std::string>{"a.mht", "log.csv"});
    batch_info batch = test_batch(&reserved);
    batch.offline = true;
    split_archive("a.mht", batch);
    const std::string written = read_file("p.htm");
    EXPECT_LE(written.size(), 4 * archive.size());
    // the base names the page; the first references still lead where they led
    EXPECT_EQ(written.substr(0, 20), "<base href=\"p.htm\">\r");
    // (the page's line is longer than a body line: the walk cut it, and its base, as ever)
    EXPECT_NE(written.find("<img src=http://h/bbb"), std::string::npos);
}

}  // namespace
