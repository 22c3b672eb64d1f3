// The programs as users run them: the dialogue byte for byte, declines, the run log's name,
// and whole archives split in a fresh folder with every output byte compared.
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

// Console texts, cp932 bytes.
const std::string BANNER =
    "\n\x81@\x81@////////////////////////////////////////////////////\n\x81@\x81@/// Quorvane "
    "\x83\xc0"
    "1.33 "
    "///\n\x81@\x81@////////////////////////////////////////////////////\n\n\x81@IE6\x82\xc5\x83"
    "C\x83\x93\x83^\x81[\x83l\x83"
    "b\x83g\x82\xa9\x82\xe7\x95\xdb\x91\xb6\x82\xb5\x82\xbdmht\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x95\xaa\x89\xf0\x82\xb7\x82\xe9\x83v\x83\x8d\x83O\x83\x89\x83\x80\x82\xc5"
    "\x82\xb7\x81"
    "B\n\x81@"
    "\x82\xbb\x82\xea\x88\xc8\x8aO\x82\xcc\x8a\xc2\x8b\xab\x82\xc5\x95\xdb\x91\xb6\x82\xb3\x82\xea"
    "\x82\xbdmht\x83t\x83@\x83"
    "C\x83\x8b\x82\xc9\x82\xa8\x82\xaf\x82\xe9\x93\xae\x8d\xec\x82\xcd\x95\xdb\x8f\xd8\x82\xc5\x82"
    "\xab\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n\n\x81@\x82\xb1\x82\xcc\x8e\xc0\x8ds\x83t\x83@\x83"
    "C\x83\x8b\x82\xc6\x93\xaf\x82\xb6\x83t\x83H\x83\x8b\x83_"
    "\x82\xc9\x82\xa0\x82\xe9\x91S\x82\xc4\x82\xccmht\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x95\xaa\x89\xf0\x82\xb5\x82\xdc\x82\xb7\x81"
    "B\n\n\x81@\x83t\x83@\x83"
    "C\x83\x8b\x96\xbc\x82\xaa\x8f"
    "d\x95\xa1\x82\xb5\x82\xbd\x8f\xea\x8d\x87\x82\xcc\x91\xce\x89\x9e\x81"
    "F\n\x81@\x81"
    "Ehtml\x83t\x83@\x83"
    "C\x83\x8b\x81\xa8\x98"
    "A\x94\xd4\x82\xf0\x95t\x89\xc1\x82\xb5\x82\xc4\x95\xdb\x91\xb6\n\x81@\x81"
    "E\x82\xbb\x82\xcc\x91\xbc\x81\xa8\x8f\xe3\x8f\x91\x82\xab\x95\xdb\x91\xb6\n\x81@"
    "\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x96\xbc\x82\xf0\x8e\xe6\x93\xbe\x82\xc5\x82\xab\x82\xc8\x82\xa9\x82\xc1\x82\xbd\x8f"
    "\xea\x8d\x87\x81"
    "A*."
    "dec\x82\xc6\x82\xa2\x82\xa4\x96\xbc\x91O\x82\xc5\x8fo\x97\xcd\x82\xb3\x82\xea\x82\xdc\x82\xb7"
    "\x81"
    "B\n\x81@ (*\x82\xc9\x82\xcd\x8f\x88\x97\x9d\x92\x86\x82\xccmht\x83t\x83@\x83"
    "C\x83\x8b\x96\xbc\x82\xaa\x93\xfc\x82\xe8\x82\xdc\x82\xb7)\n\n\x81@"
    "\x90\xe0\x96\xbe\x82\xcd\x88\xc8\x8f\xe3\x82\xc5\x82\xb7\x81"
    "B\n";  // \n　　////////////////////////////////////////////////////\n　　/// Quorvane β1.33
            // ///\n　　////////////////////////////////////////////////////\n\n　IE6でインターネットから保存したmhtファイルを分解するプログラムです。\n　それ以外の環境で保存されたmhtファイルにおける動作は保証できません。\n\n　この実行ファイルと同じフォルダにある全てのmhtファイルを分解します。\n\n　ファイル名が重複した場合の対応：\n　・htmlファイル→連番を付加して保存\n　・その他→上書き保存\n　出力ファイル名を取得できなかった場合、*.decという名前で出力されます。\n　
            // (*には処理中のmhtファイル名が入ります)\n\n　説明は以上です。\n
