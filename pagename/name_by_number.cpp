#include "pagename/pagename.hpp"

#include "pagename/internal.hpp"

// The program that names a page after its post number.
const char PROGRAM_NAME[] = "fenwrack";

// This program names a page after its post number alone: there are no date or time rules.
void
match_date_time(const char *p, page_marks *marks)
{
    (void)p;
    (void)marks;
}

bool
form_new_base(const page_marks &marks, std::span<char> new_base)
{
    if (!marks.number_found)
        return false;
    return copy_bounded(new_base, marks.post_number);
}
