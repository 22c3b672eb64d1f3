// The text-mode stream rules: CR bytes dropped, 0x1A ends the input, positions in stored
// bytes, fgets-like limits; text output stores "\n" as CR LF.
#include "platform/platform.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

class TextFile : public ScratchDirTest
{
};

namespace
{

// Every line text_read_line returns with the given buffer size, with its start offset.
std::vector<std::pair<std::string, std::int64_t>>
read_all(const std::string &bytes, std::size_t size)
{
    write_file("in.txt", bytes);
    text_input in;
    EXPECT_TRUE(text_open_read(&in, "in.txt"));
    std::vector<char> line(size);
    std::vector<std::pair<std::string, std::int64_t>> lines;
    while (text_read_line(&in, line))
        lines.emplace_back(line.data(), text_line_start(&in));
    text_close(&in);
    return lines;
}

}  // namespace

TEST_F(TextFile, ReadsLinesAsTextMode)
{
    using lines = std::vector<std::pair<std::string, std::int64_t>>;

    struct row {
        const char *title;
        std::string bytes;
        std::size_t size;
        lines expected;
    };

    const row rows[] = {
        {"CR LF becomes LF", "ab\r\ncd\r\n", 100, {{"ab\n", 0}, {"cd\n", 4}}},
        {"bare LF and a last line without end", "ab\ncd", 100, {{"ab\n", 0}, {"cd", 3}}},
        {"every CR dropped", "a\rb\r\r\nc", 100, {{"ab\n", 0}, {"c", 6}}},
        {"0x1A ends the input",
         "ab\r\nc\x1A"
         "d\r\n",
         100,
         {{"ab\n", 0}, {"c", 4}}},
        {"0x1A first",
         "\x1A"
         "abc",
         100,
         {}},
        {"0x1A at a line start, a line end after it",
         "ab\r\n\x1A"
         "cd\r\n",
         100,
         {{"ab\n", 0}}},
        {"0x1A first, a line end after it",
         "\x1A"
         "abc\n",
         100,
         {}},
        {"0x1A after a CR", "ab\r\x1A\n", 100, {{"ab", 0}}},
        {"line cut by the size", "abcdef\r\n", 4, {{"abc", 0}, {"def", 3}, {"\n", 6}}},
        {"only CR bytes", "\r\r", 100, {}},
        {"NUL inside a line", std::string("a\0b\n", 4), 100, {{"a", 0}}},
    };
    for (const row &r : rows)
        EXPECT_EQ(read_all(r.bytes, r.size), r.expected) << r.title;
}

TEST_F(TextFile, CountsLineBytesAndReadsTextInSteps)
{
    struct row {
        const char *title;
        std::string bytes;
        std::string text;  // what text-mode reading delivers
    };

    std::string blocks;  // a text over several read blocks, with CR LF across their ends
    std::string blocks_text;
    for (int i = 0; i < 30000; ++i) {
        const std::string number = std::to_string(i);
        blocks.append(1, 'l').append(number).append(i % 3 == 0 ? "\r\n" : "\r\r\n");
        blocks_text.append(1, 'l').append(number).append(1, '\n');
    }
    const row rows[] = {
        {"NUL bytes are counted", std::string("a\0b\r\n\0\n", 7), std::string("a\0b\n\0\n", 6)},
        {"0x1A ends the text",
         "ab\r\ncd\x1A"
         "ef\r\n",
         "ab\ncd"},
        {"several blocks", blocks, blocks_text},
    };
    for (const row &r : rows) {
        write_file("in.txt", r.bytes);
        const std::size_t steps[] = {1, 7, 4096, 1000000};
        for (const std::size_t step : steps) {
            text_input in;
            ASSERT_TRUE(text_open_read(&in, "in.txt"));
            std::vector<char> chunk(step);
            std::string text;
            for (std::size_t n = text_read_text(&in, chunk); n > 0; n = text_read_text(&in, chunk))
                text.append(chunk.data(), n);
            text_close(&in);
            EXPECT_EQ(text, r.text) << r.title << ", steps of " << step;
        }
        text_input in;
        ASSERT_TRUE(text_open_read(&in, "in.txt"));
        char line[64];
        std::string lines;
        std::size_t count = 0;
        while (text_read_line_counted(&in, line, &count))
            lines.append(line, count);
        text_close(&in);
        EXPECT_EQ(lines, r.text) << r.title << ", by lines";
    }
}

// A seek back over a 0x1A byte not yet read, or forward past one, reads what the file holds
// from there up to the next 0x1A byte.
TEST_F(TextFile, SeeksAroundEndOfTextBytes)
{
    write_file("in.txt", "ab\r\nc\x1A"
                         "d\x1A"
                         "e\r\n");
    text_input in;
    ASSERT_TRUE(text_open_read(&in, "in.txt"));
    char line[64];
    ASSERT_TRUE(text_read_line(&in, line));
    EXPECT_STREQ(line, "ab\n");
    text_seek(&in, 6);  // past the first 0x1A, which has not been read
    ASSERT_TRUE(text_read_line(&in, line));
    EXPECT_STREQ(line, "d");
    EXPECT_FALSE(text_read_line(&in, line));
    text_seek(&in, 0);
    ASSERT_TRUE(text_read_line(&in, line));
    EXPECT_STREQ(line, "ab\n");
    ASSERT_TRUE(text_read_line(&in, line));
    EXPECT_STREQ(line, "c");
    EXPECT_FALSE(text_read_line(&in, line));
    text_close(&in);
}