const std::string PROMPT =
    "\x81@\x8f\x88\x97\x9d\x82\xf0\x8e\xc0\x8ds\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81H(Y/"
    "N):";  // 　処理を実行しますか？(Y/N):
const std::string NOT_FOUND =
    "\x81@mht\x83t\x83@\x83"
    "C\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n";  // 　mhtファイルが見つかりません。\n
const std::string ENTER = "\n\x81@Enter\x83L\x81[\x82\xc5\x8fI\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81"
                          "B";  // \n　Enterキーで終了します。
const std::string SUMMARY_1 =
    "\x81@1\x8c\xc2\x82\xccmht\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x8f\x88\x97\x9d\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81"
    "B\n\x81@\x8f\x88\x97\x9d\x93\xe0\x97"
    "e\x82\xcc\x83\x8d\x83O\x82\xf0 ";  // 　1個のmhtファイルを処理しました。\n　処理内容のログを
const std::string SUMMARY_2 =
    " \x82\xc6\x82\xb5\x82\xc4\x8fo\x97\xcd\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81"
    "B\n";  //  として出力しました。\n
const std::string LOG_HEADER =
    "\x95\xcf\x8a\xb7\x8c\xb3mht\x83t\x83@\x83"
    "C\x83\x8b,\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x90\x94,\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x96\xbc\n";  // 変換元mhtファイル,出力ファイル数,出力ファイル名\n
const std::string INPUT_MISSING = "\x93\xfc\x97\xcd\x83t\x83@\x83"
                                  "C\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82"
                                  "\xb9\x82\xf1\n";  // 入力ファイルが見つかりません\n

// What the console shows for text: the Windows console stores each "\n" as CR LF.
std::string
console(const std::string &text)
{
    return programs_use_crlf_console() ? crlf(text) : text;
}

// Standard base64 with 76-column lines, as the browser writes image parts.
std::string
base64_lines(const std::string &bytes)
{
    static const char ALPHABET[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        unsigned v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= n ? ALPHABET[(v >> (18 - 6 * k)) & 63] : '=';
    }
    std::string lines;
    for (std::size_t i = 0; i < text.size(); i += 76)
        lines += text.substr(i, 76) + "\n";
    return lines;
}

// Bytes of every value 0-255, twice: what an image part must come back as.
std::string
binary_payload()
{
    std::string bytes;
    for (int round = 0; round < 2; ++round)
        for (int b = 0; b < 256; ++b)
            bytes += static_cast<char>(b);
    return bytes;
}

const std::string B = "----=_NextPart_000_0000_01C8E5C8.4BB6A9E0";

// An archive as the browser saves a page: quoted-printable HTML, then a base64 image.
std::string
ie_archive(const std::string &html_qp, const std::string &image_location, const std::string &image)
{
    return crlf("From: <Saved by a browser>\nSubject: page\nMIME-Version: 1.0\n"
                "Content-Type: multipart/related;\n\ttype=\"text/html\";\n\tboundary=\"" +
                B +
                "\"\nX-MimeOLE: Produced By a MIME library\n\n"
                "This is a multi-part message in MIME format.\n\n--" +
                B +
                "\nContent-Type: text/html;\n\tcharset=\"shift_jis\"\n"
                "Content-Transfer-Encoding: quoted-printable\n"
                "Content-Location: http://example.test/dir/page.html\n\n" +
                html_qp + "\n--" + B +
                "\nContent-Type: image/gif\nContent-Transfer-Encoding: base64\n"
                "Content-Location: " +
                image_location + "\n\n" + base64_lines(image) + "\n--" + B + "--\n");
}

class Batch : public ScratchDirTest
{
};

}  // namespace

TEST_F(Batch, DeclinedOrEndedInputPrintsOnlyTheExplanation)
{
    write_file("a.mht", "Content-Type: text/plain\r\n\r\nx\r\n");
    for (const std::string input : {"n\n", "N\n", "\n", "", "x\n", "no\n"}) {
        const program_result r = run_program("fenwrack_nosleep", scratch, input);
        EXPECT_EQ(r.status, 0) << input;
        EXPECT_EQ(r.out, console(BANNER + PROMPT)) << input;
        EXPECT_EQ(list_program_names(scratch), std::vector<std::string>{"a.mht"}) << input;
    }
}

