#include "archive/archive.hpp"
#include "pagename/pagename.hpp"
#include "platform/platform.hpp"
#include "tests/common/console_texts.hpp"
#include "tests/common/test_files.hpp"

#include <cstring>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace
{

struct named_output {
    content_kind kind;
    std::string name;
};

// Builds the output list as the splitter records it: NAME_SIZE blocks from checked_alloc.
std::vector<output_entry>
make_outputs(const std::vector<named_output> &list)
{
    std::vector<output_entry> outputs;
    for (const named_output &o : list) {
        output_entry e;
        e.kind = o.kind;
        e.name_size = NAME_SIZE;
        e.name = checked_alloc(NAME_SIZE);
        copy_bounded(std::span<char>(e.name, NAME_SIZE), o.name);
        outputs.push_back(e);
    }
    return outputs;
}

// Runs rename_temp_images and returns the final names (the blocks are released).
std::vector<std::string>
run_renames(const std::vector<named_output> &list, const char *page_name, const char *thumb,
            const char *src)
{
    std::vector<output_entry> outputs = make_outputs(list);
    image_names images;
    copy_bounded(images.thumb_name, thumb);
    copy_bounded(images.src_name, src);
    std::vector<char> line(LINE_BUFFER_SIZE);
    std::vector<char> work(LINE_BUFFER_SIZE);
    rename_temp_images(outputs, page_name, &images, line, work);
    std::vector<std::string> names;
    for (output_entry &e : outputs) {
        names.emplace_back(e.name);
        EXPECT_GT(e.name_size, std::strlen(e.name));
        checked_free(e.name);
    }
    return names;
}

class RenameTempImages : public ScratchDirTest
{
};

TEST_F(RenameTempImages, RenumbersInListOrderAndRewritesReferences)
{
    write_file("456.htm", "<img src=\"x.tmp\"><img src=\"y.TMP\">\r\n<img src=\"z.tmpx\">\r\n");
    write_file("x.tmp", "1");
    write_file("y.TMP", "2");
    write_file("z.tmpx", "3");
    write_file("c.css", "4");
    const auto names = run_renames({{KIND_HTML, "456.htm"},
                                    {KIND_OTHER, "x.tmp"},
                                    {KIND_OTHER, "c.css"},
                                    {KIND_OTHER, "y.TMP"},
                                    {KIND_OTHER, "z.tmpx"}},
                                   "456", "", "");
    EXPECT_EQ(names, (std::vector<std::string>{"456.htm", "456_001.tmp", "c.css", "456_002.tmp",
                                               "456_003.tmp"}));
    EXPECT_EQ(read_file("456.htm"), "<img src=\"456_001.tmp\"><img src=\"456_002.tmp\">\r\n"
                                    "<img src=\"456_003.tmp\">\r\n");
    EXPECT_EQ(read_file("456_003.tmp"), "3");
    EXPECT_EQ(list_folder("."), (std::vector<std::string>{"456.htm", "456_001.tmp", "456_002.tmp",
                                                          "456_003.tmp", "c.css"}));
}

TEST_F(RenameTempImages, WithoutPageTheArchiveNameIsUsed)
{
    write_file("b.tmp", "x");
    write_file("a_001.tmp", "taken");
    const auto names = run_renames({{KIND_OTHER, "b.tmp"}}, "a", "", "");
    EXPECT_EQ(names, std::vector<std::string>{"a_001_0001.tmp"});
    EXPECT_EQ(read_file("a_001_0001.tmp"), "x");
    EXPECT_EQ(read_file("a_001.tmp"), "taken");
}

TEST_F(RenameTempImages, ThumbnailTakesItsName)
{
    write_file("123.htm", "<img src=\"pic.tmp\"> <a href=\"other.tmp\">\r\n");
    write_file("pic.tmp", "image");
    write_file("other.tmp", "other");
    write_file("1191234567890s.jpg", "older");
    const auto names =
        run_renames({{KIND_HTML, "123.htm"}, {KIND_OTHER, "pic.tmp"}, {KIND_OTHER, "other.tmp"}},
                    "123", "1191234567890s.jpg", "pic.tmp");
    EXPECT_EQ(names,
              (std::vector<std::string>{"123.htm", "1191234567890s_0001.jpg", "123_001.tmp"}));
    EXPECT_EQ(read_file("123.htm"), "<img src=\"1191234567890s_0001.jpg\"> "
                                    "<a href=\"123_001.tmp\">\r\n");
    EXPECT_EQ(read_file("1191234567890s_0001.jpg"), "image");
    EXPECT_EQ(read_file("1191234567890s.jpg"), "older");
}

TEST_F(RenameTempImages, NoThumbnailNameLeavesSourceToRenumbering)
{
    write_file("p.htm", "pic.tmp\r\n");
    write_file("pic.tmp", "image");
    const auto names =
        run_renames({{KIND_HTML, "p.htm"}, {KIND_OTHER, "pic.tmp"}}, "p", "", "pic.tmp");
    EXPECT_EQ(names, (std::vector<std::string>{"p.htm", "p_001.tmp"}));
    EXPECT_EQ(read_file("p.htm"), "p_001.tmp\r\n");
}

TEST_F(RenameTempImages, ShortNameInsideLongerReferenceIsReplacedToo)
{
    write_file("p.htm", "11.tmp 1.tmp\r\n");
    write_file("1.tmp", "a");
    write_file("11.tmp", "b");
    const auto names = run_renames(
        {{KIND_HTML, "p.htm"}, {KIND_OTHER, "1.tmp"}, {KIND_OTHER, "11.tmp"}}, "P", "", "");
    EXPECT_EQ(names, (std::vector<std::string>{"p.htm", "P_001.tmp", "P_002.tmp"}));
    EXPECT_EQ(read_file("p.htm"), "1P_001.tmp P_001.tmp\r\n");
}

TEST_F(RenameTempImages, NameLongerThanItsBlockGrowsTheBlock)
{
    const std::string page(250, 'p');
    const auto names = run_renames({{KIND_OTHER, "a.tmp"}}, page.c_str(), "", "");
    // a file system holds 255 bytes: the page name is cut to leave room for "_001.tmp"
    EXPECT_EQ(names, std::vector<std::string>{page.substr(0, 247) + "_001.tmp"});
}

TEST_F(RenameTempImages, MissingThumbnailSourceEndsTheRun)
{
    write_file("p.htm", "x\r\n");
    EXPECT_EXIT(run_renames({{KIND_HTML, "p.htm"}}, "p", "1191234567890s.jpg", "gone.tmp"),
                testing::ExitedWithCode(1), "");
}

// Regression: with a page gone from the folder, each rename rewrites the pages one by one until
// the gone one ends the run; the second page was then taken for another file and left as it was.
TEST_F(RenameTempImages, PageGoneEndsTheRunAfterThePagesBeforeIt)
{
#if !__has_include(<sys/wait.h>)
    // without fork a death test's statement runs in a new process, in a scratch folder of its own
    GTEST_SKIP() << "the files a death test's child leaves lie elsewhere";
#endif
    for (const char *name : {"p.htm", "q.htm"})
        write_file(name, "<img src=\"x.tmp\">\r\n");
    write_file("x.tmp", "1");
    std::vector<output_entry> outputs = make_outputs({{KIND_HTML, "p.htm"},
                                                      {KIND_HTML, "q.htm"},
                                                      {KIND_HTML, "gone.htm"},
                                                      {KIND_OTHER, "x.tmp"}});
    for (output_entry &e : outputs)
        e.file_known = inspect_entry(e.name, &e.file) == ENTRY_REGULAR;
    image_names images;
    std::vector<char> line(LINE_BUFFER_SIZE);
    std::vector<char> work(LINE_BUFFER_SIZE);
    EXPECT_EXIT(rename_temp_images(outputs, "p", &images, line, work), testing::ExitedWithCode(1),
                "");
    for (const char *name : {"p.htm", "q.htm"})
        EXPECT_EQ(read_file(name), "<img src=\"p_001.tmp\">\r\n") << name;
    for (output_entry &e : outputs)
        checked_free(e.name);
}

// Regression: a page put aside for a symbolic link (or another file) before its references
// were rewritten was read through it, and the page became a copy of the file it named.
TEST_F(RenameTempImages, PageSwappedForAnotherFileIsLeftAlone)
{
    const std::filesystem::path secret =
        scratch.parent_path() / (scratch.filename().string() + "-secret");
    write_file(secret, "private text naming x.tmp\r\n");
    for (const bool hard_link : {false, true}) {
        write_file("p.htm", "<img src=\"x.tmp\">\r\n");
        write_file("x.tmp", "1");
        std::vector<output_entry> outputs =
            make_outputs({{KIND_HTML, "p.htm"}, {KIND_OTHER, "x.tmp"}});
        outputs[0].file_known = inspect_entry("p.htm", &outputs[0].file) == ENTRY_REGULAR;
        std::filesystem::remove("p.htm");
        std::error_code error;
        if (hard_link)
            std::filesystem::create_hard_link(secret, "p.htm", error);
        else
            std::filesystem::create_symlink(secret, "p.htm", error);
        if (error)
            GTEST_SKIP() << "no links here: " << error.message();
        image_names images;
        std::vector<char> line(LINE_BUFFER_SIZE);
        std::vector<char> work(LINE_BUFFER_SIZE);
        testing::internal::CaptureStdout();
        rename_temp_images(outputs, "p", &images, line, work);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  PAGE_LEFT_ALONE_1 + "p.htm" + PAGE_LEFT_ALONE_2);
        EXPECT_EQ(std::filesystem::is_symlink("p.htm"), !hard_link);
        EXPECT_EQ(read_file(secret), "private text naming x.tmp\r\n");
        EXPECT_EQ(list_folder("."), (std::vector<std::string>{"p.htm", "p_001.tmp"}));
        for (output_entry &e : outputs)
            checked_free(e.name);
        std::filesystem::remove_all("p.htm");
        std::filesystem::remove("p_001.tmp");
    }
    std::filesystem::remove(secret);
}

