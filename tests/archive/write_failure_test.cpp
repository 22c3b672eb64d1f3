// A full disk while the walk writes: a part, the run log, or a page whose references are being
// rewritten. Files are limited in size (RLIMIT_FSIZE, with SIGXFSZ ignored so that a write
// fails instead of ending the process) in a child made by the death test. Each failure must end
// the run with its message and status 1, keep a page's former content, and leave the archive's
// log row incomplete.
#include "archive/archive.hpp"
#include "decode/decode.hpp"
#include "tests/common/console_texts.hpp"
#include "tests/common/test_files.hpp"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#if __has_include(<sys/resource.h>)
#include <sys/resource.h>
#define HAS_FILE_SIZE_LIMIT 1
#endif

#ifdef HAS_FILE_SIZE_LIMIT
namespace
{

constexpr rlim_t FILE_LIMIT = 100000;

// Splits a.mht with every file limited to FILE_LIMIT bytes; the console goes to console.txt
// (written before the limit can matter: it stays small).
void
split_with_file_limit()
{
    std::freopen("console.txt", "wb", stdout);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{FILE_LIMIT, FILE_LIMIT};
    setrlimit(RLIMIT_FSIZE, &limit);
    static const name_set reserved = make_name_set(std::vector<std::string>{"a.mht", "log.csv"});
    split_archive("a.mht", test_batch(&reserved));
    std::fflush(stdout);
    std::_Exit(0);
}

std::string
text_lines(char fill, std::size_t lines)
{
    std::string body;
    const std::string line(99, fill);
    for (std::size_t k = 0; k < lines; ++k) {
        body += line;
        body += "\r\n";
    }
    return body;
}

// An archive of one HTML page that refers twice per line to the image "x.tmp", and the image.
// Renumbering the image rewrites every "x.tmp" as "a_001.tmp", which makes the page grow.
std::string
page_and_image_archive(std::size_t page_lines)
{
    std::string archive = "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n--BB\r\n"
                          "Content-Type: text/html\r\nContent-Location: http://h/a.htm\r\n\r\n";
    for (std::size_t k = 0; k < page_lines; ++k)
        archive += "<img src=\"x.tmp\"><img src=\"x.tmp\">\r\n";
    archive += "--BB\r\nContent-Type: image/gif\r\nContent-Location: http://h/x.tmp\r\n\r\n"
               "GIF\r\n--BB--\r\n";
    return archive;
}

class WriteFailure : public ScratchDirTest
{
};

// Regression (second row): a part that replaced a file and could not be written whole left
// neither the file's former content nor the part's.
TEST_F(WriteFailure, PartThatDoesNotFitEndsTheRunWithTheOutputMessage)
{
    std::string archive = "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n--BB\r\n"
                          "Content-Type: text/plain\r\nContent-Location: http://h/big.txt\r\n\r\n";
    archive += text_lines('b', 3000);  // 303,000 bytes, three times the limit
    archive += "--BB--\r\n";
    for (const std::string former : {"", "a former big.txt"}) {
        std::filesystem::remove("big.txt");
        if (!former.empty())
            write_file("big.txt", former);
        write_file("a.mht", archive);
        EXPECT_EXIT(split_with_file_limit(), testing::ExitedWithCode(1), "");
        EXPECT_EQ(read_file("console.txt"), MSG_OUTPUT_OPEN + "(big.txt)\n");
        EXPECT_EQ(read_file("log.csv"), "a.mht");  // the row is never completed
        EXPECT_EQ(read_file("a.mht"), archive);
        if (!former.empty()) {
            EXPECT_EQ(read_file("big.txt"), former);
            EXPECT_EQ(list_folder("."),
                      (std::vector<std::string>{"a.mht", "big.txt", "console.txt", "log.csv"}));
        }
        std::filesystem::remove("log.csv");
    }
}

TEST_F(WriteFailure, LogThatCannotGrowEndsTheRunWithTheLogMessage)
{
    const std::string earlier(FILE_LIMIT - 10, 'L');
    write_file("log.csv", earlier);
    const std::string archive =
        "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n--BB\r\n"
        "Content-Type: text/plain\r\nContent-Location: http://h/a_part_with_a_long_name.txt\r\n"
        "\r\nx\r\n--BB--\r\n";
    write_file("a.mht", archive);
    EXPECT_EXIT(split_with_file_limit(), testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file("console.txt"), MSG_LOG_OPEN);
    const std::string log = read_file("log.csv");
    EXPECT_EQ(log.size(), FILE_LIMIT);
    EXPECT_EQ(log.substr(0, earlier.size()), earlier);  // what was there stays
    EXPECT_EQ(read_file("a_part_with_a_long_name.txt"), "x\r\n");
}

TEST_F(WriteFailure, PageThatCannotBeRewrittenKeepsItsFormerContent)
{
    // 2,600 lines of 36 bytes: 93,600 bytes written, 114,400 once the references grow
    const std::string archive = page_and_image_archive(2600);
    write_file("a.mht", archive);
    EXPECT_EXIT(split_with_file_limit(), testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file("console.txt"), MSG_REWRITE_FAILED);
    std::string former;
    for (int k = 0; k < 2600; ++k)
        former += "<img src=\"x.tmp\"><img src=\"x.tmp\">\r\n";
    EXPECT_TRUE(read_file("a.htm") == former) << "the page lost its former content";
    EXPECT_FALSE(std::filesystem::exists("a.htm.cpy"));
    EXPECT_EQ(read_file("log.csv"), "a.mht");
    EXPECT_EQ(read_file("a.mht"), archive);
}

// Splits a.mht with files limited as above but SIGXFSZ left to end the process: the run is cut
// short mid-part, with no chance to flush a stream.
void
split_until_killed()
{
    const rlimit limit{FILE_LIMIT, FILE_LIMIT};
    setrlimit(RLIMIT_FSIZE, &limit);
    static const name_set reserved = make_name_set(std::vector<std::string>{"a.mht", "log.csv"});
    split_archive("a.mht", test_batch(&reserved));
    std::_Exit(0);
}

// Regression: a run cut short left the log with no row at all: the archive's name waited in
// the stream's buffer.
TEST_F(WriteFailure, RunCutShortKeepsTheArchiveNameInItsRow)
{
    std::string archive = "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n--BB\r\n"
                          "Content-Type: text/plain\r\nContent-Location: http://h/big.txt\r\n\r\n";
    archive += text_lines('b', 3000) + "--BB--\r\n";
    write_file("a.mht", archive);
    EXPECT_EXIT(split_until_killed(), testing::KilledBySignal(SIGXFSZ), "");
    EXPECT_EQ(read_file("log.csv"), "a.mht");
}

TEST_F(WriteFailure, RewriteThatFitsCompletesTheRow)
{
    // the same archive, small enough: the control case for the test above
    write_file("a.mht", page_and_image_archive(10));
    EXPECT_EXIT(split_with_file_limit(), testing::ExitedWithCode(0), "");
    EXPECT_EQ(read_file("log.csv"), "a.mht,2,a.htm,a_001.tmp\r\n");
    EXPECT_EQ(list_folder("."),
              (std::vector<std::string>{"a.htm", "a.mht", "a_001.tmp", "console.txt", "log.csv"}));
}

}  // namespace
#endif
