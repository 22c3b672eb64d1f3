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
#include <string>
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
is_device_name(const std::wstring &name)
{
    wchar_t full[4096];
    const DWORD len = GetFullPathNameW(name.c_str(), sizeof full / sizeof full[0], full, nullptr);
    return len > 0 && len < sizeof full / sizeof full[0] &&
           std::wstring_view(full, len).substr(0, 4) == L"\\\\.\\";
}

// The path to hand the system for the UTF-16 name of an entry of the current folder: the name
// itself, or, when the whole path would be longer than MAX_PATH allows, the full path in its
// "\\?\" form, which the system takes at any length.
static std::wstring
system_path(const std::wstring &name)
{
    const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);  // with the NUL
    if (needed <= MAX_PATH)
        return name;
    std::wstring full(needed, L'\0');
    const DWORD len = GetFullPathNameW(name.c_str(), needed, full.data(), nullptr);
    if (len == 0 || len >= needed)
        return name;
    full.resize(len);
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\"))
        return full;
    if (full.starts_with(L"\\\\"))  // \\server\share\...
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

static std::wstring_view
last_component(std::wstring_view path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

// The name as the system stores it: the path normalisation drops trailing dots and spaces
// ("x_0001." is stored as "x_0001"); a name of dots only ("." or "..") stays as it is.
static std::wstring_view
stored_form(std::wstring_view name)
{
    const std::size_t kept = name.find_last_not_of(L". ");
    return kept == std::wstring_view::npos ? name : name.substr(0, kept + 1);
}

// Compares two names as the file system does, ignoring case.
static bool
is_same_name(std::wstring_view a, std::wstring_view b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// True when handle reached its entry by that entry's own name (long or short) as path gives
// it. False where the system cut a name too long for it (Wine stores names as UTF-8 of at most
// 255 bytes and cuts a longer one) and reached the entry stored under the cut name: every
// longer name with that start would reach it too.
static bool
is_reached_by_own_name(HANDLE handle, const std::wstring &path)
{
    struct {
        FILE_NAME_INFO info;
        wchar_t room[4096];
    } stored = {};

    if (GetFileInformationByHandleEx(handle, FileNameInfo, &stored, sizeof stored) == 0)
        return true;  // the system does not tell: the name stands
    const wchar_t *text = stored.info.FileName;
    const std::wstring_view wanted = stored_form(last_component(path));
    if (is_same_name(last_component({text, stored.info.FileNameLength / sizeof(wchar_t)}), wanted))
        return true;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(path.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return is_same_name(entry.cFileName, wanted) || is_same_name(entry.cAlternateFileName, wanted);
}

// False when the existing entry path reaches is stored under another name (see
// is_reached_by_own_name); true when it is its own, or when that cannot be told.
static bool
is_own_entry(const std::wstring &path)
{
    HANDLE handle = CreateFileW(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    const bool own = is_reached_by_own_name(handle, path);
    CloseHandle(handle);
    return own;
}

bool
entry_exists(const char *name)
{
    const std::wstring wide = wide_from_cp932(name);
    if (is_device_name(wide))
        return true;
    const std::wstring path = system_path(wide);
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && is_own_entry(path);
}

bool
names_fold_case()
{
    return true;
}

std::FILE *
open_file(const char *name, const char *mode)
{
    const std::wstring wide_mode(mode, mode + std::strlen(mode));  // ASCII
    std::FILE *file = _wfopen(system_path(wide_from_cp932(name)).c_str(), wide_mode.c_str());
    if (file == nullptr)
        note_errno(errno);
    return file;
}

bool
is_regular_file(const char *name)
{
    // The C runtime's stat tells files from folders and from devices such as "NUL" or "CON".
    struct _stat64 info;
    if (_wstat64(system_path(wide_from_cp932(name)).c_str(), &info) != 0) {
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
    if (MoveFileExW(system_path(wide_from_cp932(from)).c_str(),
                    system_path(wide_from_cp932(to)).c_str(), 0) == 0) {
        note_system_error(GetLastError());
        return false;
    }
    note_freed_name(from);
    return true;
}

void
name_as_url_bytes(const char *name, std::string *bytes_out)
{
    const std::wstring wide = wide_from_cp932(name);
    bytes_out->clear();
    if (wide.empty())
        return;
    const int len = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
    if (len <= 0)
        return;
    bytes_out->resize(static_cast<std::size_t>(len));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), bytes_out->data(),
                        len, nullptr, nullptr);
}

bool
rename_replace(const char *from, const char *to)
{
    if (MoveFileExW(system_path(wide_from_cp932(from)).c_str(),
                    system_path(wide_from_cp932(to)).c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        note_system_error(GetLastError());
        return false;
    }
    note_freed_name(from);
    return true;
}

bool
remove_file(const char *name)
{
    if (DeleteFileW(system_path(wide_from_cp932(name)).c_str()) == 0) {
        note_system_error(GetLastError());
        return false;
    }
    note_freed_name(name);
    return true;
}

// Gives the C runtime's binary stream over handle to *file_out: with flags (_O_WRONLY,
// _O_APPEND, _O_RDONLY) and mode ("wb", "ab", "rb"); the stream owns the handle from then on.
// Returns false, the handle closed, when the runtime takes no more.
static bool
stream_of_handle(HANDLE handle, int flags, const char *mode, std::FILE **file_out)
{
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        note_errno(errno);
        CloseHandle(handle);
        return false;
    }
    *file_out = _fdopen(fd, mode);  // never truncates: the file is open already
    if (*file_out == nullptr) {
        note_errno(errno);
        _close(fd);
        return false;
    }
    return true;
}

create_result
create_new_file(const char *name, std::FILE **file_out)
{
    const std::wstring wide = wide_from_cp932(name);
    if (is_device_name(wide))
        return CREATE_EXISTS;
    const std::wstring path = system_path(wide);
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            // Creating a new name in a folder that is there finds nothing missing: the name is
            // one the file system cannot store (Wine says so of some names over 255 bytes of
            // UTF-8, and cuts longer ones).
            const bool folder_there = GetFileAttributesW(L".") != INVALID_FILE_ATTRIBUTES;
            note_system_error(folder_there ? ERROR_FILENAME_EXCED_RANGE : error);
            return CREATE_FAILED;
        }
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            note_system_error(error);
            return CREATE_FAILED;
        }
        // an entry stored under a cut name: the name itself is too long to be stored
        const bool own = is_own_entry(path);
        note_system_error(own ? error : ERROR_FILENAME_EXCED_RANGE);
        return own ? CREATE_EXISTS : CREATE_FAILED;
    }
    if (!is_reached_by_own_name(handle, path)) {
        // created under a cut name: not the file asked for, and no name of the tool's
        CloseHandle(handle);
        DeleteFileW(path.c_str());
        note_system_error(ERROR_FILENAME_EXCED_RANGE);
        return CREATE_FAILED;
    }
    return stream_of_handle(handle, _O_WRONLY, "wb", file_out) ? CREATE_OK : CREATE_FAILED;
}

