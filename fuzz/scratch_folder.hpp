// A private folder for the fuzz targets that work on files: <tmp>/fenwrack-fuzz-NNNN/work is
// made the current folder on first use. A sentinel file beside work shows whether anything
// was written outside it. Every check that fails prints what it found and aborts, which the
// fuzzer reports as a crash with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Creates the folder on the first call and makes it current; later calls only check that it
// still is.
void enter_scratch_folder();

// Aborts when the current folder changed, the outer folder holds anything but work and the
// sentinel, or the sentinel's bytes changed.
void check_outside_unchanged();

// Names of the entries of work, sorted. Aborts when one of them is not a regular file.
std::vector<std::string> scratch_files();

// Removes every entry of work.
void empty_scratch_folder();

void write_scratch_file(const char *name, const std::uint8_t *data, std::size_t size);

std::string read_scratch_file(const char *name);

// Set in a child process made by a fuzz target: the fuzz sleep (fuzz_sleep.cpp) then ends the
// child with FATAL_CHILD_STATUS at the wait that comes before every fatal exit.
extern bool fuzz_in_child;
inline constexpr int FATAL_CHILD_STATUS = 71;

// Aborts when buf holds no terminator within its size bytes; what names the buffer.
void check_terminated(const char *what, const char *buf, std::size_t size);

// Prints the printf-style message to standard error and aborts.
[[noreturn, gnu::format(printf, 1, 2)]] void fuzz_fail(const char *format, ...);
