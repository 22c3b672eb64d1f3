#include "pagename/pagename.hpp"

#include "pagename/internal.hpp"

#include <cstdio>

// The program that names a page after its date, time and post number.
const char PROGRAM_NAME[] = "fenwrack_dated";

// Two digits, sep, two digits, sep, two digits at p; whatever follows. Stops at the first
// byte that does not fit, so it never reads past the end of the text.
static bool
is_three_pairs(const char *p, char sep)
{
    for (int i = 0; i < 8; ++i) {
        const bool want_sep = i == 2 || i == 5;
        const bool ok = want_sep ? p[i] == sep : (p[i] >= '0' && p[i] <= '9');
        if (!ok)
            return false;
    }
    return true;
}

// The six digits of a dd?dd?dd group, without its separators.
static void
take_pairs(const char *p, char *six_out)
{
    const int from[6] = {0, 1, 3, 4, 6, 7};
    for (int i = 0; i < 6; ++i)
        six_out[i] = p[from[i]];
    six_out[6] = '\0';
}

void
match_date_time(const char *p, page_marks *marks)
{
    if (!marks->date_found && is_three_pairs(p, '/')) {
        take_pairs(p, marks->post_date);
        marks->date_found = true;
    }
    if (!marks->time_found && is_three_pairs(p, ':')) {
        take_pairs(p, marks->post_time);
        marks->time_found = true;
    }
}

bool
form_new_base(const page_marks &marks, std::span<char> new_base)
{
    if (!marks.number_found || !marks.date_found || !marks.time_found)
        return false;
    const int len = std::snprintf(new_base.data(), new_base.size(), "%s-%s-%s", marks.post_date,
                                  marks.post_time, marks.post_number);
    // a base that does not fit is no name for the page: it keeps the one it has
    return len > 0 && static_cast<std::size_t>(len) < new_base.size();
}
