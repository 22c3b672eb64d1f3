// Shared by the fuzz targets of the two line decoders. The first input byte picks the
// destination: even gives the size the decoder's contract asks for, odd a smaller one (1 to 64
// bytes) that must cut the output. The rest, to its first NUL, is the line, placed at the end
// of an exact-size block.
#pragma once

#include "fuzz/scratch_folder.hpp"
#include "support/support.hpp"

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

using line_decoder = void (*)(const char *, std::span<char>, std::int32_t *);

inline constexpr unsigned char CANARY = 0xA5;

// Runs decoder on the input; aborts when the count lies outside the destination, the
// terminator is missing, or a byte from count + 1 + slack on changed. Returns the line and sets
// *count_out to the decoded count.
inline std::string
run_line_decoder(line_decoder decoder, const std::uint8_t *data, std::size_t size,
                 std::size_t contract_size, std::size_t slack, std::size_t *count_out)
{
    const std::uint8_t option = data[0];
    const std::size_t src_len =
        bounded_length(std::span(reinterpret_cast<const char *>(data + 1), size - 1));
    auto src = std::make_unique<char[]>(src_len + 1);
    std::memcpy(src.get(), data + 1, src_len);
    src[src_len] = '\0';

    const std::size_t dst_size =
        (option & 1) != 0 ? 1 + static_cast<std::size_t>(option >> 1) % 64 : contract_size;
    auto dst = std::make_unique<unsigned char[]>(dst_size);
    std::memset(dst.get(), CANARY, dst_size);
    std::int32_t count = -1;
    decoder(src.get(), std::span(reinterpret_cast<char *>(dst.get()), dst_size), &count);

    if (count < 0 || static_cast<std::size_t>(count) >= dst_size)
        fuzz_fail("count %d outside a destination of %zu bytes", count, dst_size);
    const auto n = static_cast<std::size_t>(count);
    if (dst[n] != 0)
        fuzz_fail("no terminator after %zu decoded bytes", n);
    for (std::size_t i = n + 1 + slack; i < dst_size; ++i) {
        if (dst[i] != CANARY)
            fuzz_fail("byte %zu written past count %zu", i, n);
    }
    *count_out = n;
    return std::string(src.get(), src_len);
}

// The input's line length: the bytes after the option byte up to the first NUL.
inline std::size_t
fuzz_line_length(const std::uint8_t *data, std::size_t size)
{
    return bounded_length(std::span(reinterpret_cast<const char *>(data + 1), size - 1));
}
