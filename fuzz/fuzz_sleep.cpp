// The fuzz targets link this in place of the real sleep: no wait is taken. The walk waits only
// right before a fatal exit; in a child split by a fuzz target that exit is taken at once, with
// every stream flushed as exit would, so that the fuzzer's exit handlers, inherited through
// the fork, do not take the child's end for a finding of their own.
#include "fuzz/scratch_folder.hpp"
#include "platform/platform.hpp"

#include <cstdio>
#include <unistd.h>

bool fuzz_in_child = false;

void
sleep_ms(int milliseconds)
{
    (void)milliseconds;
    std::fflush(nullptr);
    if (fuzz_in_child)
        _exit(FATAL_CHILD_STATUS);
}
