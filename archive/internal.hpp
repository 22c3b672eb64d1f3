// Shared by the files of the archive room only.
#pragma once

#include "platform/platform.hpp"

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

// encoded_location.cpp

// Reads a location written as encoded words: decodes the word of the "Content-Location:" line
// held in line and the word of each line that follows it in archive, one word per physical
// line, appending them to out_name (see decode_encoded_word). Continuation lines are read
// into line, in pieces of at most LINE_BUFFER_SIZE bytes; scratch takes each decoded word.
// The first line without a word is put back from its start, so the next read returns it (all
// of it when it was read in pieces); the line passed in is never put back (it would be handed
// over again without end): when the caller's read cut it, its rest goes back instead. At the
// end of the input the name gathered so far stands and archive stays at the end. After an
// encoding letter other than upper-case B or Q, out_name becomes default_name made unique,
// the console says so, and no line is put back.
void read_encoded_location(text_input *archive, std::span<char> line, std::span<char> scratch,
                           std::span<char> out_name, const char *default_name);