static void
store_identity(const BY_HANDLE_FILE_INFORMATION &info, file_identity *identity_out)
{
    identity_out->volume = info.dwVolumeSerialNumber;
    identity_out->index =
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

// The full path of the file handle reaches, after every link and redirection on the way.
static std::wstring
final_path(HANDLE handle)
{
    wchar_t path[4096];
    const DWORD len =
        GetFinalPathNameByHandleW(handle, path, sizeof path / sizeof path[0], FILE_NAME_NORMALIZED);
    return (len > 0 && len < sizeof path / sizeof path[0]) ? std::wstring(path, len)
                                                           : std::wstring();
}

// The current folder's final path; empty when the system cannot tell it. Found again only
// when the current folder has changed.
static std::wstring
folder_final_path()
{
    static std::wstring folder;
    static std::wstring path;
    wchar_t current[4096];
    const DWORD len = GetCurrentDirectoryW(sizeof current / sizeof current[0], current);
    if (len == 0 || len >= sizeof current / sizeof current[0])
        return std::wstring();
    if (folder == std::wstring(current, len))
        return path;
    HANDLE handle = CreateFileW(L".", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::wstring();
    path = final_path(handle);
    CloseHandle(handle);
    folder.assign(current, len);
    return path;
}

// True when handle reaches the file name (at path) in the current folder itself, not a file
// elsewhere through a link (Wine shows a Unix symbolic link as a plain file: only the final
// path tells) nor one stored under a cut name. Names are compared as the file system does,
// ignoring case. When the system cannot tell a final path (Wine cannot for a path longer than
// MAX_PATH), the attributes and the identity decide alone, as without the folder's.
static bool
reaches_own_file(HANDLE handle, const std::wstring &name, const std::wstring &path)
{
    if (!is_reached_by_own_name(handle, path))
        return false;
    const std::wstring folder = folder_final_path();
    const std::wstring reached = final_path(handle);
    if (folder.empty() || reached.empty())
        return true;
    std::wstring expected = folder;
    if (expected.back() != L'\\')
        expected += L'\\';
    expected += stored_form(name);
    return is_same_name(reached, expected);
}

// What a failed look at an existing file tells (the reason noted): the file is gone, or the
// system refused.
static existing_result
gone_or_failed(DWORD error)
{
    note_system_error(error);
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? EXISTING_GONE
                                                                            : EXISTING_FAILED;
}

// Opens the existing regular file name with access (GENERIC_WRITE or GENERIC_READ) into
// *handle_out, as open_existing_file says, and reads what it is into *info_out.
static existing_result
open_regular_handle(const char *name, DWORD access, HANDLE *handle_out,
                    BY_HANDLE_FILE_INFORMATION *info_out)
{
    const std::wstring wide = wide_from_cp932(name);
    if (is_device_name(wide)) {
        note_reason("a device");
        return EXISTING_OTHER;
    }
    const std::wstring path = system_path(wide);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return gone_or_failed(GetLastError());
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        note_reason("not a regular file");
        return EXISTING_OTHER;
    }
    // The reparse point itself is opened, never what it points to; the checks below are made
    // on the open handle, which is what is used whatever the name becomes.
    HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return gone_or_failed(GetLastError());
    }
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        GetFileInformationByHandle(handle, info_out) == 0 ||
        (info_out->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            0 ||
        !reaches_own_file(handle, wide, path)) {
        note_reason("not a regular file of the folder");
        CloseHandle(handle);
        return EXISTING_OTHER;
    }
    *handle_out = handle;
    return EXISTING_PLAIN;
}

