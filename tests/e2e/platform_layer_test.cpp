// Runs whose results hang on the operating system's side of the programs: which entries the
// "*.mht" listing reports and in which order, folders among them, existence tests that must
// see folders too, and renames whose target name is taken. Every case compares the whole
// folder afterwards, byte for byte, and the console from the prompt on; the same cases run
// against the Linux programs and against the Windows ones under Wine.
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace
{

// Console texts, cp932 bytes.
const std::string PROMPT = "\x81@\x8f\x88\x97\x9d\x82\xf0\x8e\xc0\x8ds\x82\xb5\x82\xdc\x82\xb7"
                           "\x82\xa9\x81H(Y/N):";  // 　処理を実行しますか？(Y/N):
const std::string ENTER = "\n\x81@Enter\x83L\x81[\x82\xc5\x8fI\x97\xb9\x82\xb5\x82\xdc\x82\xb7"
                          "\x81"
                          "B";  // \n　Enterキーで終了します。
const std::string INPUT_MISSING = "\x93\xfc\x97\xcd\x83t\x83@\x83"
                                  "C\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc"
                                  "\x82\xb9\x82\xf1\n";  // 入力ファイルが見つかりません\n
const std::string LOG_HEADER =
    "\x95\xcf\x8a\xb7\x8c\xb3mht\x83t\x83@\x83"
    "C\x83\x8b,\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x90\x94,\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x96\xbc\r\n";  // 変換元mhtファイル,出力ファイル数,出力ファイル名 and CR LF

const std::string FOLDER = "<folder>";

// 　N個のmhtファイルを処理しました。\n　処理内容のログを LOG として出力しました。\n
std::string
summary(int archives, const std::string &log_name)
{
    return "\x81@" + std::to_string(archives) +
           "\x8c\xc2\x82\xccmht\x83t\x83@\x83"
           "C\x83\x8b\x82\xf0\x8f\x88\x97\x9d\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81"
           "B\n\x81@\x8f\x88\x97\x9d\x93\xe0\x97"
           "e\x82\xcc\x83\x8d\x83O\x82\xf0 " +
           log_name +
           " \x82\xc6\x82\xb5\x82\xc4\x8fo\x97\xcd\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81"
           "B\n";
}

// What the console stores: the Windows console writes each "\n" as CR LF.
std::string
console(const std::string &text)
{
    return programs_use_crlf_console() ? crlf(text) : text;
}

// A single-part archive without a location: its text comes out as "<base>.dec".
std::string
plain_archive(const std::string &text)
{
    return "Content-Type: text/plain\r\n\r\n" + text + "\r\n";
}

// A page whose post number names it (123), as one HTML part without a location.
const std::string THREAD_PAGE = "Content-Type: text/html\r\n\r\n<html>No.123 post</html>\r\n";

// A page referring to an image saved under a temporary name; the image body is "GIF89a".
const std::string PAGE_WITH_TMP_IMAGE = "Content-Type: multipart/related; boundary=\"BB\"\r\n"
                                        "\r\n"
                                        "--BB\r\n"
                                        "Content-Type: text/html\r\n"
                                        "Content-Location: http://x.test/page.html\r\n"
                                        "\r\n"
                                        "<img src=\"img.tmp\">\r\n"
                                        "--BB\r\n"
                                        "Content-Type: image/gif\r\n"
                                        "Content-Transfer-Encoding: base64\r\n"
                                        "Content-Location: http://x.test/img.tmp\r\n"
                                        "\r\n"
                                        "R0lGODlh\r\n"
                                        "--BB--\r\n";

using folder_state = std::map<std::string, std::string>;  // name -> bytes, or FOLDER

void
make_entries(const folder_state &entries)
{
    for (const auto &[name, bytes] : entries) {
        if (bytes == FOLDER)
            std::filesystem::create_directory(name);
        else
            write_file(name, bytes);
    }
}

folder_state
read_entries(const std::filesystem::path &folder)
{
    folder_state entries;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        entries[name] = entry.is_directory() ? FOLDER : read_file(entry.path());
    }
    return entries;
}

struct platform_case {
    const char *title;
    folder_state before;
    int status;
    std::string console_after_prompt;  // with "\n" line ends
    folder_state after;
};

