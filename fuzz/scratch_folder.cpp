#include "fuzz/scratch_folder.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

static constexpr char SENTINEL_NAME[] = "sentinel";
static constexpr char SENTINEL_TEXT[] = "written before the first input; never changes\n";

static fs::path outer_folder;
static fs::path work_folder;

void
fuzz_fail(const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::abort();
}

static int owner_pid;

// Only the process that made the folder removes it, not a child that ends.
static void
remove_scratch_tree()
{
    if (getpid() != owner_pid)
        return;
    std::error_code ignored;
    fs::current_path(fs::temp_directory_path(), ignored);
    fs::remove_all(outer_folder, ignored);
}

void
enter_scratch_folder()
{
    if (!work_folder.empty()) {
        if (fs::current_path() != work_folder)
            fuzz_fail("the current folder changed to %s", fs::current_path().string().c_str());
        return;
    }
    std::random_device seed;
    outer_folder = fs::temp_directory_path() /
                   ("fenwrack-fuzz-" + std::to_string(seed()) + std::to_string(seed()));
    work_folder = outer_folder / "work";
    fs::create_directories(work_folder);
    std::ofstream(outer_folder / SENTINEL_NAME, std::ios::binary) << SENTINEL_TEXT;
    fs::current_path(work_folder);
    owner_pid = getpid();
    std::atexit(remove_scratch_tree);
}

void
check_outside_unchanged()
{
    if (fs::current_path() != work_folder)
        fuzz_fail("the current folder changed to %s", fs::current_path().string().c_str());
    for (const auto &entry : fs::directory_iterator(outer_folder)) {
        const std::string name = entry.path().filename().string();
        if (name != "work" && name != SENTINEL_NAME)
            fuzz_fail("written outside the folder: %s", name.c_str());
    }
    std::ifstream in(outer_folder / SENTINEL_NAME, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    if (all.str() != SENTINEL_TEXT)
        fuzz_fail("the file beside the folder changed");
}

std::vector<std::string>
scratch_files()
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(work_folder)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || entry.is_symlink())
            fuzz_fail("not a plain file: %s", name.c_str());
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void
empty_scratch_folder()
{
    for (const auto &entry : fs::directory_iterator(work_folder))
        fs::remove_all(entry.path());
}

void
write_scratch_file(const char *name, const std::uint8_t *data, std::size_t size)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    if (!out)
        fuzz_fail("cannot write %s", name);
}

std::string
read_scratch_file(const char *name)
{
    std::ifstream in(name, std::ios::binary);
    if (!in)
        fuzz_fail("cannot read %s", name);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void
check_terminated(const char *what, const char *buf, std::size_t size)
{
    if (std::memchr(buf, '\0', size) == nullptr)
        fuzz_fail("%s has no terminator within its %llu bytes", what,
                  static_cast<unsigned long long>(size));  // %zu is not every C runtime's
}
