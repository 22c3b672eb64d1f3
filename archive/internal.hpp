// Shared by the files of the archive room only.
#pragma once

#include <span>
#include <string_view>

// One replacement of a rewrite: every occurrence of old_text (not empty) becomes new_text.
struct replacement {
    std::string_view old_text;
    std::string_view new_text;
};

// replace_txt.cpp

// Rewrites the text file file_name as one replace_txt call per replacement, in order, would:
// each pass looks at every line in pieces of 10238 bytes and replaces left to right. Every byte
// of the file is kept (NUL and 0x1A are text; CR is dropped and "\n" stored as CR LF). The new
// text is written beside the file and renamed over it, so the file is never left cut. A file
// that cannot be read or replaced ends the run.
void rewrite_text_file(const char *file_name, std::span<const replacement> replacements);
