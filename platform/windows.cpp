#include "platform/platform.hpp"

#include "platform/internal.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string_view>
#include <sys/stat.h>
#include <windows.h>

static constexpr UINT CP932 = 932;

// The reason of the last failure: an errno code of the C runtime, a system error code of a
// call of the system's own (GetLastError), or a text of our own.
struct noted_failure {
    int errno_value = 0;
    DWORD system_code = 0;
    const char *text = nullptr;
};

static noted_failure noted;

static void
note_system_error(DWORD code)
{
    noted = noted_failure{0, code, nullptr};
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
    if (_stat64(name, &info) != 0) {
        note_errno(errno);
        return false;
    }
    const auto kind = info.st_mode & _S_IFMT;
    if (kind == _S_IFDIR)
        note_errno(EISDIR);
    else if (kind != _S_IFREG)
        note_reason("not a regular file");
    return kind == _S_IFREG;
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
    if (MoveFileA(from, to) == 0) {
        note_system_error(GetLastError());
        return false;
    }
    note_freed_name(from);
    return true;
}

bool
rename_replace(const char *from, const char *to)
{
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) == 0) {
        note_system_error(GetLastError());
        return false;
    }
    note_freed_name(from);
    return true;
}

bool
remove_file(const char *name)
{
    if (DeleteFileA(name) == 0) {
        note_system_error(GetLastError());
        return false;
    }
    note_freed_name(name);
    return true;
}

create_result
create_new_file(const char *name, std::FILE **file_out)
{
    if (is_device_name(name))
        return CREATE_EXISTS;
    HANDLE handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        note_system_error(error);
        return (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) ? CREATE_EXISTS
                                                                             : CREATE_FAILED;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return CREATE_FAILED;
    }
    *file_out = _fdopen(fd, "wb");
    if (*file_out == nullptr) {
        _close(fd);
        return CREATE_FAILED;
    }
    return CREATE_OK;
}

entry_kind
inspect_entry(const char *name, file_identity *identity_out)
{
    if (is_device_name(name))
        return ENTRY_OTHER;
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ENTRY_NONE;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return ENTRY_OTHER;
    // Opened for no access: only the file's identity is read, whatever shares others hold.
    HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return ENTRY_OTHER;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!known)
        return ENTRY_OTHER;
    identity_out->volume = info.dwVolumeSerialNumber;
    identity_out->index =
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return ENTRY_REGULAR;
}

void
list_entry_names(std::vector<std::string> *names_out)
{
    names_out->clear();
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("*", &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string_view name(entry.cFileName);
        if (name != "." && name != "..")
            names_out->emplace_back(name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

void
note_errno(int errno_value)
{
    noted = noted_failure{errno_value, 0, nullptr};
}

void
note_reason(const char *text)
{
    noted = noted_failure{0, 0, text};
}

// The system's message for code, as cp932 in text; false when it has none.
static bool
system_message(DWORD code, std::span<char> text)
{
    wchar_t wide[512];
    DWORD len = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               code, 0, wide, sizeof wide / sizeof wide[0], nullptr);
    while (len > 0 && (wide[len - 1] == L'\r' || wide[len - 1] == L'\n' || wide[len - 1] == L' '))
        --len;  // the message ends in a line end
    if (len == 0)
        return false;
    const int count = WideCharToMultiByte(CP932, 0, wide, static_cast<int>(len), text.data(),
                                          static_cast<int>(text.size() - 1), nullptr, nullptr);
    if (count <= 0)
        return false;
    text[static_cast<std::size_t>(count)] = '\0';
    return true;
}

void
os_error_text(std::span<char> text)
{
    if (noted.system_code != 0) {
        if (!system_message(noted.system_code, text))
            std::snprintf(text.data(), text.size(), "system error %lu", noted.system_code);
        return;
    }
    // The C runtime's calls (open, write, close) leave errno; its strerror speaks English.
    const char *reason = noted.text;
    if (reason == nullptr)
        reason = noted.errno_value != 0 ? std::strerror(noted.errno_value) : "unknown error";
    std::snprintf(text.data(), text.size(), "%s", reason);
}
