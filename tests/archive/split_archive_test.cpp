// The archive walk over hand-made archives: which parts are written, under which names, with
// which bytes, and the run log row. Archives are written with explicit line ends.
#include "archive/archive.hpp"
#include "decode/decode.hpp"
#include "platform/platform.hpp"
#include "tests/common/console_texts.hpp"
#include "tests/common/test_files.hpp"

#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace
{

const std::string B = "----=_NextPart_000_0000_01C00000.00000000";

// An archive header declaring B on a continuation line, as the browser saves it.
std::string
ie_header(const std::string &type = "multipart/related")
{
    return "From: <Saved by a browser>\nSubject: page\nMIME-Version: 1.0\nContent-Type: " + type +
           ";\n\ttype=\"text/html\";\n\tboundary=\"" + B +
           "\"\n\nThis is a multi-part message in MIME format.\n\n";
}

struct walk_case {
    const char *title;
    std::string archive;                       // bytes of a.mht
    std::map<std::string, std::string> files;  // every output file and its bytes
    std::string row;                           // the log row (without the archive name)
    std::string console = "";                  // what the walk printed
};

class SplitArchive : public ScratchDirTest
{
  protected:
    // Runs the walk on archive in a fresh sub-folder; returns what it printed.
    std::string split(const std::string &folder, const std::string &archive, bool offline = false)
    {
        std::filesystem::create_directory(folder);
        std::filesystem::current_path(scratch / folder);
        write_file("a.mht", archive);
        static const name_set reserved =
            make_name_set(std::vector<std::string>{"a.mht", "log.csv"});
        batch_info batch = test_batch(&reserved);
        batch.offline = offline;
        ::testing::internal::CaptureStdout();
        split_archive("a.mht", batch);
        std::string console = ::testing::internal::GetCapturedStdout();
        std::filesystem::current_path(scratch);
        return console;
    }
};

std::string
repeat(const std::string &text, int count)
{
    std::string out;
    for (int k = 0; k < count; ++k)
        out += text;
    return out;
}

void
expect_outputs(const std::filesystem::path &folder, const walk_case &c)
{
    std::vector<std::string> expected{"a.mht", "log.csv"};
    for (const auto &[name, bytes] : c.files)
        expected.push_back(name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(list_folder(folder), expected) << c.title;
    for (const auto &[name, bytes] : c.files)
        EXPECT_EQ(read_file(folder / name), bytes) << c.title << ": " << name;
    EXPECT_EQ(read_file(folder / "log.csv"), "a.mht" + c.row + "\r\n") << c.title;
}

}  // namespace

TEST_F(SplitArchive, WritesEachPartAsTheHeadersSay)
{
    const std::string long10237(10237, 'x');
    const std::string long10238(10238, 'y');
    const std::string long10240(10240, 'z');
    const std::string c251 = std::string(251, 'c') + ".jpg";
    const std::string c246 = std::string(246, 'c') + "_0001.jpg";
    using files_of = std::map<std::string, std::string>;
    std::vector<walk_case> cases = {
        {"first part takes the kind of the archive's own header",
         crlf(ie_header() + "--" + B + "\nContent-Location: http://h/d/one.txt\n\nhello\n--" + B +
              "--\n"),
         {{"one.txt", "hello\r\n"}},
         ",1,one.txt"},
        {"part without Content-Type after a written part is skipped",
         crlf(ie_header() + "--" + B + "\nContent-Type: text/plain\n\nfirst\n--" + B +
              "\nContent-Location: http://h/second.txt\n\nsecond\n--" + B + "--\n"),
         {{"a.dec", "first\r\n"}},
         ",1,a.dec"},
        {"archive without boundary is one part from the first blank line to the end",
         crlf("Content-Type: text/plain\nX: y\n\nline 1\n\nline 3\n"),
         {{"a.dec", "line 1\r\n\r\nline 3\r\n"}},
         ",1,a.dec"},
        {"two arbitrary bytes before the boundary still make a delimiter",
         crlf(ie_header() + "XX" + B + "trailing\nContent-Type: text/plain\n\nbody\nXX" + B +
              "--\nafter the end\n"),
         {{"a.dec", "body\r\n"}},
         ",1,a.dec"},
        {"XHTML is no page, and its name stays, without pages that open offline",
         crlf(ie_header() + "--" + B +
              "\nContent-Type: application/xhtml+xml\nContent-Location: http://h/x/page\n\nx\n--" +
              B + "--\n"),
         {{"page", "x\r\n"}},
         ",1,page"},
        {"capital B declares nothing, capital FILENAME names the part",
         crlf("Content-Type: text/plain; Boundary=\"zz\"\n\n--zz\nFILENAME=\"up.txt\"\n"),
         {{"a.dec", "--zz\r\nFILENAME=\"up.txt\"\r\n"}},
         ",1,a.dec"},
        {"Content-Type without its space is not recognised",
         crlf(ie_header() + "--" + B + "\nContent-Type:text/html\n\nx\n--" + B + "--\n"),
         {{"a.dec", "x\r\n"}},
         ",1,a.dec"},
        {"unsupported encoding skips the part, the next keeps its kind and encoding",
         crlf(ie_header() + "--" + B +
              "\nContent-Type: text/plain\nContent-Transfer-Encoding: 8bit\n"
              "Content-Location: p.txt\n\np\n--" +
              B + "\nContent-Type: image/png\nContent-Transfer-Encoding: binary\n\nbin\n--" + B +
              "\nContent-Location: http://h/q.txt\n\nq\n--" + B + "--\n"),
         {{"Content-Location_ p.txt", "p\r\n"}, {"q.txt", "q\r\n"}},
         ",2,Content-Location_ p.txt,q.txt",
         "a.mht" + UNSUPPORTED_ENCODING},
        {"location without a slash keeps the header name, colon sanitized",
         crlf(ie_header() + "--" + B + "\nContent-Location: a.jpg\n\nj\n--" + B + "--\n"),
         {{"Content-Location_ a.jpg", "j\r\n"}},
         ",1,Content-Location_ a.jpg"},
        {"two non-HTML parts of one name: the second replaces the first, both recorded",
         crlf(ie_header() + "--" + B + "\nContent-Location: http://h/x.css\n\none\n--" + B +
              "\nContent-Type: text/css\nContent-Location: http://h/y/x.css\n\ntwo\n--" + B +
              "--\n"),
         {{"x.css", "two\r\n"}},
         ",2,x.css,x.css"},
        {"two HTML parts of one name: the second is made unique",
         crlf(ie_header() + "--" + B +
              "\nContent-Type: text/html\nContent-Location: http://h/p.htm\n\n1\n--" + B +
              "\nContent-Type: text/html\nContent-Location: http://h/p.htm\n\n2\n--" + B + "--\n"),
         {{"p.htm", "1\r\n"}, {"p_0001.htm", "2\r\n"}},
         ",2,p.htm,p_0001.htm"},
        {"a part may not overwrite the archive or the run log",
         crlf(ie_header() + "--" + B + "\nContent-Location: http://h/A.MHT\n\nx\n--" + B +
              "\nContent-Type: text/plain\nContent-Location: http://h/log.csv\n\ny\n--" + B +
              "--\n"),
         {{"A_0001.MHT", "x\r\n"}, {"log_0001.csv", "y\r\n"}},
         ",2,A_0001.MHT,log_0001.csv"},
        {"a long name is sanitized whole, the extension it keeps included",
         crlf(ie_header() + "--" + B + "\nContent-Location: http://x/" + std::string(300, 'A') +
              ".j:g\n\nz\n--" + B + "\nContent-Type: text/plain\nContent-Location: http://x/" +
              std::string(300, 'C') + ".<*?|>\"\n\ny\n--" + B + "--\n"),
         {{std::string(251, 'A') + ".j_g", "z\r\n"}, {std::string(248, 'C') + ".______", "y\r\n"}},
         ",2," + std::string(251, 'A') + ".j_g," + std::string(248, 'C') + ".______"},
        {"no written part when nothing gives a content type",
         crlf("Subject: no type\n\nbody\n"),
         {},
         ",0"},
        {"NUL inside a line ends it",
         crlf(ie_header() + "--" + B + "\nContent-Type: text/plain\n\nab") + std::string(1, '\0') +
             crlf("cd\n--" + B + "--\n"),
         {{"a.dec", "ab\r\n"}},
         ",1,a.dec"},
        {"nested multipart returns to the outer boundary",
         crlf(ie_header() + "--" + B +
              "\nContent-Type: multipart/alternative; boundary=\"in\"\n\n--in\n"
              "Content-Location: http://h/i1.txt\n\ni1\n--in--\n--" +
              B + "\nContent-Type: text/plain\nContent-Location: http://h/o2.txt\n\no2\n--" + B +
              "--\nepilogue\n"),
         {{"i1.txt", "i1\r\n"}, {"o2.txt", "o2\r\n"}},
         ",2,i1.txt,o2.txt"},
        {"sibling multiparts: a close returns to the boundary the closed one was declared in",
         crlf(ie_header() + "--" + B +
              "\nContent-Type: multipart/alternative; boundary=\"A\"\n\n--A\nContent-Type: "
              "text/plain\nContent-Location: http://h/a.txt\n\na\n--A--\n--" +
              B +
              "\nContent-Type: multipart/alternative; boundary=\"Z\"\n\n--Z\nContent-Type: "
              "text/plain\nContent-Location: http://h/z.txt\n\nz\n--Z--\n--" +
              B + "\nContent-Type: image/gif\nContent-Location: http://h/after.gif\n\ng\n--" + B +
              "\nContent-Type: text/plain\nContent-Location: http://h/last.txt\n\nl\n--" + B +
              "--\n"),
         {{"a.txt", "a\r\n"}, {"z.txt", "z\r\n"}, {"after.gif", "g\r\n"}, {"last.txt", "l\r\n"}},
         ",4,a.txt,z.txt,after.gif,last.txt"},
        {"a close returns to the boundary before it, not to the first one",
         crlf(ie_header() + "--" + B +
              "\nContent-Type: multipart/alternative; boundary=\"A\"\n\n--A\n"
              "Content-Type: multipart/mixed; boundary=\"C\"\n\n--C\nContent-Type: "
              "text/plain\nContent-Location: http://h/c.txt\n\nc\n--C--\n--A\nContent-Type: "
              "text/plain\nContent-Location: http://h/a.txt\n\na\n--A--\n--" +
              B + "\nContent-Type: text/plain\nContent-Location: http://h/b.txt\n\nb\n--" + B +
              "--\n"),
         {{"c.txt", "c\r\n"}, {"a.txt", "a\r\n"}, {"b.txt", "b\r\n"}},
         ",3,c.txt,a.txt,b.txt"},
        {"two long names cut to one that differ only in letter case: one file where case folds",
         crlf(ie_header() + "--" + B + "\nContent-Location: http://x/" + std::string(300, 'c') +
              "x.jpg\n\nx\n--" + B + "\nContent-Type: text/plain\nContent-Location: http://x/" +
              std::string(300, 'c') + "X.jpg\n\nX\n--" + B + "--\n"),
         names_fold_case() ? files_of{{c251, "X\r\n"}} : files_of{{c251, "x\r\n"}, {c246, "X\r\n"}},
         ",2," + c251 + "," + (names_fold_case() ? c251 : c246)},
        {"a body may run to the end of the input",
         crlf(ie_header() + "--" + B + "\nContent-Location: http://h/t.txt\n\nlast\n"),
         {{"t.txt", "last\r\n"}},
         ",1,t.txt"},
        {"a last line without a line end still gets CR LF",
         crlf(ie_header() + "--" + B + "\nContent-Location: http://h/t.txt\n\n") + "tail",
         {{"t.txt", "tail\r\n"}},
         ",1,t.txt"},
        {"bare LF archive: every delimiter line is seen",
         ie_header() + "--" + B + "\nContent-Location: http://h/1.txt\n\none\n--" + B +
             "\nContent-Type: text/plain\nContent-Location: http://h/2.txt\n\ntwo\n--" + B + "--\n",
         {{"1.txt", "one\r\n"}, {"2.txt", "two\r\n"}},
         ",2,1.txt,2.txt"},
        {"filename parameter names the part; a later one wins",
         crlf(ie_header() + "--" + B +
              "\nContent-Type: application/x; name=\"n\"\nContent-Disposition: attachment; "
              "filename=\"dir\\first.bin\"; filename=\"second.bin\"\n\nz\n--" +
              B + "--\n"),
         {{"second.bin", "z\r\n"}},
         ",1,second.bin"},
        {"body lines of 10237, 10238 and 10240 bytes",
         crlf(ie_header() + "--" + B + "\nContent-Type: text/plain\n\n" + long10237 + "\n" +
              long10238 + "\n" + long10240 + "\n--" + B + "--\n"),
         {{"a.dec", long10237 + "\r\n" + std::string(10237, 'y') + "\r\n" +
                        std::string(10237, 'z') + "\r\n" + "z\r\n"}},
         ",1,a.dec",
         // the 10238-byte line and the 10239-byte piece of the longest line each lose bytes
         LINE_TOO_LONG + LINE_TOO_LONG},
        {"boundary of 100 bytes is kept whole",
         crlf("Content-Type: multipart/mixed; boundary=\"" + std::string(100, 'b') + "\"\n\n--" +
              std::string(100, 'b') + "\nContent-Location: http://h/k.txt\n\nk\n--" +
              std::string(99, 'b') + "\nnot a delimiter\n--" + std::string(100, 'b') + "--\n"),
         {{"k.txt", "k\r\n--" + std::string(99, 'b') + "\r\nnot a delimiter\r\n"}},
         ",1,k.txt"},
        {"a boundary= inside the value of another declares nothing",
         crlf("Content-Type: multipart/mixed; boundary=boundary=zz\n\n--zz\n"
              "Content-Location: http://h/z.txt\n\nz\n"),
         {},
         ",0"},
        {"a filename= inside the value of another names nothing",
         crlf(ie_header() + "--" + B +
              "\nContent-Type: application/x; filename=filename=f.bin\n\n" + "z\n--" + B + "--\n"),
         {{"filename=f.bin", "z\r\n"}},
         ",1,filename=f.bin"},
        {"a boundary and a single '-' make a delimiter, not the close",
         crlf(ie_header() + "--" + B + "\nContent-Location: http://h/one.txt\n\none\n--" + B +
              "-\nContent-Type: text/plain\nContent-Location: http://h/two.txt\n\ntwo\n--" + B +
              "--\n"),
         {{"one.txt", "one\r\n"}, {"two.txt", "two\r\n"}},
         ",2,one.txt,two.txt"},
        {"a base64 line can be a delimiter when the boundary is made of base64 characters",
         crlf("Content-Type: multipart/mixed; boundary=\"abcd\"\n\n--abcd\nContent-Type: "
              "image/gif\nContent-Transfer-Encoding: base64\nContent-Location: http://h/b.gif\n\n"
              "QUJD\nQUJD\nQQabcdQQ\nContent-Type: text/plain\nContent-Location: "
              "http://h/c.txt\n\nc\n--abcd--\n"),
         {{"b.gif", "ABCABC"}, {"c.txt", "c\r\n"}},
         ",2,b.gif,c.txt"},
        {"a 0x1A byte in a base64 body ends the input within its line",
         crlf(ie_header() + "--" + B +
              "\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\nContent-Location: "
              "http://h/b.gif\n\nQUJD\nQUJD\nQU\x1aJD\nQUJD\n--" +
              B + "--\n"),
         {{"b.gif", std::string("ABCABCA@\0", 9)}},
         ",1,b.gif"},
        {"a base64 line longer than a read decodes in the pieces the reads give",
         crlf(ie_header() + "--" + B +
              "\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\nContent-Location: "
              "http://h/b.gif\n\n" +
              repeat("QUJD", 2559) + "\n" + repeat("QUJD", 2560) + "\nQUJD\n--" + B + "--\n"),
         {{"b.gif", repeat("ABC", 2 * 2559) + "AB@" + std::string("\x0c\0\0", 3) + "ABC"}},
         ",1,b.gif"},
        {"bodies longer than one write, in three encodings",
         crlf(ie_header() + "--" + B + "\nContent-Type: image/gif\nContent-Transfer-Encoding: " +
              "base64\nContent-Location: http://h/b.gif\n\n" + repeat("QUJDRA==\n", 30000) + "--" +
              B + "\nContent-Type: text/html\nContent-Transfer-Encoding: quoted-" +
              "printable\nContent-Location: http://h/q.htm\n\n" + repeat("=41bc=\n", 30000) +
              "\n--" + B + "\nContent-Type: text/plain\nContent-Location: http://h/t.txt\n\n" +
              repeat(std::string(9000, 't') + "\n", 40) + "--" + B + "--\n"),
         {{"b.gif", repeat("ABCD", 30000)},
          {"q.htm", repeat("Abc", 30000) + "\r\n"},
          {"t.txt", repeat(std::string(9000, 't') + "\r\n", 40)}},
         ",3,b.gif,q.htm,t.txt"},
    };
    // The blank line that starts a body, after a location line plain or encoded, at every offset
    // around the ends of the reader's first two 64 KiB blocks: the line start must be told right
    // where a read ends at a block's end and where a step back leaves the block.
    std::deque<std::string> titles;
    for (const std::string location : {"http://h/t.txt", "=?shift_jis?Q?http://h/t.txt?="}) {
        for (std::size_t blank = 65533; blank <= 131074; ++blank) {
            if (blank == 65539)
                blank = 131069;  // and around the second block's end
            std::string archive = crlf("Content-Type: multipart/related; boundary=\"BB\"\n\n--BB"
                                       "\nContent-Type: text/plain\n");
            const std::string tail = "Content-Location: " + location + "\r\n";
            for (std::size_t pad = blank - archive.size() - tail.size(); pad > 0;) {
                const std::size_t len = pad > 8004 ? 8000 : pad;  // header lines of 4 bytes or more
                archive += "X:" + std::string(len - 4, 'x') + "\r\n";
                pad -= len;
            }
            titles.push_back(location + ", blank line at " + std::to_string(blank));
            cases.push_back({titles.back().c_str(),
                             archive + tail + crlf("\nbody\n--BB--\n"),
                             {{"t.txt", "body\r\n"}},
                             ",1,t.txt"});
        }
    }
    int index = 0;
    for (const walk_case &c : cases) {
        const std::string folder = "case" + std::to_string(index++);
        const std::string console = split(folder, c.archive);
        expect_outputs(scratch / folder, c);
        EXPECT_EQ(console, c.console) << c.title;
    }
}

namespace
{

// An archive of one part stored byte for byte at http://h/b.bin (headers with CR LF), its body
// and what follows as given.
std::string
binary_archive(const std::string &body_and_rest, const std::string &type = "image/png")
{
    return crlf("Content-Type: multipart/related; boundary=\"" + B + "\"\n\n--" + B +
                "\nContent-Type: " + type +
                "\nContent-Transfer-Encoding: binary\nContent-Location: http://h/b.bin\n\n") +
           body_and_rest;
}

// A part with the headers given (line ends "\n") and the body "G".
std::string
part(const std::string &headers)
{
    return crlf("--" + B + "\n" + headers + "\n\nG\n");
}

}  // namespace

TEST_F(SplitArchive, OfflineWritesWhatABrowserOpens)
{
    using namespace std::string_literals;
    const std::string end = "\r\n--" + B + "--\r\n";
    const std::string line_70000 = repeat("0123456789\x1a\r\0\n"s, 5000).substr(0, 70000) + "\xff";

    struct binary_row {
        const char *title;
        std::string stored;  // the body and what follows it
        std::string body;    // what b.bin holds
    };

    const binary_row binary_rows[] = {
        {"NUL, 0x1A, lone CR and LF, CR LF", "a\0\x1a\rb\nc\r\n\r\n"s + end,
         "a\0\x1a\rb\nc\r\n\r\n"s},
        {"lines longer than a read, over blocks", line_70000 + "\n" + line_70000 + end,
         line_70000 + "\n" + line_70000},
        {"a CR LF that two reads cut", std::string(10238, 'x') + end, std::string(10238, 'x')},
        {"a delimiter only at a line's start", std::string(10239, 'y') + "--" + B + end,
         std::string(10239, 'y') + "--" + B},
        {"ending in CR", "abc\r" + end, "abc\r"},
        {"empty", end, ""},
        {"no close delimiter: every byte", "x\r\ny\r\n", "x\r\ny\r\n"},
    };
    std::vector<walk_case> cases;
    for (const binary_row &r : binary_rows)
        cases.push_back({r.title, binary_archive(r.stored), {{"b.bin", r.body}}, ",1,b.bin"});
    const std::string text_part = crlf("\n--" + B +
                                       "\nContent-Type: text/plain\nContent-Transfer-Encoding: "
                                       "8bit\nContent-Location: http://h/t.txt\n\np");
    cases.push_back({"the next part is read by the text rules again",
                     binary_archive("a\rb\x1a" + text_part + "\rq\x1a" + end),
                     {{"b.bin", "a\rb\x1a"}, {"t.txt", "pq\r\n"}},
                     ",2,b.bin,t.txt"});
    cases.push_back({"a page as it is, ISO-2022-JP escapes and all",
                     binary_archive("\x1b$B$\"\x1b(B" + end, "text/html"),
                     {{"b.bin.htm", "\x1b$B$\"\x1b(B"}},
                     ",1,b.bin.htm"});
    const std::string long_name = std::string(251, 'L') + ".htm";
    cases.push_back(
        {"pages and style sheets get the extension a browser opens them by",
         crlf(ie_header()) +
             part("Content-Type: text/html\nContent-Location: http://h/v.php?id=5") +
             part("Content-Type: text/css\nContent-Location: http://h/s-v1.css?v=1.0.2") +
             part("Content-Type: image/png\nContent-Location: http://h/img") +
             part("Content-Type: text/html\nContent-ID: <frame-1@mhtml.blink>") +
             part("Content-Type: text/html\nContent-ID: <frame-2@mhtml.blink>") +
             part("Content-Type: application/xhtml+xml\nContent-Location: http://h/x/page") +
             part("Content-Type: application/xhtml+xml\nContent-Location: http://h/doc.xht") +
             part("Content-Type: text/html\nContent-Location: http://h/" + std::string(300, 'L')) +
             crlf("--" + B + "--\n"),
         {{"v.php_id=5.htm", "G\r\n"},
          {"s-v1.css_v=1.0.2.css", "G\r\n"},
          {"img", "G\r\n"},
          {"a.htm", "G\r\n"},
          {"a_0001.htm", "G\r\n"},
          {"page.htm", "G\r\n"},
          {"doc.xht", "G\r\n"},
          {long_name, "G\r\n"}},
         ",8,v.php_id=5.htm,s-v1.css_v=1.0.2.css,img,a.htm,a_0001.htm,page.htm,doc.xht," +
             long_name});
    // Relative locations resolve against the enclosing multipart's base: the page's
    // references, resolved against its own location, name them.
    cases.push_back(
        {"relative locations against the archive's, a nested multipart's Content-Base",
         crlf("Content-Location: http://h/d/p.htm\nContent-Type: multipart/related; boundary=\"" +
              B + "\"\n\n--" + B + "\nContent-Type: text/html\nContent-Location: http://h/d/p.htm" +
              "\n\n<img src=\"img/a.gif\"><img src=\"../o/i.gif\"><img src=/up.gif>\n--" + B +
              "\nContent-Type: multipart/alternative; boundary=\"in\"\nContent-Base: " +
              "\"http://h/o/\"\n\n--in\nContent-Type: image/gif\nContent-Location: ./i.gif\n\nG\n" +
              "--in--\n") +
             part("Content-Type: image/gif\nContent-Location: img/a.gif") +
             part("Content-Type: image/gif\nContent-Location: ../../../up.gif") +
             crlf("--" + B + "--\n"),
         {{"p.htm", "<img src=\"a.gif\"><img src=\"i.gif\"><img src=up.gif>\r\n"},
          {"a.gif", "G\r\n"},
          {"i.gif", "G\r\n"},
          {"up.gif", "G\r\n"}},
         ",4,p.htm,i.gif,a.gif,up.gif"});
    int index = 0;
    for (const walk_case &c : cases) {
        const std::string folder = "offline" + std::to_string(index++);
        const std::string console = split(folder, c.archive, true);
        expect_outputs(scratch / folder, c);
        EXPECT_EQ(console, c.console) << c.title;
    }
}
