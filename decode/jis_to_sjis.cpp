#include "decode/decode.hpp"

void
jis_to_sjis(char *line)
{
    (void)line;
}

void
read_jis_escape(const char *line, int *read_index, jis_mode *mode)
{
    (void)line;
    (void)read_index;
    (void)mode;
}
