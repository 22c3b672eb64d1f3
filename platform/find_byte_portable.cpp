// find_byte and find_text on CPUs other than x86-64: the C runtime's memchr and the standard
// library's search (x86-64 builds find_byte_sse2.cpp instead).
#include "platform/platform.hpp"

#include <cstring>

const char *
find_byte(const char *text, char byte, std::size_t count)
{
    return static_cast<const char *>(std::memchr(text, static_cast<unsigned char>(byte), count));
}

std::size_t
find_text(std::string_view text, std::string_view wanted, std::size_t from)
{
    return text.find(wanted, from);
}
