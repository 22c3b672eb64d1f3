#include "tests/common/test_files.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

batch_info
test_batch(const name_set *reserved)
{
    if (!std::filesystem::exists("log.csv"))
        write_file("log.csv", "");
    batch_info batch{"log.csv", {}, {reserved, {}}};
    EXPECT_EQ(inspect_entry("log.csv", &batch.log_identity), ENTRY_REGULAR);
    return batch;
}

void
write_file(const std::filesystem::path &name, const std::string &bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string
read_file(const std::filesystem::path &name)
{
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::vector<std::string>
list_folder(const std::filesystem::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string
crlf(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

std::string
read_corpus(const std::string &name)
{
#ifdef FENWRACK_CORPUS_DIR
    const std::string bytes = read_file(std::filesystem::path(FENWRACK_CORPUS_DIR) / name);
    return bytes == "<missing>" ? std::string() : bytes;
#else
    (void)name;
    return {};
#endif
}

void
ScratchDirTest::SetUp()
{
    previous = std::filesystem::current_path();
    std::random_device seed;
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string leaf = std::string("fenwrack-") + info->test_suite_name() + "-" +
                       std::to_string(seed()) + std::to_string(seed());
    std::replace(leaf.begin(), leaf.end(), '/', '_');
    scratch = std::filesystem::temp_directory_path() / leaf;
    std::filesystem::create_directories(scratch);
    std::filesystem::current_path(scratch);
}

void
ScratchDirTest::TearDown()
{
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}
