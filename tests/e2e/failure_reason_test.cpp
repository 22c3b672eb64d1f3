// A fatal error about a file keeps its console message byte for byte and tells, on standard
// error, "<program>: <file>: <the operating system's reason>".
#include "tests/common/run_interactive.hpp"
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>
#include <string>

class FailureReason : public ScratchDirTest
{
};

namespace
{

// cp932 texts
const std::string INPUT_MISSING = "\x93\xfc\x97\xcd\x83t\x83@\x83"
                                  "C\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc"
                                  "\x82\xb9\x82\xf1\n";  // 入力ファイルが見つかりません\n
const std::string RENAME_FAILED = "\x83\x8a\x83l\x81[\x83\x80\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81"
                                  "B\n";  // リネームエラーです。\n (then the two names)

// The console from the first line after the answer on: what precedes is the dialogue.
std::string
after_answer(const std::string &out)
{
    const std::string answer_end = console("(Y/N):\n");
    const std::size_t at = out.find(answer_end);
    return at == std::string::npos ? out : out.substr(at + answer_end.size());
}

}  // namespace

TEST_F(FailureReason, FolderNamedLikeAnArchiveIsNamedWithItsReason)
{
    std::filesystem::create_directory("x.mht");
    for (const char *program : {"fenwrack_nosleep", "fenwrack_dated_nosleep"}) {
        const interactive_result r = run_with(program, scratch, "Y\n\n", {});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(after_answer(r.out), console(INPUT_MISSING));
        const std::string name(program);
        EXPECT_EQ(r.err,
                  console(name.substr(0, name.find("_nosleep")) + ": x.mht: Is a directory\n"));
        // the console bytes are those of a run whose standard error goes nowhere
        EXPECT_EQ(r.out, run_program(program, scratch, "Y\n\n").out);
        std::filesystem::remove("log.csv");
    }
}

TEST_F(FailureReason, ThumbnailThatCannotBeRenamedIsNamedWithItsReason)
{
    // the page shows a thumbnail saved as "gone.tmp", which the archive does not hold
    write_file("a.mht", "Content-Type: text/html\r\n\r\n"
                        "\x83\x54\x83\x80\x83\x6c\x95\x5c\x8e\xa6 1191234567890.jpg "
                        "<img src=\"gone.tmp\">\r\n");  // サムネ表示
    const interactive_result r = run_with("fenwrack_nosleep", scratch, "Y\n\n", {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(after_answer(r.out), console(RENAME_FAILED + "gone.tmp\n1191234567890s.jpg\n"));
    // Linux: strerror's text; Windows: the system's message for a missing file
    const std::string head = "fenwrack: gone.tmp: ";
    if (programs_use_crlf_console())
        EXPECT_TRUE(r.err.rfind(head, 0) == 0 && r.err.size() > head.size() + 2) << r.err;
    else
        EXPECT_EQ(r.err, head + "No such file or directory\n");
}
