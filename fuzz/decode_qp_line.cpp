// Fuzz target: decode_qp_line over any line (input layout in line_decoder_check.hpp).
#include "decode/decode.hpp"
#include "fuzz/line_decoder_check.hpp"

#include <algorithm>

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t src_len = fuzz_line_length(data, size);
    std::size_t n = 0;
    const std::string src = run_line_decoder(decode_qp_line, data, size, src_len + 2, 0, &n);
    // only "\n" grows (to CR LF)
    const auto line_feeds = static_cast<std::size_t>(std::count(src.begin(), src.end(), '\n'));
    if (n > src_len + line_feeds)
        fuzz_fail("%zu bytes decoded from %zu", n, src_len);
    return 0;
}
