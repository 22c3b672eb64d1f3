#include "platform/platform.hpp"

#include <csignal>
#include <ctime>

// Ctrl-C reaches the program as SIGINT; a terminal that closes sends SIGHUP, and a system that
// stops the program (a shutdown, kill) SIGTERM. While the batch runs, the handler only records
// the first of them: the batch stops at its next safe point, with every file whole. Every other
// signal keeps its default action (Ctrl-\, SIGQUIT, still ends the program at once).

static volatile std::sig_atomic_t interrupt_signal = 0;

static constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void
record_interrupt(int signal_number)
{
    if (interrupt_signal == 0)
        interrupt_signal = signal_number;
}

static void
set_stop_action(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a read or write under way goes on, not cut short by EINTR
    for (const int signal_number : STOP_SIGNALS)
        sigaction(signal_number, &action, nullptr);
}

void
catch_interrupts()
{
    set_stop_action(record_interrupt);
}

void
release_interrupts()
{
    set_stop_action(SIG_DFL);
}

bool
interrupt_requested()
{
    return interrupt_signal != 0;
}

int
interrupted_status()
{
    // what a shell reports for a program that the signal ended: 130 after Ctrl-C
    return 128 + (interrupt_signal != 0 ? static_cast<int>(interrupt_signal) : SIGINT);
}

void
fail_writes_over_size_limit()
{
    // By default the signal ends the process at the write, with no message and a work file
    // left behind; ignored, the write fails with EFBIG and the run ends as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
}

std::int64_t
monotonic_ms()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
