#include "archive/archive.hpp"
#include "tests/common/test_files.hpp"

#include <csignal>
#include <string>
#include <vector>
#if __has_include(<sys/resource.h>)
#include <sys/resource.h>
#define HAS_FILE_SIZE_LIMIT 1
#endif

namespace
{

using namespace std::string_literals;

struct replace_case {
    const char *label;
    std::string before;
    const char *old_text;
    const char *new_text;
    std::string after;
};

class ReplaceTxt : public ScratchDirTest
{
};

TEST_F(ReplaceTxt, Replacements)
{
    const std::string piece_end(10236, 'x');  // "abc" then straddles the 10238-byte read
    const std::vector<replace_case> cases = {
        {"longer, at start and end", "a.tmp<img src=a.tmp>a.tmp\r\n", "a.tmp", "456_001.tmp",
         "456_001.tmp<img src=456_001.tmp>456_001.tmp\r\n"},
        {"shorter", "<a href=\"long_name.tmp\">long_name.tmp\r\nx\r\n", "long_name.tmp", "b",
         "<a href=\"b\">b\r\nx\r\n"},
        {"empty replacement deletes", "xAyAz\r\nA\r\n", "A", "", "xyz\r\n\r\n"},
        {"overlapping candidates", "aaa aaaa\r\n", "aa", "X", "Xa XX\r\n"},
        {"inserted text is not searched again", "a-a\r\n", "a", "aa", "aa-aa\r\n"},
        {"case-sensitive", "A.TMP a.tmp\r\n", "a.tmp", "b", "A.TMP b\r\n"},
        {"no occurrence keeps the bytes", "line one\r\nline two", "zz", "y",
         "line one\r\nline two"},
        {"bare line feeds come back as CR LF", "a\nb\n", "b", "c", "a\r\nc\r\n"},
        {"empty file stays empty", "", "a", "b", ""},
        {"an occurrence split between reads stays", piece_end + "abc abc\r\n", "abc", "Z",
         piece_end + "abc Z\r\n"},
        {"NUL and 0x1A are text; a reference after them is rewritten",
         "a\0b a.tmp\r\nc\x1a a.tmp\r\nd a.tmp"s, "a.tmp", "b.tmp",
         "a\0b b.tmp\r\nc\x1a b.tmp\r\nd b.tmp"s},
        {"a line that outgrows the buffer is written whole", std::string(10000, 'a') + "\r\n", "a",
         "bbbb", std::string(40000, 'b') + "\r\n"},
    };
    for (const replace_case &c : cases) {
        SCOPED_TRACE(c.label);
        write_file("page.htm", c.before);
        replace_txt("page.htm", c.old_text, c.new_text);
        EXPECT_EQ(read_file("page.htm"), c.after);
        EXPECT_EQ(list_folder("."), std::vector<std::string>{"page.htm"});
    }
}

TEST_F(ReplaceTxt, ExistingWorkCopyNameIsLeftAlone)
{
    write_file("page.htm", "old.tmp\r\n");
    write_file("page.htm.cpy", "someone else's file\r\n");
    replace_txt("page.htm", "old.tmp", "new.tmp");
    EXPECT_EQ(read_file("page.htm"), "new.tmp\r\n");
    EXPECT_EQ(read_file("page.htm.cpy"), "someone else's file\r\n");
    EXPECT_EQ(list_folder("."), (std::vector<std::string>{"page.htm", "page.htm.cpy"}));
}

TEST_F(ReplaceTxt, MissingFileEndsTheRun)
{
    EXPECT_EXIT(replace_txt("absent.htm", "a", "b"), testing::ExitedWithCode(1), "");
}

#ifdef HAS_FILE_SIZE_LIMIT
// Rewrites page.htm with files limited to 1000 bytes: the writes of the new file fail.
void
replace_with_small_file_limit()
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    replace_txt("page.htm", "a", "b");
}

// Regression: a new file that could not be written whole was reported as a success and the
// former content was lost; then, the page was left cut with its text in the work copy.
TEST_F(ReplaceTxt, FailedWriteEndsTheRunAndKeepsThePageWhole)
{
    const std::string before(300000, 'a');
    write_file("page.htm", before);
    EXPECT_EXIT(replace_with_small_file_limit(), testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file("page.htm"), before);
    EXPECT_EQ(list_folder("."), std::vector<std::string>{"page.htm"});
}
#endif

}  // namespace
