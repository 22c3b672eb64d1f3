// Runs one of the built programs in a folder, as a user would: standard input from bytes,
// standard output captured byte for byte.
#pragma once

#include <filesystem>
#include <string>

struct program_result {
    int status = -1;  // exit status as the shell reports it (0-255)
    std::string out;  // every byte written to standard output
};

// Runs program ("fenwrack", "fenwrack_dated", "fenwrack_nosleep", "fenwrack_dated_nosleep")
// in folder with input on standard input. The programs are looked up in FENWRACK_PROGRAM_DIR
// (default: the build folder), with FENWRACK_EXE_SUFFIX appended (".exe" for Windows builds)
// and started through FENWRACK_RUNNER when set (for example "wine").
program_result run_program(const std::string &program, const std::filesystem::path &folder,
                           const std::string &input);

// True when the programs run through a runner (the Windows builds under Wine), whose console
// stores "\n" as CR LF.
bool programs_use_crlf_console();

// Seconds a program may take on a case that takes seconds_native when it runs directly: a
// runner (Wine) creates files about ten times slower, so it gets more. Such limits only tell
// a run that has gone wrong (a hang, or work that grows with the square of the input).
double program_time_limit(double seconds_native);
