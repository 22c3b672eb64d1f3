#include "archive/archive.hpp"

void
split_archive(const char *archive_name, const batch_info &batch)
{
    (void)archive_name;
    (void)batch;
}