// One replace_txt call per rename, on every page, in the documented order: the reference for
// the one-pass rewrite.
void
rename_one_by_one(std::vector<named_output> list, const std::string &page_name, std::string thumb,
                  const std::string &src)
{
    auto replace_all = [&](const std::string &from, const std::string &to) {
        for (const named_output &o : list) {
            if (o.kind == KIND_HTML)
                replace_txt(o.name.c_str(), from.c_str(), to.c_str());
        }
    };
    if (!thumb.empty() && src.size() > 4 && src.substr(src.size() - 4) == ".tmp") {
        ASSERT_TRUE(rename_no_replace(src.c_str(), thumb.c_str()));
        for (named_output &o : list) {
            if (o.name == src)
                o.name = thumb;
        }
        replace_all(src, thumb);
    }
    int sequence = 1;
    for (named_output &o : list) {
        if (o.name.size() < 4 || o.name.substr(o.name.size() - 4) != ".tmp")
            continue;
        char new_name[LINE_BUFFER_SIZE];
        std::snprintf(new_name, sizeof new_name, "%s_%03d.tmp", page_name.c_str(), sequence++);
        make_unique_name(new_name);
        replace_all(o.name, new_name);
        rename_no_replace(o.name.c_str(), new_name);
        o.name = new_name;
    }
}