existing_result
open_existing_file(const char *name, bool append, std::FILE **file_out, file_identity *identity_out)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info;
    const existing_result result = open_regular_handle(name, GENERIC_WRITE, &handle, &info);
    if (result != EXISTING_PLAIN)
        return result;
    if (!stream_of_handle(handle, _O_WRONLY | (append ? _O_APPEND : 0), append ? "ab" : "wb",
                          file_out))
        return EXISTING_FAILED;
    store_identity(info, identity_out);
    return EXISTING_PLAIN;
}

existing_result
open_existing_for_reading(const char *name, std::FILE **file_out, file_identity *identity_out)
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION info;
    const existing_result result = open_regular_handle(name, GENERIC_READ, &handle, &info);
    if (result != EXISTING_PLAIN)
        return result;
    if (!stream_of_handle(handle, _O_RDONLY, "rb", file_out))
        return EXISTING_FAILED;
    store_identity(info, identity_out);
    return EXISTING_PLAIN;
}

bool
truncate_file(std::FILE *file)
{
    const errno_t error = _chsize_s(_fileno(file), 0);
    if (error != 0) {
        note_errno(error);
        return false;
    }
    return true;
}

bool
identity_of_file(std::FILE *file, file_identity *identity_out)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || GetFileInformationByHandle(handle, &info) == 0)
        return false;
    store_identity(info, identity_out);
    return true;
}

