// find_byte on CPUs other than x86-64: the C runtime's memchr (x86-64 builds
// find_byte_sse2.cpp instead).
#include "platform/platform.hpp"

#include <cstring>

const char *
find_byte(const char *text, char byte, std::size_t count)
{
    return static_cast<const char *>(std::memchr(text, static_cast<unsigned char>(byte), count));
}