std::vector<platform_case>
platform_cases()
{
    const std::string ok_end = ENTER;
    return {
        {"names in any letter case, listed with letters folded to capitals; no .mhtml",
         {{"b.MHT", plain_archive("b")},
          {"A.mht", plain_archive("a")},
          {"c.Mht", plain_archive("c")},
          {"_d.mht", plain_archive("d")},
          {"a.mhtml", plain_archive("not an archive")},
          {"e.mht.txt", plain_archive("not an archive")}},
         0,
         std::string("\n").append(summary(4, "log.csv")).append(ok_end),
         {{"b.MHT", plain_archive("b")},
          {"A.mht", plain_archive("a")},
          {"c.Mht", plain_archive("c")},
          {"_d.mht", plain_archive("d")},
          {"a.mhtml", plain_archive("not an archive")},
          {"e.mht.txt", plain_archive("not an archive")},
          {"A.dec", "a\r\n"},
          {"b.dec", "b\r\n"},
          {"c.dec", "c\r\n"},
          {"_d.dec", "d\r\n"},
          {"log.csv", LOG_HEADER + "A.mht,1,A.dec\r\nb.MHT,1,b.dec\r\nc.Mht,1,c.dec\r\n"
                                   "_d.mht,1,_d.dec\r\n"}}},

        {"a folder named like an archive is listed and ends the run when it is reached",
         {{"w.mht", plain_archive("w")}, {"x.mht", FOLDER}, {"y.mht", plain_archive("y")}},
         1,
         std::string("\n").append(INPUT_MISSING),
         {{"w.mht", plain_archive("w")},
          {"x.mht", FOLDER},
          {"y.mht", plain_archive("y")},
          {"w.dec", "w\r\n"},
          {"log.csv", LOG_HEADER + "w.mht,1,w.dec\r\n"}}},

        {"log names taken by files and by a folder are passed over",
         {{"log.csv", "old\r\n"},
          {"log_0001.csv", "older\r\n"},
          {"log_0002.csv", FOLDER},
          {"a.mht", plain_archive("a")}},
         0,
         std::string("\n").append(summary(1, "log_0003.csv")).append(ok_end),
         {{"log.csv", "old\r\n"},
          {"log_0001.csv", "older\r\n"},
          {"log_0002.csv", FOLDER},
          {"a.mht", plain_archive("a")},
          {"a.dec", "a\r\n"},
          {"log_0003.csv", LOG_HEADER + "a.mht,1,a.dec\r\n"}}},

        {"a thread page renamed onto a taken name (a file) gets the next free one",
         {{"page.mht", THREAD_PAGE}, {"123.htm", "someone else's page"}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{"page.mht", THREAD_PAGE},
          {"123.htm", "someone else's page"},
          {"123_0001.htm", "<html>No.123 post</html>\r\n"},
          {"log.csv", LOG_HEADER + "page.mht,1,123_0001.htm\r\n"}}},

        {"a thread page renamed onto a taken name (a folder) gets the next free one",
         {{"page.mht", THREAD_PAGE}, {"123.htm", FOLDER}, {"123_0001.htm", FOLDER}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{"page.mht", THREAD_PAGE},
          {"123.htm", FOLDER},
          {"123_0001.htm", FOLDER},
          {"123_0002.htm", "<html>No.123 post</html>\r\n"},
          {"log.csv", LOG_HEADER + "page.mht,1,123_0002.htm\r\n"}}},

        {"a renumbered image and the page's work copy find their names taken",
         {{"page.mht", PAGE_WITH_TMP_IMAGE},
          {"page_001.tmp", "taken"},
          {"page.html.cpy", "an old work copy"}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{"page.mht", PAGE_WITH_TMP_IMAGE},
          {"page_001.tmp", "taken"},
          {"page.html.cpy", "an old work copy"},
          {"page.html", "<img src=\"page_001_0001.tmp\">\r\n"},
          {"page_001_0001.tmp", "GIF89a"},
          {"log.csv", LOG_HEADER + "page.mht,2,page.html,page_001_0001.tmp\r\n"}}},
    };
}

// A page saved under a name that Windows reserves for a device.
const std::string PAGE_AT_DEVICE_NAME = "Content-Type: text/html\r\n"
                                        "Content-Location: http://x.test/nul.htm\r\n"
                                        "\r\n"
                                        "<p>kept</p>\r\n";

class PlatformLayer : public ScratchDirTest
{
};

}  // namespace

TEST_F(PlatformLayer, ListingExistenceAndRenamesGiveTheSameBytesEverywhere)
{
    for (const platform_case &c : platform_cases()) {
        SCOPED_TRACE(c.title);
        std::filesystem::remove_all(scratch);
        std::filesystem::create_directories(scratch);
        std::filesystem::current_path(scratch);
        make_entries(c.before);

        const program_result r = run_program("fenwrack_nosleep", scratch, "Y\n\n");

        EXPECT_EQ(r.status, c.status);
        const std::size_t prompt_end = r.out.find(PROMPT);
        ASSERT_NE(prompt_end, std::string::npos) << r.out;
        EXPECT_EQ(r.out.substr(prompt_end + PROMPT.size()), console(c.console_after_prompt));
        EXPECT_EQ(read_entries(scratch), c.after);
    }
}

// On Windows a file named like a device ("nul.htm") cannot exist: opening it reaches the
// device and what is written is lost. Such a page moves to the next free name, on every
// platform alike.
TEST_F(PlatformLayer, PageNamedLikeADeviceIsKeptOnWindows)
{
    write_file("a.mht", PAGE_AT_DEVICE_NAME);
    const program_result r = run_program("fenwrack_nosleep", scratch, "Y\n\n");
    EXPECT_EQ(r.status, 0);
    // every platform moves the page off the device name
    EXPECT_EQ(read_entries(scratch),
              (folder_state{{"a.mht", PAGE_AT_DEVICE_NAME},
                            {"nul_0001.htm", "<p>kept</p>\r\n"},
                            {"log.csv", LOG_HEADER + "a.mht,1,nul_0001.htm\r\n"}}));
}
