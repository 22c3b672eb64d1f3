// Micro-benchmarks of the byte paths of the walk: the text-mode line reader, the two line
// decoders, the binary output stream, the reference scanner and the rewrite of a page for the
// close-out's renames. Throughput is reported in bytes
// of input per second.
#include "archive/archive.hpp"
#include "archive/internal.hpp"
#include "decode/decode.hpp"
#include "decode/internal.hpp"
#include "platform/platform.hpp"
#include "webref/webref.hpp"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

// Some 1 MB of a board's thread page as the browser saved it: posts of Shift_JIS text in
// tables and spans, a thumbnail with its link each, style attributes, a script and comments.
std::string
make_thread_page()
{
    // 本文です。画像ファイル名 (the post's text)
    static constexpr char TEXT[] = "\x96\x7b\x95\xb6\x82\xc5\x82\xb7\x81\x42\x89\xe6\x91\x9c"
                                   "\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc";
    std::string page = "<html><head><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
                       "charset=Shift_JIS\"><link rel=stylesheet href=\"style.css\">"
                       "<style type=\"text/css\"><!--\nbody{background:url(bg.gif)}\n"
                       ".rtd{background-color:#F0E0D6}/* posts */\n--></style>"
                       "<script type=\"text/javascript\" src=\"base.js\"></script>"
                       "<script>function sd(n){document.write('<img src=\"x'+n+'.gif\">');}"
                       "</script></head><body bgcolor=\"#FFFFEE\">\n";
    for (int post = 0; page.size() < 1000000; ++post) {
        const std::string number = std::to_string(12345678 + post);
        const std::string image = std::to_string(1191234567890LL + post);
        page += "<table border=0><tr><td class=rts>&gt;&gt;</td><td class=rtd>"
                "<input type=checkbox name=\"" +
                number + "\" value=delete id=delcheck" + number + "><span class=csb>" + TEXT +
                "</span> Name <span class=cnm>" + TEXT + "</span> <span class=cnw>07/10/11(" +
                TEXT + ")12:34:56</span> <span class=cno>No." + number +
                "</span> <a href=\"javascript:void(0);\" onclick=\"sd(" + number +
                ");return(false);\" class=sod id=sd" + number + ">+</a><br>";
        if (post % 3 == 0)
            page += "<a href=\"src/" + image + ".jpg\" target=\"_blank\"><img src=\"thumb/" +
                    image + "s.jpg\" border=0 align=left width=126 height=250 hspace=20 alt=\"" +
                    TEXT + "\" style=\"background:url('b" + number + ".gif')\"></a>";
        page += "<blockquote style=\"margin-left:166px;\">" + std::string(TEXT) + TEXT + TEXT +
                "<br><font color=\"#789922\">&gt;" + TEXT + "</font><br>" + TEXT + TEXT +
                "</blockquote><!-- " + number + " --></td></tr></table>\n";
    }
    return page + "</body></html>\n";
}

// Some 1 MB of style sheet: rules with url() values, Shift_JIS font names, comments and an
// @import now and then.
std::string
make_style_sheet()
{
    // ＭＳ Ｐゴシック
    static constexpr char FONT[] = "\x82\x6c\x82\x72 \x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";
    std::string sheet;
    for (int rule = 0; sheet.size() < 1000000; ++rule) {
        const std::string n = std::to_string(rule);
        if (rule % 50 == 0)
            sheet += "@import \"part" + n + ".css\";\n";
        sheet += "/* rule " + n + " */\n.c" + n + " td.rtd, .c" + n +
                 ":hover{background:#F0E0D6 url(img/bg_" + n + ".gif) no-repeat;font-family:\"" +
                 FONT + "\",sans-serif;margin:0 4px 0 166px;border:1px solid #800000}\n";
        if (rule % 4 == 0)
            sheet += ".i" + n + "{list-style-image:url( \"mark" + n + ".png\" )}\n";
    }
    return sheet;
}

