#include "platform/platform.hpp"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>

// Every length up to 100 and every position of the byte (or none), the text at the very end of
// an exact-size heap block (a read past it is caught under AddressSanitizer), with other
// copies of the byte before the text and after the first: find_byte answers as memchr does.
TEST(FindByte, AnswersAsMemchrAtEveryLengthAndPosition)
{
    for (std::size_t len = 0; len <= 100; ++len) {
        for (std::size_t at = 0; at <= len; ++at) {  // at == len: the byte is not there
            auto block = std::make_unique<char[]>(len + 1);
            block[0] = '\n';  // before the text: never found
            char *text = block.get() + 1;
            std::memset(text, 'x', len);
            if (at < len) {
                text[at] = '\n';
                for (std::size_t k = at + 1; k < len; k += 7)
                    text[k] = '\n';
            }
            const void *expected = std::memchr(text, '\n', len);
            ASSERT_EQ(find_byte(text, '\n', len), expected) << len << " bytes, the byte at " << at;
        }
    }
}

TEST(FindByte, FindsEveryByteValue)
{
    std::mt19937 random(7);
    std::string text(300, '\0');
    for (char &c : text)
        c = static_cast<char>(random() % 256);
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        for (std::size_t from :
             {std::size_t{0}, std::size_t{1}, std::size_t{17}, std::size_t{290}}) {
            const void *expected = std::memchr(text.data() + from, value, text.size() - from);
            ASSERT_EQ(find_byte(text.data() + from, byte, text.size() - from), expected) << value;
        }
    }
}

// find_text answers as std::string_view::find over texts of few letters, where partial matches
// abound, for every start; each text lies at the very end of an exact-size heap block.
TEST(FindText, AnswersAsStringFind)
{
    std::mt19937 random(11);
    for (int k = 0; k < 3000; ++k) {
        const std::size_t len = random() % 120;
        auto block = std::make_unique<char[]>(len);
        for (std::size_t i = 0; i < len; ++i)
            block[i] = "ab."[random() % 3];
        const std::string_view text(block.get(), len);
        std::string wanted(random() % (k % 10 == 0 ? 20 : 5), 'a');
        for (char &c : wanted)
            c = "ab."[random() % 3];
        for (std::size_t from = 0; from <= len + 1; ++from)
            ASSERT_EQ(find_text(text, wanted, from), text.find(wanted, from))
                << "'" << wanted << "' in '" << text << "' from " << from;
    }
}
