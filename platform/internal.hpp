// Shared by the files of the platform room only.
#pragma once

#include "platform/platform.hpp"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// True when name is a regular file (not a folder or a device).
bool is_regular_file(const char *name);

// Creates name as a new, empty file (failing when any entry of that name exists) and opens
// it as a binary stream for writing into *file_out.
create_result create_new_file(const char *name, std::FILE **file_out);

// Records that name was removed or renamed away (take_freed_names hands it on).
void note_freed_name(const char *name);

// Moves a binary stream to an absolute byte offset (64-bit on every platform).
void seek_file(std::FILE *file, std::int64_t position);

// mht_names.cpp

// True when name is an archive name: it ends in ".mht" ignoring ASCII case and is not "." or
// "..". Both platforms filter their listings with it, so they list the same archives.
bool is_mht_name(const char *name);

// Sorts names byte-wise with ASCII a-z folded to A-Z (names equal so are ordered by their
// bytes), so archives and log rows come in the same order whatever the file system returns.
void sort_mht_names(std::vector<std::string> *names);
