#include "decode/decode.hpp"
#include "tests/decode/line_decoder_harness.hpp"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace
{

using namespace std::string_literals;

// Decodes src, placed at the end of an exact-size heap block, into a canary-filled dst of
// dst_size bytes (0: the contract's source length plus two). Checks the terminator and that
// nothing past it changed.
std::string
decode(const std::string &src, std::size_t dst_size = 0)
{
    if (dst_size == 0)
        dst_size = src.size() + 2;
    return decode_guarded(decode_qp_line, src, dst_size, 0);
}

class QuotedPrintableVectors : public testing::TestWithParam<vector_case>
{
};

TEST_P(QuotedPrintableVectors, DecodesExactBytes)
{
    EXPECT_EQ(decode(GetParam().src, GetParam().dst_size), GetParam().expected);
}

const std::string RUN(300, 'x');

INSTANTIATE_TEST_SUITE_P(
    Lines, QuotedPrintableVectors,
    testing::Values(
        vector_case{"Plain", "abc\n", "abc\r\n"}, vector_case{"LineEndOnly", "\n", "\r\n"},
        vector_case{"Empty", "", ""}, vector_case{"Escape", "a=3Db\n", "a=b\r\n"},
        vector_case{"LowerCaseEscape", "a=3db\n", "a=b\r\n"},
        vector_case{"Escapes", "=E3=81=82\n", "\xE3\x81\x82\r\n"},
        vector_case{"SoftBreak", "abc=\n", "abc"},
        vector_case{"EscapeThenSoftBreak", "=41=\n", "A"},
        vector_case{"SoftBreakEndsLine", "a=\nb", "a"},
        vector_case{"LongRuns", RUN + "=41" + RUN + "=\n", RUN + "A" + RUN},
        // Both bytes after '=' are consumed, whatever they are.
        vector_case{"OneDigitTakesLineEnd", "=4\n", "\x04"},
        vector_case{"NonDigitGivesZero", "=G1\n", "\0\r\n"s},
        vector_case{"LeadingSpaceSkipped", "= 4\n", "\x04\r\n"},
        vector_case{"MinusSign", "=-1\n", "\xFF\r\n"},
        vector_case{"SpaceBeforeLineEnd", "= \n", "\0"s},
        vector_case{"SignThenSpace", "=- 5\n", "\0"s + "5\r\n"},
        vector_case{"UnderscoreKept", "a_b\n", "a_b\r\n"},
        vector_case{"WordText", "=82=A0", "\x82\xA0"},
        // An '=' among the last two bytes before the terminator stops there.
        vector_case{"LoneEqualsAtEnd", "ab=", "ab"}, vector_case{"EqualsOnly", "=", ""},
        vector_case{"OneDigitAtEnd", "ab=4", "ab\x04"}, vector_case{"NonDigitAtEnd", "=G", "\0"s},
        // A destination below the contract's size cuts the output instead of overrunning.
        vector_case{"SmallDestination", "abcdef\n", "abcd", 5},
        vector_case{"SmallDestinationInLineEnd", "abc\n", "abc\r", 5},
        vector_case{"SmallDestinationAtEscape", "ab=41=42\n", "abA", 4}),
    [](const testing::TestParamInfo<vector_case> &p) { return std::string(p.param.name); });

// Every escape decodes to the low 8 bits of what the C library's strtol reads from its two
// bytes (or one, before the terminator) in base 16.
TEST(QuotedPrintable, EscapeMatchesStrtolForEveryBytePair)
{
    for (int t0 = 1; t0 < 256; ++t0) {
        for (int t1 = 0; t1 < 256 && t0 != '\n'; ++t1) {
            const char text[3] = {static_cast<char>(t0), static_cast<char>(t1), '\0'};
            const std::string decoded = decode(std::string("=").append(text));
            ASSERT_FALSE(decoded.empty());
            ASSERT_EQ(decoded[0], static_cast<char>(std::strtol(text, nullptr, 16) & 0xFF))
                << "escape bytes " << t0 << " " << t1;
        }
    }
}

}  // namespace
