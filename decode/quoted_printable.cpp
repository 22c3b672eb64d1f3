#include "decode/decode.hpp"

#include <cstring>

void
decode_qp_line(const char *src, std::span<char> dst, std::int32_t *length_out)
{
    const std::size_t n = std::strlen(src);
    std::memcpy(dst.data(), src, n + 1);
    *length_out = static_cast<std::int32_t>(n);
}
