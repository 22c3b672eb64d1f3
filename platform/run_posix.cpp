#include "platform/platform.hpp"

#include <csignal>
#include <ctime>

// Ctrl-C reaches the program as SIGINT. While the batch runs, the handler only records it: the
// batch stops at its next safe point, with every file whole. Every other signal keeps its
// default action (Ctrl-\, SIGQUIT, still ends the program at once).

static volatile std::sig_atomic_t interrupt_seen = 0;

extern "C" void
record_interrupt(int)
{
    interrupt_seen = 1;
}

void
catch_interrupts()
{
    struct sigaction action = {};
    action.sa_handler = record_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a read or write under way goes on, not cut short by EINTR
    sigaction(SIGINT, &action, nullptr);
}

void
release_interrupts()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool
interrupt_requested()
{
    return interrupt_seen != 0;
}

int
interrupted_status()
{
    return 128 + SIGINT;  // what a shell reports for a program that Ctrl-C ended
}

std::int64_t
monotonic_ms()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
