// The conversion of names between cp932 bytes and UTF-16, as the Windows programs hand names to
// the system and read them back from the listing, whatever the system's ANSI code page.
#include "platform/internal.hpp"

#include <gtest/gtest.h>
#include <string>

namespace
{

struct name_case {
    std::string bytes;
    std::wstring wide;
};

TEST(WideNames, BytesAndUtf16NamesGoBothWays)
{
    const name_case cases[] = {
        {"", L""},
        {"a.mht", L"a.mht"},
        {"\x83\x65\x83X\x83g.mht", L"\u30c6\u30b9\u30c8.mht"},  // テスト.mht
        {"\x95\\\x8e\xa6", L"\u8868\u793a"},                    // 表示: trail byte 0x5C
        {"\xb1", L"\uff71"},                                    // half-width katakana
        // bytes that begin no character stand alone, as private-use code points
        {"ab\x82", L"ab\xf782"},  // a lead byte cut off at the end
        {"\x81\x31", L"\xf781"
                     L"1"},                 // a lead byte before a byte no trail can be
        {"\x85\x40.gif", L"\xf785@.gif"},   // a pair cp932 leaves unassigned
        {"\x82\xa0\x82", L"\u3042\xf782"},  // あ and a cut character
    };
    for (const name_case &c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(wide_from_cp932(c.bytes), c.wide);
        std::string back;
        ASSERT_TRUE(cp932_from_wide(c.wide, &back));
        EXPECT_EQ(back, c.bytes);
    }
}

TEST(WideNames, CharactersCp932LacksHaveNoName)
{
    const std::wstring lacking[] = {
        L"\ud55c\uad6d\uc5b4.mht",  // 한국어.mht
        L"caf\u00e9\u2615.mht",     // café☕.mht
        L"\U0001f600.mht",          // a character beyond the BMP
        L"\xd800.mht",              // a lone surrogate
    };
    for (const std::wstring &wide : lacking) {
        std::string name;
        EXPECT_FALSE(cp932_from_wide(wide, &name));
    }
    EXPECT_EQ(shown_cp932(L"caf\u00e9\u2615.mht"), "caf??.mht");
    EXPECT_EQ(shown_cp932(L"\u30c6\u30b9\u30c8.mht"), "\x83\x65\x83X\x83g.mht");
}

}  // namespace
