// The batch driver: console dialogue, "*.mht" enumeration, run log header and summary.
#pragma once

#include <span>

// arguments.cpp

// Answers "--help", "-h" and "/?" with the usage and "--version" with "<program> <version>"
// on standard output (status 0); any other argument beginning with '-' ("-" and "--" too) with
// "<program>: <arg>: unknown option" and the usage on standard error (status 2). The first of
// them among args (the command line without the program's name) decides. Returns true when
// it answered: the program then ends with *status_out, nothing read, the folder untouched.
// Returns false when args hold none of them: arguments not beginning with '-' are ignored.
bool answer_arguments(std::span<const char *const> args, int *status_out);

// run_batch.cpp

// Explains the tool, asks Y/N, splits every "*.mht" of the current folder and prints the
// summary. Returns the exit status (0); fatal errors end the process from inside.
int run_batch();
