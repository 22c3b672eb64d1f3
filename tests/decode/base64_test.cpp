#include "decode/decode.hpp"
#include "tests/decode/line_decoder_harness.hpp"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>

namespace
{

using namespace std::string_literals;

// Decodes src, placed at the end of an exact-size heap block, into a canary-filled dst of
// dst_size bytes (0: the contract's three per four characters plus four). Checks the
// terminator and that nothing past count + 1 changed (a padded last group may fill count + 1).
std::string
decode(const std::string &src, std::size_t dst_size = 0)
{
    if (dst_size == 0)
        dst_size = src.size() * 3 / 4 + 4;
    return decode_guarded(decode_base64_line, src, dst_size, 1);
}

class Base64Vectors : public testing::TestWithParam<vector_case>
{
};

TEST_P(Base64Vectors, DecodesExactBytes)
{
    EXPECT_EQ(decode(GetParam().src, GetParam().dst_size), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Base64Vectors,
    testing::Values(
        vector_case{"Group", "QUJD\n", "ABC"}, vector_case{"OnePad", "QUI=\n", "AB"},
        vector_case{"TwoPads", "QQ==\n", "A"}, vector_case{"TwoGroups", "QUJDQUJD\n", "ABCABC"},
        vector_case{"HighBytes", "gYKBgg==\n", "\x81\x82\x81\x82"},
        vector_case{"LineEndOnly", "\n", ""}, vector_case{"Empty", "", ""},
        vector_case{"TabCountsZero", "QU\tD\n", "\x41\x40\x03"},
        vector_case{"PadInThirdPlaceOnly", "Q=Q=\n", "\x40\x04"},
        vector_case{"PadsInFrontCountZero", "==QQ\n", "\x00\x04\x10"s},
        vector_case{"PadMidLineCountsZero", "QQ==QUJD\n", "A\0\0ABC"s},
        vector_case{"LowerCaseDiffers", "aaaa\n", "\x69\xA6\x9A"},
        // The line ends only at a group start; a "\n" inside a group is a character of value 0.
        vector_case{"LineEndStopsAtGroupStart", "QUJD\nQUJD\n", "ABC"},
        vector_case{"LineEndInsideGroup", "QU\nD\n", "\x41\x40\x03"},
        vector_case{"LineEndAfterFiveGroups", "QUJDQUJDQUJDQUJDQUJD\nQUJDQUJDQUJDQUJD\n",
                    "ABCABCABCABCABC"},
        // Last groups cut by the terminator: what is there decodes, the group counts three.
        vector_case{"ThreeCharsAndLineEnd", "QUI\n", "AB\x00"s},
        vector_case{"OneCharAndLineEnd", "Q\n", "\x40\x00\x00"s},
        vector_case{"CutAfterWholeGroup", "QUJDQ", "ABC\x40\x00\x00"s},
        vector_case{"CutWithPad", "QQ=", "A\x00"s},
        vector_case{"SmallDestinationCutsAtGroups", "QUJDQUJDQUJD\n", "ABCABC", 7}),
    [](const testing::TestParamInfo<vector_case> &p) { return std::string(p.param.name); });

// Standard base64 with padding, the encoder's side, as the reference for whole lines.
std::string
encode_reference(const std::string &bytes)
{
    static constexpr char ALPHABET[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        unsigned v = unsigned{static_cast<unsigned char>(bytes[i])} << 16;
        if (left > 1)
            v |= unsigned{static_cast<unsigned char>(bytes[i + 1])} << 8;
        if (left > 2)
            v |= static_cast<unsigned char>(bytes[i + 2]);
        out += ALPHABET[(v >> 18) & 63];
        out += ALPHABET[(v >> 12) & 63];
        out += left > 1 ? ALPHABET[(v >> 6) & 63] : '=';
        out += left > 2 ? ALPHABET[v & 63] : '=';
    }
    return out;
}

// Covers every place a line can end relative to the four-group passes (57 bytes: 76 columns).
TEST(Base64, RoundTripsEveryLengthUpTo300)
{
    std::mt19937 random(7);
    for (std::size_t len = 0; len <= 300; ++len) {
        std::string bytes(len, '\0');
        for (char &b : bytes)
            b = static_cast<char>(random() & 0xFF);
        const std::string line = encode_reference(bytes);
        EXPECT_EQ(decode(line + "\n"), bytes) << "length " << len;
        EXPECT_EQ(decode(line), bytes) << "length " << len;
    }
}

}  // namespace
