#include "platform/platform.hpp"
#include "support/support.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(SplitNameExt, SplitsAtTheLastDotAfterTheFirstByte)
{
    struct row {
        const char *name, *base, *ext;
    };

    const row rows[] = {
        {"a.b.c", "a.b", "c"},  {".cfg", ".cfg", ""},  {"name.", "name", ""},
        {"noext", "noext", ""}, {"a.mht", "a", "mht"}, {"", "", ""},
    };
    for (const row &r : rows) {
        char base[NAME_SIZE], ext[NAME_SIZE];
        split_name_ext(r.name, base, ext);
        EXPECT_STREQ(base, r.base) << r.name;
        EXPECT_STREQ(ext, r.ext) << r.name;
    }
}

TEST(SanitizeFileName, ReplacesReservedBytesOutsideDoubleByteCharacters)
{
    struct row {
        std::string in, out;
    };

    const row rows[] = {
        {"a:b?c.jpg", "a_b_c.jpg"},
        {"\"*/:<>?\\|", "_________"},
        {"\x95\x5c.jpg", "\x95\x5c.jpg"},  // 表: its trail byte 0x5C is no backslash
        {"a\x95", "a\x95"},                // lead byte before the terminator ends the walk
        {"\x01\x7f ok", "\x01\x7f ok"},    // control bytes stay
        {std::string(300, '?'), std::string(300, '_')},  // the whole name, past 256 bytes
    };
    for (const row &r : rows) {
        std::string name = r.in;
        sanitize_file_name(name.data());
        EXPECT_EQ(name, r.out) << r.in;
    }
}

TEST(TakeParamValue, QuotedUnquotedAndUnterminatedValues)
{
    struct row {
        const char *src, *value;
        int length;
    };

    const row rows[] = {
        {"\"----=_Next\";\n", "----=_Next", 10},
        {"abc  \n", "abc", 3},
        {"\"open to the end", "open to the end", 15},  // no closing quote
        {"last line", "last line", 9},                 // no line feed
        {"   \n", "", 0},                              // spaces only
        {"a\tb \n", "a\tb", 3},                        // tabs are not trimmed
        {"", "", 0},
    };
    for (const row &r : rows) {
        char dst[64];
        std::int32_t length = -7;
        take_param_value(r.src, dst, &length);
        EXPECT_STREQ(dst, r.value) << r.src;
        EXPECT_EQ(length, r.length) << r.src;
    }
    char tiny[4];
    std::int32_t length = 0;
    take_param_value("\"abcdef\"", tiny, &length);
    EXPECT_STREQ(tiny, "abc");
    EXPECT_EQ(length, 3);
}

TEST(TakeBaseName, LastSegmentOrWholeLine)
{
    struct row {
        std::string line, before, after, line_after;
    };

    const row rows[] = {
        {"Content-Location: http://h/dir/img.jpg\n", "x", "img.jpg",
         "Content-Location: http://h/dir/img.jpg"},
        {"Content-Location: a.jpg\n", "x", "Content-Location: a.jpg", "Content-Location: a.jpg"},
        {"C:\\dir\\f.gif\n", "x", "f.gif", "C:\\dir\\f.gif"},
        {"http://h/dir/\n", "keep", "keep", "http://h/dir/"},  // empty segment: unchanged
        {"\x95\x5c.jpg\n", "x", ".jpg", "\x95\x5c.jpg"},       // 0x5C trail byte splits
    };
    for (const row &r : rows) {
        std::string line = r.line;
        char dst[NAME_SIZE];
        copy_bounded(dst, r.before);
        take_base_name(line.data(), dst);
        EXPECT_STREQ(dst, r.after.c_str()) << r.line;
        EXPECT_STREQ(line.c_str(), r.line_after.c_str()) << r.line;
    }
}

class MakeUniqueName : public ScratchDirTest
{
};

TEST_F(MakeUniqueName, FirstFreeCandidateFromTheOriginalName)
{
    write_file("x.htm", "");
    write_file("x_0001.htm", "");
    std::filesystem::create_directory("dir.d");

    struct row {
        const char *name, *unique;
    };

    const row rows[] = {
        {"x.htm", "x_0002.htm"},
        {"free.htm", "free.htm"},
        {"dir.d", "dir_0001.d"},  // folders count as taken
    };
    for (const row &r : rows) {
        char name[NAME_SIZE];
        copy_bounded(name, r.name);
        make_unique_name(name);
        EXPECT_STREQ(name, r.unique);
    }
    write_file("noext", "");
    char name[NAME_SIZE] = "noext";
    make_unique_name(name);
    EXPECT_STREQ(name, "noext_0001.");  // no extension: the candidates end in a dot
}

TEST_F(MakeUniqueName, ReservedNamesCountAsTakenIgnoringCase)
{
    const name_set reserved =
        make_name_set(std::vector<std::string>{"a.mht", "log.csv", "A_0001.mht", "\x82\x60.mht"});

    const struct {
        const char *name;
        const char *unique;
    } rows[] = {
        {"A.MHT", "A_0002.MHT"},
        {"Log.Csv", "Log_0001.Csv"},
        {"b.mht", "b.mht"},
        {"\x82\x81.mht", "\x82\x81.mht"},  // only ASCII letters fold
        {"\x82\x60.MHT", "\x82\x60_0001.MHT"},
    };

    for (const auto &r : rows) {
        char name[NAME_SIZE];
        copy_bounded(name, r.name);
        make_unique_name(name, &reserved);
        EXPECT_STREQ(name, r.unique) << r.name;
    }
}

