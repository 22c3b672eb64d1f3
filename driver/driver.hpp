// The batch driver: console dialogue, "*.mht" enumeration, run log header and summary.
#pragma once

// run_batch.cpp

// Explains the tool, asks Y/N, splits every "*.mht" of the current folder and prints the
// summary. Returns the exit status (0); fatal errors end the process from inside.
int run_batch();
