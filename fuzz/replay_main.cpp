// Replays stored inputs through a fuzz target without libFuzzer: every file of each folder
// named on the command line (or each file named) is fed to LLVMFuzzerTestOneInput once. A
// fault aborts (or trips a sanitizer), so the test fails; a folder without inputs fails too.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace fs = std::filesystem;

static std::vector<fs::path>
inputs_of(const char *argument)
{
    std::vector<fs::path> paths;
    const fs::path path(argument);
    if (fs::is_directory(path)) {
        for (const auto &entry : fs::directory_iterator(path)) {
            if (entry.is_regular_file() && entry.path().filename() != "README.md")
                paths.push_back(entry.path());
        }
        std::sort(paths.begin(), paths.end());
    } else {
        paths.push_back(path);
    }
    return paths;
}

int
main(int argc, char **argv)
{
    std::size_t replayed = 0;
    for (int k = 1; k < argc; ++k) {
        for (const fs::path &path : inputs_of(argv[k])) {
            std::ifstream in(path, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
                return 1;
            }
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
            // a block of exactly the input's size, so a read past its end is caught
            const auto data = std::make_unique<std::uint8_t[]>(bytes.size());
            std::copy(bytes.begin(), bytes.end(), data.get());
            LLVMFuzzerTestOneInput(data.get(), bytes.size());
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
