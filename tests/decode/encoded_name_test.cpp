#include "decode/decode.hpp"
#include "tests/common/test_files.hpp"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace
{

using namespace std::string_literals;

// テスト.jpg
const std::string TEST_JPG = "\x83\x65\x83\x58\x83\x67.jpg";

// The buffers of one call, sized as at the call site, with the header line read as the main
// loop reads it (at most LINE_BUFFER_SIZE - 2 bytes).
struct name_call {
    text_input archive;
    std::vector<char> line = std::vector<char>(LINE_BUFFER_SIZE);
    std::vector<char> scratch = std::vector<char>(LINE_BUFFER_SIZE);
    std::vector<char> out_name = std::vector<char>(LINE_BUFFER_SIZE);
};

// Opens archive.mht holding bytes, reads its first line and decodes it with out_name starting
// as start_name. Returns the name.
std::string
decode_first_line(name_call *call, const std::string &bytes, const std::string &start_name)
{
    write_file("archive.mht", bytes);
    EXPECT_TRUE(text_open_read(&call->archive, "archive.mht"));
    EXPECT_TRUE(text_read_line(&call->archive, std::span(call->line).first(LINE_BUFFER_SIZE - 1)));
    copy_bounded(call->out_name, start_name);
    decode_encoded_name(&call->archive, call->line, call->scratch, call->out_name, "name.dec");
    EXPECT_STREQ(call->line.data(), call->out_name.data());
    return call->out_name.data();
}

// The next line the main loop would read, or "<end>".
std::string
next_line(name_call *call)
{
    char buf[LINE_BUFFER_SIZE];
    return text_read_line(&call->archive, std::span(buf).first(LINE_BUFFER_SIZE - 1))
               ? std::string(buf)
               : "<end>";
}

struct name_case {
    const char *name;
    std::vector<std::string> lines;  // joined with the line end under test
    std::string expected;            // appended to "a.dec"
    std::string next;                // the main loop's next read, with "\n"
};

class EncodedNameVectors : public ScratchDirTest,
                           public testing::WithParamInterface<std::tuple<name_case, const char *>>
{
};

TEST_P(EncodedNameVectors, AppendsWordsAndHandsBackNextLine)
{
    const auto &[c, eol] = GetParam();
    std::string bytes;
    for (const std::string &l : c.lines)
        bytes += l + eol;
    name_call call;
    EXPECT_EQ(decode_first_line(&call, bytes, "a.dec"), "a.dec" + c.expected);
    EXPECT_EQ(next_line(&call), c.next);
    text_close(&call.archive);
}

const name_case NAME_CASES[] = {
    {"ShiftJisBase64",
     {"Content-Location: =?shift_jis?B?g2WDWINnLmpwZw==?=", "Content-Transfer-Encoding: base64"},
     TEST_JPG,
     "Content-Transfer-Encoding: base64\n"},
    {"FoldedIso2022jp",
     {"Content-Location: =?iso-2022-jp?B?GyRCJUYbKEI=?=", "\t=?iso-2022-jp?B?GyRCJTklSBsoQg==?=",
      "Content-Type: image/jpeg"},
     "\x83\x65\x83\x58\x83\x67",  // テスト
     "Content-Type: image/jpeg\n"},
    {"CapitalsInCharsetName",
     {"Content-Location: =?Shift_JIS?Q?=83e=83X=83g.jpg?=", ""},
     TEST_JPG,
     "\n"},
    {"OnlyFirstWordOfLine",
     {"Content-Location: =?shift_jis?Q?a?= =?shift_jis?Q?b?=", "x"},
     "a",
     "x\n"},
    // Once an iso-2022-jp word was met, later words pass through the JIS conversion too.
    {"IsoFlagSticks",
     {"Content-Location: =?iso-2022-jp?Q?x?=", " =?shift_jis?B?GyRCJTklSBsoQg==?=", "y"},
     "x\x83\x58\x83\x67",
     "y\n"},
    {"UnclosedQWordKeepsLineEnd", {"Content-Location: =?shift_jis?Q?ab", "y"}, "ab\r\n", "y\n"},
    {"EndOfInputKeepsName", {"Content-Location: =?shift_jis?Q?ab?="}, "ab", "<end>"},
};

INSTANTIATE_TEST_SUITE_P(Archives, EncodedNameVectors,
                         testing::Combine(testing::ValuesIn(NAME_CASES),
                                          testing::Values("\r\n", "\n")),
                         [](const auto &p) {
                             return std::string(std::get<0>(p.param).name) +
                                    (std::string(std::get<1>(p.param)) == "\n" ? "Lf" : "CrLf");
                         });

TEST_F(ScratchDirTest, LowerCaseLetterFallsBackToUniqueDefaultName)
{
    write_file("name.dec", "taken");
    name_call call;
    testing::internal::CaptureStdout();
    const std::string name = decode_first_line(
        &call,
        "Content-Location: =?shift_jis?B?g2WDWINnLmpwZw==?=\r\n =?shift_jis?b?g2U=?=\r\n"
        "Content-Type: image/jpeg\r\n",
        "a.dec");
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(name, "name_0001.dec");
    // error:ファイル名のエンコード方式が不明です。name_0001.decとして出力します
    EXPECT_EQ(printed, "error:\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc\x82\xcc\x83\x47\x83\x93"
                       "\x83\x52\x81\x5b\x83\x68\x95\xfb\x8e\xae\x82\xaa\x95\x73\x96\xbe\x82\xc5"
                       "\x82\xb7\x81\x42"
                       "name_0001.dec"
                       "\x82\xc6\x82\xb5\x82\xc4\x8f\x6f\x97\xcd\x82\xb5\x82\xdc\x82\xb7\n");
    EXPECT_EQ(next_line(&call), "Content-Type: image/jpeg\n");  // nothing put back
    text_close(&call.archive);
}

TEST_F(ScratchDirTest, NameThatDoesNotFitIsCutAtCharacter)
{
    name_call call;
    call.out_name = std::vector<char>(12);  // an exact-size block: an overrun is caught
    EXPECT_EQ(decode_first_line(&call, "Content-Location: =?shift_jis?B?g2WDWINnLmpwZw==?=\r\n",
                                "abcdefgh"),
              "abcdefgh\x83\x65");  // テ fits, ス would not
    text_close(&call.archive);
}

// The last line of an archive may end right after the letter; line sits in an exact-size
// block so a read past its terminator is caught.
TEST_F(ScratchDirTest, LineEndingAtLetterDecodesNothing)
{
    for (const std::string tail : {"B", "B?", ""}) {
        const std::string header = "Content-Location: =?shift_jis?" + tail;
        write_file("archive.mht", header);
        text_input archive;
        ASSERT_TRUE(text_open_read(&archive, "archive.mht"));
        auto line = std::make_unique<char[]>(header.size() + 1);
        ASSERT_TRUE(text_read_line(&archive, std::span(line.get(), header.size() + 1)));
        char work[LINE_BUFFER_SIZE];
        char out[LINE_BUFFER_SIZE] = "a.dec";
        decode_encoded_name(&archive, std::span(line.get(), header.size() + 1), work, out,
                            "name.dec");
        EXPECT_STREQ(out, "a.dec") << tail;
        EXPECT_FALSE(text_read_line(&archive, work)) << tail;
        text_close(&archive);
    }
}

// The main loop of the splitter, as far as locations go: reads pieces of at most 10238 bytes
// and hands every "Content-Location:" line with a word start to decode_encoded_name. Returns
// the number of calls; stops after 20 reads, which these archives never need.
int
run_header_loop(const std::string &bytes, std::vector<std::string> *lines_out)
{
    write_file("archive.mht", bytes);
    text_input archive;
    EXPECT_TRUE(text_open_read(&archive, "archive.mht"));
    std::vector<char> line(LINE_BUFFER_SIZE);
    std::vector<char> scratch(LINE_BUFFER_SIZE);
    std::vector<char> out(LINE_BUFFER_SIZE);
    int calls = 0;
    for (int reads = 0; reads < 20; ++reads) {
        if (!text_read_line(&archive, std::span(line).first(LINE_BUFFER_SIZE - 1)))
            break;
        lines_out->push_back(std::string(line.data()).substr(0, 20));
        const bool has_word = std::strstr(line.data(), "=?shift_jis?") != nullptr;
        if (has_prefix_nocase(line.data(), "Content-Location:") && has_word) {
            ++calls;
            copy_bounded(out, "a.dec");
            decode_encoded_name(&archive, line, scratch, out, "name.dec");
        }
    }
    text_close(&archive);
    return calls;
}

// A "Content-Location:" line cut by the main loop's read is decoded once: the rest of the
// line is handed back as a line of its own, never the header again.
TEST_F(ScratchDirTest, CutLocationLineIsDecodedOnce)
{
    const std::string prefix = "Content-Location: ";
    const std::string word = "=?shift_jis?";
    const std::size_t piece = LINE_BUFFER_SIZE - 2;
    const std::string cases[] = {
        prefix + word + "Q?" + std::string(12000, 'a') + "?=",
        // the read ends right after the word start, before the letter
        prefix + std::string(piece - prefix.size() - word.size(), 'x') + word + "Q?ab?=",
    };
    for (const std::string &location : cases) {
        std::vector<std::string> lines;
        EXPECT_EQ(run_header_loop(location + "\r\nContent-Type: text/html\r\n\r\n", &lines), 1);
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[2], "Content-Type: text/h");
    }
}

