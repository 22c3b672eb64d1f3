// Vector loops of the base64 decoder for x86-64: SSSE3 (16 characters, four groups, a step) and
// AVX2 (32 characters, eight groups), each compiled for its instruction set by a target
// attribute and chosen at run time. CPUs of other kinds build base64_no_vector.cpp instead.
//
// A step classifies every character by its two nibbles (two 16-entry lookups joined by AND are
// zero exactly for the alphabet), turns each into its 6-bit value by adding an offset looked up
// by its high nibble ('/' shares its nibble with '+' and is moved one entry down), and packs four
// values into three bytes with two multiply-adds and a byte shuffle. Stores write only the bytes
// of the groups decoded (12 or 24 a step, never a whole vector's 16 or 32): nothing past them
// changes, so the table loop that goes on from there leaves the destination as it would alone.
//
// No __m256i value is passed to or returned from a call that is not inlined: MinGW-w64 GCC cannot
// align the stack to 32 bytes, so such a value must not be placed there (the Windows build also
// assembles this file with unaligned moves only; see CMakeLists.txt).
#include "decode/decode.hpp"

#include "decode/internal.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

#define FENWRACK_SSSE3 static __attribute__((target("ssse3"), always_inline)) inline
#define FENWRACK_AVX2 static __attribute__((target("avx2"), always_inline)) inline

// Class bits of a character's low nibble (low_class_table) and of its high nibble
// (high_class_table); a character is in the alphabet exactly when the two share no bit. Bit 0: low
// nibble other than B ('+') or F ('/'), bad under high nibble 2. Bit 1: low nibble above 9, bad
// under 3 (digits). Bit 2: low nibble 0, bad under 4 and 6 ('@', '`'). Bit 3: low nibble above A,
// bad under 5 and 7 (after 'Z', 'z'). Bit 4: every low nibble, bad under 0, 1 and 8 to F.
FENWRACK_SSSE3 __m128i
low_class_table()
{
    return _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A,
                         0x1B, 0x1B, 0x1B, 0x1A);
}

FENWRACK_SSSE3 __m128i
high_class_table()
{
    return _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10,
                         0x10, 0x10, 0x10, 0x10);
}

// Added to an alphabet character to give its value, by high nibble: entry 1 for '/', 2 for '+',
// 3 for digits, 4 and 5 for capitals, 6 and 7 for small letters.
FENWRACK_SSSE3 __m128i
offset_table()
{
    return _mm_setr_epi8(0, 63 - '/', 62 - '+', 52 - '0', -'A', -'A', 26 - 'a', 26 - 'a', 0, 0, 0,
                         0, 0, 0, 0, 0);
}

// Within each four bytes of 24-bit groups (low byte first), the three bytes high byte first.
FENWRACK_SSSE3 __m128i
group_bytes_order()
{
    return _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
}

// Zero exactly in the lanes that hold an alphabet character.
FENWRACK_SSSE3 __m128i
odd_lanes_128(__m128i chars)
{
    const __m128i low = _mm_and_si128(chars, _mm_set1_epi8(0x0F));
    const __m128i high = _mm_and_si128(_mm_srli_epi32(chars, 4), _mm_set1_epi8(0x0F));
    return _mm_and_si128(_mm_shuffle_epi8(low_class_table(), low),
                         _mm_shuffle_epi8(high_class_table(), high));
}

// Four groups of alphabet characters to their twelve bytes, in the low twelve lanes.
FENWRACK_SSSE3 __m128i
decode_block_128(__m128i chars)
{
    const __m128i high = _mm_and_si128(_mm_srli_epi32(chars, 4), _mm_set1_epi8(0x0F));
    const __m128i slash = _mm_cmpeq_epi8(chars, _mm_set1_epi8('/'));
    const __m128i values =
        _mm_add_epi8(chars, _mm_shuffle_epi8(offset_table(), _mm_add_epi8(high, slash)));
    // pairs: first * 64 + second; then pairs of pairs: first * 4096 + second
    const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    return _mm_shuffle_epi8(groups, group_bytes_order());
}

FENWRACK_SSSE3 bool
is_alphabet_block_128(__m128i chars)
{
    return _mm_movemask_epi8(_mm_cmpeq_epi8(odd_lanes_128(chars), _mm_setzero_si128())) == 0xFFFF;
}

FENWRACK_SSSE3 void
store_12(unsigned char *d, __m128i bytes)
{
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d), bytes);
    const auto last = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8)));
    std::memcpy(d + 8, &last, 4);
}

// The last one to three groups of the run, g to groups - 1, when all are alphabet characters:
// decoded as the last four groups of the run, so that those of them already decoded are decoded
// again to the same bytes. Returns the number of groups decoded from the start: groups, or g.
FENWRACK_SSSE3 std::size_t
decode_tail_128(const unsigned char *s, unsigned char *d, std::size_t g, std::size_t groups)
{
    if (g == groups || groups < 4)
        return g;
    const std::size_t last4 = groups - 4;
    const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 4 * last4));
    if (!is_alphabet_block_128(chars))
        return g;
    store_12(d + 3 * last4, decode_block_128(chars));
    return groups;
}

FENWRACK_SSSE3 std::size_t
decode_groups_ssse3(const unsigned char *s, unsigned char *d, std::size_t groups)
{
    std::size_t g = 0;
    for (; g + 4 <= groups; g += 4) {
        const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 4 * g));
        if (!is_alphabet_block_128(chars))
            return g;
        store_12(d + 3 * g, decode_block_128(chars));
    }
    return decode_tail_128(s, d, g, groups);
}

