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

// Records that name was removed or renamed away (take_freed_names hands it on).
void note_freed_name(const char *name);

// Notes errno_value (an errno code of a failed C library call) as the reason os_error_text
// reports. Called at once after the failed call, before anything can change errno.
void note_errno(int errno_value);

// Notes a reason that has no errno code ("not a regular file"); text is a literal.
void note_reason(const char *text);

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

// Writes text to the terminal of standard output as console_write does, without clearing the
// progress line first (progress.cpp draws that line with it).
void console_write_raw(std::string_view text);

// progress.cpp

// Erases the progress line when one is shown, so that the next text starts at column 0.
void clear_progress_line();

// console_posix.cpp / console_windows.cpp

// True when stream is a terminal (a console on Windows), whatever its encoding.
bool stream_is_terminal(console_stream stream);

// Columns a terminal is taken to have when it does not tell.
inline constexpr int DEFAULT_COLUMNS = 80;

// The width of the terminal of stream in columns, DEFAULT_COLUMNS when it does not tell.
int terminal_columns(console_stream stream);

// True when stream is a terminal (a console on Windows) that needs its texts converted from
// cp932: then they go through terminal_write. Asked once per stream, before its first write.
bool terminal_needs_conversion(console_stream stream);

// Shows text, cp932 made of whole characters (a lone lead byte only at the very end of the
// output), on the terminal of stream in its encoding; a character it lacks becomes '?'.
void terminal_write(console_stream stream, std::string_view text);