struct rewind_case {
    const char *name;
    std::string bytes;
    int reads;  // lines read with a full-size buffer before the rewind
    int count;
    std::int64_t position;
};

class RewindLinesVectors : public ScratchDirTest, public testing::WithParamInterface<rewind_case>
{
};

TEST_P(RewindLinesVectors, LandsAtLineStart)
{
    const rewind_case &c = GetParam();
    write_file("archive.mht", c.bytes);
    text_input archive;
    ASSERT_TRUE(text_open_read(&archive, "archive.mht"));
    std::vector<char> line(LINE_BUFFER_SIZE);
    for (int k = 0; k < c.reads; ++k)
        ASSERT_TRUE(text_read_line(&archive, line));
    rewind_lines(&archive, c.count);
    EXPECT_EQ(text_tell(&archive), c.position);
    text_close(&archive);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, RewindLinesVectors,
    testing::Values(rewind_case{"EmptyCrLfLineToItsCr", "ab\r\n\r\ncd\r\n", 2, 1, 4},
                    rewind_case{"EmptyLfLineToItsLf", "ab\n\ncd\n", 2, 1, 3},
                    rewind_case{"TextLine", "ab\r\ncde\r\nf\r\n", 2, 1, 4},
                    rewind_case{"LastLineWithoutEnd", "ab\r\nc", 2, 1, 4},
                    rewind_case{"CutLineToPieceStart", std::string(10239, 'x') + "yz\r\n", 1, 1, 0},
                    rewind_case{"RestOfCutLine", std::string(10239, 'x') + "yz\r\n", 2, 1, 10239},
                    rewind_case{"TwoLinesCrLf", "ab\r\ncde\r\nf\r\n", 3, 2, 4},
                    rewind_case{"TwoLinesLf", "ab\ncde\n\nf\n", 4, 3, 3},
                    rewind_case{"StopsAtFileStart", "ab\r\ncd\r\n", 2, 5, 0},
                    rewind_case{"LongLineBeforeCrossesWindows",
                                "a\n" + std::string(9000, 'x') + "\r\nb\r\n", 3, 2, 2},
                    rewind_case{"ZeroDoesNothing", "ab\r\ncd\r\n", 1, 0, 4}),
    [](const testing::TestParamInfo<rewind_case> &p) { return std::string(p.param.name); });

}  // namespace
