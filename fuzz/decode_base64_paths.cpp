// Fuzz target: every vector path of the base64 decoder (and decode_base64_line) against the
// exact table decoder, on the line and on the line taken as a block of CR LF lines. The first input
// byte picks the destination as for the line decoders (line_decoder_check.hpp). The rest is a line
// written mostly in the alphabet, so that random inputs reach the vector loops: a byte below 0xF0
// stands for the alphabet character of its low six bits; a byte from 0xF0 up takes the next byte as
// it is (NUL ends the line).
#include "decode/decode.hpp"
#include "decode/internal.hpp"
#include "fuzz/scratch_folder.hpp"

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

static constexpr char ALPHABET[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
static constexpr unsigned char LITERAL = 0xF0;
static constexpr char CANARY = '\xA5';

static std::string
read_line(const std::uint8_t *data, std::size_t size)
{
    std::string line;
    for (std::size_t k = 0; k < size; ++k) {
        if (data[k] < LITERAL) {
            line += ALPHABET[data[k] & 63];
            continue;
        }
        if (++k == size || data[k] == 0)
            break;
        line += static_cast<char>(data[k]);
    }
    return line;
}

// The count and the whole destination a decoder leaves, the line at the end of an exact-size
// block and the destination canary-filled.
static std::string
run_path(base64_path path, bool exact, const std::string &line, std::size_t dst_size)
{
    auto src = std::make_unique<char[]>(line.size() + 1);
    std::memcpy(src.get(), line.c_str(), line.size() + 1);
    auto dst = std::make_unique<char[]>(dst_size);
    std::memset(dst.get(), CANARY, dst_size);
    std::int32_t count = -1;
    if (exact)
        decode_base64_line_exact(src.get(), std::span(dst.get(), dst_size), &count);
    else
        decode_base64_line_on(path, src.get(), std::span(dst.get(), dst_size), &count);
    if (count < 0 || static_cast<std::size_t>(count) >= dst_size)
        fuzz_fail("%s: count %d outside a destination of %zu bytes", base64_path_name(path), count,
                  dst_size);
    std::string result(reinterpret_cast<const char *>(&count), sizeof count);
    result.append(dst.get(), dst_size);
    return result;
}

// The input as a block of lines: every path takes the same run, and each line of it decodes
// to what the exact decoder gives that line alone.
static void
check_runs(const std::string &raw, std::size_t room)
{
    auto dst = std::make_unique<char[]>(room);
    const base64_run portable =
        decode_base64_lines_on(B64_PORTABLE, raw, 10238, std::span(dst.get(), room));
    const std::string bytes(dst.get(), portable.decoded);
    std::string exact;
    for (std::size_t at = 0; at < portable.consumed;) {
        const std::size_t lf = raw.find('\n', at);
        std::string line = raw.substr(at, lf - 1 - at);
        std::string out(line.size() + 4, '\0');
        std::int32_t count = 0;
        decode_base64_line_exact(line.c_str(), out, &count);
        exact.append(out.data(), static_cast<std::size_t>(count));
        at = lf + 1;
    }
    if (bytes != exact)
        fuzz_fail("a run of %zu lines differs from the exact decoder", portable.lines);
    for (const base64_path path : {B64_SSSE3, B64_AVX2}) {
        if (!base64_path_runs(path))
            continue;
        const base64_run run = decode_base64_lines_on(path, raw, 10238, std::span(dst.get(), room));
        if (run.lines != portable.lines || run.consumed != portable.consumed ||
            run.last_line != portable.last_line || std::string(dst.get(), run.decoded) != bytes)
            fuzz_fail("%s takes another run than the tables", base64_path_name(path));
    }
}

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string line = read_line(data + 1, size - 1);
    const std::size_t contract = line.size() * 3 / 4 + 4;
    const std::size_t dst_size =
        (data[0] & 1) != 0 ? 1 + static_cast<std::size_t>(data[0] >> 1) % 64 : contract;
    const std::string exact = run_path(B64_PORTABLE, true, line, dst_size);
    for (const base64_path path : {B64_PORTABLE, B64_SSSE3, B64_AVX2, best_base64_path()}) {
        if (base64_path_runs(path) && run_path(path, false, line, dst_size) != exact)
            fuzz_fail("%s differs from the exact decoder on a line of %zu bytes",
                      base64_path_name(path), line.size());
    }
    check_runs(line, dst_size * 16 + 1);
    return 0;
}
