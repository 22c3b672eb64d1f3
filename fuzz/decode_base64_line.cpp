// Fuzz target: decode_base64_line over any line. The first input byte picks the destination:
// even gives the size the contract asks for, odd a smaller one (1 to 64 bytes) that must cut
// the output. The rest, to its first NUL, is the line, at the end of an exact-size block.
#include "decode/decode.hpp"
#include "fuzz/scratch_folder.hpp"

#include <cstring>
#include <memory>

static constexpr unsigned char CANARY = 0xA5;

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const bool tables_ready = (init_base64_tables(), true);
    (void)tables_ready;
    const std::uint8_t option = data[0];
    const std::size_t src_len =
        bounded_length(std::span(reinterpret_cast<const char *>(data + 1), size - 1));
    auto src = std::make_unique<char[]>(src_len + 1);
    std::memcpy(src.get(), data + 1, src_len);
    src[src_len] = '\0';

    const std::size_t dst_size =
        (option & 1) != 0 ? 1 + static_cast<std::size_t>(option >> 1) % 64 : src_len * 3 / 4 + 4;
    auto dst = std::make_unique<unsigned char[]>(dst_size);
    std::memset(dst.get(), CANARY, dst_size);
    std::int32_t count = -1;
    decode_base64_line(src.get(), std::span(reinterpret_cast<char *>(dst.get()), dst_size), &count);

    if (count < 0 || static_cast<std::size_t>(count) >= dst_size)
        fuzz_fail("count %d outside a destination of %zu bytes", count, dst_size);
    const auto n = static_cast<std::size_t>(count);
    if (dst[n] != 0)
        fuzz_fail("no terminator after %zu decoded bytes", n);
    // three bytes per group of four characters, less at most two for padding
    const std::size_t groups = (src_len + 3) / 4;
    if (n > 3 * groups)
        fuzz_fail("%zu bytes decoded from %zu characters", n, src_len);
    // a padded last group may write one byte past the count, nothing else may change
    for (std::size_t i = n + 2; i < dst_size; ++i) {
        if (dst[i] != CANARY)
            fuzz_fail("byte %zu written past count %zu", i, n);
    }
    return 0;
}
