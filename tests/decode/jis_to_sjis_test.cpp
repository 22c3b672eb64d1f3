#include "decode/decode.hpp"
#include "tests/decode/line_decoder_harness.hpp"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace
{

using namespace std::string_literals;

// Converts line in an exact-size heap block, so a read past its terminator is caught.
std::string
convert(const std::string &line)
{
    auto block = std::make_unique<char[]>(line.size() + 1);
    std::memcpy(block.get(), line.data(), line.size());
    block[line.size()] = '\0';
    jis_to_sjis(block.get());
    return std::string(block.get());
}

struct convert_case {
    const char *name;
    std::string line;
    std::string expected;
};

// Rows print as their names and lines, not as raw object bytes.
void
PrintTo(const convert_case &c, std::ostream *os)
{
    *os << c.name << " \"" << escaped(c.line) << "\"";
}

class JisToSjisVectors : public testing::TestWithParam<convert_case>
{
};

TEST_P(JisToSjisVectors, ConvertsInPlace)
{
    EXPECT_EQ(convert(GetParam().line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, JisToSjisVectors,
    testing::Values(convert_case{"NoEscapeUnchanged", "abc\x82\xa0\r\n", "abc\x82\xa0\r\n"},
                    convert_case{"Hiragana", "\x1b$B\x24\x22\x1b(B", "\x82\xa0"},  // あ
                    convert_case{"Katakana", "\x1b$B\x25\x22\x1b(B", "\x83\x41"},  // ア
                    convert_case{"Kanji", "\x1b$B\x30\x21\x1b(B", "\x88\x9f"},     // 亜
                    convert_case{"FullWidthSpace", "\x1b$B\x21\x21", "\x81\x40"},  // 　
                    convert_case{"LeadPastA0", "\x1b$B\x5f\x21", "\xe0\x40"},
                    convert_case{"TrailSkips7F", "\x1b$B\x21\x60", "\x81\x80"},
                    convert_case{"HalfWidthKana", "\x1b(I\x31\x32\x33\x1b(B",
                                 "\xb1\xb2\xb3"},  // ｱｲｳ
                    convert_case{"ShrinksByEscapes", "\x1b$B\x25\x46\x25\x39\x25\x48\x1b(B.jpg",
                                 "\x83\x65\x83\x58\x83\x67.jpg"},  // テスト.jpg
                    convert_case{"KanjiStraightToKana", "\x1b$B\x24\x22\x1b(I\x31", "\x82\xa0\xb1"},
                    convert_case{"BackToAscii", "\x1b$B\x24\x22\x1b(Ba", "\x82\xa0\x61"},
                    convert_case{"RomanIsAscii", "\x1b(Jabc", "abc"},
                    convert_case{"RomanAfterKanjiIsAscii", "\x1b$B\x24\x22\x1b(Jab",
                                 "\x82\xa0"
                                 "ab"},
                    convert_case{"UnknownDroppedModeKept", "\x1b$B\x1bNx\x24\x22", "\x82\xa0"},
                    convert_case{"UnknownParenModeKept", "\x1b$B\x1b(Z\x24\x22", "\x82\xa0"},
                    convert_case{"Jisx0212AsJisx0208", "\x1b$(D\x30\x21", "\x88\x9f"},
                    convert_case{"EscAmpersandThenKanji", "\x1b&@\x1b$B\x24\x22", "\x82\xa0"},
                    convert_case{"LineEndInKanji", "\x1b$B\x24\x22\r\n", "\x82\xa0\x77\x29"},
                    // Lines that end inside a pair or an escape sequence stop at the terminator.
                    convert_case{"LoneLastByteKept", "\x1b$B\x24\x22\x24", "\x82\xa0\x24"},
                    convert_case{"LoneLineEndKept", "\x1b$B\x24\x22\x24\r\n", "\x82\xa0\x82\x8b\n"},
                    convert_case{"CutEscAlone", "ab\x1b", "ab"},
                    convert_case{"CutEscDollar", "ab\x1b$", "ab"},
                    convert_case{"CutEscParen", "ab\x1b(", "ab"},
                    convert_case{"CutFourByteEscape", "\x1b$B\x24\x22\x1b$(", "\x82\xa0"}),
    [](const testing::TestParamInfo<convert_case> &p) { return std::string(p.param.name); });

TEST(JisToSjis, EveryLineStartsInAscii)
{
    EXPECT_EQ(convert("\x1b$B\x24\x22\r\n"), "\x82\xa0\x77\x29");
    EXPECT_EQ(convert("\x24\x22\r\n"), "\x24\x22\r\n");
}

}  // namespace
