// Thread page naming: recognises the image board's saved thread page in an HTML output,
// renames it after the thread and reports the page's base name and two image names.
// fenwrack and fenwrack_dated link different naming variants behind the same htm_rename.
#pragma once

#include "support/support.hpp"

#include <span>

// The two image names a thread page names: the name its thumbnail is to take, and the file
// its image reference points to. Each holds at most LINE_BUFFER_SIZE - 1 bytes.
struct image_names {
    char thumb_name[LINE_BUFFER_SIZE] = {};
    char src_name[LINE_BUFFER_SIZE] = {};
};

// htm_rename.cpp

// Scans the HTML file file_name up to its first "<blockquote". When the page is recognised it
// is renamed (post number, or date-time-number in the dated program; made unique) and
// file_name receives the new name. page_name (NAME_SIZE bytes) always receives the page's base
// name; thumb_name and src_name in *images are written only when found.
// A file that cannot be opened or renamed ends the run.
void htm_rename(std::span<char> file_name, std::span<char> page_name, image_names *images);
