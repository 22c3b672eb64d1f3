// A saved thread page through both programs: the page renamed after its post number (or date,
// time and number), the thumbnail saved under a temporary name renamed, the other temporary
// images renumbered, every reference in the page rewritten and the log row naming it all.
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

const std::string B = "----=_NextPart_000_0001_01C80C1B.00000000";
const std::string TEMP = "file:///C:/DOCUME~1/user/LOCALS~1/Temp/";
const std::string IMAGE_FILE_NAME = "\x89\xe6\x91\x9c\x83t\x83@\x83"
                                    "C\x83\x8b\x96\xbc";  // 画像ファイル名

// The page as saved, with {T1}, {T2}, {T3} standing for the image references.
std::string
page(const std::string &t1, const std::string &t2, const std::string &t3)
{
    return "<html><body>\n" + IMAGE_FILE_NAME +
           ":<a href=\"http://board.example/b/src/1191234567890.jpg\">1191234567890.jpg</a>\n"
           "<img src=\"" +
           t1 +
           "\"> 07/10/11(Thu)12:34:56 No.12345678 No.999\n<blockquote>first post</blockquote>\n"
           "<img src=\"" +
           t2 + "\"><img src=\"" + t3 + "\">\n</body></html>\n";
}

std::string
thread_archive()
{
    return crlf(
        "MIME-Version: 1.0\nContent-Type: multipart/related;\n\tboundary=\"" + B + "\"\n\n--" + B +
        "\nContent-Type: text/html; charset=\"shift_jis\"\nContent-Transfer-Encoding: "
        "8bit\nContent-Location: http://board.example/b/res/12345678.htm\n\n" +
        page(TEMP + "ABCD1234.tmp", TEMP + "EFGH5678.TMP", TEMP + "IJKL9012.tmp") + "--" + B +
        "\nContent-Type: image/jpeg\nContent-Transfer-Encoding: base64\n"
        "Content-Location: " +
        TEMP + "ABCD1234.tmp\n\nQUJD\n--" + B +
        "\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n"
        "Content-Location: " +
        TEMP + "EFGH5678.TMP\n\nREVG\n--" + B +
        "\nContent-Type: image/png\nContent-Transfer-Encoding: base64\n"
        "Content-Location: " +
        TEMP + "IJKL9012.tmp\n\nR0hJ\n--" + B + "--\n");
}

class ThreadPage : public ScratchDirTest
{
};

}  // namespace

TEST_F(ThreadPage, BothProgramsNameThePageAndFollowTheRenames)
{
    struct row {
        const char *program;
        std::string page_file, page_base;
    };

    const row rows[] = {
        {"fenwrack_nosleep", "12345678.htm", "12345678"},
        {"fenwrack_dated_nosleep", "071011-123456-12345678.htm", "071011-123456-12345678"},
    };
    for (const row &r : rows) {
        const std::filesystem::path folder = scratch / r.program;
        std::filesystem::create_directory(folder);
        write_file(folder / "saved.mht", thread_archive());
        write_file(folder / "1191234567890s.jpg", "an older thumbnail");  // is not replaced
        const program_result result = run_program(r.program, folder, "Y\n\n");
        ASSERT_EQ(result.status, 0) << r.program;

        const std::string thumb = "1191234567890s_0001.jpg";
        const std::string second = r.page_base + "_001.tmp";
        const std::string third = r.page_base + "_002.tmp";
        std::vector<std::string> expected{"1191234567890s.jpg", thumb,     second,     third,
                                          r.page_file,          "log.csv", "saved.mht"};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(list_program_names(folder), expected) << r.program;
        EXPECT_EQ(read_file(folder / r.page_file),
                  crlf(page(TEMP + thumb, TEMP + second, TEMP + third)))
            << r.program;
        EXPECT_EQ(read_file(folder / thumb), "ABC");
        EXPECT_EQ(read_file(folder / second), "DEF");
        EXPECT_EQ(read_file(folder / third), "GHI");
        EXPECT_EQ(read_file(folder / "1191234567890s.jpg"), "an older thumbnail");
        const std::string log = read_file(folder / "log.csv");
        const std::string row_text =
            "saved.mht,4," + r.page_file + "," + thumb + "," + second + "," + third + "\r\n";
        EXPECT_EQ(log.substr(log.find("\r\n") + 2), row_text) << r.program;
    }
}

// Regression: pages were told apart by their names with case folded, so where names keep their
// case "A.htm" took each replacement twice ("a_00a_001.tmp") and "a.htm" none.
TEST_F(ThreadPage, PagesWhoseNamesDifferInCaseAreEachRewrittenOnce)
{
    std::string archive = "Content-Type: multipart/related; boundary=\"BB\"\n\n";
    for (const char *name : {"A.htm", "a.htm"})
        archive += std::string("--BB\nContent-Type: text/html\nContent-Location: http://h/") +
                   name + "\n\n<img src=\"1.tmp\">\n";
    archive += "--BB\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n"
               "Content-Location: http://h/1.tmp\n\nQUJD\n--BB--\n";
    // where names fold, the second page is a new file of a free name
    const std::string second = runner_folds_case() ? "a_0001.htm" : "a.htm";
    const std::string image = runner_folds_case() ? "a_0001_001.tmp" : "a_001.tmp";
    for (const char *program : {"fenwrack_nosleep", "fenwrack_dated_nosleep"}) {
        const std::filesystem::path folder = scratch / program;
        std::filesystem::create_directory(folder);
        write_file(folder / "c.mht", crlf(archive));
        ASSERT_EQ(run_program(program, folder, "y\n\n").status, 0) << program;
        for (const std::string &page : {std::string("A.htm"), second})
            EXPECT_EQ(read_output(folder, page), "<img src=\"" + image + "\">\r\n") << program;
        EXPECT_EQ(read_output(folder, image), "ABC") << program;
    }
}
