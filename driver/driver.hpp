// The batch driver: the command line, the console dialogue, "*.mht" enumeration, run log
// header and summary, in the current folder or in each folder and archive the command names.
#pragma once

#include "platform/platform.hpp"

#include <span>
#include <string>
#include <vector>

// A folder, or archives in their folder, that the command line names. The archives named in
// one folder make one target, at the place of the first of them: one listing, one run log and
// one search for free names, as a run in that folder has.
struct run_target {
    std::string given;   // the argument as given (for archives the first's): what the console shows
    std::string folder;  // the folder to enter, as given ("": the folder the run started in)
    std::vector<std::string> archives;  // names in folder, in the order given; none: every archive
    std::vector<std::string> archives_given;  // each of archives as its argument gave it
    file_identity folder_identity;
};

// What the command line asks for.
struct run_request {
    bool yes = false;                 // no explanation, no question, no pause, no Enter wait
    bool offline = false;             // each archive's pages refer to the files written for it
    std::vector<run_target> targets;  // in the order given; empty: the current folder
};

// arguments.cpp

// Reads the command line (args: without the program's name). Answers "--help", "-h" and "/?"
// with the usage and "--version" with "<program> <version>" on standard output (status 0);
// any other argument beginning with '-' ("-" too) with "<program>: <arg>: unknown option" and
// the usage on standard error (status 2). The first of them decides, before any path is
// looked at. "--yes" ("-y") and "--offline" go into *request_out; "--" ends the options, so
// every later argument is a path whatever it begins with. Every other argument is a folder or
// an archive (find_targets), refused with status 2 when it is neither. Returns true when it
// answered or refused: the program then ends with *status_out, nothing read, nothing touched.
// Returns false with *request_out filled: the run goes on.
bool answer_arguments(std::span<const command_argument> args, run_request *request_out,
                      int *status_out);

// targets.cpp

// Appends to *targets_out, in order, what each of paths names: a folder, or a regular file
// whose name ends in ".mht" or ".mhtml" (ASCII case ignored), which is split in its folder
// with the other archives named there (the folder's others are not split). A path that is
// neither, or that cp932 cannot name, gets "<program>: <path>: not a folder or archive" (or
// "... name not in Shift_JIS") on standard error; returns false when any did. A path that
// names what an earlier one does (the same folder or archive by another path, or an archive
// of a folder named whole) is split once, with a note on standard error; a folder named whole
// takes the place of its archives named before it.
bool find_targets(std::span<const command_argument> paths, std::vector<run_target> *targets_out);

// default_plain.cpp (fenwrack, fenwrack_dated) / default_offline.cpp (fenwrack_offline,
// fenwrack_dated_offline): what a program does unasked

// True for the programs that split as with "--offline" whatever the command line says.
extern const bool OFFLINE_BY_DEFAULT;

// What follows the page-naming program's name in the program's own ("" or "_offline"), for
// the usage.
extern const char PROGRAM_SUFFIX[];

// run_batch.cpp

// Explains the tool, asks Y/N (neither with request.yes), then splits every "*.mht" of the
// current folder (with request.offline "*.mhtml" too), or of each target in turn as if the program
// had been started there (its own run log and summary), and waits for Enter (not with request.yes).
// A target that cannot be entered when its turn comes is told and passed over. Returns the exit
// status: 0, or 1 when a target was passed over; fatal errors end the process from inside.
int run_batch(const run_request &request);
