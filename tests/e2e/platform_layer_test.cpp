// Runs whose results hang on the operating system's side of the programs: which entries the
// "*.mht" listing reports and in which order, folders among them, existence tests that must
// see folders too, and renames whose target name is taken. Every case compares the whole
// folder afterwards, byte for byte, and the console from the prompt on; the same cases run
// against the Linux programs and against the Windows ones under Wine. Names are compared as
// the programs see them, in Shift_JIS (Wine stores them as UTF-8); where the Windows folder,
// which ignores letter case, gives another result than Linux, a case gives both.
#include "tests/common/console_texts.hpp"
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace
{

const std::string UNKNOWN_LETTER_HEAD =
    "error:\x83t\x83@\x83"
    "C\x83\x8b\x96\xbc\x82\xcc\x83G\x83\x93\x83R\x81[\x83h\x95\xfb"
    "\x8e\xae\x82\xaa\x95s\x96\xbe\x82\xc5\x82\xb7\x81"
    "B";

// The log's header line as the file stores it.
const std::string STORED_LOG_HEADER = crlf(LOG_HEADER);

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

// A multipart archive (boundary BB) of the given parts, each its header lines without the blank
// line, and its body lines; CR LF line ends.
std::string
multipart(std::initializer_list<std::pair<std::string, std::string>> parts)
{
    std::string archive = "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n";
    for (const auto &[headers, body] : parts)
        archive += "--BB\r\n" + headers + "\r\n" + body + "\r\n";
    return archive + "--BB--\r\n";
}

// Headers of a base64 image part at location.
std::string
image_at(const std::string &location)
{
    return "Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n"
           "Content-Location: " +
           location + "\r\n";
}

// Headers of an HTML part at location.
std::string
page_at(const std::string &location)
{
    return "Content-Type: text/html\r\nContent-Location: " + location + "\r\n";
}

// Japanese names, Shift_JIS bytes. The second byte of 表 and ソ is 0x5C ('\\'), that of ポ 0x7C
// ('|'); half-width kana take one byte each.
const std::string HYOSO = "\x95\x5c\x83\x5c";                   // 表ソ
const std::string PORTAL = "\xce\xdf\xb0\xc0\xd9";              // ﾎﾟｰﾀﾙ
const std::string POSTER = "\x83\x7c\x83\x58\x83\x5e\x81\x5b";  // ポスター
const std::string GAZOU = "\x89\xe6\x91\x9c";                   // 画像
const std::string TESUTO = "\x83\x65\x83\x58\x83\x67";          // テスト
const std::string HOZON = "\x95\xdb\x91\xb6";                   // 保存
const std::string MOKUJI = "\x96\xda\x8e\x9f";                  // 目次
const std::string WIDE_A = "\x82\x60";  // Ａ, a full-width capital: Windows folds its case too
const std::string WIDE_SMALL_A = "\x82\x81";  // ａ

// Entries are named as the programs see them (Shift_JIS); on disk they are stored as the
// runner stores such names.
void
make_entries(const std::filesystem::path &folder, const folder_state &entries)
{
    for (const auto &[name, bytes] : entries) {
        if (bytes == FOLDER)
            create_input_folder(folder, name);
        else
            write_input(folder, name, bytes);
    }
}

folder_state
read_entries(const std::filesystem::path &folder)
{
    folder_state entries;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = program_name(entry.path().filename().string());
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
    // Where names that differ only in letter case are one file (Windows), the console and the
    // folder afterwards when they differ from the two above (empty: the same).
    std::string console_when_folded = {};
    folder_state after_when_folded = {};
};

std::vector<platform_case>
platform_cases()
{
    const std::string ok_end = ENTER;
    const std::string portal =
        multipart({{image_at("http://x.test/" + POSTER + ".gif"), "R0lGODlh"},
                   {image_at("=?iso-2022-jp?B?GyRCMmhBfBsoQi5naWY=?="), "QUJD"},  // 画像.gif
                   {"Content-Type: text/plain\r\nContent-Disposition: attachment; filename=\"" +
                        TESUTO + ".txt\"\r\n",
                    "text"}});
    const std::string mokuji =
        multipart({{page_at("http://x.test/" + MOKUJI + ".html"), "<img src=\"img.tmp\">"},
                   {image_at("http://x.test/img.tmp"), "R0lGODlh"}});
    const std::string unknown_letter =
        multipart({{image_at("=?shift_jis?b?gqA=?="), "QUJD"}});  // 'b': no such encoding
    const std::string two_cases =
        multipart({{page_at("http://x.test/page.html"), "<img src=\"CA.TMP\"><img src=\"ca.tmp\">"},
                   {image_at("http://x.test/CA.TMP"), "QUJD"},
                   {image_at("http://x.test/ca.tmp"), "REVG"}});
    const std::string two_pages =
        multipart({{page_at("http://x.test/A.htm"), "<p>one</p>"},
                   {page_at("http://x.test/a.htm"), "<p>two</p>"},
                   {page_at("http://x.test/" + WIDE_A + ".htm"), "<p>three</p>"},
                   {page_at("http://x.test/" + WIDE_SMALL_A + ".htm"), "<p>four</p>"}});
    const std::string upper_gif = multipart({{image_at("http://x.test/X.GIF"), "QUJD"}});
    const std::string no_extension = multipart(
        {{page_at("http://x.test/x"), "<p>one</p>"}, {page_at("http://x.test/x"), "<p>two</p>"}});
    const std::string wide_archive =
        multipart({{image_at("http://x.test/" + WIDE_SMALL_A + ".mht"), "QUJD"}});
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
          {"log.csv", STORED_LOG_HEADER + "A.mht,1,A.dec\r\nb.MHT,1,b.dec\r\nc.Mht,1,c.dec\r\n"
                                          "_d.mht,1,_d.dec\r\n"}}},

        {"a folder named like an archive is listed and ends the run when it is reached",
         {{"w.mht", plain_archive("w")}, {"x.mht", FOLDER}, {"y.mht", plain_archive("y")}},
         1,
         std::string("\n").append(INPUT_MISSING),
         {{"w.mht", plain_archive("w")},
          {"x.mht", FOLDER},
          {"y.mht", plain_archive("y")},
          {"w.dec", "w\r\n"},
          {"log.csv", STORED_LOG_HEADER + "w.mht,1,w.dec\r\n"}}},

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
          {"log_0003.csv", STORED_LOG_HEADER + "a.mht,1,a.dec\r\n"}}},

        {"a thread page renamed onto a taken name (a file) gets the next free one",
         {{"page.mht", THREAD_PAGE}, {"123.htm", "someone else's page"}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{"page.mht", THREAD_PAGE},
          {"123.htm", "someone else's page"},
          {"123_0001.htm", "<html>No.123 post</html>\r\n"},
          {"log.csv", STORED_LOG_HEADER + "page.mht,1,123_0001.htm\r\n"}}},

        {"a thread page renamed onto a taken name (a folder) gets the next free one",
         {{"page.mht", THREAD_PAGE}, {"123.htm", FOLDER}, {"123_0001.htm", FOLDER}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{"page.mht", THREAD_PAGE},
          {"123.htm", FOLDER},
          {"123_0001.htm", FOLDER},
          {"123_0002.htm", "<html>No.123 post</html>\r\n"},
          {"log.csv", STORED_LOG_HEADER + "page.mht,1,123_0002.htm\r\n"}}},

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
          {"log.csv", STORED_LOG_HEADER + "page.mht,2,page.html,page_001_0001.tmp\r\n"}}},

        // Regression: under Wine in the C locale Japanese names were stored as mojibake, and no
        // case with one ran against the Windows programs.
        {"Japanese names: archives listed and logged, parts and default names written under "
         "their Shift_JIS bytes (second bytes 0x5C and 0x7C kept, encoded words decoded)",
         {{HYOSO + ".mht", plain_archive("a")}, {PORTAL + ".mht", portal}},
         0,
         std::string("\n").append(summary(2, "log.csv")).append(ok_end),
         {{HYOSO + ".mht", plain_archive("a")},
          {PORTAL + ".mht", portal},
          {HYOSO + ".dec", "a\r\n"},
          {POSTER + ".gif", "GIF89a"},
          {PORTAL + ".dec" + GAZOU + ".gif", "ABC"},  // an encoded word adds to the default name
          {TESUTO + ".txt", "text\r\n"},
          {"log.csv", STORED_LOG_HEADER + HYOSO + ".mht,1," + HYOSO + ".dec\r\n" + PORTAL +
                          ".mht,3," + POSTER + ".gif," + PORTAL + ".dec" + GAZOU + ".gif," +
                          TESUTO + ".txt\r\n"}}},

        {"a page named in Japanese: its name taken, its image renumbered after it and its "
         "reference rewritten through a work copy",
         {{HOZON + ".mht", mokuji}, {MOKUJI + ".html", "an older page"}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{HOZON + ".mht", mokuji},
          {MOKUJI + ".html", "an older page"},
          // the page keeps the name it was written under: its base names the image
          {MOKUJI + "_0001.html", "<img src=\"" + MOKUJI + "_0001_001.tmp\">\r\n"},
          {MOKUJI + "_0001_001.tmp", "GIF89a"},
          {"log.csv", STORED_LOG_HEADER + HOZON + ".mht,2," + MOKUJI + "_0001.html," + MOKUJI +
                          "_0001_001.tmp\r\n"}}},

        {"an encoded word with an unknown letter: the Japanese default name is made unique, "
         "printed and written",
         {{HOZON + ".mht", unknown_letter}, {HOZON + ".dec", "older"}},
         0,
         std::string("\n")
             .append(UNKNOWN_LETTER_HEAD + HOZON + "_0001.dec" + UNKNOWN_LETTER_TAIL)
             .append(summary(1, "log.csv"))
             .append(ok_end),
         {{HOZON + ".mht", unknown_letter},
          {HOZON + ".dec", "older"},
          {HOZON + "_0001.dec", "ABC"},
          {"log.csv", STORED_LOG_HEADER + HOZON + ".mht,1," + HOZON + "_0001.dec\r\n"}}},

        // Where letter case is folded (Windows, and Wine), names that differ only in case are
        // one file: these rows give both results.
        {"two parts CA.TMP and ca.tmp: one file where letter case is folded",
         {{"case.mht", two_cases}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{"case.mht", two_cases},
          {"page.html", "<img src=\"page_001.tmp\"><img src=\"page_002.tmp\">\r\n"},
          {"page_001.tmp", "ABC"},
          {"page_002.tmp", "DEF"},
          {"log.csv", STORED_LOG_HEADER + "case.mht,3,page.html,page_001.tmp,page_002.tmp\r\n"}},
         {},
         // ca.tmp is written into CA.TMP (the second part's bytes replace the first's); renamed
         // to page_001.tmp, that one file leaves nothing for the rename of ca.tmp to
         // page_002.tmp, which fails silently (a failed renumbering rename is): the page and the
         // log name page_002.tmp all the same
         {{"case.mht", two_cases},
          {"page.html", "<img src=\"page_001.tmp\"><img src=\"page_002.tmp\">\r\n"},
          {"page_001.tmp", "DEF"},
          {"log.csv", STORED_LOG_HEADER + "case.mht,3,page.html,page_001.tmp,page_002.tmp\r\n"}}},

        {"pages A.htm and a.htm, and the same in full-width letters: the second of each "
         "takes a free name where letter case is folded",
         {{"h.mht", two_pages}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{"h.mht", two_pages},
          {"A.htm", "<p>one</p>\r\n"},
          {"a.htm", "<p>two</p>\r\n"},
          {WIDE_A + ".htm", "<p>three</p>\r\n"},
          {WIDE_SMALL_A + ".htm", "<p>four</p>\r\n"},
          {"log.csv", STORED_LOG_HEADER + "h.mht,4,A.htm,a.htm," + WIDE_A + ".htm," + WIDE_SMALL_A +
                          ".htm\r\n"}},
         {},
         {{"h.mht", two_pages},
          {"A.htm", "<p>one</p>\r\n"},
          {"a_0001.htm", "<p>two</p>\r\n"},
          {WIDE_A + ".htm", "<p>three</p>\r\n"},
          {WIDE_SMALL_A + "_0001.htm", "<p>four</p>\r\n"},
          {"log.csv", STORED_LOG_HEADER + "h.mht,4,A.htm,a_0001.htm," + WIDE_A + ".htm," +
                          WIDE_SMALL_A + "_0001.htm\r\n"}}},

        // Regression: on Windows the free name "x_0001." (a name without an extension) was
        // taken for one too long to store, since the system stores it as "x_0001", and cut to
        // "x_0001" in the log.
        {"two pages without an extension: the second's free name ends in a dot, which Windows "
         "drops from the file's name and the log keeps",
         {{"n.mht", no_extension}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{"n.mht", no_extension},
          {"x", "<p>one</p>\r\n"},
          {"x_0001.", "<p>two</p>\r\n"},
          {"log.csv", STORED_LOG_HEADER + "n.mht,2,x,x_0001.\r\n"}},
         {},
         {{"n.mht", no_extension},
          {"x", "<p>one</p>\r\n"},
          {"x_0001", "<p>two</p>\r\n"},
          {"log.csv", STORED_LOG_HEADER + "n.mht,2,x,x_0001.\r\n"}}},

        {"older files whose names differ only in letter case: a part replaces one, the log "
         "passes one over where letter case is folded",
         {{"g.mht", upper_gif}, {"x.gif", "older image"}, {"LOG.CSV", "older log"}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{"g.mht", upper_gif},
          {"x.gif", "older image"},
          {"X.GIF", "ABC"},
          {"LOG.CSV", "older log"},
          {"log.csv", STORED_LOG_HEADER + "g.mht,1,X.GIF\r\n"}},
         std::string("\n").append(summary(1, "log_0001.csv")).append(ok_end),
         // X.GIF is written into x.gif, which keeps its name
         {{"g.mht", upper_gif},
          {"x.gif", "ABC"},
          {"LOG.CSV", "older log"},
          {"log_0001.csv", STORED_LOG_HEADER + "g.mht,1,X.GIF\r\n"}}},

        {"a part named like its archive but for full-width letter case: the archive's own "
         "file where letter case is folded, which the part never replaces",
         {{WIDE_A + ".mht", wide_archive}},
         0,
         std::string("\n").append(summary(1, "log.csv")).append(ok_end),
         {{WIDE_A + ".mht", wide_archive},
          {WIDE_SMALL_A + ".mht", "ABC"},
          {"log.csv", STORED_LOG_HEADER + WIDE_A + ".mht,1," + WIDE_SMALL_A + ".mht\r\n"}},
         {},
         {{WIDE_A + ".mht", wide_archive},
          {WIDE_SMALL_A + "_0001.mht", "ABC"},
          {"log.csv", STORED_LOG_HEADER + WIDE_A + ".mht,1," + WIDE_SMALL_A + "_0001.mht\r\n"}}},
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
        make_entries(scratch, c.before);

        const program_result r = run_program("fenwrack_nosleep", scratch, "Y\n\n");

        const bool folded = runner_folds_case();
        const std::string &console_after = folded && !c.console_when_folded.empty()
                                               ? c.console_when_folded
                                               : c.console_after_prompt;
        const folder_state &after =
            folded && !c.after_when_folded.empty() ? c.after_when_folded : c.after;
        EXPECT_EQ(r.status, c.status);
        const std::size_t prompt_end = r.out.find(PROMPT);
        ASSERT_NE(prompt_end, std::string::npos) << r.out;
        EXPECT_EQ(r.out.substr(prompt_end + PROMPT.size()), console(console_after));
        EXPECT_EQ(read_entries(scratch), after);
    }
}

