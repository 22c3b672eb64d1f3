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

void
console_write(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void
console_printf(const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

void
console_error(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
}

bool
console_read_line(std::span<char> line)
{
    std::fflush(stdout);
    return std::fgets(line.data(), static_cast<int>(line.size()), stdin) != nullptr;
}

void
exit_process(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}
