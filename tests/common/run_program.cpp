#include "tests/common/run_program.hpp"

#include "tests/common/test_files.hpp"

#include <cstdlib>
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

bool
programs_use_crlf_console()
{
    return !environment_or("FENWRACK_RUNNER", "").empty();
}

double
program_time_limit(double seconds_native)
{
    return programs_use_crlf_console() ? 10 * seconds_native : seconds_native;
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

    std::string command = "cd " + quoted(folder.string()) + " && ";
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