// Scans text in 16 KiB chunks, as the rewrite reads a file, writing every reference back as it
// stands; label: the references found.
void
time_reference_scan(benchmark::State &state, scan_text kind, const std::string &text)
{
    constexpr std::size_t CHUNK = 16 * 1024;
    std::vector<char> hold(SCAN_HOLD_SIZE);
    std::vector<char> out(SCAN_HOLD_SIZE);
    std::size_t references = 0;
    for (auto _ : state) {
        ref_scanner scanner;
        scan_init(&scanner, kind, hold);
        std::size_t out_len = 0;
        std::size_t written = 0;
        references = 0;
        for (std::size_t at = 0; at < text.size(); at += CHUNK) {
            const std::string_view chunk(text.data() + at, std::min(CHUNK, text.size() - at));
            std::size_t pos = 0;
            for (;;) {
                scan_reference found;
                const scan_result step = scan_step(&scanner, chunk, &pos, out, &out_len, &found);
                if (step == SCAN_NEED_INPUT)
                    break;
                if (step == SCAN_OUTPUT_FULL ||
                    (step == SCAN_REFERENCE && found.raw.size() > out.size() - out_len)) {
                    written += out_len;  // out taken by the caller
                    out_len = 0;
                }
                if (step == SCAN_REFERENCE) {
                    ++references;
                    std::memcpy(out.data() + out_len, found.raw.data(), found.raw.size());
                    out_len += found.raw.size();
                }
            }
        }
        while (!scan_finish(&scanner, out, &out_len)) {
            written += out_len;
            out_len = 0;
        }
        written += out_len;
        if (written != text.size())
            state.SkipWithError("the output is not the input's length");
        benchmark::DoNotOptimize(written);
    }
    state.SetLabel(std::to_string(references) + " references");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void
BM_ScanReferencesHtml(benchmark::State &state)
{
    static const std::string page = make_thread_page();
    time_reference_scan(state, SCAN_TEXT_HTML, page);
}

void
BM_ScanReferencesCss(benchmark::State &state)
{
    static const std::string sheet = make_style_sheet();
    time_reference_scan(state, SCAN_TEXT_CSS, sheet);
}

BENCHMARK(BM_ScanReferencesHtml);
BENCHMARK(BM_ScanReferencesCss);

// A page whose one line names state.range(0) ".tmp" images, filled out to state.range(1) bytes,
// rewritten with one pass per rename, as the close-out does: the time should grow with the
// renames and the line's length, not with their product. The page is written anew before each
// rewrite (not timed).
void
BM_RewriteOneLine(benchmark::State &state)
{
    const auto renames = static_cast<std::size_t>(state.range(0));
    const auto size = static_cast<std::size_t>(state.range(1));
    std::vector<std::string> texts;  // old and new names, in pairs
    for (std::size_t k = 0; k < renames; ++k) {
        char old_name[48];
        char new_name[48];
        std::snprintf(old_name, sizeof old_name, "T%07zu.tmp", k);
        std::snprintf(new_name, sizeof new_name, "12345678_%03zu.tmp", k + 1);
        texts.insert(texts.end(), {old_name, new_name});
    }
    std::vector<replacement> passes;
    for (std::size_t k = 0; k < texts.size(); k += 2)
        passes.push_back({texts[k], texts[k + 1]});
    std::string page = "<html><body>";
    const std::size_t filler = size / renames > 30 ? size / renames - 30 : 0;
    for (std::size_t k = 0; k < renames; ++k)
        page += "<img src=\"file:///C:/" + texts[2 * k] + "\">" + std::string(filler, ' ');
    page += "</body></html>\r\n";
    const auto path = std::filesystem::temp_directory_path() / "fenwrack_bench_page.htm";
    for (auto _ : state) {
        state.PauseTiming();
        std::FILE *file = std::fopen(path.string().c_str(), "wb");
        const bool written = file != nullptr &&
                             std::fwrite(page.data(), 1, page.size(), file) == page.size() &&
                             std::fclose(file) == 0;
        state.ResumeTiming();
        if (!written) {
            state.SkipWithError("cannot write the page");
            break;
        }
        rewrite_text_file(path.string().c_str(), passes);
    }
    state.SetLabel(std::to_string(renames) + " renames, a line of " + std::to_string(page.size()) +
                   " bytes");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
    std::filesystem::remove(path);
}

BENCHMARK(BM_RewriteOneLine)
    ->Args({2000, 0})
    ->Args({8000, 0})
    ->Args({20000, 10 << 20})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
