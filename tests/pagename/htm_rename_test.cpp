// htm_rename linked with the post-number naming.
#include "pagename/pagename.hpp"
#include "tests/common/test_files.hpp"

#include <cstring>
#include <string>
#include <vector>

namespace
{

// 画像ファイル名 and サムネ表示
const std::string MARK_FILE_NAME = "\x89\xe6\x91\x9c\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc";
const std::string MARK_THUMB = "\x83\x54\x83\x80\x83\x6c\x95\x5c\x8e\xa6";

struct rename_result {
    std::string file_name;
    std::string page_name;
    std::string thumb_name;
    std::string src_name;
};

// Writes text to name, runs htm_rename with image names that hold "old" values beforehand.
rename_result
run_htm_rename(const std::string &name, const std::string &text)
{
    write_file(name, text);
    std::vector<char> file_name(LINE_BUFFER_SIZE, '\0');
    std::memcpy(file_name.data(), name.data(), name.size());
    std::vector<char> page_name(NAME_SIZE, '\0');
    image_names images;
    copy_bounded(images.thumb_name, "old-thumb");
    copy_bounded(images.src_name, "old-src");
    htm_rename(file_name, page_name, &images);
    return {file_name.data(), page_name.data(), images.thumb_name, images.src_name};
}

struct page_case {
    const char *label;
    std::string file_name;
    std::string text;
    std::string new_file_name;
    std::string page_name;
    std::string thumb_name;
    std::string src_name;
};

class HtmRename : public ScratchDirTest
{
};

TEST_F(HtmRename, MarkerRules)
{
    const std::string digits260(260, '7');
    const std::string long_line(10236, 'x');  // "No." fills the first piece
    const std::vector<page_case> cases = {
        {"worked example", "page.html",
         "<b>No.12345678</b>\r\n<td>" + MARK_FILE_NAME + "</td>\r\n<a>1191234567890.jpg</a>\r\n",
         "12345678.htm", "12345678", "1191234567890s.jpg", "old-src"},
        {"first No. wins", "p.htm", "No.111 No.222\nNo.333\n", "111.htm", "111", "old-thumb",
         "old-src"},
        {"No. and a space is no number", "p.htm", "No. 123\n", "p.htm", "p", "old-thumb",
         "old-src"},
        {"no. in small letters is no number", "p.htm", "no.123\n", "p.htm", "p", "old-thumb",
         "old-src"},
        {"a number keeps its first 250 digits", "p.htm", "No." + digits260 + "\n",
         std::string(250, '7') + ".htm", std::string(250, '7'), "old-thumb", "old-src"},
        {"image names before the marker are ignored", "p.htm",
         "1191234567890.jpg src=\"a/b.tmp\"\n" + MARK_THUMB + "\n", "p.htm", "p", "old-thumb",
         "old-src"},
        {"14 digits take the last 13", "p.htm", MARK_THUMB + " 11191234567890.jpg\n", "p.htm", "p",
         "1191234567890s.jpg", "old-src"},
        {"capitals in the extension, always s.jpg", "p.htm", MARK_THUMB + " 1191234567890.GiF\n",
         "p.htm", "p", "1191234567890s.jpg", "old-src"},
        {"the last image name wins", "p.htm", MARK_THUMB + " 1111111111111.png 2222222222222.Jpg\n",
         "p.htm", "p", "2222222222222s.jpg", "old-src"},
        {"12 digits are no image name", "p.htm", MARK_THUMB + " 119123456789.jpg\n", "p.htm", "p",
         "old-thumb", "old-src"},
        {"RED/ and .html name the thumbnail", "p.htm",
         MARK_THUMB + " <a href=\"RED/1191234567890.html\">\n", "p.htm", "p", "1191234567890s.jpg",
         "old-src"},
        {"red/ with .HTM is no link", "p.htm", MARK_THUMB + " red/1191234567890.HTM\n", "p.htm",
         "p", "old-thumb", "old-src"},
        {"red/ keeps the whole run", "p.htm", MARK_THUMB + " red/11912345678901234.htm\n", "p.htm",
         "p", "11912345678901234s.jpg", "old-src"},
        {"src with spaces and quotes", "p.htm",
         MARK_THUMB + "<img src = \"img/sub/c.jpg\" width=3>\n", "p.htm", "p", "old-thumb",
         "c.jpg"},
        {"src with backslashes", "p.htm", MARK_THUMB + "<img src=\"C:\\x\\d.tmp\">\n", "p.htm", "p",
         "old-thumb", "d.tmp"},
        {"unquoted src runs past spaces", "p.htm", MARK_THUMB + "<img src=a/b c.jpg>\n", "p.htm",
         "p", "old-thumb", "b c.jpg>"},
        {"digits inside a src value are no image name", "p.htm",
         MARK_THUMB + "<img src=\"1191234567890.jpg\">\n", "p.htm", "p", "old-thumb",
         "1191234567890.jpg"},
        {"src inside a link target", "p.htm", MARK_THUMB + "<a href=\"src/1191234567890.jpg\">\n",
         "p.htm", "p", "old-thumb", "1191234567890.jpg"},
        {"a later src overwrites", "p.htm", MARK_THUMB + " src=\"a.tmp\"\nsrc=\"b.tmp\"\n", "p.htm",
         "p", "old-thumb", "b.tmp"},
        {"a trail byte 0x5C separates", "p.htm", MARK_THUMB + " src=\"\x95\x5c.jpg\"\n", "p.htm",
         "p", "old-thumb", ".jpg"},
        {"src value ends with the file", "p.htm", MARK_THUMB + " src=x/last", "p.htm", "p",
         "old-thumb", "last"},
        {"src at the very end gives an empty name", "p.htm", MARK_THUMB + " src=\"", "p.htm", "p",
         "old-thumb", ""},
        {"<BLOCKQUOTE ends the scan mid-line", "p.htm",
         MARK_THUMB + "<BLOCKQUOTE>1191234567890.jpg No.5\nNo.6\n", "p.htm", "p", "old-thumb",
         "old-src"},
        {"a page already named after its number", "12345.html", "No.12345\n", "12345.html", "12345",
         "old-thumb", "old-src"},
        {"a name without a dot gets .htm", "page", "No.77\n", "77.htm", "77", "old-thumb",
         "old-src"},
        {"a line longer than a read comes in pieces", "p.htm", long_line + "No.5\nNo.6\n", "6.htm",
         "6", "old-thumb", "old-src"},
        {"dates and times do not count here", "p.htm", "07/10/11 12:34:56\n", "p.htm", "p",
         "old-thumb", "old-src"},
    };
    for (const page_case &c : cases) {
        SCOPED_TRACE(c.label);
        for (const std::string &name : list_folder("."))
            std::filesystem::remove(name);
        const rename_result r = run_htm_rename(c.file_name, c.text);
        EXPECT_EQ(r.file_name, c.new_file_name);
        EXPECT_EQ(r.page_name, c.page_name);
        EXPECT_EQ(r.thumb_name, c.thumb_name);
        EXPECT_EQ(r.src_name, c.src_name);
        EXPECT_EQ(list_folder("."), std::vector<std::string>{c.new_file_name});
        EXPECT_EQ(read_file(c.new_file_name), c.text);
    }
}

// A read holds 10239 bytes: a marker ending at the 10239th byte of a line is whole in the first
// piece; one that reaches past it is cut in two and found in neither piece.
TEST_F(HtmRename, MarkerAtTheEndOfALongLine)
{
    for (std::size_t len = 10232; len <= 10241; ++len) {
        SCOPED_TRACE(len);
        for (const std::string &name : list_folder("."))
            std::filesystem::remove(name);
        const std::string line = std::string(len - 4, 'x') + "No.7";
        const rename_result r = run_htm_rename("p.htm", line + "\n");
        EXPECT_EQ(r.file_name, len <= 10239 ? "7.htm" : "p.htm");
    }
}

TEST_F(HtmRename, TakenNameGetsSuffixButPageNameDoesNot)
{
    write_file("12345678.htm", "older");
    const rename_result r = run_htm_rename("page.html", "No.12345678\n");
    EXPECT_EQ(r.file_name, "12345678_0001.htm");
    EXPECT_EQ(r.page_name, "12345678");
    EXPECT_EQ(read_file("12345678.htm"), "older");
    EXPECT_EQ(read_file("12345678_0001.htm"), "No.12345678\n");
}

TEST_F(HtmRename, MissingFileEndsTheRun)
{
    std::vector<char> file_name(LINE_BUFFER_SIZE, '\0');
    copy_bounded(file_name, "absent.htm");
    std::vector<char> page_name(NAME_SIZE, '\0');
    image_names images;
    EXPECT_EXIT(htm_rename(file_name, page_name, &images), testing::ExitedWithCode(1), "");
}

}  // namespace
