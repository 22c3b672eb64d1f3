#include "driver/driver.hpp"

#include "platform/platform.hpp"
#include "support/support.hpp"

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

static constexpr std::string_view ARCHIVE_EXTENSIONS[] = {".mht", ".mhtml"};

// "<program>: <path>: <what>\n" on standard error, the path shown as names are.
static void
tell_about(const std::string &path, const std::string &what)
{
    console_error_printf("%s: %s: %s\n", PROGRAM_NAME, path.c_str(), what.c_str());
}

static bool
has_archive_extension(std::string_view name)
{
    for (const std::string_view extension : ARCHIVE_EXTENSIONS) {
        if (name.size() >= extension.size() &&
            has_prefix_nocase(name.data() + name.size() - extension.size(), extension))
            return true;
    }
    return false;
}

// What one argument names: a folder (archive empty), or an archive in its folder.
struct named_path {
    std::string given;
    std::string folder;
    std::string archive;
    file_identity folder_identity;
    file_identity archive_identity;
};

// What path names, into *named_out. Returns false when it is no folder and no archive.
static bool
find_target(const std::string &path, named_path *named_out)
{
    named_out->given = path;
    const path_kind kind = inspect_path(path.c_str(), &named_out->folder_identity);
    if (kind == PATH_FOLDER) {
        named_out->folder = path;
        return true;
    }
    const std::size_t folder_len = folder_part_length(path);
    const std::string_view name = std::string_view(path).substr(folder_len);
    if (kind != PATH_FILE || !has_archive_extension(name))
        return false;
    named_out->archive_identity = named_out->folder_identity;
    named_out->folder = path.substr(0, folder_len);
    named_out->archive = name;
    const char *folder = named_out->folder.empty() ? "." : named_out->folder.c_str();
    return inspect_path(folder, &named_out->folder_identity) == PATH_FOLDER;
}

static void
tell_split_once(const std::string &left_out, const std::string &kept)
{
    tell_about(left_out, "split once, with " + kept);
}

// The targets found so far, and what each splits, so that an argument that repeats one is found
// at once however many there are (a shell's "*.mht" may give thousands).
struct target_list {
    std::vector<run_target> targets;
    std::map<file_identity, std::size_t> whole_folders;
    std::map<file_identity, std::size_t> archive_groups;  // the target of a folder's archives
    std::map<std::pair<file_identity, file_identity>, std::string> archives;  // -> as given
};

// Adds the archive named to the target of its folder's archives, unless an earlier target
// splits it already.
static void
add_archive(named_path named, target_list *list)
{
    const auto whole = list->whole_folders.find(named.folder_identity);
    if (whole != list->whole_folders.end()) {
        tell_split_once(named.given, list->targets[whole->second].given);
        return;
    }
    const auto [same, added] =
        list->archives.try_emplace({named.folder_identity, named.archive_identity}, named.given);
    if (!added) {
        tell_split_once(named.given, same->second);
        return;
    }
    const auto [group, first] =
        list->archive_groups.try_emplace(named.folder_identity, list->targets.size());
    if (first) {
        run_target target;
        target.given = named.given;
        target.folder = std::move(named.folder);
        target.folder_identity = named.folder_identity;
        list->targets.push_back(std::move(target));
    }
    run_target &target = list->targets[group->second];
    target.archives.push_back(std::move(named.archive));
    target.archives_given.push_back(std::move(named.given));
}

// Adds the folder named unless an earlier target splits it already; it replaces its archives
// named before, at their place.
static void
add_folder(named_path named, target_list *list)
{
    const auto whole = list->whole_folders.find(named.folder_identity);
    if (whole != list->whole_folders.end()) {
        tell_split_once(named.given, list->targets[whole->second].given);
        return;
    }
    run_target target;
    target.given = std::move(named.given);
    target.folder = std::move(named.folder);
    target.folder_identity = named.folder_identity;
    const auto group = list->archive_groups.find(named.folder_identity);
    if (group == list->archive_groups.end()) {
        list->whole_folders[named.folder_identity] = list->targets.size();
        list->targets.push_back(std::move(target));
        return;
    }
    const std::size_t place = group->second;
    for (const std::string &archive : list->targets[place].archives_given)
        tell_split_once(archive, target.given);
    list->whole_folders[named.folder_identity] = place;
    list->targets[place] = std::move(target);
    list->archive_groups.erase(group);
}

bool
find_targets(std::span<const command_argument> paths, std::vector<run_target> *targets_out)
{
    bool all_found = true;
    target_list list;
    for (const command_argument &path : paths) {
        named_path named;
        if (!path.exact) {
            tell_about(path.text, "name not in Shift_JIS");
            all_found = false;
        } else if (!find_target(path.text, &named)) {
            tell_about(path.text, "not a folder or archive");
            all_found = false;
        } else if (all_found && named.archive.empty()) {
            add_folder(std::move(named), &list);
        } else if (all_found) {
            add_archive(std::move(named), &list);
        }
    }
    for (run_target &target : list.targets)
        targets_out->push_back(std::move(target));
    return all_found;
}
