#include "archive/archive.hpp"

#include "archive/internal.hpp"
#include "pagename/pagename.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// リネームエラーです。\n%s\n%s\n
static constexpr char MSG_RENAME_FAILED[] =
    "\x83\x8a\x83l\x81[\x83\x80\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81"
    "B\n%s\n%s\n";

// Replacements waiting to be applied to every HTML output, in the order they were made, and
// what the close-out knows of the pages.
struct pending_state {
    std::vector<std::pair<std::string, std::string>> replacements;
    // how many HTML outputs carry each name, ASCII case folded: a file about to be renamed
    // away is a page when its name is here
    std::unordered_map<std::string, int> page_names;
    bool pages_all_there = true;  // every HTML output was on disk when the close-out began
    bool keep_made = false;       // the caller wants every replacement made, in order:
    std::vector<std::pair<std::string, std::string>> made;
};

// True when name's extension begins with "tmp" in any case (tmp, TMP, tmpx).
static bool
has_tmp_extension(const char *name, std::span<char> base_scratch, std::span<char> ext_scratch)
{
    split_name_ext(name, base_scratch, ext_scratch);
    return str_nicmp(ext_scratch.data(), "tmp", 3) == 0;
}

// Stores name in the entry. A name that does not fit the entry's block gets a larger block
// (the old one is released), so a recorded name is never cut. A page's new name is known as a
// page's from then on.
static void
set_entry_name(output_entry *entry, const char *name, pending_state *pending)
{
    if (entry->kind == KIND_HTML) {
        --pending->page_names[ascii_folded(entry->name)];
        ++pending->page_names[ascii_folded(name)];
    }
    const std::size_t need = std::strlen(name) + 1;
    if (need > entry->name_size) {
        char *block = checked_alloc(need);
        checked_free(entry->name);
        entry->name = block;
        entry->name_size = need;
    }
    std::memcpy(entry->name, name, need);
}

// What the file system takes an HTML output's name to: the file's identity, or the exact name
// when no regular file answers to it. Names that differ only in letter case are one file where
// the file system folds case, two where it does not: only the identity tells.
static std::string
page_file_key(const char *name)
{
    file_identity identity;
    if (inspect_entry(name, &identity) != ENTRY_REGULAR)
        return std::string("name/") + name;
    return "file/" + std::to_string(identity.volume) + "/" + std::to_string(identity.index);
}

// The keys of the outputs: page_file_key of each HTML output, empty for the others.
static std::vector<std::string>
page_file_keys(std::span<const output_entry> outputs)
{
    std::vector<std::string> keys(outputs.size());
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        if (outputs[k].kind == KIND_HTML)
            keys[k] = page_file_key(outputs[k].name);
    }
    return keys;
}

// Rewrites the HTML output of entry with passes, through its file's identity: the entry's file
// as rewritten then, as it was before, or, for a later entry of the same file, as an earlier
// entry's rewrite left it (rewritten holds that, by key). Only the file written for it is
// rewritten, when that is known (a page left alone keeps its text, and the console says so).
static void
rewrite_page(output_entry *entry, const std::string &key, std::span<const replacement> passes,
             std::unordered_map<std::string, file_identity> *rewritten)
{
    if (!entry->file_known) {
        rewrite_text_file(entry->name, passes);
        return;
    }
    const auto earlier = rewritten->find(key);
    if (earlier != rewritten->end())
        entry->file = earlier->second;
    if (rewrite_text_file(entry->name, passes, &entry->file) != REWRITE_LEFT_ALONE)
        (*rewritten)[key] = entry->file;
    else
        entry->left_alone = true;  // the console said so: it is not rewritten again
}

// Rewrites every HTML output once with the pending replacements, in list order. A file that
// the list names twice (two entries reaching one file) takes each replacement twice in turn,
// as one rewrite per listed page would give it; its later entries then know it as rewritten.
static void
apply_pending(std::span<output_entry> outputs, pending_state *pending)
{
    if (pending->replacements.empty())
        return;
    const std::vector<std::string> keys = page_file_keys(outputs);
    std::unordered_map<std::string, std::size_t> copies;
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        if (outputs[k].kind == KIND_HTML)
            ++copies[keys[k]];
    }
    std::unordered_map<std::string, file_identity> rewritten;
    std::vector<replacement> passes;
    const last_outputs last = last_output_of_each_file(outputs);
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        // a page a later part replaced is that part's file now: nothing of the page to rewrite
        if (outputs[k].kind != KIND_HTML || outputs[k].left_alone ||
            is_replaced_later(outputs, last, k))
            continue;
        const auto it = copies.find(keys[k]);
        if (it->second == 0) {
            // rewritten already under the file's first entry
            const auto done = rewritten.find(keys[k]);
            if (outputs[k].file_known && done != rewritten.end())
                outputs[k].file = done->second;
            continue;
        }
        passes.clear();
        for (const auto &[old_text, new_text] : pending->replacements) {
            for (std::size_t c = 0; c < it->second; ++c)
                passes.push_back({old_text, new_text});
        }
        it->second = 0;
        rewrite_page(&outputs[k], keys[k], passes, &rewritten);
    }
    pending->replacements.clear();
}

