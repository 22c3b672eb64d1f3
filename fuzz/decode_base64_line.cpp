// Fuzz target: decode_base64_line over any line (input layout in line_decoder_check.hpp).
#include "decode/decode.hpp"
#include "fuzz/line_decoder_check.hpp"

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t src_len = fuzz_line_length(data, size);
    std::size_t n = 0;
    // a padded last group may write one byte past the count (slack 1), nothing else may change
    run_line_decoder(decode_base64_line, data, size, src_len * 3 / 4 + 4, 1, &n);
    // three bytes per group of four characters, less at most two for padding
    const std::size_t groups = (src_len + 3) / 4;
    if (n > 3 * groups)
        fuzz_fail("%zu bytes decoded from %zu characters", n, src_len);
    return 0;
}
