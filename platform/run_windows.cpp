#include "platform/platform.hpp"

#include <atomic>
#include <windows.h>

// Ctrl-C reaches the program as the console's CTRL_C_EVENT, on a thread of its own; closing the
// console window, logging off and shutting down as CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT and
// CTRL_SHUTDOWN_EVENT. While the batch runs, the handler only records them: the batch stops at
// its next safe point, with every file whole. Ctrl-Break keeps the system's default (the
// program ends at once).

static std::atomic<bool> interrupt_seen{false};

static BOOL WINAPI
record_interrupt(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
        interrupt_seen = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The system ends the process as soon as this handler returns: it waits here while
        // the batch finishes the part under way and closes the archive out, which then ends
        // the process, or until the time the system allows has passed.
        interrupt_seen = true;
        Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

void
catch_interrupts()
{
    SetConsoleCtrlHandler(record_interrupt, TRUE);
}

void
release_interrupts()
{
    SetConsoleCtrlHandler(record_interrupt, FALSE);
}

bool
interrupt_requested()
{
    return interrupt_seen;
}

int
interrupted_status()
{
    // STATUS_CONTROL_C_EXIT, what cmd and scripts see for any console program Ctrl-C ended
    return static_cast<int>(0xC000013AU);
}

void
fail_writes_over_size_limit()
{
    // a write over a quota fails as it is: no signal to set aside
}

std::int64_t
monotonic_ms()
{
    return static_cast<std::int64_t>(GetTickCount64());
}
