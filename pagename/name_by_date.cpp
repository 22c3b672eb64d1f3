#include "pagename/internal.hpp"
#include "pagename/pagename.hpp"

void
match_date_time(const char *p, page_marks *marks)
{
    (void)p;
    (void)marks;
}

bool
form_new_base(const page_marks &marks, std::span<char> new_base)
{
    (void)marks;
    (void)new_base;
    return false;
}
