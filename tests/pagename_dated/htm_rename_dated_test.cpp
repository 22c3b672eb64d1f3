// htm_rename linked with the date-time-number naming.
#include "pagename/pagename.hpp"
#include "tests/common/test_files.hpp"

#include <cstring>
#include <string>
#include <vector>

namespace
{

// 画像ファイル名
const std::string MARK_FILE_NAME = "\x89\xe6\x91\x9c\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc";

struct dated_case {
    const char *label;
    std::string text;
    std::string new_file_name;  // of a page saved as page.html
    std::string page_name;
};

class HtmRenameDated : public ScratchDirTest
{
};

TEST_F(HtmRenameDated, NamingRule)
{
    // 14 bytes of date, time and hyphens, then the number, then ".htm": 237 digits fill 255
    const std::string digits237(237, '9');
    const std::string digits238(238, '9');
    const std::string digits250(250, '9');
    const std::vector<dated_case> cases = {
        {"worked example",
         "No.12345678 " + MARK_FILE_NAME + "\n1191234567890.jpg 07/10/11 12:34:56\n<blockquote>",
         "071011-123456-12345678.htm", "071011-123456-12345678"},
        {"no time keeps the name", "No.1 07/10/11\n", "page.html", "page"},
        {"no date keeps the name", "No.1 12:34:56\n", "page.html", "page"},
        {"no number keeps the name", "07/10/11 12:34:56\n", "page.html", "page"},
        {"four-digit year", "2007/10/11 12:34:56 No.5\n", "071011-123456-5.htm", "071011-123456-5"},
        {"one-digit hour is no time, a later time counts", "1:23:45 No.5 07/10/11\n01:02:03",
         "071011-010203-5.htm", "071011-010203-5"},
        {"any byte may follow the date", "07/10/115 12:34:56 No.5\n", "071011-123456-5.htm",
         "071011-123456-5"},
        {"the first date and time win", "01/02/03 04:05:06 07/08/09 10:11:12 No.5\n",
         "010203-040506-5.htm", "010203-040506-5"},
        {"a date after <blockquote does not count", "No.5 12:34:56 <blockquote>07/10/11\n",
         "page.html", "page"},
        {"a name of 255 bytes is taken", "No." + digits237 + " 07/10/11 12:34:56\n",
         "071011-123456-" + digits237 + ".htm", "071011-123456-" + digits237},
        {"a longer name keeps the page's name", "No." + digits238 + " 07/10/11 12:34:56\n",
         "page.html", "page"},
        {"a base past 255 bytes keeps the page's name", "No." + digits250 + " 07/10/11 12:34:56\n",
         "page.html", "page"},
    };
    for (const dated_case &c : cases) {
        SCOPED_TRACE(c.label);
        for (const std::string &name : list_folder("."))
            std::filesystem::remove(name);
        write_file("page.html", c.text);
        std::vector<char> file_name(LINE_BUFFER_SIZE, '\0');
        copy_bounded(file_name, "page.html");
        std::vector<char> page_name(NAME_SIZE, '\0');
        image_names images;
        htm_rename(file_name, page_name, &images);
        EXPECT_EQ(std::string(file_name.data()), c.new_file_name);
        EXPECT_EQ(std::string(page_name.data()), c.page_name);
        EXPECT_EQ(list_folder("."), std::vector<std::string>{c.new_file_name});
    }
}

// The number may end at the 10239th byte of a line and still be read whole.
TEST_F(HtmRenameDated, NumberAtTheEndOfALongLine)
{
    for (std::size_t len = 10232; len <= 10241; ++len) {
        SCOPED_TRACE(len);
        for (const std::string &name : list_folder("."))
            std::filesystem::remove(name);
        write_file("page.html", "07/10/11 12:34:56\n" + std::string(len - 4, 'x') + "No.7\n");
        std::vector<char> file_name(LINE_BUFFER_SIZE, '\0');
        copy_bounded(file_name, "page.html");
        std::vector<char> page_name(NAME_SIZE, '\0');
        image_names images;
        htm_rename(file_name, page_name, &images);
        EXPECT_EQ(std::string(file_name.data()),
                  len <= 10239 ? "071011-123456-7.htm" : "page.html");
    }
}

}  // namespace
