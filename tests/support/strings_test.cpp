#include "support/support.hpp"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

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
