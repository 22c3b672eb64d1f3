#include "tests/common/run_program.hpp"

#include "tests/common/test_files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <random>
#include <sys/wait.h>

static std::string
environment_or(const char *name, const std::string &fallback)
{
    const char *value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

static std::string
quoted(const std::string &text)
{
    std::string result = "'";
    for (const char c : text) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

// The one runner there is: Wine, for the Windows builds, in a Japanese locale (.ci/windows.sh).
static bool
has_runner()
{
    return !environment_or("FENWRACK_RUNNER", "").empty();
}

bool
programs_use_crlf_console()
{
    return has_runner();
}

std::string
console(const std::string &text)
{
    return programs_use_crlf_console() ? crlf(text) : text;
}

bool
runner_folds_case()
{
    return has_runner();
}

// Converts text from the character set from to the set to with iconv. Bytes that are not text
// in from, or a character that to lacks, fail the test; text then comes back unchanged.
static std::string
convert_names(const std::string &text, const char *from, const char *to)
{
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "no conversion from " << from << " to " << to;
        return text;
    }
    std::string in = text;
    std::string out(4 * text.size() + 4, '\0');
    char *in_p = in.data();
    std::size_t in_left = in.size();
    char *out_p = out.data();
    std::size_t out_left = out.size();
    const std::size_t done = iconv(cd, &in_p, &in_left, &out_p, &out_left);
    const int error = errno;
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1) || in_left != 0) {
        ADD_FAILURE() << "name not in " << from << " (errno " << error << "): " << text;
        return text;
    }
    out.resize(out.size() - out_left);
    return out;
}

std::string
stored_name(const std::string &name)
{
    return has_runner() ? convert_names(name, "CP932", "UTF-8") : name;
}

std::string
program_name(const std::string &stored)
{
    return has_runner() ? convert_names(stored, "UTF-8", "CP932") : stored;
}

std::vector<std::string>
list_program_names(const std::filesystem::path &folder)
{
    std::vector<std::string> names;
    for (const std::string &stored : list_folder(folder))
        names.push_back(program_name(stored));
    std::sort(names.begin(), names.end());
    return names;
}

std::string
read_output(const std::filesystem::path &folder, const std::string &name)
{
    return read_file(folder / stored_name(name));
}

void
write_input(const std::filesystem::path &folder, const std::string &name, const std::string &bytes)
{
    write_file(folder / stored_name(name), bytes);
}

void
create_input_folder(const std::filesystem::path &folder, const std::string &name)
{
    std::filesystem::create_directory(folder / stored_name(name));
}

double
program_time_limit(double seconds_native)
{
    return has_runner() ? 10 * seconds_native : seconds_native;
}

program_result
run_program(const std::string &program, const std::filesystem::path &folder,
            const std::string &input)
{
    const std::string dir = environment_or("FENWRACK_PROGRAM_DIR", FENWRACK_PROGRAM_DIR);
    const std::string path = dir + "/" + program + environment_or("FENWRACK_EXE_SUFFIX", "");
    const std::string runner = environment_or("FENWRACK_RUNNER", "");

    std::random_device seed;
    const std::filesystem::path io_base =
        std::filesystem::temp_directory_path() /
        ("fenwrack-io-" + std::to_string(seed()) + std::to_string(seed()));
    const std::filesystem::path in_file = io_base.string() + ".in";
    const std::filesystem::path out_file = io_base.string() + ".out";
    write_file(in_file, input);

    // a run that hangs is stopped (status 124), so that it fails its test instead of stalling it
    std::string command = "cd " + quoted(folder.string()) + " && timeout --foreground -k 10 600 ";
    if (!runner.empty())
        command += runner + " ";
    command += quoted(path) + " < " + quoted(in_file.string()) + " > " + quoted(out_file.string()) +
               " 2>/dev/null";
    const int raw = std::system(command.c_str());

    program_result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = read_file(out_file);
    std::error_code ignored;
    std::filesystem::remove(in_file, ignored);
    std::filesystem::remove(out_file, ignored);
    return result;
}