// Searches remember the numbers found taken; a name the process frees, or a new folder, must
// still give the first free name in order.
TEST_F(MakeUniqueName, RememberedSearchesStillGiveTheFirstFreeName)
{
    const auto unique = [](const char *taken) {
        char name[NAME_SIZE];
        copy_bounded(name, taken);
        make_unique_name(name);
        return std::string(name);
    };
    for (const char *name : {"x.htm", "x_0001.htm", "x_0002.htm", "x_0003.htm"})
        write_file(name, "");
    EXPECT_EQ(unique("x.htm"), "x_0004.htm");
    write_file("x_0004.htm", "");
    EXPECT_EQ(unique("x.htm"), "x_0005.htm");
    ASSERT_TRUE(remove_file("x_0002.htm"));
    EXPECT_EQ(unique("x.htm"), "x_0002.htm");  // freed by the process
    write_file("x_0002.htm", "");
    ASSERT_TRUE(rename_no_replace("x_0001.htm", "y.htm"));
    EXPECT_EQ(unique("x.htm"), "x_0001.htm");  // renamed away
    write_file("x_0001.htm", "");
    EXPECT_EQ(unique("x.htm"), "x_0005.htm");
    note_name_refused("x_0003.htm");  // a creation found it taken; then the process frees it
    ASSERT_TRUE(remove_file("x_0003.htm"));
    EXPECT_EQ(unique("x.htm"), "x_0003.htm");
    write_file("x_0003.htm", "");

    std::filesystem::create_directory("sub");
    std::filesystem::current_path("sub");  // a folder where only x.htm is taken
    write_file("x.htm", "");
    EXPECT_EQ(unique("x.htm"), "x_0001.htm");
    std::filesystem::current_path("..");
}

TEST_F(MakeUniqueName, LongNameIsShortenedNeverOverflowing)
{
    const std::string long_name = std::string(251, 'n') + ".htm";  // 255 bytes
    write_file(long_name, "");
    char name[NAME_SIZE];
    copy_bounded(name, long_name);
    make_unique_name(name);
    EXPECT_EQ(std::string(name), std::string(246, 'n') + "_0001.htm");
}

TEST(FitFileName, ShortensLongNamesKeepingShortExtensions)
{
    struct row {
        std::string in, out;
    };

    const row rows[] = {
        {"short.jpg", "short.jpg"},
        {std::string(300, 'a') + ".jpeg", std::string(250, 'a') + ".jpeg"},
        {std::string(300, 'a'), std::string(255, 'a')},
        {"x." + std::string(300, 'e'), "x." + std::string(253, 'e')},  // long extension: cut
        {std::string(253, 'a') + "\x82\xa0\x82\xa0.gif",
         std::string(251, 'a') + ".gif"},  // the cut never splits a character
        {"\x82\xa0" + std::string(254, 'b'), "\x82\xa0" + std::string(253, 'b')},
    };
    for (const row &r : rows) {
        char name[LINE_BUFFER_SIZE];
        copy_bounded(name, r.in);
        fit_file_name(name, NAME_SIZE - 1);
        EXPECT_EQ(std::string(name), r.out) << r.in.size();
    }
}

TEST(FindCharsetParam, TakesTheFirstCharsetParameterAsGiven)
{
    struct row {
        std::string text;
        bool found;
        std::string value;
    };

    const row rows[] = {
        {"Content-Type: text/html; charset=\"ISO-8859-1\"\n", true, "ISO-8859-1"},
        {"\tCHARSET=Shift_JIS; x=y\n", true, "Shift_JIS"},  // a continuation line
        {"Content-Type: text/html; xcharset=utf-8\n", false, ""},
        {"; charset=\"utf 8\"\n", true, ""},  // a space: no charset name
        {"; charset=" + std::string(41, 'a'), true, ""},
        {"; charset=iso-2022-jp;charset=utf-8\n", true, "iso-2022-jp"},
        {"; charset=ISO_8859-1:1987(x)+y.z\n", true, "ISO_8859-1:1987(x)+y.z"},
    };
    for (const row &r : rows) {
        std::string_view value = "unchanged";
        EXPECT_EQ(find_charset_param(r.text, &value), r.found) << r.text;
        EXPECT_EQ(value, r.found ? r.value : "unchanged") << r.text;
    }
}

TEST(GiveExtension, TrailingDotsAndSpacesGoFirst)
{
    static constexpr std::string_view PAGE[] = {".htm", ".html", ".xhtml"};
    const std::string_view rows[][2] = {{"page. .", "page.htm"}, {"..", ""}};
    for (const auto &[given, expected] : rows) {
        char name[NAME_SIZE];
        copy_bounded(name, given);
        give_extension(name, ".htm", PAGE, "a.dec");
        EXPECT_EQ(std::string_view(name), expected) << given;
    }
}