TEST_F(TextFile, SeeksByStoredBytesAndReadsAgain)
{
    std::string big;
    for (int i = 0; i < 40000; ++i)
        big += "line " + std::to_string(i) + "\r\n";  // several read blocks
    write_file("in.txt", big);
    text_input in;
    ASSERT_TRUE(text_open_read(&in, "in.txt"));
    char line[64];
    std::int64_t start_of_30000 = -1;
    for (int i = 0; i <= 30000; ++i) {
        ASSERT_TRUE(text_read_line(&in, line));
        start_of_30000 = text_line_start(&in);
    }
    EXPECT_STREQ(line, "line 30000\n");
    EXPECT_EQ(text_tell(&in), start_of_30000 + 12);
    text_seek(&in, start_of_30000);
    ASSERT_TRUE(text_read_line(&in, line));
    EXPECT_STREQ(line, "line 30000\n");
    text_seek(&in, 0);  // far outside the block
    ASSERT_TRUE(text_read_line(&in, line));
    EXPECT_STREQ(line, "line 0\n");
    text_seek(&in, 5);  // inside "line 0\r\n": the read starts there
    ASSERT_TRUE(text_read_line(&in, line));
    EXPECT_STREQ(line, "0\n");
    text_seek(&in, 6);  // on its CR, which the read drops
    ASSERT_TRUE(text_read_line(&in, line));
    EXPECT_STREQ(line, "\n");
    text_close(&in);
}

TEST_F(TextFile, OpensOnlyRegularFiles)
{
    std::filesystem::create_directory("x.mht");
    text_input in;
    EXPECT_FALSE(text_open_read(&in, "x.mht"));
    EXPECT_FALSE(text_open_read(&in, "missing"));
}

TEST_F(TextFile, TextOutputStoresCrLfBinaryStoresBytes)
{
    out_stream out;
    ASSERT_TRUE(out_open(&out, "t.txt", "w"));
    out_text(&out, "a\nb\n\n");
    EXPECT_TRUE(out_close(&out));
    EXPECT_EQ(read_file("t.txt"), "a\r\nb\r\n\r\n");
    ASSERT_TRUE(out_open(&out, "t.txt", "a"));
    out_text(&out, "c\n");
    EXPECT_TRUE(out_close(&out));
    EXPECT_EQ(read_file("t.txt"), "a\r\nb\r\n\r\nc\r\n");
    ASSERT_TRUE(out_open(&out, "b.bin", "wb"));
    out_text(&out, "x\ny\r\n");
    EXPECT_TRUE(out_close(&out));
    EXPECT_EQ(read_file("b.bin"), "x\ny\r\n");
}

// Lines handed over in place must be the lines a copying read gives, with the same start
// offsets, for every mix of line ends, CR, NUL and 0x1A, across block ends and read limits,
// and under every reading rule, changed between lines (a CR kept is a byte of the line).
TEST_F(TextFile, InPlaceLinesAreTheCopiedLines)
{
    const read_rule rules[] = {READ_TEXT, READ_BYTES, READ_TEXT, READ_TEXT_TO_END};
    std::mt19937 random(7);
    const std::string alphabet = "ab\r\n\0\x1a=";
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        std::string bytes;
        const std::size_t size = round < 30 ? 2000 : 200000;  // past one block of the reader
        while (bytes.size() < size) {
            const std::size_t run = random() % (round % 3 == 0 ? 20 : 120);
            bytes += std::string(run, 'x');
            bytes += alphabet[random() % (round < 50 ? 4 : alphabet.size())];
        }
        write_file("in.txt", bytes);
        for (const std::size_t limit : {std::size_t{16}, std::size_t{10240}}) {
            text_input copied;
            text_input in_place;
            ASSERT_TRUE(text_open_read(&copied, "in.txt"));
            ASSERT_TRUE(text_open_read(&in_place, "in.txt"));
            std::vector<char> a(limit);
            std::vector<char> b(limit);
            std::size_t count = 0;
            text_line line;
            for (int k = 0;; ++k) {
                // every round but the first few changes the rule now and then
                const read_rule rule = rules[round < 10 ? 0 : (k / 7 + round) % 4];
                text_set_rule(&copied, rule);
                text_set_rule(&in_place, rule);
                ASSERT_EQ(text_rule(&in_place), rule);
                const bool more = text_read_line_counted(&copied, a, &count);
                ASSERT_EQ(text_read_line_in_place(&in_place, b, &line), more);
                if (!more)
                    break;
                std::string got(line.text, line.len);
                if (line.line_feed)
                    got += '\n';
                ASSERT_EQ(got, std::string(a.data(), count));
                ASSERT_EQ(text_line_start(&in_place), text_line_start(&copied));
                ASSERT_EQ(text_tell(&in_place), text_tell(&copied));
            }
            text_close(&copied);
            text_close(&in_place);
        }
    }
}
