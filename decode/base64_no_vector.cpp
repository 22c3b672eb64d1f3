// The base64 decoder's vector paths on CPUs other than x86-64: there are none, and every line
// is decoded by the lookup tables (x86-64 builds base64_vector.cpp instead).
#include "decode/decode.hpp"

#include "decode/internal.hpp"

bool
base64_path_runs(base64_path path)
{
    return path == B64_PORTABLE;
}

base64_path
best_base64_path()
{
    return B64_PORTABLE;
}

std::size_t
decode_alphabet_groups(base64_path, const unsigned char *, unsigned char *, std::size_t)
{
    return 0;
}

std::size_t
decode_alphabet_lines(base64_path, const unsigned char *, std::size_t, std::size_t, unsigned char *)
{
    return 0;
}
