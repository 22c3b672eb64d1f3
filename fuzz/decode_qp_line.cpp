// Fuzz target: decode_qp_line over any line. The first input byte picks the destination: even
// gives the source length plus two bytes (the contract's size), odd a smaller one (1 to 64
// bytes) that must cut the output. The rest, to its first NUL, is the line, at the end of an
// exact-size block.
#include "decode/decode.hpp"
#include "fuzz/scratch_folder.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

static constexpr unsigned char CANARY = 0xA5;

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t option = data[0];
    const std::size_t src_len =
        bounded_length(std::span(reinterpret_cast<const char *>(data + 1), size - 1));
    auto src = std::make_unique<char[]>(src_len + 1);
    std::memcpy(src.get(), data + 1, src_len);
    src[src_len] = '\0';

    const std::size_t dst_size =
        (option & 1) != 0 ? 1 + static_cast<std::size_t>(option >> 1) % 64 : src_len + 2;
    auto dst = std::make_unique<unsigned char[]>(dst_size);
    std::memset(dst.get(), CANARY, dst_size);
    std::int32_t count = -1;
    decode_qp_line(src.get(), std::span(reinterpret_cast<char *>(dst.get()), dst_size), &count);

    if (count < 0 || static_cast<std::size_t>(count) >= dst_size)
        fuzz_fail("count %d outside a destination of %zu bytes", count, dst_size);
    const auto n = static_cast<std::size_t>(count);
    if (dst[n] != 0)
        fuzz_fail("no terminator after %zu decoded bytes", n);
    // only "\n" grows (to CR LF)
    const auto line_feeds =
        static_cast<std::size_t>(std::count(src.get(), src.get() + src_len, '\n'));
    if (n > src_len + line_feeds)
        fuzz_fail("%zu bytes decoded from %zu", n, src_len);
    for (std::size_t i = n + 1; i < dst_size; ++i) {
        if (dst[i] != CANARY)
            fuzz_fail("byte %zu written past count %zu", i, n);
    }
    return 0;
}
