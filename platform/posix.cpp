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
    if (stat(name, &info) != 0) {
        note_errno(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode))
        note_errno(EISDIR);
    else if (!S_ISREG(info.st_mode))
        note_reason("not a regular file");
    return S_ISREG(info.st_mode);
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
    if (errno != EINVAL && errno != ENOSYS) {
        note_errno(errno);
        return false;
    }
#endif
    // No atomic form on this file system: test, then rename.
    if (entry_exists(to)) {
        note_errno(EEXIST);
        return false;
    }
    if (std::rename(from, to) != 0) {
        note_errno(errno);
        return false;
    }
    return true;
}

bool
remove_file(const char *name)
{
    if (unlink(name) != 0) {
        note_errno(errno);
        return false;
    }
    return true;
}

// The reason of the last failure: an errno code, or a text of our own.
static int noted_errno = 0;
static const char *noted_text = nullptr;

void
note_errno(int errno_value)
{
    noted_errno = errno_value;
    noted_text = nullptr;
}

void
note_reason(const char *text)
{
    noted_errno = 0;
    noted_text = text;
}

void
os_error_text(std::span<char> text)
{
    // strerror speaks the C locale's English: the user's locale is never taken for messages.
    const char *reason = noted_text;
    if (reason == nullptr)
        reason = noted_errno != 0 ? std::strerror(noted_errno) : "unknown error";
    std::snprintf(text.data(), text.size(), "%s", reason);
}
