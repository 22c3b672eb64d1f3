#include "driver/driver.hpp"

#include "platform/platform.hpp"
#include "support/support.hpp"

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

// True when what a splits holds what b splits: the same folder, whole or the same archive.
static bool
covers(const run_target &a, const run_target &b)
{
    return a.folder_identity == b.folder_identity &&
           (a.archive.empty() || (!b.archive.empty() && a.archive_identity == b.archive_identity));
}

static void
tell_split_once(const run_target &left_out, const run_target &kept)
{
    tell_about(left_out.given, "split once, with " + kept.given);
}

// Adds target unless an earlier target splits it already; a folder named whole replaces its
// archives named before, at the place of the first of them.
static void
add_target(run_target target, std::vector<run_target> *targets)
{
    for (const run_target &earlier : *targets) {
        if (covers(earlier, target)) {
            tell_split_once(target, earlier);
            return;
        }
    }
    std::vector<run_target> kept;
    bool placed = false;
    for (run_target &earlier : *targets) {
        if (!covers(target, earlier)) {
            kept.push_back(std::move(earlier));
            continue;
        }
        tell_split_once(earlier, target);
        if (!placed)
            kept.push_back(target);
        placed = true;
    }
    if (!placed)
        kept.push_back(std::move(target));
    targets->swap(kept);
}

bool
find_targets(std::span<const command_argument> paths, std::vector<run_target> *targets_out)
{
    bool all_found = true;
    for (const command_argument &path : paths) {
        run_target target;
        if (!path.exact) {
            tell_about(path.text, "name not in Shift_JIS");
            all_found = false;
        } else if (!find_target(path.text, &target)) {
            tell_about(path.text, "not a folder or archive");
            all_found = false;
        } else if (all_found) {
            add_target(std::move(target), targets_out);
        }
    }
    return all_found;
}
