#include "decode/decode.hpp"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace
{

using namespace std::string_literals;

constexpr char CANARY = '\xA5';

// テスト.jpg
const std::string TEST_JPG = "\x83\x65\x83\x58\x83\x67.jpg";

struct word_case {
    const char *name;
    std::string line;  // placed with its terminator in an exact-size block
    bool iso_in;       // an iso-2022-jp word was met on an earlier line
    word_result result;
    std::string appended;  // to "a.dec"
    bool iso_out;
};

// Decodes line into a name that starts as start in a canary-filled block of name_size bytes;
// fails when a byte past the name's terminator changed. Returns the name.
std::string
decode_word(const std::string &line, bool *iso, word_result *result_out, const char *start,
            std::size_t name_size)
{
    auto block = std::make_unique<char[]>(line.size() + 1);
    std::memcpy(block.get(), line.c_str(), line.size() + 1);
    std::vector<char> scratch(LINE_BUFFER_SIZE + 4);
    auto name = std::make_unique<char[]>(name_size);
    std::memset(name.get(), CANARY, name_size);
    copy_bounded(std::span(name.get(), name_size), start);
    *result_out = decode_encoded_word(std::span(block.get(), line.size() + 1), scratch, iso,
                                      std::span(name.get(), name_size));
    const std::size_t len = bounded_length(std::span(name.get(), name_size));
    EXPECT_LT(len, name_size);
    for (std::size_t i = len + 1; i < name_size; ++i)
        EXPECT_EQ(name[i], CANARY) << "byte " << i;
    return std::string(name.get(), len);
}

class EncodedWordVectors : public testing::TestWithParam<word_case>
{
};

TEST_P(EncodedWordVectors, AppendsFirstWordOfLine)
{
    const word_case &c = GetParam();
    bool iso = c.iso_in;
    word_result result = WORD_NONE;
    EXPECT_EQ(decode_word(c.line, &iso, &result, "a.dec", 64), "a.dec" + c.appended);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(iso, c.iso_out);
}

const word_case WORD_CASES[] = {
    {"ShiftJisBase64", "Content-Location: =?shift_jis?B?g2WDWINnLmpwZw==?=\n", false, WORD_APPENDED,
     TEST_JPG, false},
    {"IsoWordIsConvertedAndSetsFlag", "Content-Location: =?iso-2022-jp?B?GyRCJUYbKEI=?=\n", false,
     WORD_APPENDED, "\x83\x65", true},  // テ
    // once an iso-2022-jp word was met, later words pass through the JIS conversion too
    {"FlagFromEarlierLineConverts", " =?shift_jis?B?GyRCJTklSBsoQg==?=\n", true, WORD_APPENDED,
     "\x83\x58\x83\x67", true},  // スト
    {"ShiftJisWordAloneIsNotConverted", " =?shift_jis?B?GyRCJTklSBsoQg==?=\n", false, WORD_APPENDED,
     "\x1b$B%9%H\x1b(B", false},
    {"CapitalsInCharsetName", "Content-Location: =?Shift_JIS?Q?=83e=83X=83g.jpg?=\n", false,
     WORD_APPENDED, TEST_JPG, false},
    {"OnlyFirstWordOfLine", "=?shift_jis?Q?a?= =?iso-2022-jp?Q?b?=\n", false, WORD_APPENDED, "a",
     false},
    {"UnclosedQWordKeepsLineEnd", " =?shift_jis?Q?ab\n", false, WORD_APPENDED, "ab\r\n", false},
    {"DecodedNulEndsWord", "=?shift_jis?Q?a=00b?=\n", false, WORD_APPENDED, "a", false},
    // the last line of an archive may end right after the letter
    {"LineEndsAtLetter", "=?shift_jis?B", false, WORD_APPENDED, "", false},
    {"LineEndsAfterLetter", "=?shift_jis?B?", false, WORD_APPENDED, "", false},
    {"NoWordStart", "Content-Transfer-Encoding: base64\n", true, WORD_NONE, "", true},
    {"WordStartEndsLine", "x=?shift_jis?", false, WORD_NONE, "", false},
    {"LowerCaseLetter", "=?shift_jis?b?g2U=?=\n", false, WORD_UNKNOWN_LETTER, "", false},
    {"LineEndAsLetter", "=?shift_jis?\n", false, WORD_UNKNOWN_LETTER, "", false},
};

INSTANTIATE_TEST_SUITE_P(Lines, EncodedWordVectors, testing::ValuesIn(WORD_CASES),
                         [](const auto &p) { return std::string(p.param.name); });

TEST(EncodedWord, NameThatDoesNotFitIsCutAtCharacter)
{
    bool iso = false;
    word_result result = WORD_NONE;
    EXPECT_EQ(decode_word("=?shift_jis?B?g2WDWINnLmpwZw==?=\n", &iso, &result, "abcdefgh", 12),
              "abcdefgh\x83\x65");  // テ fits, ス would not
    EXPECT_EQ(result, WORD_APPENDED);
}

}  // namespace
