// A fatal error about a file: the console message exactly as fail_run prints it, then on
// standard error the program's name, the file's name and the operating system's reason.
#include "platform/platform.hpp"
#include "support/support.hpp"
#include "tests/common/test_files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

class FailRunFile : public ScratchDirTest
{
};

namespace
{

// cp932 bytes
const std::string MESSAGE = "\x8fo\x97\xcd\x83t\x83@\x83"
                            "C\x83\x8b\x82\xf0\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82"
                            "\xb5\x82\xbd\x81"
                            "B\n";  // 出力ファイルを開けませんでした。\n

// In the death test's child: standard output joins standard error, which the test reads,
// so it sees both streams in the order they were written; a failed open, then the end.
void
fail_on_missing(const std::string &name)
{
    std::fflush(stdout);
    dup2(2, 1);
    text_input in;
    if (!text_open_read(&in, name.c_str()))
        fail_run_file(name.c_str(), "(%s)%s", name.c_str(), MESSAGE.c_str());
    std::_Exit(9);
}

// A pattern matching text exactly, a line end being "\n" or the Windows console's "\r\n".
std::string
exactly(const std::string &text)
{
    std::string pattern = "^";
    for (const char c : text) {
        if (c == '\n')
            pattern += "\r?\n";
        else if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr && c != '\0')
            pattern += std::string("\\") + c;
        else
            pattern += c;
    }
    return pattern + "$";
}

}  // namespace

TEST_F(FailRunFile, PrintsTheMessageThenTellsTheReasonOnStandardError)
{
    const std::string shown =
        "(gone.htm)" + MESSAGE + "fenwrack: gone.htm: " + std::strerror(ENOENT) + "\n";
    EXPECT_EXIT(fail_on_missing("gone.htm"), testing::ExitedWithCode(1), exactly(shown));
}

TEST_F(FailRunFile, NameGoesAsItsCp932Bytes)
{
    const std::string name = "\x95\x5c.htm";  // 表.htm: a second byte '\'
    const std::string shown =
        "(" + name + ")" + MESSAGE + "fenwrack: " + name + ": " + std::strerror(ENOENT) + "\n";
    EXPECT_EXIT(fail_on_missing(name), testing::ExitedWithCode(1), exactly(shown));
}

TEST_F(FailRunFile, FolderInPlaceOfAFileIsTold)
{
    std::filesystem::create_directory("folder.htm");
    const std::string shown =
        "(folder.htm)" + MESSAGE + "fenwrack: folder.htm: " + std::strerror(EISDIR) + "\n";
    EXPECT_EXIT(fail_on_missing("folder.htm"), testing::ExitedWithCode(1), exactly(shown));
}
