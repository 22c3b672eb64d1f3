#include "support/support.hpp"

#include <cstring>
#include <string>

unsigned char
ascii_upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

int
str_nicmp(const char *text, const char *literal, std::size_t n)
{
    while (n > 0 && *text != '\0' && *literal != '\0') {
        const auto t = static_cast<unsigned char>(*text);
        const auto l = static_cast<unsigned char>(*literal);
        if (ascii_upper(t) != ascii_upper(l))
            return t - l;
        ++text;
        ++literal;
        --n;
    }
    if (n == 0)
        return 0;
    return *text != '\0' ? 1 : -1;
}

bool
is_same_name_nocase(const char *a, const char *b)
{
    const std::size_t len = std::strlen(a);
    return std::strlen(b) == len && str_nicmp(a, b, len) == 0;
}

std::string
ascii_folded(std::string_view name)
{
    std::string folded(name);
    for (char &c : folded)
        c = static_cast<char>(ascii_upper(static_cast<unsigned char>(c)));
    return folded;
}

name_set
make_name_set(std::span<const std::string> names)
{
    name_set set;
    for (const std::string &name : names)
        set.folded.insert(ascii_folded(name));
    return set;
}

bool
has_name_nocase(const name_set *set, const char *name)
{
    return set != nullptr && !set->folded.empty() && set->folded.count(ascii_folded(name)) != 0;
}

bool
has_prefix_nocase(const char *text, std::string_view literal)
{
    for (const char l : literal) {
        if (*text == '\0' || ascii_upper(static_cast<unsigned char>(*text)) !=
                                 ascii_upper(static_cast<unsigned char>(l)))
            return false;
        ++text;
    }
    return true;
}

bool
has_prefix(const char *text, std::string_view literal)
{
    for (const char l : literal) {
        if (*text == '\0' || *text != l)
            return false;
        ++text;
    }
    return true;
}

int
digit_run_max(const char *text, int max)
{
    int count = 0;
    while (count < max && text[count] >= '0' && text[count] <= '9')
        ++count;
    return count;
}

bool
copy_bounded(std::span<char> dst, std::string_view src)
{
    const std::size_t n = src.size() < dst.size() ? src.size() : dst.size() - 1;
    if (n > 0)
        std::memmove(dst.data(), src.data(), n);
    dst[n] = '\0';
    return n == src.size();
}

bool
is_sjis_lead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFE);
}

std::size_t
fit_characters(std::string_view src, std::size_t room)
{
    if (src.size() <= room)
        return src.size();
    std::size_t i = 0;
    while (i < room) {
        const std::size_t step = is_sjis_lead(static_cast<unsigned char>(src[i])) ? 2 : 1;
        if (i + step > room)
            break;
        i += step;
    }
    return i;
}

bool
append_bounded(std::span<char> dst, std::string_view src)
{
    const std::size_t used = bounded_length(dst);
    if (used >= dst.size())
        return src.empty();  // no terminator: nothing can be appended safely
    const std::size_t room = dst.size() - 1 - used;
    const std::size_t n = fit_characters(src, room);
    std::memmove(dst.data() + used, src.data(), n);
    dst[used + n] = '\0';
    return n == src.size();
}

std::size_t
bounded_length(std::span<const char> buf)
{
    const void *nul = std::memchr(buf.data(), '\0', buf.size());
    return nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - buf.data()) : buf.size();
}
