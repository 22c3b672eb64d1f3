#include "platform/internal.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <windows.h>

void
list_mht_names(std::vector<std::string> *names_out)
{
    names_out->clear();
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("*.mht", &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const char *name = entry.cFileName;
        // find-first also matches 8.3 short names ("a.mhtml" for "*.mht"): keep real ones
        if (is_mht_name(name))
            names_out->emplace_back(name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    sort_mht_names(names_out);
}

// A reserved device name ("NUL", "con.htm", "COM1.gif") opens a device, never a file, on
// this platform: what is written there is lost, so such a name counts as taken.
static bool
is_device_name(const char *name)
{
    char full[MAX_PATH];
    const DWORD len = GetFullPathNameA(name, sizeof full, full, nullptr);
    return len > 0 && len < sizeof full && std::strncmp(full, "\\\\.\\", 4) == 0;
}

bool
entry_exists(const char *name)
{
    return is_device_name(name) || GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

bool
is_regular_file(const char *name)
{
    // The C runtime's stat tells files from folders and from devices such as "NUL" or "CON".
    struct _stat64 info;
    return _stat64(name, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
}

void
seek_file(std::FILE *file, std::int64_t position)
{
    _fseeki64(file, position, SEEK_SET);
}

bool
rename_no_replace(const char *from, const char *to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails when to exists.
    return MoveFileA(from, to) != 0;
}

bool
remove_file(const char *name)
{
    return DeleteFileA(name) != 0;
}
