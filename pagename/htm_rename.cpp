#include "pagename/internal.hpp"
#include "pagename/pagename.hpp"

void
htm_rename(std::span<char> file_name, std::span<char> page_name, std::span<char> image_names)
{
    char ext[NAME_SIZE];
    split_name_ext(file_name.data(), page_name.first(NAME_SIZE), ext);
    (void)image_names;
}
