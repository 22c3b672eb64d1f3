// Runs one of the built programs in a folder, as a user would: standard input from bytes,
// standard output captured byte for byte.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct program_result {
    int status = -1;  // exit status as the shell reports it (0-255)
    std::string out;  // every byte written to standard output
};

// Runs program ("fenwrack", "fenwrack_dated", "fenwrack_nosleep", "fenwrack_dated_nosleep")
// in folder with input on standard input. The programs are looked up in FENWRACK_PROGRAM_DIR
// (default: the build folder), with FENWRACK_EXE_SUFFIX appended (".exe" for Windows builds)
// and started through FENWRACK_RUNNER when set (for example "wine"). A run that has not ended
// after ten minutes is stopped: its status is then 124.
program_result run_program(const std::string &program, const std::filesystem::path &folder,
                           const std::string &input);

// True when the programs run through a runner (the Windows builds under Wine), whose console
// stores "\n" as CR LF.
bool programs_use_crlf_console();

// What the console stores of text a program writes: each "\n" as CR LF where
// programs_use_crlf_console(), else text as it is.
std::string console(const std::string &text);

// Seconds a program may take on a case that takes seconds_native when it runs directly: a
// runner (Wine) creates files about ten times slower, so it gets more. Such limits only tell
// a run that has gone wrong (a hang, or work that grows with the square of the input).
double program_time_limit(double seconds_native);

// True when the programs run where names that differ only in letter case are one file (the
// Windows builds under Wine, as on Windows; full-width letters fold too): a part "ca.tmp"
// written after "CA.TMP" replaces it, and the name on disk stays "CA.TMP".
bool runner_folds_case();

// The name on disk of the file that the programs call name (Shift_JIS bytes, as they print
// and log it). Run directly, the programs store names as they are; the Windows builds under
// Wine (LANG=ja_JP.UTF-8, ANSI code page 932) store the UTF-8 form of the name. ASCII names
// are the same either way. A name that is not Shift_JIS fails the test.
std::string stored_name(const std::string &name);

// The inverse of stored_name: the Shift_JIS name under which the programs see the file that is
// stored on disk as stored.
std::string program_name(const std::string &stored);

// Names of the entries of folder as the programs see them (program_name of each), sorted.
std::vector<std::string> list_program_names(const std::filesystem::path &folder);

// The whole content of the file that the programs call name in folder, or "<missing>".
std::string read_output(const std::filesystem::path &folder, const std::string &name);

// Creates (or replaces) in folder the file that the programs will see as name, with bytes.
void write_input(const std::filesystem::path &folder, const std::string &name,
                 const std::string &bytes);

// Creates in folder the folder that the programs will see as name.
void create_input_folder(const std::filesystem::path &folder, const std::string &name);
