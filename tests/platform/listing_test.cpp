#include "platform/platform.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>

class Listing : public ScratchDirTest
{
};

TEST_F(Listing, ListsMhtNamesIgnoringCaseInFoldedOrder)
{
    for (const char *name : {"b.mht", "A.MHT", "c.Mht", "a.mhtml", "x.txt", "_z.mht", "mht"})
        write_file(name, "");
    std::filesystem::create_directory("dir.mht");
    std::vector<std::string> names;
    std::vector<std::string> unnamed;
    list_mht_names(&names, &unnamed);
    // '_' (0x5F) sorts after the letters folded to capitals (0x41-0x5A)
    EXPECT_EQ(names, (std::vector<std::string>{"A.MHT", "b.mht", "c.Mht", "dir.mht", "_z.mht"}));
}

TEST_F(Listing, RenameNeverReplaces)
{
    write_file("old", "1");
    write_file("new", "2");
    EXPECT_FALSE(rename_no_replace("old", "new"));
    EXPECT_EQ(read_file("new"), "2");
    EXPECT_TRUE(rename_no_replace("old", "other"));
    EXPECT_EQ(read_file("other"), "1");
    EXPECT_FALSE(rename_no_replace("missing", "x"));
    EXPECT_TRUE(entry_exists("other"));
    EXPECT_TRUE(remove_file("other"));
    EXPECT_FALSE(entry_exists("other"));
}