entry_kind
inspect_entry(const char *name, file_identity *identity_out)
{
    const std::wstring wide = wide_from_cp932(name);
    if (is_device_name(wide))
        return ENTRY_OTHER;
    const std::wstring path = system_path(wide);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ENTRY_NONE;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return ENTRY_OTHER;
    // Opened for no access: only the file's identity is read, whatever shares others hold.
    HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return ENTRY_OTHER;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    const bool own = is_reached_by_own_name(handle, path);
    CloseHandle(handle);
    if (!own)
        return ENTRY_NONE;  // no entry of that name: the name is too long to be stored
    if (!known)
        return ENTRY_OTHER;
    store_identity(info, identity_out);
    return ENTRY_REGULAR;
}

void
list_entry_names(std::vector<std::string> *names_out, std::vector<std::string> *unnamed_out)
{
    names_out->clear();
    if (unnamed_out != nullptr)
        unnamed_out->clear();
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(L"*", &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    std::string name;
    do {
        const std::wstring_view wide(entry.cFileName);
        if (wide == L"." || wide == L"..")
            continue;
        // a name whose bytes lead to another name (escaped bytes already on disk, made by
        // another program) names no entry of the tool's
        if (cp932_from_wide(wide, &name) && wide_from_cp932(name) == wide)
            names_out->push_back(name);
        else if (unnamed_out != nullptr)
            unnamed_out->push_back(shown_cp932(wide));
    } while (FindNextFileW(find, &entry));
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

bool
failure_is_name_too_long()
{
    return noted.system_code == ERROR_FILENAME_EXCED_RANGE;
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

void
take_arguments(int argc, char **argv, std::vector<command_argument> *args_out)
{
    // argv is in the ANSI code page, which may lack the names' characters: the UTF-16 command
    // line has them all. argv only when the system cannot split that line (out of memory).
    args_out->clear();
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        for (int k = 1; k < argc; ++k)
            args_out->push_back({argv[k], true});
        return;
    }
    for (int k = 1; k < count; ++k) {
        command_argument arg;
        arg.exact = cp932_from_wide(wide[k], &arg.text);
        if (!arg.exact)
            arg.text = shown_cp932(wide[k]);
        args_out->push_back(arg);
    }
    LocalFree(wide);
}

path_kind
inspect_path(const char *path, file_identity *identity_out)
{
    const std::wstring wide = wide_from_cp932(path);
    if (is_device_name(wide)) {
        note_reason("a device");
        return PATH_OTHER;
    }
    // Opened for no access, following links and junctions; a folder opens with backup semantics.
    HANDLE handle = CreateFileW(system_path(wide).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        note_system_error(GetLastError());
        return PATH_NONE;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool known =
        GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!known) {
        note_reason("not a file or folder");
        return PATH_OTHER;
    }
    store_identity(info, identity_out);
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PATH_FOLDER : PATH_FILE;
}

std::size_t
folder_part_length(std::string_view path)
{
    std::size_t length = 0;
    for (std::size_t k = 0; k < path.size(); ++k) {
        const char c = path[k];
        if (c == '/' || c == '\\' || c == ':')
            length = k + 1;
        else if (is_cp932_lead(static_cast<unsigned char>(c)))
            ++k;  // its trail byte may be 0x5C, which is no separator there
    }
    return length;
}

// The folder the process was started in: relative paths are taken from there. Taken once, at
// the first entry, before any folder changed; empty when the system could not tell it.
struct start_folder_state {
    bool tried = false;
    std::wstring path;
    DWORD error = 0;
};

static start_folder_state start_folder;

bool
enter_folder(const char *path)
{
    if (!start_folder.tried) {
        start_folder.tried = true;
        const DWORD size = GetCurrentDirectoryW(0, nullptr);
        std::wstring current(size, L'\0');
        const DWORD len = size > 0 ? GetCurrentDirectoryW(size, current.data()) : 0;
        if (len > 0 && len < size)
            start_folder.path.assign(current.data(), len);
        else
            start_folder.error = GetLastError();
    }
    // without the start folder a relative path could be taken from the wrong one: refused
    if (start_folder.path.empty()) {
        note_system_error(start_folder.error != 0 ? start_folder.error : ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (SetCurrentDirectoryW(start_folder.path.c_str()) == 0 ||
        (*path != '\0' && SetCurrentDirectoryW(wide_from_cp932(path).c_str()) == 0)) {
        note_system_error(GetLastError());
        return false;
    }
    return true;
}
