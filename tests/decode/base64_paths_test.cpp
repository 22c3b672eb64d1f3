// The vector paths of the base64 decoder against the exact (table) decoder: the same count and
// the same bytes in the whole destination, terminator and untouched canary included.
#include "decode/decode.hpp"
#include "decode/internal.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{

constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char CANARY = '\xA5';

// What a decoder left: its count and its whole destination.
struct outcome {
    std::int32_t count = -1;
    std::string dst;

    bool operator==(const outcome &) const = default;
};

using line_decoder = void (*)(const char *, std::span<char>, std::int32_t *);

// Decodes src, placed at the end of an exact-size heap block, into a canary-filled destination
// of dst_size bytes, also placed at the end of its block.
outcome
run_decoder(line_decoder decoder, base64_path path, const std::string &src, std::size_t dst_size)
{
    auto in = std::make_unique<char[]>(src.size() + 1);
    std::memcpy(in.get(), src.c_str(), src.size() + 1);
    auto out = std::make_unique<char[]>(dst_size);
    std::memset(out.get(), CANARY, dst_size);
    outcome result;
    if (decoder != nullptr)
        decoder(in.get(), std::span(out.get(), dst_size), &result.count);
    else
        decode_base64_line_on(path, in.get(), std::span(out.get(), dst_size), &result.count);
    result.dst.assign(out.get(), dst_size);
    return result;
}

// The paths this CPU runs besides the exact one.
std::vector<base64_path>
vector_paths()
{
    std::vector<base64_path> paths;
    for (base64_path path : {B64_SSSE3, B64_AVX2}) {
        if (base64_path_runs(path))
            paths.push_back(path);
    }
    return paths;
}

std::string
printable(const std::string &src)
{
    std::string text;
    for (const char c : src) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            text += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            text += escape;
        }
    }
    return text;
}

// Every vector path and decode_base64_line leave what the exact decoder leaves. dst_size 0: the
// contract's three bytes per four characters plus four. Returns false at the first difference.
bool
same_as_exact(const std::string &src, std::size_t dst_size = 0)
{
    if (dst_size == 0)
        dst_size = src.size() * 3 / 4 + 4;
    const outcome exact = run_decoder(decode_base64_line_exact, B64_PORTABLE, src, dst_size);
    for (base64_path path : vector_paths()) {
        if (run_decoder(nullptr, path, src, dst_size) != exact) {
            ADD_FAILURE() << base64_path_name(path) << " differs on \"" << printable(src)
                          << "\", destination of " << dst_size << " bytes";
            return false;
        }
    }
    if (run_decoder(decode_base64_line, B64_PORTABLE, src, dst_size) != exact) {
        ADD_FAILURE() << "decode_base64_line differs on \"" << printable(src) << "\"";
        return false;
    }
    return true;
}

std::string
random_alphabet_text(std::mt19937 *random, std::size_t len)
{
    std::string text(len, 'A');
    for (char &c : text)
        c = ALPHABET[(*random)() % 64];
    return text;
}

bool
is_alphabet(unsigned char c)
{
    return c != 0 && std::strchr(ALPHABET, c) != nullptr;
}

// Reports the path decode_base64_line takes here (the Windows build prints it under Wine too).
TEST(Base64Paths, TakesTheFastestPathThisCpuRuns)
{
    const base64_path best = best_base64_path();
    std::printf("[ base64   ] decode_base64_line takes the %s path\n", base64_path_name(best));
    EXPECT_TRUE(base64_path_runs(best));
    for (int faster = best + 1; faster <= B64_AVX2; ++faster)
        EXPECT_FALSE(base64_path_runs(static_cast<base64_path>(faster)));
}

// Groups the vector loop of path decodes at the start of text (a destination of the contract's
// size).
std::size_t
vector_groups(base64_path path, const std::string &text, std::size_t groups)
{
    std::vector<unsigned char> d(text.size() * 3 / 4 + 4);
    return decode_alphabet_groups(path, reinterpret_cast<const unsigned char *>(text.c_str()),
                                  d.data(), groups);
}

// The common line (76 characters and "\n") and long ones are decoded by the vector loop to their
// last group; it stops before the block that holds padding.
TEST(Base64Paths, VectorLoopTakesWholeLinesOfAlphabetCharacters)
{
    std::mt19937 random(11);
    for (base64_path path : vector_paths()) {
        for (std::size_t len : {16u, 44u, 76u, 10236u}) {
            const std::string line = random_alphabet_text(&random, len) + "\n";
            EXPECT_EQ(vector_groups(path, line, len / 4), len / 4)
                << base64_path_name(path) << ", " << len << " characters";
        }
        const std::string padded = random_alphabet_text(&random, 72) + "QQ==\n";
        EXPECT_EQ(vector_groups(path, padded, 19), 16u) << base64_path_name(path);
    }
}

// Lengths around the 16-, 32- and 64-byte steps, and the common 76.
const std::vector<std::size_t> STEP_LENGTHS = {4,  8,  12, 16, 20, 28, 32,  36,  44,  48,
                                               60, 64, 68, 76, 80, 96, 124, 128, 132, 256};

// A line valid but for one byte, at every place of the line (its "\n" included), every byte
// value but NUL (which ends the line: see the length sweep below).
TEST(Base64Paths, OneOddByteAtEachPlace)
{
    std::mt19937 random(3);
    for (const std::size_t len : STEP_LENGTHS) {
        for (const char *end : {"\n", ""}) {
            const std::string line = random_alphabet_text(&random, len) + end;
            for (std::size_t place = 0; place < line.size(); ++place) {
                for (int b = 1; b < 256; ++b) {
                    if (is_alphabet(static_cast<unsigned char>(b)) && b % 7 != 0)
                        continue;  // a seventh of the alphabet suffices
                    std::string odd = line;
                    odd[place] = static_cast<char>(b);
                    if (!same_as_exact(odd))
                        return;
                }
            }
        }
    }
}

