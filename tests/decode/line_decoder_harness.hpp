// Runs a line decoder the way the tests of both line decoders need it: the source at the end of
// an exact-size heap block, the destination canary-filled, the terminator and the bytes past the
// count checked.
#pragma once

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <span>
#include <string>

using line_decoder = void (*)(const char *, std::span<char>, std::int32_t *);

inline constexpr char CANARY = '\xA5';

// Decodes src into a destination of dst_size bytes. Bytes from count + 1 + slack on must keep
// the canary (slack 1 lets a padded last base64 group fill the byte after the terminator).
inline std::string
decode_guarded(line_decoder decoder, const std::string &src, std::size_t dst_size,
               std::size_t slack)
{
    auto in = std::make_unique<char[]>(src.size() + 1);
    std::memcpy(in.get(), src.c_str(), src.size() + 1);
    auto out = std::make_unique<char[]>(dst_size);
    std::memset(out.get(), CANARY, dst_size);
    std::int32_t count = -1;
    decoder(in.get(), std::span(out.get(), dst_size), &count);
    const auto n = static_cast<std::size_t>(count);
    EXPECT_TRUE(count >= 0 && n < dst_size);
    EXPECT_EQ(out[n], '\0');
    for (std::size_t i = n + 1 + slack; i < dst_size; ++i)
        EXPECT_EQ(out[i], CANARY) << "byte " << i << " written, count " << count;
    return std::string(out.get(), n);
}

// One row of a decoder's table: source, expected bytes and, when not 0, the destination size.
struct vector_case {
    const char *name;
    std::string src;
    std::string expected;
    std::size_t dst_size = 0;
};

// Bytes as C escapes where they are not printable ASCII, so a failing row reads as its source.
inline std::string
escaped(const std::string &bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '\\') {
            out += c;
        } else {
            static constexpr char HEX[] = "0123456789abcdef";
            out += "\\x";
            out += HEX[u >> 4];
            out += HEX[u & 15];
        }
    }
    return out;
}

// Rows print as their names and sources, not as raw object bytes.
inline void
PrintTo(const vector_case &c, std::ostream *os)
{
    *os << c.name << " \"" << escaped(c.src) << "\"";
}
