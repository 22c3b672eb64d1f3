#include "platform/internal.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void
list_mht_names(std::vector<std::string> *names_out)
{
    names_out->clear();
    DIR *dir = opendir(".");
    if (dir == nullptr)
        return;
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (is_mht_name(name))
            names_out->emplace_back(name);
    }
    closedir(dir);
    sort_mht_names(names_out);
}

bool
entry_exists(const char *name)
{
    struct stat info;
    return lstat(name, &info) == 0;
}

bool
is_regular_file(const char *name)
{
    struct stat info;
    return stat(name, &info) == 0 && S_ISREG(info.st_mode);
}

void
seek_file(std::FILE *file, std::int64_t position)
{
    fseeko(file, static_cast<off_t>(position), SEEK_SET);
}

bool
rename_no_replace(const char *from, const char *to)
{
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // No atomic form on this file system: test, then rename.
    if (entry_exists(to))
        return false;
    return std::rename(from, to) == 0;
}

bool
remove_file(const char *name)
{
    return unlink(name) == 0;
}
