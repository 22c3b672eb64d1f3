// Fuzz target: jis_to_sjis in place over any line (the input to its first NUL, at the end of
// an exact-size block). The result must be terminated within the line and never longer.
#include "decode/decode.hpp"
#include "fuzz/scratch_folder.hpp"

#include <cstring>
#include <memory>

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::size_t len = bounded_length(std::span(reinterpret_cast<const char *>(data), size));
    auto line = std::make_unique<char[]>(len + 1);
    std::memcpy(line.get(), data, len);
    line[len] = '\0';
    jis_to_sjis(line.get());
    const std::size_t out_len = bounded_length(std::span(line.get(), len + 1));
    if (out_len > len)
        fuzz_fail("converted line of %zu bytes from %zu", out_len, len);
    return 0;
}
