// Names at the file system's limit of 255 bytes in the rewrite of a page.
#include "archive/archive.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

class ReplaceTxtLongName : public ScratchDirTest
{
};

// Regression: a file name of 252 to 255 bytes gave a work copy name ("%s.cpy") longer than a
// file system holds, and the rewrite ended the run.
TEST_F(ReplaceTxtLongName, WorkCopyOfALongNameIsShortenedToFit)
{
    for (const std::size_t len : {251u, 252u, 255u}) {
        SCOPED_TRACE(len);
        std::string name(len - 4, 'p');
        name += ".htm";
        write_file(name, "<img src=\"a.tmp\">\r\n");
        replace_txt(name.c_str(), "a.tmp", "b.tmp");
        EXPECT_EQ(read_file(name), "<img src=\"b.tmp\">\r\n");
        EXPECT_EQ(list_folder("."), std::vector<std::string>{name});
        std::filesystem::remove(name);
    }
}

}  // namespace
