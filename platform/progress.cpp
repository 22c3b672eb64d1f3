#include "platform/platform.hpp"

#include "platform/internal.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

// The progress line of a run: "done N/TOTAL: <archive>" on one line of the terminal, drawn
// again in place ("\r") as the run goes on. Only a terminal gets it; a pipe or a file gets the
// same bytes as a run without it. Any other text first erases the line, so that every message
// starts at column 0 (console.cpp asks clear_progress_line before each write).

// A run shorter than this shows no line at all.
static constexpr std::int64_t PROGRESS_DELAY_MS = 500;
// Drawn at most once in this time (four times a second).
static constexpr std::int64_t PROGRESS_INTERVAL_MS = 250;
// Room for the widest line drawn (a wider terminal gets no longer line).
static constexpr std::size_t PROGRESS_LINE_SIZE = 512;

struct progress_state {
    bool active = false;        // a run is under way and standard output is a terminal
    bool pending = false;       // what was noted last is not on the screen yet
    std::size_t shown_len = 0;  // columns of the line on the screen, 0 when none is
    std::int64_t start_ms = 0;  // when the run began
    std::int64_t drawn_ms = 0;  // when the line was drawn last
    int total = 0;
    int done = 0;
    char name[PROGRESS_LINE_SIZE] = {};  // the archive being split, cut to the line's room
};

static progress_state progress;

// Appends name to line (holding len bytes, room for limit) as whole characters, each as
// shown_name_character shows it, so that a name cannot move the cursor or start an escape
// sequence: a double-byte character that does not fit is left out with what follows it.
// Returns the new length.
static std::size_t
append_name(char *line, std::size_t len, std::size_t limit, std::string_view name)
{
    char shown[2];
    for (std::size_t k = 0; k < name.size();) {
        const std::size_t char_len = shown_name_character(name, k, shown);
        if (len + char_len > limit)
            break;
        std::memcpy(line + len, shown, char_len);
        len += char_len;
        k += char_len;
    }
    return len;
}

// Draws the line: "\r", the text cut to one column less than the terminal's width (so that
// the terminal never wraps it), and spaces over what a longer former line left.
static void
draw_progress(std::int64_t now)
{
    const int columns = terminal_columns(CONSOLE_OUT);
    const std::size_t limit =
        std::min(static_cast<std::size_t>(std::max(columns - 1, 0)), PROGRESS_LINE_SIZE - 1);
    char text[PROGRESS_LINE_SIZE + 1];
    text[0] = '\r';
    char head[32];
    const int head_len =
        std::snprintf(head, sizeof head, "done %d/%d: ", progress.done, progress.total);
    std::size_t len = std::min(head_len > 0 ? static_cast<std::size_t>(head_len) : 0, limit);
    std::memcpy(text + 1, head, len);
    len = append_name(text + 1, len, limit, progress.name);
    const std::size_t drawn = len;
    while (len < progress.shown_len && len < PROGRESS_LINE_SIZE)
        text[1 + len++] = ' ';
    console_write_raw(std::string_view(text, len + 1));
    std::fflush(stdout);
    progress.shown_len = drawn;  // the spaces after it are blank already
    progress.drawn_ms = now;
    progress.pending = false;
}

static bool
progress_due(std::int64_t now)
{
    return now - progress.start_ms >= PROGRESS_DELAY_MS &&
           (progress.shown_len == 0 || now - progress.drawn_ms >= PROGRESS_INTERVAL_MS);
}

void
progress_start(int total)
{
    progress = progress_state{};
    progress.active = stream_is_terminal(CONSOLE_OUT);
    progress.start_ms = monotonic_ms();
    progress.total = total;
}

void
progress_archive(int done, const char *name)
{
    if (!progress.active)
        return;
    progress.done = done;
    std::snprintf(progress.name, sizeof progress.name, "%s", name);
    progress.pending = true;
    progress_poll();
}

void
progress_poll()
{
    if (!progress.active || !progress.pending)
        return;
    const std::int64_t now = monotonic_ms();
    if (progress_due(now))
        draw_progress(now);
}

void
clear_progress_line()
{
    if (progress.shown_len == 0)
        return;
    const std::size_t len = progress.shown_len;
    char text[PROGRESS_LINE_SIZE + 2];
    text[0] = '\r';
    std::memset(text + 1, ' ', len);
    text[len + 1] = '\r';
    progress.shown_len = 0;
    progress.pending = true;  // drawn again at the next chance
    console_write_raw(std::string_view(text, len + 2));
}

void
progress_end()
{
    clear_progress_line();
    std::fflush(stdout);
    progress.active = false;
}
