// The batch driver: console dialogue, "*.mht" enumeration, run log header and summary.
#pragma once

#include <span>

// arguments.cpp

// Answers "--help", "-h" and "/?" with the usage and "--version" with "<program> <version>"
// on standard output; the first of them among args decides. Returns true when it answered
// (the program then ends with status 0, the folder untouched), false when args (the command
// line without the program's name) hold none of them: every other argument is ignored.
bool answer_arguments(std::span<const char *const> args);

// run_batch.cpp

// Explains the tool, asks Y/N, splits every "*.mht" of the current folder and prints the
// summary. Returns the exit status (0); fatal errors end the process from inside.
int run_batch();
