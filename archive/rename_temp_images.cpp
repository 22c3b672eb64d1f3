#include "archive/archive.hpp"

void
rename_temp_images(std::span<output_entry> outputs, const char *page_name,
                   std::span<char> image_names, std::span<char> line_scratch,
                   std::span<char> work_scratch)
{
    (void)outputs;
    (void)page_name;
    (void)image_names;
    (void)line_scratch;
    (void)work_scratch;
}
