#include "platform/platform.hpp"

#include "platform/internal.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

bool
entry_exists(const char *name)
{
    struct stat info;
    return lstat(name, &info) == 0;
}

bool
names_fold_case()
{
    return false;
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
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        note_freed_name(from);
        return true;
    }
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
    return rename_replace(from, to);
}

std::FILE *
open_file(const char *name, const char *mode)
{
    std::FILE *file = std::fopen(name, mode);
    if (file == nullptr)
        note_errno(errno);
    return file;
}

void
name_as_url_bytes(const char *name, std::string *bytes_out)
{
    bytes_out->assign(name);
}

bool
rename_replace(const char *from, const char *to)
{
    if (std::rename(from, to) != 0) {
        note_errno(errno);
        return false;
    }
    note_freed_name(from);
    return true;
}

bool
remove_file(const char *name)
{
    if (unlink(name) != 0) {
        note_errno(errno);
        return false;
    }
    note_freed_name(name);
    return true;
}

create_result
create_new_file(const char *name, std::FILE **file_out)
{
    const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        note_errno(errno);
        return errno == EEXIST ? CREATE_EXISTS : CREATE_FAILED;
    }
    *file_out = fdopen(fd, "wb");
    if (*file_out == nullptr) {
        note_errno(errno);
        close(fd);
        return CREATE_FAILED;
    }
    return CREATE_OK;
}

static void
store_identity(const struct stat &info, file_identity *identity_out)
{
    identity_out->volume = static_cast<std::uint64_t>(info.st_dev);
    identity_out->index = static_cast<std::uint64_t>(info.st_ino);
}

// Opens the existing regular file name with the open flags (O_WRONLY, O_RDONLY, O_APPEND) as
// a stream of mode, as open_existing_file says.
static existing_result
open_regular_file(const char *name, int flags, const char *mode, std::FILE **file_out,
                  file_identity *identity_out)
{
    // Not opened at all unless the name is a regular file now (a device is never opened); then
    // opened without following a link, without waiting for a FIFO's writer or reader, and
    // checked again on the descriptor, which is what is used whatever the name becomes.
    struct stat info;
    if (lstat(name, &info) != 0) {
        note_errno(errno);
        return errno == ENOENT ? EXISTING_GONE : EXISTING_FAILED;
    }
    if (!S_ISREG(info.st_mode)) {
        note_reason("not a regular file");
        return EXISTING_OTHER;
    }
    const int fd = open(name, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        note_errno(error);
        if (error == ENOENT)
            return EXISTING_GONE;
        // a link, folder, FIFO or device put in its place meanwhile
        return (error == ELOOP || error == EISDIR || error == ENXIO || error == ENODEV ||
                error == EAGAIN)
                   ? EXISTING_OTHER
                   : EXISTING_FAILED;
    }
    struct stat opened;
    const int fd_flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || fd_flags < 0 ||
        fcntl(fd, F_SETFL, fd_flags & ~O_NONBLOCK) != 0) {
        note_reason("not a regular file");
        close(fd);
        return EXISTING_OTHER;
    }
    *file_out = fdopen(fd, mode);  // fdopen never truncates
    if (*file_out == nullptr) {
        note_errno(errno);
        close(fd);
        return EXISTING_FAILED;
    }
    store_identity(opened, identity_out);
    return EXISTING_PLAIN;
}

existing_result
open_existing_file(const char *name, bool append, std::FILE **file_out, file_identity *identity_out)
{
    return open_regular_file(name, O_WRONLY | (append ? O_APPEND : 0), append ? "ab" : "wb",
                             file_out, identity_out);
}

existing_result
open_existing_for_reading(const char *name, std::FILE **file_out, file_identity *identity_out)
{
    return open_regular_file(name, O_RDONLY, "rb", file_out, identity_out);
}

bool
truncate_file(std::FILE *file)
{
    if (ftruncate(fileno(file), 0) != 0) {
        note_errno(errno);
        return false;
    }
    return true;
}

bool
identity_of_file(std::FILE *file, file_identity *identity_out)
{
    struct stat info;
    if (fstat(fileno(file), &info) != 0)
        return false;
    store_identity(info, identity_out);
    return true;
}

entry_kind
inspect_entry(const char *name, file_identity *identity_out)
{
    struct stat info;
    if (lstat(name, &info) != 0)
        return ENTRY_NONE;
    if (!S_ISREG(info.st_mode))
        return ENTRY_OTHER;
    store_identity(info, identity_out);
    return ENTRY_REGULAR;
}

void
list_entry_names(std::vector<std::string> *names_out, std::vector<std::string> *unnamed_out)
{
    names_out->clear();
    if (unnamed_out != nullptr)
        unnamed_out->clear();  // every name is bytes, as the tool's names are
    DIR *dir = opendir(".");
    if (dir == nullptr)
        return;
    while (const dirent *entry = readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..")
            names_out->emplace_back(name);
    }
    closedir(dir);
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

bool
failure_is_name_too_long()
{
    return noted_errno == ENAMETOOLONG;
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

void
take_arguments(int argc, char **argv, std::vector<command_argument> *args_out)
{
    args_out->clear();
    for (int k = 1; k < argc; ++k)
        args_out->push_back({argv[k], true});
}

path_kind
inspect_path(const char *path, file_identity *identity_out)
{
    struct stat info;
    if (stat(path, &info) != 0) {
        note_errno(errno);
        return PATH_NONE;
    }
    store_identity(info, identity_out);
    if (S_ISDIR(info.st_mode))
        return PATH_FOLDER;
    return S_ISREG(info.st_mode) ? PATH_FILE : PATH_OTHER;
}

std::size_t
folder_part_length(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// The folder the process was started in, held open (without reading it) so that a relative
// path is taken from there whatever the current folder has become. It is taken once, at the
// first entry, before any folder changed; error tells why it could not be held.
struct start_folder_state {
    bool tried = false;
    int fd = -1;
    int error = 0;
};

static start_folder_state start_folder;

bool
enter_folder(const char *path)
{
    if (!start_folder.tried) {
        start_folder.tried = true;
#ifdef O_PATH
        start_folder.fd = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
        start_folder.fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
        start_folder.error = start_folder.fd < 0 ? errno : 0;
    }
    // without the start folder a relative path could be taken from the wrong one: refused
    if (start_folder.fd < 0) {
        note_errno(start_folder.error);
        return false;
    }
    if (fchdir(start_folder.fd) != 0 || (*path != '\0' && chdir(path) != 0)) {
        note_errno(errno);
        return false;
    }
    return true;
}
