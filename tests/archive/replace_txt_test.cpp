#include "archive/archive.hpp"
#include "archive/internal.hpp"
#include "tests/common/rewrite_model.hpp"
#include "tests/common/test_files.hpp"

#include <algorithm>
#include <csignal>
#include <random>
#include <string>
#include <vector>
#if __has_include(<sys/resource.h>)
#include <sys/resource.h>
#define HAS_FILE_SIZE_LIMIT 1
#endif

namespace
{

using namespace std::string_literals;

struct replace_case {
    const char *label;
    std::string before;
    const char *old_text;
    const char *new_text;
    std::string after;
};

class ReplaceTxt : public ScratchDirTest
{
};

TEST_F(ReplaceTxt, Replacements)
{
    const std::string piece_end(10236, 'x');  // "abc" then straddles the 10238-byte read
    const std::vector<replace_case> cases = {
        {"longer, at start and end", "a.tmp<img src=a.tmp>a.tmp\r\n", "a.tmp", "456_001.tmp",
         "456_001.tmp<img src=456_001.tmp>456_001.tmp\r\n"},
        {"shorter", "<a href=\"long_name.tmp\">long_name.tmp\r\nx\r\n", "long_name.tmp", "b",
         "<a href=\"b\">b\r\nx\r\n"},
        {"empty replacement deletes", "xAyAz\r\nA\r\n", "A", "", "xyz\r\n\r\n"},
        {"overlapping candidates", "aaa aaaa\r\n", "aa", "X", "Xa XX\r\n"},
        {"inserted text is not searched again", "a-a\r\n", "a", "aa", "aa-aa\r\n"},
        {"case-sensitive", "A.TMP a.tmp\r\n", "a.tmp", "b", "A.TMP b\r\n"},
        {"no occurrence keeps the bytes", "line one\r\nline two", "zz", "y",
         "line one\r\nline two"},
        {"bare line feeds come back as CR LF", "a\nb\n", "b", "c", "a\r\nc\r\n"},
        {"empty file stays empty", "", "a", "b", ""},
        {"an occurrence split between reads stays", piece_end + "abc abc\r\n", "abc", "Z",
         piece_end + "abc Z\r\n"},
        {"NUL and 0x1A are text; a reference after them is rewritten",
         "a\0b a.tmp\r\nc\x1a a.tmp\r\nd a.tmp"s, "a.tmp", "b.tmp",
         "a\0b b.tmp\r\nc\x1a b.tmp\r\nd b.tmp"s},
        {"a line that outgrows the buffer is written whole", std::string(10000, 'a') + "\r\n", "a",
         "bbbb", std::string(40000, 'b') + "\r\n"},
    };
    for (const replace_case &c : cases) {
        SCOPED_TRACE(c.label);
        write_file("page.htm", c.before);
        replace_txt("page.htm", c.old_text, c.new_text);
        EXPECT_EQ(read_file("page.htm"), c.after);
        EXPECT_EQ(list_folder("."), std::vector<std::string>{"page.htm"});
    }
}

// Pages of many reads: lines short and longer than a piece, lone CRs, and the name to replace
// in every position against the ends of reads and pieces (seeded, the same pages every run).
std::vector<std::string>
pages_of_many_reads(const std::string &name)
{
    std::vector<std::string> pages;
    // the name across the end of the first read (16384 bytes), after a line feed or in a line
    // longer than a piece
    for (std::size_t cut = 0; cut <= name.size(); ++cut) {
        pages.push_back("line\r\n" + std::string(16384 - 6 - cut, 'x') + name + "\r\nend\r\n");
        pages.push_back(std::string(16384 - cut, 'x') + name + "x\r\n");
        // across the end of the second or fourth piece of a line that began reads before
        for (const std::size_t pieces : {std::size_t{2}, std::size_t{4}})
            pages.push_back(std::string(pieces * 10238 - cut, 'x') + name + "\r\n");
    }
    std::mt19937 random(20261208);
    for (int page = 0; page < 24; ++page) {
        // the name comes often on some pages, seldom (some reads without it) on others
        const unsigned name_weight = page % 2 == 0 ? 24 : 1;
        std::string text;
        while (text.size() < 70000) {
            const auto roll = static_cast<unsigned>(random() % (40 + name_weight));
            if (roll < 2)
                text += std::string(random() % 25000, 'a');
            else if (roll < 4)
                text += '\r';
            else if (roll < 14)
                text += "\r\n";
            else if (roll < 40)
                text += std::string(random() % 40, "ab.tmpx"[random() % 7]);
            else
                text += name;
        }
        pages.push_back(text);
    }
    return pages;
}

TEST_F(ReplaceTxt, LargePagesMatchAPieceByPieceRewrite)
{
    const std::string old_text = "ab.tmp";
    const std::vector<std::string> pages = pages_of_many_reads(old_text);
    for (std::size_t page = 0; page < pages.size(); ++page) {
        for (const char *new_text : {"ab.tmp_001.tmp", "b", ""}) {
            SCOPED_TRACE(testing::Message()
                         << "page " << page << ", new text '" << new_text << "'");
            write_file("page.htm", pages[page]);
            replace_txt("page.htm", old_text.c_str(), new_text);
            ASSERT_EQ(read_file("page.htm"), rewritten_by_pieces(pages[page], old_text, new_text));
        }
    }
}

// One rewrite through a chain of passes gives what one rewrite per replacement gives: with a
// CR that a replacement brings in (the next pass reads past it, as a new read of the file
// would), with text that one pass brings in and a later one replaces, with search texts of
// fewer than four bytes, and with more passes than are searched one by one.
TEST_F(ReplaceTxt, PassesChainLikeSeparateRewrites)
{
    std::string before;
    for (int line = 0; line < 3000; ++line) {
        before.append("<img src=n").append(std::to_string(line * 7 % 41)).append(".tmp> a\r\n");
    }
    std::vector<std::string> texts;  // old and new texts, in pairs
    for (int k = 0; k < 40; ++k) {
        const std::string number = std::to_string(k);
        texts.push_back(std::string("n").append(number).append(".tmp"));
        texts.push_back(std::string("m").append(number).append(".tmp"));
        if (k == 3)
            texts.insert(texts.end(), {"m3.tmp", "q.tmp"});  // brought in just before
        if (k == 20)
            texts.insert(texts.end(), {"n7.", "N7,"});
        if (k == 39)  // and last, one that finds nothing: the CR it would drop is in no piece
            texts.insert(texts.end(), {"a", "x\ry", "none.tmp", "y"});
    }
    std::vector<replacement> passes;
    std::string expected = before;
    for (std::size_t k = 0; k < texts.size(); k += 2) {
        passes.push_back({texts[k], texts[k + 1]});
        expected = rewritten_by_pieces(expected, texts[k], texts[k + 1]);
    }
    write_file("page.htm", before);
    rewrite_text_file("page.htm", passes);
    EXPECT_EQ(read_file("page.htm"), expected);
}

// A line of references to texts, filler between them: short, or several pieces long with the
// references far enough apart for the scan, some across a piece's end as the text first stands.
std::string
random_line(std::mt19937 *random, const std::vector<std::string> &texts, bool long_line)
{
    const auto pick = [random](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(*random);
    };
    std::string line;
    if (!long_line) {
        if (pick(10) == 0)
            line.append(PIECE_SIZE - 40 + pick(60), 'f');
        for (std::size_t ref = pick(5); ref > 0; --ref) {
            const char *gaps[] = {"<img src=\"", " ", "", "\">"};
            line += gaps[pick(4)];
            line += texts[pick(texts.size())];
        }
        return line;
    }
    const std::size_t size = PIECE_SIZE * (2 + pick(4)) + pick(PIECE_SIZE);
    while (line.size() < size) {
        const std::string &text = texts[pick(texts.size())];
        const std::size_t to_cut = PIECE_SIZE - line.size() % PIECE_SIZE;
        if (pick(4) == 0 && to_cut > 14 && to_cut < 80)  // the reference across the cut
            line.append(to_cut - 1 - pick(text.size() - 1), 'g');
        else
            line.append(14 + pick(30), 'g');
        line += text;
    }
    return line;
}

// The passes found and replaced in one scan give what they give one after another, whenever
// the scan takes the text, all at once or in steps of any size: names that hold one another, a
// new name holding a later old one, names side by side, new names longer and shorter, short
// lines and lines of several pieces whose references each pass sees across its own cuts, the
// last line without its line feed.
TEST(ReplaceAtOnce, GivesWhatThePassesGiveOneByOne)
{
    const std::vector<std::string> names = {"a.tmp",  "b_001.tmp", "001.tmp", "1.tmp",
                                            "11.tmp", "x1.tmp",    "c.gif",   "long_name.jpg"};
    std::mt19937 random(7);
    const auto pick = [&random](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    int taken = 0;
    int long_taken = 0;  // texts with long lines where a cut changed what the passes give
    const int trials = 3000;
    for (int trial = 0; trial < trials; ++trial) {
        const bool long_lines = trial % 12 == 0;
        // passes of distinct numbered names, now and then one of the names above
        std::vector<std::string> texts;
        const std::size_t count = 8 + pick(8);
        for (std::size_t k = 0; k < count; ++k) {
            // built in steps: GCC 12 warns falsely of "n" + std::to_string(...)
            std::string old_text = "n";
            old_text.append(std::to_string(pick(40))).append(".tmp");
            std::string new_text = "p_";
            new_text.append(std::to_string(k)).append(pick(3) == 0 ? "" : ".jpeg_image_name");
            const bool odd = !long_lines || trial % 24 == 0;
            texts.push_back(odd && pick(6) == 0 ? names[pick(names.size())] : old_text);
            texts.push_back(odd && pick(8) == 0 ? names[pick(names.size())] : new_text);
        }
        std::vector<replacement> passes;
        std::vector<std::string> sought;
        for (std::size_t k = 0; k < texts.size(); k += 2) {
            passes.push_back({texts[k], texts[k + 1]});
            sought.push_back(texts[k]);
        }
        if (!long_lines)
            sought.insert(sought.end(), names.begin(), names.end());
        std::string text;
        const std::size_t lines = 1 + pick(long_lines ? 2 : 6);
        for (std::size_t line = 0; line < lines; ++line) {
            text += random_line(&random, sought, long_lines && pick(3) != 0);
            if (line + 1 < lines || pick(2) == 0)
                text += '\n';
        }
        pattern_table table;
        fill_pattern_table(&table, passes);
        ASSERT_TRUE(table.usable);
        std::string out;
        if (!replace_at_once(table, text, &out))
            continue;
        ++taken;
        std::string expected = text;
        std::string uncut = text;
        for (const replacement &r : passes) {
            expected = replaced_by_pieces(expected, r.old_text, r.new_text);
            // as if no read cut a line
            uncut = replaced_by_pieces(uncut, r.old_text, r.new_text, std::string::npos);
        }
        ASSERT_EQ(out, expected) << text;
        long_taken += expected != uncut ? 1 : 0;
        // the same in steps, as a file is read: a line goes on from one step to the next
        at_once_state state;
        std::string stepped;
        for (std::size_t at = 0, took = 0; at < text.size(); at += took) {
            const std::size_t step = std::min(text.size() - at, 1 + pick(20000));
            ASSERT_TRUE(replace_at_once_step(table, &state, std::string_view(text).substr(at, step),
                                             at + step == text.size(), &stepped, &took));
            ASSERT_EQ(took, step);
        }
        ASSERT_EQ(stepped, expected) << text;
    }
    // the scan takes a good share of the texts, long lines cut where it matters among them:
    // the comparison is not an empty one
    EXPECT_GT(taken, trials / 10);
    EXPECT_GT(long_taken, trials / 100);
}

// A page whose lines are longer than many reads, rewritten with many passes, gives what one
// rewrite per replacement gives: when the scan takes every line, when a conflict it cannot
// judge (two names overlapping) comes late in a line it has begun, so that the page is
// rewritten again from its start, and when one comes in a line's first read.
TEST_F(ReplaceTxt, LongLinesChainLikeSeparateRewrites)
{
    std::vector<replacement> passes;
    std::vector<std::string> texts;  // old and new texts, in pairs
    for (int k = 0; k < 30; ++k) {
        texts.push_back("img" + std::to_string(k) + ".tmp");
        texts.push_back(k % 3 == 0 ? "p" : "page_" + std::to_string(k) + "_0001.tmp");
    }
    texts.insert(texts.end(), {"abcd.tmp", "e.gif", "d.tmpx", "f.gif"});  // overlapping
    for (std::size_t k = 0; k < texts.size(); k += 2)
        passes.push_back({texts[k], texts[k + 1]});
    std::string line;
    for (std::size_t k = 0; line.size() < 90000; ++k)
        line +=
            "<img src=\"img" + std::to_string(k * 7 % 30) + ".tmp\"> " + std::string(k % 9, 'x');
    const std::string conflict = "<img src=\"abcd.tmpx\">";
    const std::string pages[] = {
        "head\r\n" + line + "\r\n" + line + "tail",
        "head\r\n" + line + conflict + line + "\r\nend\r\n",
        conflict + line + "\r\n" + line + "\r\n",
    };
    for (const std::string &page : pages) {
        std::string expected = page;
        for (const replacement &r : passes)
            expected = rewritten_by_pieces(expected, r.old_text, r.new_text);
        write_file("page.htm", page);
        EXPECT_EQ(rewrite_text_file("page.htm", passes), REWRITE_DONE);
        EXPECT_TRUE(read_file("page.htm") == expected) << page.substr(0, 40);
        EXPECT_EQ(list_folder("."), std::vector<std::string>{"page.htm"});
    }
}

// Puts another file in the page's place, as someone might while the page is rewritten.
void
put_another_file(const char *file_name)
{
    write_file("another.txt", "another file\r\n");
    std::filesystem::rename("another.txt", file_name);
}

// Regression: a file put in the page's place while the page was rewritten was replaced by the
// page's new text.
TEST_F(ReplaceTxt, FilePutInThePagesPlaceMeanwhileIsLeftAlone)
{
    const replacement one{"a.tmp", "b.tmp"};
    std::string message = MSG_LEFT_ALONE;
    message.replace(message.find("%s"), 2, "page.htm");
    for (const bool identity_known : {false, true}) {
        SCOPED_TRACE(identity_known ? "the page's identity known" : "the page named only");
        write_file("page.htm", "a.tmp\r\n");
        file_identity page;
        ASSERT_EQ(inspect_entry("page.htm", &page), ENTRY_REGULAR);
        rewrite_before_rename_hook = put_another_file;
        testing::internal::CaptureStdout();
        const rewrite_result result = rewrite_text_file(
            "page.htm", std::span<const replacement>(&one, 1), identity_known ? &page : nullptr);
        rewrite_before_rename_hook = nullptr;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), message);
        EXPECT_EQ(result, REWRITE_LEFT_ALONE);
        EXPECT_EQ(read_file("page.htm"), "another file\r\n");
        EXPECT_EQ(list_folder("."), std::vector<std::string>{"page.htm"});
    }
}

