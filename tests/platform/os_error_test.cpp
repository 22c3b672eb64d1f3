// The operating system's reason for a failed file operation: noted where the call failed, so
// that what happens afterwards (another failure, closing the input) does not change it.
#include "platform/platform.hpp"
#include "tests/common/test_files.hpp"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

class OsError : public ScratchDirTest
{
};

namespace
{

std::string
reason()
{
    char text[512];
    os_error_text(text);
    return text;
}

}  // namespace

TEST_F(OsError, FailedOpenTellsTheCLibraryReason)
{
    std::filesystem::create_directory("folder.mht");
    text_input in;
    EXPECT_FALSE(text_open_read(&in, "missing.mht"));
    EXPECT_EQ(reason(), std::strerror(ENOENT));
    EXPECT_FALSE(text_open_read(&in, "folder.mht"));
    EXPECT_EQ(reason(), std::strerror(EISDIR));
    out_stream out;
    EXPECT_FALSE(out_open(&out, "no-such-folder/x.htm", "wb"));
    EXPECT_EQ(reason(), std::strerror(ENOENT));
}

TEST_F(OsError, FailedRenameOrRemoveTellsTheSystemReason)
{
    write_file("a.htm", "a");
    write_file("b.htm", "b");
    EXPECT_FALSE(rename_no_replace("a.htm", "b.htm"));
    const std::string taken = reason();
    EXPECT_FALSE(remove_file("missing.htm"));
    const std::string missing = reason();
    // POSIX: strerror; Windows: FormatMessage, one line without its line end
    for (const std::string &text : {taken, missing}) {
        EXPECT_FALSE(text.empty());
        EXPECT_NE(text, "unknown error");
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    }
    EXPECT_NE(taken, missing);
}

// A full device: every write fails with ENOSPC (Linux; Wine passes it on to the Windows build).
TEST_F(OsError, FailedWriteOrCloseKeepsItsReasonOverLaterFailures)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    out_stream out;
    ASSERT_TRUE(out_open(&out, "/dev/full", "wb"));
    const std::string block(100000, 'x');  // more than the stream's buffer: the write fails
    out_write(&out, block.data(), block.size());
    text_input in;
    EXPECT_FALSE(text_open_read(&in, "missing.txt"));  // a later failure of another kind
    EXPECT_FALSE(out_close(&out));
    EXPECT_EQ(reason(), std::strerror(ENOSPC));

    ASSERT_TRUE(out_open(&out, "/dev/full", "wb"));
    out_text(&out, "short\n");  // buffered: only the close finds the device full
    EXPECT_FALSE(text_open_read(&in, "missing.txt"));
    EXPECT_FALSE(out_close(&out));
    EXPECT_EQ(reason(), std::strerror(ENOSPC));
}

TEST_F(OsError, ReasonIsCutToItsBuffer)
{
    text_input in;
    EXPECT_FALSE(text_open_read(&in, "missing.mht"));
    char text[8];
    std::memset(text, '#', sizeof text);
    os_error_text(text);
    EXPECT_EQ(std::string(text), std::string(std::strerror(ENOENT)).substr(0, 7));
}