// Lines over one read, names across a read's end, a line that outgrows a read after a rename,
// NUL bytes, bare LF, lone CR, a new name holding a later old name, and 0x1A.
std::string
odd_page_text()
{
    const std::string filler(10230, 'f');
    std::string text = "<img src=\"pic.tmp\">\r\n";
    text += filler + "a.tmp a.tmp 001.tmp\r\n";
    text += std::string(2100, ' ') + [] {
        std::string s;
        for (int i = 0; i < 2000; ++i)
            s += "a.tmp";
        return s;
    }() + "001.tmp\n";
    text += "before\0a.tmp after\r\n"s;
    text += "lone\rcr a.tmp\n";
    for (int i = 0; i < 300; ++i)
        text +=
            "<p>" + std::to_string(i) + ".tmp 001.tmp c" + std::to_string(i % 7) + ".tmp</p>\r\n";
    text += "tail\x1a a.tmp\r\n";
    return text;
}

// Plain lines, every few of them with references: with enough of them a page is too large to
// be rewritten in memory.
std::string
plain_page_text(int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += "<p>reply " + std::to_string(i);
        if (i % 50 == 0)
            text += " <img src=\"pic.tmp\"> a.tmp 001.tmp c" + std::to_string(i % 7) + ".tmp";
        text += "</p>\r\n";
    }
    return text;
}