// On Windows a file named like a device ("nul.htm") cannot exist: opening it reaches the
// device and what is written is lost. Such a page moves to the next free name, on every
// platform alike.
TEST_F(PlatformLayer, PageNamedLikeADeviceIsKeptOnWindows)
{
    write_input(scratch, "a.mht", PAGE_AT_DEVICE_NAME);
    const program_result r = run_program("fenwrack_nosleep", scratch, "Y\n\n");
    EXPECT_EQ(r.status, 0);
    // every platform moves the page off the device name
    EXPECT_EQ(read_entries(scratch),
              (folder_state{{"a.mht", PAGE_AT_DEVICE_NAME},
                            {"nul_0001.htm", "<p>kept</p>\r\n"},
                            {"log.csv", STORED_LOG_HEADER + "a.mht,1,nul_0001.htm\r\n"}}));
}

// Names cp932 cannot hold: on Windows no name of the tool's reaches such an archive, which is
// left alone with a message (never taken for another file, never the end of the batch); on
// Linux names are bytes, and it is split like any other under its own bytes. So is a name with
// a character of U+F780-U+F7FF, which stands for a lone byte in the tool's own names on
// Windows: there its bytes would lead to another name (U+F781 'q' to 〈, cp932 81 71).
TEST_F(PlatformLayer, ArchiveNamedOutsideCp932IsLeftAloneOnWindows)
{
    const std::string korean = "\xed\x95\x9c\xea\xb5\xad\xec\x96\xb4";  // 한국어, UTF-8
    const std::string cafe = "caf\xc3\xa9\xe2\x98\x95";                 // café☕, UTF-8
    const std::string escaped = "\xef\x9e\x81q";                        // U+F781 q, UTF-8
    write_file(scratch / (korean + ".mht"), plain_archive("k"));
    write_file(scratch / (cafe + ".mht"), plain_archive("c"));
    write_file(scratch / (escaped + ".mht"), plain_archive("e"));
    write_input(scratch, "a.mht", plain_archive("a"));
    write_input(scratch, "\x81q.mht", plain_archive("angle"));        // 〈.mht
    write_input(scratch, "\x82\xa0.mht", plain_archive("hiragana"));  // あ.mht
    const program_result r = run_program("fenwrack_nosleep", scratch, "Y\n\n");
    EXPECT_EQ(r.status, 0);
    std::string rows = "a.mht,1,a.dec\r\n";
    std::string skipped;
    if (programs_use_crlf_console()) {
        for (const char *shown : {"???.mht", "?q.mht", "caf??.mht"}) {
            skipped += std::string("\x81@") + shown +
                       " \x82\xcd\x83t\x83@\x83"
                       "C\x83\x8b\x96\xbc\x82\xf0 Shift_JIS \x82\xc5\x95\\\x82\xb9\x82\xc8\x82"
                       "\xa2\x82\xbd\x82\xdf\x81"
                       "A\x8f\x88\x97\x9d\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x81"
                       "B\n";  // 　NAME はファイル名を Shift_JIS で表せないため、処理しません。
        }
        rows += "\x81q.mht,1,\x81q.dec\r\n\x82\xa0.mht,1,\x82\xa0.dec\r\n";
    } else {
        for (const std::string &base :
             {cafe, std::string("\x81q"), std::string("\x82\xa0"), korean, escaped})
            rows += base + ".mht,1," + base + ".dec\r\n";
    }
    const int processed = programs_use_crlf_console() ? 3 : 6;
    EXPECT_EQ(r.out.substr(r.out.find(PROMPT) + PROMPT.size()),
              console("\n" + skipped + summary(processed, "log.csv") + ENTER));
    EXPECT_EQ(read_file(scratch / "log.csv"), STORED_LOG_HEADER + rows);
    EXPECT_EQ(read_file(scratch / (korean + ".mht")), plain_archive("k"));
    EXPECT_EQ(read_file(scratch / (escaped + ".mht")), plain_archive("e"));
}