// The 128-bit tables in both lanes.
FENWRACK_AVX2 __m256i
both_lanes(__m128i table)
{
    return _mm256_broadcastsi128_si256(table);
}

FENWRACK_AVX2 bool
is_alphabet_block_256(__m256i chars)
{
    const __m256i low = _mm256_and_si256(chars, _mm256_set1_epi8(0x0F));
    const __m256i high = _mm256_and_si256(_mm256_srli_epi32(chars, 4), _mm256_set1_epi8(0x0F));
    const __m256i odd = _mm256_and_si256(_mm256_shuffle_epi8(both_lanes(low_class_table()), low),
                                         _mm256_shuffle_epi8(both_lanes(high_class_table()), high));
    return _mm256_testz_si256(odd, odd) != 0;
}

// Eight groups of alphabet characters to their 24 bytes, stored at d.
FENWRACK_AVX2 void
decode_block_256(__m256i chars, unsigned char *d)
{
    const __m256i high = _mm256_and_si256(_mm256_srli_epi32(chars, 4), _mm256_set1_epi8(0x0F));
    const __m256i slash = _mm256_cmpeq_epi8(chars, _mm256_set1_epi8('/'));
    const __m256i values = _mm256_add_epi8(
        chars, _mm256_shuffle_epi8(both_lanes(offset_table()), _mm256_add_epi8(high, slash)));
    const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    const __m256i lanes = _mm256_shuffle_epi8(groups, both_lanes(group_bytes_order()));
    // twelve bytes in each lane: the first three dwords of each, side by side
    const __m256i bytes =
        _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm256_castsi256_si128(bytes));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d + 16), _mm256_extracti128_si256(bytes, 1));
}

FENWRACK_AVX2 std::size_t
decode_groups_avx2(const unsigned char *s, unsigned char *d, std::size_t groups)
{
    std::size_t g = 0;
    for (; g + 8 <= groups; g += 8) {
        const __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + 4 * g));
        if (!is_alphabet_block_256(chars))
            return g;
        decode_block_256(chars, d + 3 * g);
    }
    if (g + 4 <= groups) {
        const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 4 * g));
        if (!is_alphabet_block_128(chars))
            return g;
        store_12(d + 3 * g, decode_block_128(chars));
        g += 4;
    }
    return decode_tail_128(s, d, g, groups);
}

// decode_alphabet_groups for one path, its vector loop inlined.
__attribute__((target("ssse3"))) static std::size_t
decode_groups_on_ssse3(const unsigned char *s, unsigned char *d, std::size_t groups)
{
    return decode_groups_ssse3(s, d, groups);
}

__attribute__((target("avx2"))) static std::size_t
decode_groups_on_avx2(const unsigned char *s, unsigned char *d, std::size_t groups)
{
    return decode_groups_avx2(s, d, groups);
}

// decode_alphabet_lines for one path: the lines one after another, each with the vector loop
// inlined.
__attribute__((target("ssse3"))) static std::size_t
decode_lines_ssse3(const unsigned char *s, std::size_t text_len, std::size_t lines,
                   unsigned char *d)
{
    const std::size_t groups = text_len / 4;
    for (std::size_t k = 0; k < lines; ++k) {
        const unsigned char *line = s + k * (text_len + 2);
        if (line[text_len] != '\r' || line[text_len + 1] != '\n' ||
            decode_groups_ssse3(line, d + k * 3 * groups, groups) != groups)
            return k;
    }
    return lines;
}

__attribute__((target("avx2"))) static std::size_t
decode_lines_avx2(const unsigned char *s, std::size_t text_len, std::size_t lines, unsigned char *d)
{
    const std::size_t groups = text_len / 4;
    for (std::size_t k = 0; k < lines; ++k) {
        const unsigned char *line = s + k * (text_len + 2);
        if (line[text_len] != '\r' || line[text_len + 1] != '\n' ||
            decode_groups_avx2(line, d + k * 3 * groups, groups) != groups)
            return k;
    }
    return lines;
}

bool
base64_path_runs(base64_path path)
{
    __builtin_cpu_init();
    switch (path) {
    case B64_AVX2:
        return __builtin_cpu_supports("avx2");
    case B64_SSSE3:
        return __builtin_cpu_supports("ssse3");
    case B64_PORTABLE:
        break;
    }
    return true;
}

base64_path
best_base64_path()
{
    static const base64_path best = base64_path_runs(B64_AVX2)    ? B64_AVX2
                                    : base64_path_runs(B64_SSSE3) ? B64_SSSE3
                                                                  : B64_PORTABLE;
    return best;
}

std::size_t
decode_alphabet_groups(base64_path path, const unsigned char *s, unsigned char *d,
                       std::size_t groups)
{
    switch (path) {
    case B64_AVX2:
        return decode_groups_on_avx2(s, d, groups);
    case B64_SSSE3:
        return decode_groups_on_ssse3(s, d, groups);
    case B64_PORTABLE:
        break;
    }
    return 0;
}

std::size_t
decode_alphabet_lines(base64_path path, const unsigned char *s, std::size_t text_len,
                      std::size_t lines, unsigned char *d)
{
    switch (path) {
    case B64_AVX2:
        return decode_lines_avx2(s, text_len, lines, d);
    case B64_SSSE3:
        return decode_lines_ssse3(s, text_len, lines, d);
    case B64_PORTABLE:
        break;
    }
    return 0;
}