// Every length from 0 to 300 characters, ended by "\n", by NUL alone, by padding, and by "\n"
// and a second line (the line end stops a group start only), into the contract's destination.
TEST(Base64Paths, EveryLengthAndEnding)
{
    std::mt19937 random(5);
    for (std::size_t len = 0; len <= 300; ++len) {
        const std::string text = random_alphabet_text(&random, len);
        for (const char *end : {"\n", "", "=\n", "==\n", "=", "\nQUJD\n", "\r\n", " \n"}) {
            if (!same_as_exact(text + end))
                return;
        }
    }
}

// Every destination size from 1 byte to the contract's, on lines of whole groups and on lines
// with one odd byte: a small destination cuts the output at the same group.
TEST(Base64Paths, EveryDestinationSize)
{
    std::mt19937 random(9);
    for (std::size_t len = 0; len <= 140; len += 1) {
        const std::string line = random_alphabet_text(&random, len) + "\n";
        std::string odd = line;
        odd[random() % odd.size()] = '=';
        for (std::size_t size = 1; size <= len * 3 / 4 + 4; ++size) {
            if (!same_as_exact(line, size) || !same_as_exact(odd, size))
                return;
        }
    }
}

// Random lines: mostly alphabet characters with a few odd bytes of every kind, random lengths
// up to the line buffer's, random ends and destination sizes.
TEST(Base64Paths, RandomLines)
{
    std::mt19937 random(13);
    for (int k = 0; k < 20000; ++k) {
        const std::size_t len = (k % 100 == 0) ? random() % 10236 : random() % 300;
        const unsigned odd_in_1024 = std::vector<unsigned>{0, 1, 8, 64, 512}[random() % 5];
        std::string line = random_alphabet_text(&random, len);
        for (char &c : line) {
            if (random() % 1024 < odd_in_1024)
                c = static_cast<char>(1 + random() % 255);
        }
        if (random() % 2 == 0)
            line += '\n';
        const std::size_t contract = line.size() * 3 / 4 + 4;
        const std::size_t size = (random() % 4 == 0) ? 1 + random() % contract : contract;
        if (!same_as_exact(line, size))
            return;
    }
}

// The run a line-by-line reading takes: CR LF lines of alphabet characters in whole groups, up
// to max_text of them, while their bytes fit in room; each decoded on its own, exactly.
base64_run
line_by_line_run(const std::string &raw, std::size_t max_text, std::size_t room, std::string *bytes)
{
    base64_run run;
    for (std::size_t pos = 0;;) {
        const std::size_t lf = raw.find('\n', pos);
        if (lf == std::string::npos || lf == pos || raw[lf - 1] != '\r')
            return run;
        const std::string line = raw.substr(pos, lf - 1 - pos);
        if (line.empty() || line.size() % 4 != 0 || line.size() > max_text ||
            line.find_first_not_of(ALPHABET) != std::string::npos ||
            run.decoded + line.size() / 4 * 3 > room)
            return run;
        std::vector<char> out(line.size() + 4);
        std::int32_t count = 0;
        decode_base64_line_exact(line.c_str(), out, &count);
        bytes->append(out.data(), static_cast<std::size_t>(count));
        run = {run.lines + 1, lf + 1, pos, run.decoded + static_cast<std::size_t>(count)};
        pos = lf + 1;
    }
}

// Blocks of lines as archives hold them, mostly 76 alphabet characters and CR LF, with lines of
// every other form among them; random room and line limits. Every path takes the run and the
// bytes a line-by-line reading takes.
TEST(Base64Paths, RunsOfLinesAsALineByLineReading)
{
    std::mt19937 random(20261208);
    std::vector<base64_path> paths = vector_paths();
    paths.push_back(B64_PORTABLE);
    for (int k = 0; k < 3000; ++k) {
        std::string raw;
        const std::size_t lines = random() % 40;
        for (std::size_t n = 0; n < lines; ++n) {
            const auto form = static_cast<unsigned>(random() % 24);
            std::string text = random_alphabet_text(&random, form < 6 ? random() % 90 : 76);
            if (form == 6)
                text[random() % text.size()] = "=-\r\n\0 .\xff"[random() % 8];
            if (form == 7)
                text += "==";
            const auto end = static_cast<unsigned>(random() % 16);
            raw += text + (end == 0 ? "\n" : end == 1 ? "\r\r\n" : end == 2 ? "\r" : "\r\n");
        }
        if (random() % 2 == 0)
            raw += random_alphabet_text(&random, random() % 80);  // a line not ended here
        const std::size_t max_text = random() % 4 == 0 ? random() % 100 : 10238;
        const std::size_t room = random() % 4 == 0 ? random() % 2000 : 4096;
        std::string expected_bytes;
        const base64_run expected = line_by_line_run(raw, max_text, room, &expected_bytes);
        for (const base64_path path : paths) {
            auto dst = std::make_unique<char[]>(room);  // at the end of its block
            const base64_run run =
                decode_base64_lines_on(path, raw, max_text, std::span<char>(dst.get(), room));
            const std::string got(dst.get(), run.decoded);
            ASSERT_TRUE(run.lines == expected.lines && run.consumed == expected.consumed &&
                        run.last_line == expected.last_line && got == expected_bytes)
                << base64_path_name(path) << ", block " << k << ": " << run.lines << " lines, "
                << run.consumed << " bytes, expected " << expected.lines << ", "
                << expected.consumed;
        }
    }
}

}  // namespace