TEST_F(Batch, LineWithoutFirstCharacterAsksAgain)
{
    const program_result r =
        run_program("fenwrack_nosleep", scratch, std::string("\0\n\0\nn\n", 6));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(BANNER + PROMPT + PROMPT + PROMPT));
}

TEST_F(Batch, NoArchivePrintsNotFoundAndCreatesNoLog)
{
    write_file("a.mhtml", "x");
    const program_result r = run_program("fenwrack_nosleep", scratch, "Yes\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(BANNER + PROMPT + "\n" + NOT_FOUND + ENTER));
    EXPECT_EQ(list_program_names(scratch), std::vector<std::string>{"a.mhtml"});
}

TEST_F(Batch, SplitsAnArchiveAndLogsItUnderAFreeName)
{
    write_file("log.csv", "old log\r\n");
    write_file("log_0001.csv", "older log\r\n");
    const std::string image = binary_payload();
    write_file("Page.mht", ie_archive("<html><body>=82=A0 a=3Db=\n c</body></html>",
                                      "http://example.test/img/pic.gif", image));
    // the answer is longer than the read: its rest ends the Enter wait at once
    const program_result r = run_program("fenwrack_nosleep", scratch, "yes, please go on\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              console(BANNER + PROMPT + "\n" + SUMMARY_1 + "log_0002.csv" + SUMMARY_2 + ENTER));
    EXPECT_EQ(list_program_names(scratch),
              (std::vector<std::string>{"Page.mht", "log.csv", "log_0001.csv", "log_0002.csv",
                                        "page.html", "pic.gif"}));
    EXPECT_EQ(read_file("page.html"), "<html><body>\x82\xa0 a=b c</body></html>\r\n");
    EXPECT_EQ(read_file("pic.gif"), image);
    EXPECT_EQ(read_file("log_0002.csv"), crlf(LOG_HEADER + "Page.mht,2,page.html,pic.gif\n"));
    EXPECT_EQ(read_file("log.csv"), "old log\r\n");
}

TEST_F(Batch, FolderNamedLikeAnArchiveEndsTheRun)
{
    std::filesystem::create_directory("x.mht");
    const program_result r = run_program("fenwrack_nosleep", scratch, "Y\n\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, console(BANNER + PROMPT + "\n" + INPUT_MISSING));
    EXPECT_EQ(read_file("log.csv"), crlf(LOG_HEADER));
}

TEST_F(Batch, ShippedProgramRunsWithItsPause)
{
    write_file("a.mht", crlf("Content-Type: text/plain\n\nbody\n"));
    for (const char *program : {"fenwrack", "fenwrack_dated"}) {
        const program_result r = run_program(program, scratch, "Y\n\n");
        EXPECT_EQ(r.status, 0) << program;
        EXPECT_EQ(read_file("a.dec"), "body\r\n") << program;
    }
}

TEST_F(Batch, EveryCorpusArchiveIsWalkedWithoutFailure)
{
    const std::filesystem::path corpus(FENWRACK_CORPUS_DIR);
    if (!std::filesystem::exists(corpus))
        GTEST_SKIP() << "no corpus beside the project";
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(corpus)) {
        if (entry.path().filename() == "SOURCES.md")
            continue;
        const std::filesystem::path folder = scratch / std::to_string(count++);
        std::filesystem::create_directory(folder);
        std::filesystem::copy_file(entry.path(), folder / "in.mht");
        const program_result r = run_program("fenwrack_nosleep", folder, "Y\n\n");
        EXPECT_EQ(r.status, 0) << entry.path();
        const std::string log = read_file(folder / "log.csv");
        EXPECT_EQ(log.rfind(crlf(LOG_HEADER) + "in.mht,", 0), 0u) << entry.path();
        EXPECT_EQ(read_file(folder / "in.mht"), read_file(entry.path())) << entry.path();
    }
    EXPECT_GT(count, 20);
}