TEST_F(RenameTempImages, OnePassRewriteMatchesOneRewritePerRename)
{
    struct page_case {
        const char *title;
        std::string text;
    };

    const page_case cases[] = {
        {"odd lines, a small page", odd_page_text()},
        {"odd lines, a large page", plain_page_text(4000) + odd_page_text()},
        {"plain lines, a large page", plain_page_text(4000)},
        {"a large page ending without a line feed", plain_page_text(4000) + "last a.tmp"},
        // a line just short of a read that outgrows it when its short names become long ones;
        // the next pass then finds its last name across the end of a read, and leaves it
        {"a large page whose line outgrows a read",
         plain_page_text(3000) + std::string(10204, 'g') + " a.tmp a.tmp a.tmp 001.tmp\r\n" +
             plain_page_text(1000)},
        {"a lone CR in a large page", plain_page_text(4000) + "lone\rcr a.tmp\r\n"},
        {"a NUL byte in a large page",
         plain_page_text(2000) + "before\0a.tmp after\r\n"s + plain_page_text(2000)},
    };

    std::vector<named_output> list = {{KIND_HTML, "p.htm"},
                                      {KIND_OTHER, "pic.tmp"},
                                      {KIND_OTHER, "a.tmp"},
                                      {KIND_HTML, "q.htm"},
                                      {KIND_OTHER, "001.tmp"}};
    for (int i = 0; i < 7; ++i)
        list.push_back({KIND_OTHER, "c" + std::to_string(i) + ".tmp"});

    int index = 0;
    for (const page_case &c : cases) {
        const std::filesystem::path folder = scratch / ("case" + std::to_string(index++));
        for (const char *way : {"one_by_one", "one_pass"}) {
            std::filesystem::create_directories(folder / way);
            std::filesystem::current_path(folder / way);
            write_file("p.htm", c.text);
            write_file("q.htm", c.text.substr(0, 30000));
            for (const named_output &o : list) {
                if (o.kind != KIND_HTML)
                    write_file(o.name, o.name);
            }
        }
        std::filesystem::current_path(folder / "one_by_one");
        rename_one_by_one(list, "b", "1191234567890s.jpg", "pic.tmp");
        std::filesystem::current_path(folder / "one_pass");
        run_renames(list, "b", "1191234567890s.jpg", "pic.tmp");
        std::filesystem::current_path(scratch);

        const auto expected = list_folder(folder / "one_by_one");
        ASSERT_EQ(list_folder(folder / "one_pass"), expected) << c.title;
        for (const std::string &name : expected)
            EXPECT_TRUE(read_file(folder / "one_pass" / name) ==
                        read_file(folder / "one_by_one" / name))
                << c.title << ": " << name;
        EXPECT_NE(read_file(folder / "one_pass" / "p.htm"), c.text) << c.title;
    }
}

}  // namespace
