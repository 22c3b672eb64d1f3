#include "archive/archive.hpp"

void
replace_txt(const char *file_name, const char *old_text, const char *new_text)
{
    (void)file_name;
    (void)old_text;
    (void)new_text;
}
