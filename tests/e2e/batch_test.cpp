// The programs as users run them: the dialogue byte for byte, declines, the run log's name,
// and whole archives split in a fresh folder with every output byte compared.
#include "tests/common/console_texts.hpp"
#include "tests/common/run_interactive.hpp"
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace
{

// Standard base64 with 76-column lines, as the browser writes image parts.
std::string
base64_lines(const std::string &bytes)
{
    static const char ALPHABET[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        unsigned v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= n ? ALPHABET[(v >> (18 - 6 * k)) & 63] : '=';
    }
    std::string lines;
    for (std::size_t i = 0; i < text.size(); i += 76)
        lines += text.substr(i, 76) + "\n";
    return lines;
}

// Bytes of every value 0-255, twice: what an image part must come back as.
std::string
binary_payload()
{
    std::string bytes;
    for (int round = 0; round < 2; ++round)
        for (int b = 0; b < 256; ++b)
            bytes += static_cast<char>(b);
    return bytes;
}

const std::string B = "----=_NextPart_000_0000_01C8E5C8.4BB6A9E0";

// An archive as the browser saves a page: quoted-printable HTML, then a base64 image.
std::string
ie_archive(const std::string &html_qp, const std::string &image_location, const std::string &image)
{
    return crlf("From: <Saved by a browser>\nSubject: page\nMIME-Version: 1.0\n"
                "Content-Type: multipart/related;\n\ttype=\"text/html\";\n\tboundary=\"" +
                B +
                "\"\nX-MimeOLE: Produced By a MIME library\n\n"
                "This is a multi-part message in MIME format.\n\n--" +
                B +
                "\nContent-Type: text/html;\n\tcharset=\"shift_jis\"\n"
                "Content-Transfer-Encoding: quoted-printable\n"
                "Content-Location: http://example.test/dir/page.html\n\n" +
                html_qp + "\n--" + B +
                "\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n"
                "Content-Location: " +
                image_location + "\n\n" + base64_lines(image) + "\n--" + B + "--\n");
}

class Batch : public ScratchDirTest
{
};

}  // namespace

TEST_F(Batch, DeclinedOrEndedInputPrintsOnlyTheExplanation)
{
    write_file("a.mht", "Content-Type: text/plain\r\n\r\nx\r\n");
    for (const std::string input : {"n\n", "N\n", "\n", "", "x\n", "no\n"}) {
        const program_result r = run_program("fenwrack_nosleep", scratch, input);
        EXPECT_EQ(r.status, 0) << input;
        EXPECT_EQ(r.out, console(BANNER + PROMPT)) << input;
        EXPECT_EQ(list_program_names(scratch), std::vector<std::string>{"a.mht"}) << input;
    }
}

TEST_F(Batch, LineWithoutFirstCharacterAsksAgain)
{
    const program_result r =
        run_program("fenwrack_nosleep", scratch, std::string("\0\n\0\nn\n", 6));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(BANNER + PROMPT + PROMPT + PROMPT));
}

