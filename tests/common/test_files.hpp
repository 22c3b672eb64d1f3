// Helpers for tests: a fresh scratch folder per test, whole-file reads and writes, listings.
#pragma once

#include "archive/archive.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Total of the waits the programs under test asked for (the fake sleep only adds them up).
extern int fake_sleep_total_ms;

// Writes bytes to name (binary), replacing it.
void write_file(const std::filesystem::path &name, const std::string &bytes);

// The whole content of name, or "<missing>" when it cannot be read.
std::string read_file(const std::filesystem::path &name);

// Sorted names of the entries of folder.
std::vector<std::string> list_folder(const std::filesystem::path &folder);

// The text with every "\n" stored as CR LF, as archives and text-mode outputs store lines.
std::string crlf(const std::string &text);

// Bytes of a file of the shared corpus (empty when the corpus is not beside the project).
std::string read_corpus(const std::string &name);

// What the batch hands each archive, with the run log log.csv of the current folder (created
// empty when missing) and reserved as the reserved names.
batch_info test_batch(const name_set *reserved);

// A fixture whose tests run in a fresh, empty current folder, removed afterwards.
class ScratchDirTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path scratch;
    std::filesystem::path previous;
};