// One rewrite per HTML output, in list order, for a single replacement.
static void
replace_in_pages(std::span<output_entry> outputs, const char *old_text, const char *new_text)
{
    const replacement one{old_text, new_text};
    const std::vector<std::string> keys = page_file_keys(outputs);
    std::unordered_map<std::string, file_identity> rewritten;
    const last_outputs last = last_output_of_each_file(outputs);
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        if (outputs[k].kind == KIND_HTML && !outputs[k].left_alone &&
            !is_replaced_later(outputs, last, k))
            rewrite_page(&outputs[k], keys[k], std::span<const replacement>(&one, 1), &rewritten);
    }
}

// Records a replacement for every HTML output. An HTML output that has gone from the disk
// would end the run at this replacement: the pending ones are applied and this one goes
// through one rewrite per page, so the run ends at the same point with the same files.
static void
queue_replacement(std::span<output_entry> outputs, pending_state *pending, const char *old_text,
                  const char *new_text)
{
    if (pending->keep_made)
        pending->made.emplace_back(old_text, new_text);
    if (!pending->pages_all_there) {
        for (const output_entry &page : outputs) {
            if (page.kind == KIND_HTML && !entry_exists(page.name)) {
                apply_pending(outputs, pending);
                replace_in_pages(outputs, old_text, new_text);
                return;
            }
        }
    }
    pending->replacements.emplace_back(old_text, new_text);
}

// Before a file is renamed away: an HTML output of that name takes its pending replacements
// first, while it can still be found.
static void
apply_pending_before_rename(std::span<output_entry> outputs, pending_state *pending,
                            const char *name)
{
    const auto page = pending->page_names.find(ascii_folded(name));
    if (page != pending->page_names.end() && page->second > 0)
        apply_pending(outputs, pending);
}

// True when the file name is one of the outputs' files (whatever name reaches it).
static bool
is_output_file(std::span<const output_entry> outputs, const char *name)
{
    file_identity file;
    if (inspect_entry(name, &file) != ENTRY_REGULAR)
        return false;
    return std::any_of(outputs.begin(), outputs.end(), [&file](const output_entry &entry) {
        return entry.file_known && entry.file == file;
    });
}

// The image that the page shows was saved under a ".tmp" name: it takes thumb_name (made
// unique), and every reference and recorded name follows. After a stop, only an image this
// archive wrote is renamed, and one that cannot be is left as it is.
static void
rename_thumbnail(std::span<output_entry> outputs, image_names *images, std::span<char> line_scratch,
                 std::span<char> work_scratch, pending_state *pending, bool after_stop)
{
    char *thumb_name = images->thumb_name;
    const char *src_name = images->src_name;
    if (!has_tmp_extension(src_name, line_scratch, work_scratch) || thumb_name[0] == '\0')
        return;
    if (after_stop && !is_output_file(outputs, src_name))
        return;  // not written before the stop: the page keeps naming it
    // within the 255 bytes a file system holds
    make_unique_name(std::span<char>(thumb_name, NAME_SIZE));
    apply_pending_before_rename(outputs, pending, src_name);
    if (!rename_no_replace(src_name, thumb_name)) {
        if (after_stop)
            return;
        fail_run_file(src_name, MSG_RENAME_FAILED, src_name, thumb_name);
    }
    for (output_entry &entry : outputs) {
        if (std::strcmp(entry.name, src_name) == 0)
            set_entry_name(&entry, thumb_name, pending);
    }
    queue_replacement(outputs, pending, src_name, thumb_name);
}

void
rename_temp_images(std::span<output_entry> outputs, const char *page_name, image_names *images,
                   std::span<char> line_scratch, std::span<char> work_scratch, bool after_stop,
                   std::vector<std::pair<std::string, std::string>> *renames_out)
{
    // Every rename is made as it comes; the references are collected and each HTML output is
    // rewritten once at the end, with the text that one rewrite per rename would give.
    pending_state pending;
    pending.keep_made = renames_out != nullptr;
    for (const output_entry &entry : outputs) {
        if (entry.kind != KIND_HTML)
            continue;
        ++pending.page_names[ascii_folded(entry.name)];
        if (!entry_exists(entry.name))
            pending.pages_all_there = false;
    }
    rename_thumbnail(outputs, images, line_scratch, work_scratch, &pending, after_stop);

    std::int32_t tmp_sequence = 1;
    for (output_entry &entry : outputs) {
        if (!has_tmp_extension(entry.name, line_scratch, work_scratch))
            continue;
        // The new name must fit a file system's 255 bytes: a long page_name is cut (at a
        // character boundary) to leave room for the number and ".tmp".
        char suffix[32];
        const int suffix_len =
            std::snprintf(suffix, sizeof suffix, "_%03d.tmp", static_cast<int>(tmp_sequence));
        const std::size_t keep =
            fit_characters(page_name, static_cast<std::size_t>(NAME_SIZE - 1 - suffix_len));
        std::snprintf(line_scratch.data(), line_scratch.size(), "%.*s%s", static_cast<int>(keep),
                      page_name, suffix);
        ++tmp_sequence;
        make_unique_name(line_scratch.first(NAME_SIZE));
        // references first, then the file; a failed rename leaves the references pointing
        // at the new name all the same
        queue_replacement(outputs, &pending, entry.name, line_scratch.data());
        apply_pending_before_rename(outputs, &pending, entry.name);
        rename_no_replace(entry.name, line_scratch.data());
        set_entry_name(&entry, line_scratch.data(), &pending);
    }
    apply_pending(outputs, &pending);
    if (renames_out != nullptr)
        renames_out->swap(pending.made);
}
