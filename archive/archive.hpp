// The archive splitter: walks one archive and writes each MIME part to its own file, renames
// the temporary-named images, rewrites references in the HTML outputs and appends the
// archive's row to the run log.
#pragma once

#include "pagename/pagename.hpp"
#include "platform/platform.hpp"
#include "support/support.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

// One written part: its content kind, its current file name in a block from checked_alloc of
// name_size bytes (at least NAME_SIZE; larger when a name needs it), and, when file_known, the
// file it was written to (a rewrite of a page opens that file only, whatever name reaches it).
struct output_entry {
    content_kind kind = KIND_NONE;
    char *name = nullptr;
    std::size_t name_size = 0;
    file_identity file;
    bool file_known = false;
    bool left_alone = false;  // its name led to another file when it was to be rewritten
};

// What the batch tells each archive: the run log's name and the file it is (each archive
// appends to that file only), and what no part may write into (by name: every archive of the
// batch and the run log; by identity, whatever name reaches them: the batch's archives and the
// folder's run logs).
struct batch_info {
    const char *log_name = "";
    file_identity log_identity;
    name_guard guard;
    // after each archive's close-out, its HTML and style sheet outputs refer to the files
    // written for its parts (pages that open offline)
    bool offline = false;
};

// split_archive.cpp

// Splits the archive archive_name (in the current folder) into its parts, then renames the
// temporary-named images and completes the archive's row in the run log. Failures end the run.
// When interrupt_requested, the walk ends after the part being written, and the archive is
// closed out (renames, references, log row) with the parts written so far.
void split_archive(const char *archive_name, const batch_info &batch);

// rename_temp_images.cpp

// Gives the thumbnail saved under a ".tmp" name (images->src_name) the name images->thumb_name
// (made unique there), every other ".tmp" output the name "page_name_NNN.tmp", and rewrites the
// references in every HTML output. Names in outputs change in place (blocks grow when a name
// needs it). The scratch buffers are LINE_BUFFER_SIZE bytes each. after_stop (the walk was
// stopped before the archive's end): only files of outputs are renamed, so a thumbnail not
// written yet, or one that cannot be renamed, keeps the page's reference as it is.
// When renames_out is given, it receives every replacement made in the pages' text, in order
// (old name, new name).
void rename_temp_images(std::span<output_entry> outputs, const char *page_name, image_names *images,
                        std::span<char> line_scratch, std::span<char> work_scratch,
                        bool after_stop = false,
                        std::vector<std::pair<std::string, std::string>> *renames_out = nullptr);

// replace_txt.cpp

// Rewrites the text file file_name with every occurrence of old_text (not empty) replaced by
// new_text, left to right, through a work copy next to it. A file that cannot be opened ends
// the run; the former content is never lost.
void replace_txt(const char *file_name, const char *old_text, const char *new_text);
