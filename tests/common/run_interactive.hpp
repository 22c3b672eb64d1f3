// Runs one of the built programs as a person at a terminal would, or with arguments: standard
// input fed while it runs, standard output and standard error read apart, or both on a
// pseudo-terminal. POSIX only (the end-to-end test program runs on the build machine; the
// Windows programs start through FENWRACK_RUNNER, Wine).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

struct run_options {
    std::vector<std::string> args;  // after the program's name
    // set in the program's environment (LC_ALL, LANG, LOCPATH, ...), after every LC_* and
    // LANG of the test's own environment is removed
    std::vector<std::pair<std::string, std::string>> environment;
    // standard output and standard error on one pseudo-terminal (no output processing: "\n"
    // arrives as "\n"); otherwise each on a pipe of its own
    bool terminal = false;
    // the terminal's width (it has 50 rows)
    unsigned short columns = 250;
    // without terminal: one stream alone on a pseudo-terminal (as terminal has it), the other
    // on a pipe: 1 standard output, 2 standard error; 0 neither
    int lone_terminal = 0;
    // the largest file the program may write (RLIMIT_FSIZE, "ulimit -f"), in bytes; negative:
    // the test's own limit
    long long file_size_limit = -1;
};

// A started program. Fields are the runner's own; use the functions.
struct running_program {
    pid_t pid = -1;
    int input_fd = -1;   // the program's standard input, a pipe
    int output_fd = -1;  // its standard output: a pipe, or the terminal's master side
    int error_fd = -1;   // its standard error, a pipe (-1 with a terminal)
    std::string out;     // what arrived from output_fd so far
    std::string err;     // what arrived from error_fd so far
};

struct interactive_result {
    int status = -1;  // exit status as the shell reports it (0-255; 128 + N after signal N),
                      // -1 when killed for running too long
    std::string out;  // standard output (with a terminal: everything the terminal got)
    std::string err;  // standard error (empty with a terminal)
};

// Starts program (as run_program names it) in folder.
running_program start_program(const std::string &program, const std::filesystem::path &folder,
                              const run_options &options);

// Reads the program's output until out contains text or seconds pass. Returns whether it came.
bool wait_for_output(running_program *p, std::string_view text, double seconds);

// Writes text to the program's standard input.
void send_input(running_program *p, std::string_view text);

// Closes the program's standard input, reads the rest of its output and waits for its end
// (killing it after seconds).
interactive_result finish_program(running_program *p, double seconds);

// start_program, send_input(input), finish_program.
interactive_result run_with(const std::string &program, const std::filesystem::path &folder,
                            const std::string &input, const run_options &options);

// What a terminal shows of out, as text: CR bytes and the escape sequences of a console
// (Wine's draws with them) removed, a cursor move forward taken as that many spaces.
std::string terminal_text(const std::string &out);

// cp932 text in the encoding to (an iconv name, "UTF-8"); a character it lacks, or a byte that
// is no cp932 character, becomes '?'.
std::string convert_cp932(const std::string &cp932, const char *to);

// CPU time (user and system) of the programs this test process has waited for so far:
// steadier than the clock on a busy machine.
double children_cpu_seconds();