// Regression: a page left alone by the close-out was said to be so again by each look the
// offline pass took at it.
TEST_F(ReplaceTxt, PageLeftAloneIsToldOnce)
{
    write_file("a.mht", "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n--BB\r\n"
                        "Content-Type: text/html\r\nContent-Location: http://h/page.htm\r\n\r\n"
                        "<img src=\"file:///C:/T/a.tmp\">\r\n--BB\r\nContent-Type: image/gif\r\n"
                        "Content-Location: file:///C:/T/a.tmp\r\n\r\nGIF\r\n--BB--\r\n");
    static const name_set reserved = make_name_set(std::vector<std::string>{"a.mht", "log.csv"});
    batch_info batch = test_batch(&reserved);
    batch.offline = true;
    std::string message = MSG_LEFT_ALONE;
    message.replace(message.find("%s"), 2, "page.htm");
    rewrite_before_rename_hook = put_another_file;
    testing::internal::CaptureStdout();
    split_archive("a.mht", batch);
    rewrite_before_rename_hook = nullptr;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), message);
    EXPECT_EQ(read_file("page.htm"), "another file\r\n");
}

TEST_F(ReplaceTxt, ExistingWorkCopyNameIsLeftAlone)
{
    write_file("page.htm", "old.tmp\r\n");
    write_file("page.htm.cpy", "someone else's file\r\n");
    replace_txt("page.htm", "old.tmp", "new.tmp");
    EXPECT_EQ(read_file("page.htm"), "new.tmp\r\n");
    EXPECT_EQ(read_file("page.htm.cpy"), "someone else's file\r\n");
    EXPECT_EQ(list_folder("."), (std::vector<std::string>{"page.htm", "page.htm.cpy"}));
}

TEST_F(ReplaceTxt, MissingFileEndsTheRun)
{
    EXPECT_EXIT(replace_txt("absent.htm", "a", "b"), testing::ExitedWithCode(1), "");
}

#ifdef HAS_FILE_SIZE_LIMIT
// Rewrites page.htm with files limited to 1000 bytes: the writes of the new file fail.
void
replace_with_small_file_limit()
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    replace_txt("page.htm", "a", "b");
}

// Regression: a new file that could not be written whole was reported as a success and the
// former content was lost; then, the page was left cut with its text in the work copy.
TEST_F(ReplaceTxt, FailedWriteEndsTheRunAndKeepsThePageWhole)
{
    const std::string before(300000, 'a');
    write_file("page.htm", before);
    EXPECT_EXIT(replace_with_small_file_limit(), testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file("page.htm"), before);
    EXPECT_EQ(list_folder("."), std::vector<std::string>{"page.htm"});
}
#endif

}  // namespace
