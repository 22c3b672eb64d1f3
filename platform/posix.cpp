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

static bool
has_mht_extension(const char *name)
{
    static constexpr char EXT[] = ".MHT";
    const std::size_t len = std::strlen(name);
    if (len < 4)
        return false;
    for (std::size_t i = 0; i < 4; ++i) {
        unsigned char c = static_cast<unsigned char>(name[len - 4 + i]);
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 'a' + 'A');
        if (c != static_cast<unsigned char>(EXT[i]))
            return false;
    }
    return true;
}

// Byte-wise order of the names with ASCII a-z folded to A-Z.
static bool
is_before_folded(const std::string &a, const std::string &b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;  // names differing only in case: a fixed order all the same
}

void
list_mht_names(std::vector<std::string> *names_out)
{
    names_out->clear();
    DIR *dir = opendir(".");
    if (dir == nullptr)
        return;
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (has_mht_extension(name))
            names_out->emplace_back(name);
    }
    closedir(dir);
    std::sort(names_out->begin(), names_out->end(), is_before_folded);
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
