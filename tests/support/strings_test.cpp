#include "support/support.hpp"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

TEST(StrNicmp, ComparesIgnoringAsciiCaseOnly)
{
    struct row {
        const char *text;
        const char *literal;
        std::size_t n;
        int sign;  // -1, 0 or 1
    };

    const row rows[] = {
        {"Content-type: text/html", "Content-Type: ", 14, 0},
        {"tm", "tmp", 3, -1},  // a shorter text is never equal
        {"TMP", "tmp", 3, 0},
        {"tmpx", "tmp", 3, 0},
        {"", "a", 1, -1},
        {"abc", "", 1, 1},
        {"b", "a", 1, 1},
        {"\xc1", "\xe1", 1, -1},  // bytes above 0x7F are not folded
        {"x", "y", 0, 0},
    };
    for (const row &r : rows) {
        const int result = str_nicmp(r.text, r.literal, r.n);
        EXPECT_EQ((result > 0) - (result < 0), r.sign) << r.text << " / " << r.literal;
    }
}

TEST(DigitRunMax, CountsUpToTheLimit)
{
    EXPECT_EQ(digit_run_max("1234567890123456", 13), 13);
    EXPECT_EQ(digit_run_max("12a", 250), 2);
    EXPECT_EQ(digit_run_max("a1", 5), 0);
    EXPECT_EQ(digit_run_max("", 5), 0);
}

TEST(CopyBounded, CutsAndAlwaysTerminates)
{
    char small[4];
    EXPECT_FALSE(copy_bounded(small, "abcdef"));
    EXPECT_STREQ(small, "abc");
    EXPECT_TRUE(copy_bounded(small, "ab"));
    EXPECT_STREQ(small, "ab");
}

TEST(AppendBounded, NeverSplitsADoubleByteCharacter)
{
    char buf[6] = "ab";
    // room for 3 bytes: the second character (2 bytes) would be cut after its lead byte
    EXPECT_FALSE(append_bounded(buf, "c\x82\xa0\x82\xa0"));
    EXPECT_STREQ(buf, "abc\x82\xa0");
    char full[3] = "ab";
    EXPECT_FALSE(append_bounded(full, "x"));
    EXPECT_STREQ(full, "ab");
}

// find_text answers as std::string_view::find over short texts of few letters, where partial
// matches abound, from every start.
TEST(FindText, AnswersAsStringFind)
{
    std::mt19937 random(11);
    for (int k = 0; k < 3000; ++k) {
        std::string text(random() % 70, 'a');
        for (char &c : text)
            c = "ab."[random() % 3];
        std::string wanted(random() % 5, 'a');
        for (char &c : wanted)
            c = "ab."[random() % 3];
        for (std::size_t from = 0; from <= text.size() + 1; ++from)
            ASSERT_EQ(find_text(text, wanted, from), std::string_view(text).find(wanted, from))
                << "'" << wanted << "' in '" << text << "' from " << from;
        ASSERT_EQ(find_char(text, '.'), text.find('.')) << text;
    }
}
