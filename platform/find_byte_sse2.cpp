// find_byte and find_text for x86-64, whose every CPU has SSE2. find_byte compares 32 bytes a
// step; find_text takes 16 starting places a step, those whose first and last bytes both match,
// and compares only those whole. No load reaches outside the text: what is left at the end is
// looked at byte by byte, or through the 16 bytes that end the text.
#include "platform/platform.hpp"

#include <cstring>
#include <emmintrin.h>

// Bit k set where byte k of the 16 at p equals the wanted byte.
static inline unsigned
match_mask(const char *p, __m128i wanted)
{
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
}

const char *
find_byte(const char *text, char byte, std::size_t count)
{
    const char *const end = text + count;
    if (count < 16) {
        for (const char *p = text; p < end; ++p) {
            if (*p == byte)
                return p;
        }
        return nullptr;
    }
    const __m128i wanted = _mm_set1_epi8(byte);
    const char *p = text;
    for (; end - p >= 32; p += 32) {
        const unsigned first = match_mask(p, wanted);
        const unsigned second = match_mask(p + 16, wanted);
        if ((first | second) != 0)
            return first != 0 ? p + __builtin_ctz(first) : p + 16 + __builtin_ctz(second);
    }
    if (end - p >= 16) {
        const unsigned mask = match_mask(p, wanted);
        if (mask != 0)
            return p + __builtin_ctz(mask);
        p += 16;
    }
    if (p == end)
        return nullptr;
    // The bytes before p hold no match, so the first one among the last 16 is at p or later.
    const unsigned mask = match_mask(end - 16, wanted);
    return mask != 0 ? end - 16 + __builtin_ctz(mask) : nullptr;
}

// True when the count bytes at p, whose first and last bytes are known to match, are wanted.
static inline bool
matches_between(const char *p, std::string_view wanted)
{
    return std::memcmp(p + 1, wanted.data() + 1, wanted.size() - 2) == 0;
}

std::size_t
find_text(std::string_view text, std::string_view wanted, std::size_t from)
{
    const std::size_t n = wanted.size();
    if (n == 0)
        return from <= text.size() ? from : std::string_view::npos;
    if (from >= text.size() || text.size() - from < n)
        return std::string_view::npos;
    if (n == 1) {
        const char *hit = find_byte(text.data() + from, wanted[0], text.size() - from);
        return hit == nullptr ? std::string_view::npos
                              : static_cast<std::size_t>(hit - text.data());
    }
    const char *p = text.data() + from;
    const char *const last_start = text.data() + text.size() - n;  // the last place it fits
    const __m128i first = _mm_set1_epi8(wanted[0]);
    const __m128i last = _mm_set1_epi8(wanted[n - 1]);
    for (; last_start - p >= 15; p += 16) {
        unsigned mask = match_mask(p, first) & match_mask(p + n - 1, last);
        for (; mask != 0; mask &= mask - 1) {
            const char *candidate = p + __builtin_ctz(mask);
            if (matches_between(candidate, wanted))
                return static_cast<std::size_t>(candidate - text.data());
        }
    }
    for (; p <= last_start; ++p) {
        if (p[0] == wanted[0] && p[n - 1] == wanted[n - 1] && matches_between(p, wanted))
            return static_cast<std::size_t>(p - text.data());
    }
    return std::string_view::npos;
}
