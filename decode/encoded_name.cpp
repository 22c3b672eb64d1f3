#include "decode/decode.hpp"

void
decode_encoded_name(text_input *archive, std::span<char> line, std::span<char> scratch,
                    std::span<char> out_name, const char *default_name)
{
    (void)archive;
    (void)line;
    (void)scratch;
    (void)out_name;
    (void)default_name;
}

void
rewind_lines(text_input *archive, int count)
{
    (void)archive;
    (void)count;
}
