// Shared by the files of decode/ (and read by decode's tests, fuzz target and benchmark, which
// pick a path on purpose): the base64 decoder's vector paths, chosen at run time by CPU feature.
#pragma once

#include "decode/decode.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// How the whole groups at the start of a base64 line are decoded. B64_PORTABLE decodes every
// group with the lookup tables (the exact decoder); the others first run a vector loop over the
// groups made only of alphabet characters. Ordered from slowest to fastest.
enum base64_path : int {
    B64_PORTABLE = 0,
    B64_SSSE3 = 1,
    B64_AVX2 = 2
};

// Whether this CPU (and its operating system) runs path. B64_PORTABLE runs everywhere.
bool base64_path_runs(base64_path path);

// The fastest path this CPU runs, found on the first call.
base64_path best_base64_path();

// The path's name for reports: "portable", "ssse3" or "avx2".
const char *base64_path_name(base64_path path);

// Decodes the longest run of whole groups from the start of s made only of alphabet characters
// ('A' to 'Z', 'a' to 'z', '0' to '9', '+', '/'), at most `groups` of them, three bytes per group
// into d. May stop earlier, before some group of the run (B64_PORTABLE decodes none); the exact
// loop goes on from there. Returns the number of groups decoded. Reads only s[0] to
// s[4 * groups - 1] and writes only d[0] to d[3 * returned - 1], some bytes twice (so d must not
// overlap s). path must run on this CPU.
std::size_t decode_alphabet_groups(base64_path path, const unsigned char *s, unsigned char *d,
                                   std::size_t groups);

// Decodes up to `lines` lines that follow one another at s, each text_len characters (a
// multiple of four) and CR LF, while each ends so and its vector loop takes all its groups: three
// bytes per group, back to back from d. Returns the number of lines decoded; the line after
// them is one to look at again with the tables (B64_PORTABLE decodes none). Reads only the
// lines' bytes, lines * (text_len + 2) of them.
std::size_t decode_alphabet_lines(base64_path path, const unsigned char *s, std::size_t text_len,
                                  std::size_t lines, unsigned char *d);

// decode_base64_line with the vector loop of path (which must run on this CPU): the same bytes,
// count and terminator for every input and destination size on every path.
void decode_base64_line_on(base64_path path, const char *src, std::span<char> dst,
                           std::int32_t *length_out);

// decode_base64_lines with the vector loop of path (B64_PORTABLE checks and decodes each group
// with the tables): the same run and bytes on every path.
base64_run decode_base64_lines_on(base64_path path, std::string_view raw, std::size_t max_text,
                                  std::span<char> dst);
