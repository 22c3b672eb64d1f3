// Shared by the files of the platform room only.
#pragma once

#include <cstdint>
#include <cstdio>

// True when name is a regular file (not a folder or a device).
bool is_regular_file(const char *name);

// Moves a binary stream to an absolute byte offset (64-bit on every platform).
void seek_file(std::FILE *file, std::int64_t position);
