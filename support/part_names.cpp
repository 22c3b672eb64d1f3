#include "support/support.hpp"

#include "platform/platform.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

bool
is_reserved_name(const char *name, const name_guard &guard)
{
    return has_name_nocase(guard.reserved_names, name);
}

void
sort_guarded_files(std::span<file_identity> files)
{
    std::sort(files.begin(), files.end());
}

bool
is_guarded_file(const file_identity &file, const name_guard &guard)
{
    return std::binary_search(guard.guarded_files.begin(), guard.guarded_files.end(), file);
}

bool
is_run_log_name(std::string_view name)
{
    static constexpr std::string_view HEAD = "log";
    static constexpr std::string_view TAIL = ".csv";
    if (name.size() < HEAD.size() + TAIL.size() || !has_prefix_nocase(name.data(), HEAD) ||
        str_nicmp(name.data() + name.size() - TAIL.size(), TAIL.data(), TAIL.size()) != 0)
        return false;
    // then "_" and four or more digits, any number of times
    std::string_view numbers = name.substr(HEAD.size(), name.size() - HEAD.size() - TAIL.size());
    while (!numbers.empty()) {
        std::size_t digits = 0;
        while (1 + digits < numbers.size() && numbers[1 + digits] >= '0' &&
               numbers[1 + digits] <= '9')
            ++digits;
        if (numbers[0] != '_' || digits < 4)
            return false;
        numbers.remove_prefix(1 + digits);
    }
    return true;
}

// A device name ("CON", "nul.htm", "com1.jpg") opens the device on Windows and what is written
// is lost: the name takes the first free "_0001", "_0002", ... right after the device part
// ("nul_0001.htm", "con_0001.tar.gz"), on every platform alike. No free name leaves it empty.
static void
move_off_device_name(std::span<char> name, const name_guard &guard)
{
    const std::size_t stem = device_name_length(name.data());
    if (stem == 0)
        return;
    char rest[NAME_SIZE];
    copy_bounded(rest, name.data() + stem);
    const std::string device(name.data(), stem);
    for (int counter = 1; counter <= 9999; ++counter) {
        char candidate[2 * NAME_SIZE];
        std::snprintf(candidate, sizeof candidate, "%s_%04d%s", device.c_str(), counter, rest);
        fit_file_name(candidate, NAME_SIZE - 1);
        if (!entry_exists(candidate) && !is_reserved_name(candidate, guard)) {
            copy_bounded(name, candidate);
            return;
        }
    }
    copy_bounded(name, "");
}

// The default name made unique; an archive named like a device ("con.mht") has a device
// default name too, which moves aside behind a '_'.
static void
take_default_name(std::span<char> name, const char *default_name, const name_guard &guard)
{
    copy_bounded(name, default_name);
    if (device_name_length(name.data()) > 0) {
        copy_bounded(name, "_");
        append_bounded(name, default_name);
    }
    make_unique_name(name.first(NAME_SIZE), guard.reserved_names);
}

void
settle_part_name(std::span<char> name, const char *default_name, const name_guard &guard,
                 bool replaces_files)
{
    // A longer name than a file system holds would end the run on its open. Names from the
    // headers come sanitized, the default name as the archive's own name has it (storable
    // where the archive lies); a cut may pair the kept tail's bytes anew.
    static constexpr std::size_t MAX_LEN = NAME_SIZE - 1;
    if (bounded_length(name) > MAX_LEN) {
        fit_file_name(name, MAX_LEN);
        sanitize_file_name(name.data());
    }
    // Windows drops trailing dots and spaces on creation; the log and the references must name
    // the file as stored.
    std::size_t len = std::strlen(name.data());
    while (len > 0 && (name[len - 1] == '.' || name[len - 1] == ' '))
        name[--len] = '\0';
    if (is_usable_file_name(name.data()))
        move_off_device_name(name, guard);
    if (!is_usable_file_name(name.data())) {
        take_default_name(name, default_name, guard);
        return;
    }
    if (replaces_files && is_reserved_name(name.data(), guard))
        make_unique_name(name.first(NAME_SIZE), guard.reserved_names);
}
