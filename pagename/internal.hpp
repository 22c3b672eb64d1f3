// Shared by the files of the pagename room only: what the scan found, and the two points
// where the naming variants differ.
#pragma once

#include "support/support.hpp"

#include <span>

// Marks found by the scan of one page.
struct page_marks {
    char post_number[NAME_SIZE] = {};  // at most 250 digits
    char post_date[7] = {};            // yymmdd from the first dd/dd/dd
    char post_time[7] = {};            // hhmmss from the first dd:dd:dd
    bool number_found = false;
    bool date_found = false;
    bool time_found = false;
};

// name_by_number.cpp / name_by_date.cpp (each program links one of them)

// Tries the date and time rules at p, a NUL-terminated text (the dated variant records the
// first date and the first time; the number variant has no such rules and does nothing).
// Reads no byte past the terminator.
void match_date_time(const char *p, page_marks *marks);

// When the marks name the page, writes its new base into new_base and returns true. Returns
// false, the page keeping its name, when they do not, or when the base would not fit new_base.
bool form_new_base(const page_marks &marks, std::span<char> new_base);
