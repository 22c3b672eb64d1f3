// Micro-benchmarks of the byte paths of the walk: the text-mode line reader, the two line
// decoders and the binary output stream. Throughput is reported in bytes of input per second.
#include "decode/decode.hpp"
#include "decode/internal.hpp"
#include "platform/platform.hpp"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

constexpr char BASE64_ALPHABET[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// A fixed-seed generator: every run measures the same bytes.
std::uint32_t
next_random(std::uint32_t *state)
{
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

// count base64 lines of width characters and a line feed, as the reader delivers them.
std::vector<std::string>
make_base64_lines(std::size_t count, int width = 76)
{
    std::uint32_t seed = 1;
    std::vector<std::string> lines(count);
    for (std::string &line : lines) {
        for (int k = 0; k < width; ++k)
            line.push_back(BASE64_ALPHABET[next_random(&seed) % 64]);
        line.push_back('\n');
    }
    return lines;
}

// Quoted-printable lines of a Shift_JIS page: escapes, markup and soft breaks.
std::vector<std::string>
make_qp_lines(std::size_t count)
{
    static const char *const pieces[] = {"=83=8C=83X",   "<td>",         "No.12345678 ", "=3D\"",
                                         "=82=B1=82=EA", "<blockquote>", "abc ",         "=81=40"};
    std::uint32_t seed = 7;
    std::vector<std::string> lines(count);
    for (std::string &line : lines) {
        while (line.size() < 70)
            line += pieces[next_random(&seed) % 8];
        line += (next_random(&seed) % 2 == 0) ? "=\n" : "\n";
    }
    return lines;
}

std::size_t
total_length(const std::vector<std::string> &lines)
{
    std::size_t total = 0;
    for (const std::string &line : lines)
        total += line.size();
    return total;
}

// Decodes lines of state.range(0) characters (76: what browsers write; 10236: the longest a
// line buffer holds) along the given path (B64_PORTABLE: the exact decoder).
void
time_base64_lines(benchmark::State &state, base64_path path)
{
    if (!base64_path_runs(path)) {
        state.SkipWithError("this CPU does not run the path");
        return;
    }
    const int width = static_cast<int>(state.range(0));
    const std::vector<std::string> lines = make_base64_lines(width > 1000 ? 32 : 4096, width);
    char work[LINE_BUFFER_SIZE + 4];
    for (auto _ : state) {
        for (const std::string &line : lines) {
            std::int32_t count = 0;
            decode_base64_line_on(path, line.c_str(), work, &count);
            benchmark::DoNotOptimize(count);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(total_length(lines)));
}

// decode_base64_line itself: the fastest path of this CPU.
void
BM_DecodeBase64Line(benchmark::State &state)
{
    state.SetLabel(base64_path_name(best_base64_path()));
    time_base64_lines(state, best_base64_path());
}

void
BM_DecodeBase64LineExact(benchmark::State &state)
{
    time_base64_lines(state, B64_PORTABLE);
}

void
BM_DecodeBase64LineSsse3(benchmark::State &state)
{
    time_base64_lines(state, B64_SSSE3);
}

void
BM_DecodeBase64LineAvx2(benchmark::State &state)
{
    time_base64_lines(state, B64_AVX2);
}

// A read block's worth (64 KiB) of 76-character lines ended by CR LF, decoded as one run along
// path state.range(0) (0: the tables, 1: SSSE3, 2: AVX2), as the body loop takes them.
void
BM_DecodeBase64Run(benchmark::State &state)
{
    const auto path = static_cast<base64_path>(state.range(0));
    if (!base64_path_runs(path)) {
        state.SkipWithError("this CPU does not run the path");
        return;
    }
    state.SetLabel(base64_path_name(path));
    std::string block;
    for (const std::string &line : make_base64_lines(840, 76))
        block += line.substr(0, line.size() - 1) + "\r\n";
    std::vector<char> out(block.size());
    if (decode_base64_lines_on(path, block, 10238, out).consumed != block.size()) {
        state.SkipWithError("the block is not one run");
        return;
    }
    for (auto _ : state) {
        const base64_run run = decode_base64_lines_on(path, block, 10238, out);
        benchmark::DoNotOptimize(run.decoded);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(block.size()));
}

BENCHMARK(BM_DecodeBase64Run)->Arg(B64_PORTABLE)->Arg(B64_SSSE3)->Arg(B64_AVX2);
BENCHMARK(BM_DecodeBase64Line)->Arg(76)->Arg(10236);
BENCHMARK(BM_DecodeBase64LineExact)->Arg(76)->Arg(10236);
BENCHMARK(BM_DecodeBase64LineSsse3)->Arg(76)->Arg(10236);
BENCHMARK(BM_DecodeBase64LineAvx2)->Arg(76)->Arg(10236);

void
BM_DecodeQpLine(benchmark::State &state)
{
    const std::vector<std::string> lines = make_qp_lines(4096);
    char work[LINE_BUFFER_SIZE + 4];
    for (auto _ : state) {
        for (const std::string &line : lines) {
            std::int32_t count = 0;
            decode_qp_line(line.c_str(), work, &count);
            benchmark::DoNotOptimize(count);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(total_length(lines)));
}

BENCHMARK(BM_DecodeQpLine);

// A file of base64 lines stored with CR LF, read back line by line in text mode.
void
BM_TextReadLine(benchmark::State &state)
{
    const auto path = std::filesystem::temp_directory_path() / "fenwrack_bench_lines.txt";
    std::string bytes;
    for (const std::string &line : make_base64_lines(64 * 1024)) {
        bytes.append(line, 0, line.size() - 1);
        bytes += "\r\n";
    }
    std::FILE *file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        state.SkipWithError("cannot write the input file");
        return;
    }
    std::fclose(file);
    char line[LINE_BUFFER_SIZE];
    for (auto _ : state) {
        text_input in;
        text_open_read(&in, path.string().c_str());
        std::size_t lines = 0;
        while (text_read_line(&in, line))
            ++lines;
        text_close(&in);
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
    std::filesystem::remove(path);
}

BENCHMARK(BM_TextReadLine);

// Decoded base64 lines (57 bytes each) written to a binary output stream.
void
BM_OutWriteBinary(benchmark::State &state)
{
    const auto path = std::filesystem::temp_directory_path() / "fenwrack_bench_out.bin";
    char chunk[57] = {};
    constexpr int CHUNKS = 64 * 1024;
    for (auto _ : state) {
        out_stream out;
        out_open(&out, path.string().c_str(), "wb");
        for (int k = 0; k < CHUNKS; ++k)
            out_write(&out, chunk, sizeof chunk);
        if (!out_close(&out))
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * CHUNKS * static_cast<std::int64_t>(sizeof chunk));
    std::filesystem::remove(path);
}

BENCHMARK(BM_OutWriteBinary);

}  // namespace

BENCHMARK_MAIN();
