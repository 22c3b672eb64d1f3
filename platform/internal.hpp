// Shared by the files of the platform room only.
#pragma once

#include "platform/platform.hpp"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// True when name is a regular file (not a folder or a device). When it is not, the reason is
// noted for os_error_text.
bool is_regular_file(const char *name);

// Creates name as a new, empty file (failing when any entry of that name exists) and opens
// it as a binary stream for writing into *file_out.
create_result create_new_file(const char *name, std::FILE **file_out);

// Opens the existing file name as out_open_existing says (append: for appending), as a binary
// stream into *file_out.
existing_result open_existing_file(const char *name, bool append, std::FILE **file_out,
                                   file_identity *identity_out);

// Cuts the open file to zero bytes. Returns false (reason noted) when it cannot.
bool truncate_file(std::FILE *file);

// What the open file is. Returns false when it cannot tell.
bool identity_of_file(std::FILE *file, file_identity *identity_out);

// Records that name was removed or renamed away (take_freed_names hands it on).
void note_freed_name(const char *name);

// Notes errno_value (an errno code of a failed C library call) as the reason os_error_text
// reports. Called at once after the failed call, before anything can change errno.
void note_errno(int errno_value);

// Moves a binary stream to an absolute byte offset (64-bit on every platform).
void seek_file(std::FILE *file, std::int64_t position);

// The console's streams: standard output and standard error.
enum console_stream : int {
    CONSOLE_OUT = 0,
    CONSOLE_ERR = 1
};

// console.cpp

// True for a cp932 lead byte (0x81-0x9F, 0xE0-0xFC): a second byte follows it.
bool is_cp932_lead(unsigned char c);

// console_posix.cpp / console_windows.cpp

// True when stream is a terminal (a console on Windows) that needs its texts converted from
// cp932: then they go through terminal_write. Asked once per stream, before its first write.
bool terminal_needs_conversion(console_stream stream);

// Shows text, cp932 made of whole characters (a lone lead byte only at the very end of the
// output), on the terminal of stream in its encoding; a character it lacks becomes '?'.
void terminal_write(console_stream stream, std::string_view text);
