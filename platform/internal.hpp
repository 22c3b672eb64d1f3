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

// Opens the existing file name for reading as a binary stream into *file_out, with the checks
// of open_existing_file.
existing_result open_existing_for_reading(const char *name, std::FILE **file_out,
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

// posix.cpp / windows.cpp

// Opens name as a binary stream with mode ("rb", "ab", "wb"), as std::fopen does with the
// name as the system takes it. Null (the reason noted) when it cannot be opened.
std::FILE *open_file(const char *name, const char *mode);

// wide_names_windows.cpp (Windows only): every name the tool hands the system, and every name
// the system lists, passes here.

// The UTF-16 name of the cp932 bytes name. Bytes that begin no cp932 character (a lone lead
// byte, as a cut name may end in) each become a private-use code point of their own, so no two
// byte strings share a name and cp932_from_wide gives the bytes back.
std::wstring wide_from_cp932(std::string_view name);

// The cp932 bytes of the UTF-16 name wide into *name_out (escaped bytes back as they were).
// Returns false when cp932 has no character for a character of it.
bool cp932_from_wide(std::wstring_view wide, std::string *name_out);

// The name wide as the console can show it in cp932: a character cp932 lacks shows as '?', and
// so does an escaped byte's code point in a name whose cp932 bytes lead to another name.
std::string shown_cp932(std::wstring_view wide);

// console.cpp

// True for a cp932 lead byte (0x81-0x9F, 0xE0-0xFC): a second byte follows it.
bool is_cp932_lead(unsigned char c);

// The character of name at index k (below name.size()) as a terminal is to show it, written to
// shown_out (room for 2 bytes). Returns the number of bytes of name it stands for, which is
// the number written: a lead byte and a valid trail byte as they are; a C0 control byte, DEL,
// or a lead byte without a valid trail byte as '?' (the next byte is a character of its own);
// any other byte as it is.
std::size_t shown_name_character(std::string_view name, std::size_t k, char *shown_out);

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
