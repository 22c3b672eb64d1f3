// A line handed over in place comes as its text and a line-feed flag; it must decode exactly as
// the same line as a string, with the "\n" at its end.
#include "decode/decode.hpp"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace
{

// Decoded bytes of one call, the count and the terminator after them included.
template <typename decode_call>
std::string
decoded(decode_call call, std::size_t dst_size)
{
    std::vector<char> dst(dst_size, '\x5a');
    std::int32_t count = -1;
    call(std::span<char>(dst), &count);
    EXPECT_GE(count, 0);
    return std::string(dst.data(), static_cast<std::size_t>(count) + 1);
}

TEST(LineForms, TextAndLineFeedDecodeAsTheLine)
{
    std::mt19937 random(11);
    // letters of both alphabets, '=' and the bytes that make escapes odd
    const std::string bytes = "QUJDgYK+/=AaZz09 \t-G";
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 24, 'A');
        for (char &c : text)
            c = bytes[random() % bytes.size()];
        const bool line_feed = round % 2 == 0;
        const std::string line = text + (line_feed ? "\n" : "");
        const std::size_t size = line.size() + 4;
        ASSERT_EQ(decoded([&](auto dst, auto n) { decode_qp_text(text, line_feed, dst, n); }, size),
                  decoded([&](auto dst, auto n) { decode_qp_line(line.c_str(), dst, n); }, size))
            << "quoted-printable \"" << line << "\"";
        ASSERT_EQ(
            decoded([&](auto dst, auto n) { decode_base64_text(text, dst, n); }, size),
            decoded([&](auto dst, auto n) { decode_base64_line(line.c_str(), dst, n); }, size))
            << "base64 \"" << line << "\"";
    }
}

// A NUL in base64 text ends it as the terminator ends a string, wherever it stands: in the
// whole groups a vector loop takes, or after them.
TEST(LineForms, NulEndsBase64TextAsTheTerminatorDoes)
{
    std::mt19937 random(13);
    const std::string bytes = "QUJDgYK+/=AaZz09";
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 100, 'A');
        for (char &c : text)
            c = bytes[random() % bytes.size()];
        if (!text.empty() && round % 2 == 0)
            text[random() % text.size()] = '\0';
        const std::size_t size = text.size() + 4;
        ASSERT_EQ(
            decoded([&](auto dst, auto n) { decode_base64_text(text, dst, n); }, size),
            decoded([&](auto dst, auto n) { decode_base64_line(text.c_str(), dst, n); }, size))
            << "base64 \"" << text << "\"";
    }
}

}  // namespace
