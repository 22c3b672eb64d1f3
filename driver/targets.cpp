#include "driver/driver.hpp"

#include "platform/platform.hpp"
#include "support/support.hpp"

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

static constexpr std::string_view MHT_EXTENSION = ".mht";

// "<program>: <path>: <what>\n" on standard error.
static void
tell_about(std::string_view path, std::string_view what)
{
    std::string line(PROGRAM_NAME);
    line += ": ";
    line += path;
    line += ": ";
    line += what;
    line += '\n';
    console_error(line);
}

static bool
has_mht_extension(std::string_view name)
{
    return name.size() >= MHT_EXTENSION.size() &&
           has_prefix_nocase(name.data() + name.size() - MHT_EXTENSION.size(), MHT_EXTENSION);
}

// What path names, into *target_out. Returns false when it is no folder and no archive.
static bool
find_target(const std::string &path, run_target *target_out)
{
    target_out->given = path;
    const path_kind kind = inspect_path(path.c_str(), &target_out->folder_identity);
    if (kind == PATH_FOLDER) {
        target_out->folder = path;
        return true;
    }
    const std::size_t folder_len = folder_part_length(path);
    const std::string_view name = std::string_view(path).substr(folder_len);
    if (kind != PATH_FILE || !has_mht_extension(name))
        return false;
    target_out->archive_identity = target_out->folder_identity;
    target_out->folder = path.substr(0, folder_len);
    target_out->archive = name;
    const char *folder = target_out->folder.empty() ? "." : target_out->folder.c_str();
    return inspect_path(folder, &target_out->folder_identity) == PATH_FOLDER;
}

static void
tell_split_once(const run_target &left_out, const run_target &kept)
{
    tell_about(left_out.given, "split once, with " + kept.given);
}

// The targets found so far, and what each splits, so that an argument that repeats one is found
// at once however many there are (a shell's "*.mht" may give thousands).
struct target_list {
    std::vector<run_target> targets;
    std::vector<bool> dropped;  // split with a folder named whole after it
    std::map<file_identity, std::size_t> whole_folders;
    std::map<std::pair<file_identity, file_identity>, std::size_t> archives;  // folder, archive
    std::map<file_identity, std::vector<std::size_t>> archives_in;            // of each folder
};

// Adds target unless an earlier target splits it already; a folder named whole replaces its
// archives named before, at the place of the first of them.
static void
add_target(run_target target, target_list *list)
{
    const auto whole = list->whole_folders.find(target.folder_identity);
    if (whole != list->whole_folders.end()) {
        tell_split_once(target, list->targets[whole->second]);
        return;
    }
    const std::size_t next = list->targets.size();
    if (!target.archive.empty()) {
        const auto [same, added] =
            list->archives.try_emplace({target.folder_identity, target.archive_identity}, next);
        if (!added) {
            tell_split_once(target, list->targets[same->second]);
            return;
        }
        list->archives_in[target.folder_identity].push_back(next);
        list->targets.push_back(std::move(target));
        list->dropped.push_back(false);
        return;
    }
    std::size_t place = next;
    const auto named = list->archives_in.find(target.folder_identity);
    if (named != list->archives_in.end()) {
        for (const std::size_t k : named->second) {
            tell_split_once(list->targets[k], target);
            list->dropped[k] = true;
        }
        place = named->second.front();
    }
    list->whole_folders[target.folder_identity] = place;
    if (place == next) {
        list->targets.push_back(std::move(target));
        list->dropped.push_back(false);
    } else {
        list->targets[place] = std::move(target);
        list->dropped[place] = false;
    }
}

bool
find_targets(std::span<const command_argument> paths, std::vector<run_target> *targets_out)
{
    bool all_found = true;
    target_list list;
    for (const command_argument &path : paths) {
        run_target target;
        if (!path.exact) {
            tell_about(path.text, "name not in Shift_JIS");
            all_found = false;
        } else if (!find_target(path.text, &target)) {
            tell_about(path.text, "not a folder or archive");
            all_found = false;
        } else if (all_found) {
            add_target(std::move(target), &list);
        }
    }
    for (std::size_t k = 0; k < list.targets.size(); ++k) {
        if (!list.dropped[k])
            targets_out->push_back(std::move(list.targets[k]));
    }
    return all_found;
}