TEST_F(Batch, NoArchivePrintsNotFoundAndCreatesNoLog)
{
    write_file("a.mhtml", "x");
    const program_result r = run_program("fenwrack_nosleep", scratch, "Yes\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(BANNER + PROMPT + "\n" + NOT_FOUND + ENTER));
    EXPECT_EQ(list_program_names(scratch), std::vector<std::string>{"a.mhtml"});
}

TEST_F(Batch, SplitsAnArchiveAndLogsItUnderAFreeName)
{
    write_file("log.csv", "old log\r\n");
    write_file("log_0001.csv", "older log\r\n");
    const std::string image = binary_payload();
    write_file("Page.mht", ie_archive("<html><body>=82=A0 a=3Db=\n c</body></html>",
                                      "http://example.test/img/pic.gif", image));
    // the answer is longer than the read (its rest is dropped); the end of the input ends the
    // Enter wait
    const program_result r = run_program("fenwrack_nosleep", scratch, "yes, please go on\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              console(BANNER + PROMPT + "\n" + SUMMARY_1 + "log_0002.csv" + SUMMARY_2 + ENTER));
    EXPECT_EQ(list_program_names(scratch),
              (std::vector<std::string>{"Page.mht", "log.csv", "log_0001.csv", "log_0002.csv",
                                        "page.html", "pic.gif"}));
    EXPECT_EQ(read_file("page.html"), "<html><body>\x82\xa0 a=b c</body></html>\r\n");
    EXPECT_EQ(read_file("pic.gif"), image);
    EXPECT_EQ(read_file("log_0002.csv"), crlf(LOG_HEADER + "Page.mht,2,page.html,pic.gif\n"));
    EXPECT_EQ(read_file("log.csv"), "old log\r\n");
}

TEST_F(Batch, FolderNamedLikeAnArchiveEndsTheRun)
{
    std::filesystem::create_directory("x.mht");
    const program_result r = run_program("fenwrack_nosleep", scratch, "Y\n\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, console(BANNER + PROMPT + "\n" + INPUT_MISSING));
    EXPECT_EQ(read_file("log.csv"), crlf(LOG_HEADER));
}

TEST_F(Batch, ShippedProgramRunsWithItsPause)
{
    write_file("a.mht", crlf("Content-Type: text/plain\n\nbody\n"));
    for (const char *program : {"fenwrack", "fenwrack_dated"}) {
        const program_result r = run_program(program, scratch, "Y\n\n");
        EXPECT_EQ(r.status, 0) << program;
        EXPECT_EQ(read_file("a.dec"), "body\r\n") << program;
    }
}

TEST_F(Batch, EveryCorpusArchiveIsWalkedWithoutFailure)
{
    const std::filesystem::path corpus(FENWRACK_CORPUS_DIR);
    if (!std::filesystem::exists(corpus))
        GTEST_SKIP() << "no corpus beside the project";
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(corpus)) {
        if (entry.path().filename() == "SOURCES.md")
            continue;
        const std::filesystem::path folder = scratch / std::to_string(count++);
        std::filesystem::create_directory(folder);
        std::filesystem::copy_file(entry.path(), folder / "in.mht");
        const program_result r = run_program("fenwrack_nosleep", folder, "Y\n\n");
        EXPECT_EQ(r.status, 0) << entry.path();
        const std::string log = read_file(folder / "log.csv");
        EXPECT_EQ(log.rfind(crlf(LOG_HEADER) + "in.mht,", 0), 0u) << entry.path();
        EXPECT_EQ(read_file(folder / "in.mht"), read_file(entry.path())) << entry.path();
    }
    EXPECT_GT(count, 20);
}

namespace
{

}  // namespace

// Regression: each archive named on the command line was a run of its own, with its own
// listing of the folder, run log and search for free names: 1,000 archives named took 5.8 s,
// 8,000 took 307 s. Archives named in one folder now make one run there, whose time grows
// with their number.
TEST_F(Batch, ArchivesNamedOneByOneShareOneRunOfTheirFolder)
{
    // under Wine, where each look at a file is a trip to its server, a quarter as many
    const int few = programs_use_crlf_console() ? 125 : 500;
    double cpu_seconds[2] = {0, 0};
    for (const int run : {0, 1}) {
        const int count = run == 0 ? few : 4 * few;
        const std::filesystem::path folder = scratch / ("run" + std::to_string(run));
        std::filesystem::create_directory(folder);
        run_options options;
        options.args = {"--yes"};
        std::string rows;
        for (int k = 0; k < count; ++k) {
            const std::string name = "a" + std::to_string(k);
            write_file(folder / (name + ".mht"), "Content-Type: text/plain\r\n\r\nx\r\n");
            options.args.push_back(name + ".mht");
            rows += name + ".mht,1," + name + ".dec\n";
        }
        const double start = children_cpu_seconds();
        const interactive_result r = run_with("fenwrack_nosleep", folder, "", options);
        cpu_seconds[run] = children_cpu_seconds() - start;
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.out, console(SUMMARY_1.substr(0, 2) + std::to_string(count) +
                                 SUMMARY_1.substr(3) + "log.csv" + SUMMARY_2));
        EXPECT_EQ(read_file(folder / "log.csv"), crlf(LOG_HEADER + rows));
        EXPECT_FALSE(std::filesystem::exists(folder / "log_0001.csv"));
    }
    // four times the archives, about four times the time; before: about sixteen
    EXPECT_LT(cpu_seconds[1], 6 * cpu_seconds[0]) << cpu_seconds[0] << " " << cpu_seconds[1];
}

// Regression: a write over the file-size limit ("ulimit -f") ended the run by SIGXFSZ, with no
// message and the work file of a part that replaces a file left behind. It now fails as on a
// full disk: the message, the reason, the work file removed and the former file whole.
TEST_F(Batch, FileSizeLimitEndsTheRunAsAFullDiskDoes)
{
    if (programs_use_crlf_console())
        GTEST_SKIP() << "a file-size limit and its signal are POSIX's";
    write_file("x.gif", "older image");
    write_file("a.mht", "Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n"
                        "Content-Location: http://x.test/x.gif\r\n\r\n" +
                            base64_lines(std::string(64 * 1024, 'x')));
    run_options options;
    options.args = {"--yes"};
    options.file_size_limit = 16 * 1024;
    const interactive_result r = run_with("fenwrack_nosleep", scratch, "", options);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_FALSE(r.out.empty());
    EXPECT_EQ(read_file("x.gif"), "older image");
    EXPECT_EQ(list_folder("."), (std::vector<std::string>{"a.mht", "log.csv", "x.gif"}));
}
