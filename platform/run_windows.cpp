#include "platform/platform.hpp"

#include <atomic>
#include <windows.h>

// Ctrl-C reaches the program as the console's CTRL_C_EVENT, on a thread of its own. While the
// batch runs, the handler only records it: the batch stops at its next safe point, with every
// file whole. Ctrl-Break and closing the window keep the system's default (the program ends at
// once).

static std::atomic<bool> interrupt_seen{false};

static BOOL WINAPI
record_interrupt(DWORD event)
{
    if (event != CTRL_C_EVENT)
        return FALSE;
    interrupt_seen = true;
    return TRUE;
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

std::int64_t
monotonic_ms()
{
    return static_cast<std::int64_t>(GetTickCount64());
}
