// The Windows programs' resources as Windows reads them: the version information (product,
// description, version) of fenwrack.exe and fenwrack_dated.exe, and their icon. Built only
// for Windows (tests/CMakeLists.txt); runs under Wine. The programs sit one folder above
// this test program.
#include "resources/resource.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace
{

std::wstring
program_path(const std::wstring &file_name)
{
    wchar_t self[MAX_PATH];
    const DWORD len = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, len);
    path.resize(path.find_last_of(L"\\/"));  // the tests folder
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + file_name;
}

// The version information block of the file, empty when it has none.
std::vector<char>
read_version_block(const std::wstring &path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        block.clear();
    return block;
}

// A string of the U.S. English table (040904b0) of the block, "<none>" when it is missing.
std::wstring
version_string(std::vector<char> &block, const std::wstring &name)
{
    void *value = nullptr;
    UINT len = 0;
    const std::wstring key = L"\\StringFileInfo\\040904b0\\" + name;
    if (!VerQueryValueW(block.data(), key.c_str(), &value, &len) || len == 0)
        return L"<none>";
    return std::wstring(static_cast<const wchar_t *>(value), len - 1);
}

std::wstring
widen(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

}  // namespace

TEST(VersionResource, EachProgramNamesItselfAndTheVersion)
{
    std::vector<std::wstring> descriptions;
    for (const std::wstring program : {L"fenwrack", L"fenwrack_dated"}) {
        std::vector<char> block = read_version_block(program_path(program + L".exe"));
        ASSERT_FALSE(block.empty()) << "no version information";
        EXPECT_EQ(version_string(block, L"ProductName"), L"fenwrack");
        EXPECT_EQ(version_string(block, L"ProductVersion"), widen(FENWRACK_VERSION));
        EXPECT_EQ(version_string(block, L"FileVersion"), widen(FENWRACK_VERSION));
        EXPECT_EQ(version_string(block, L"InternalName"), program);
        EXPECT_EQ(version_string(block, L"OriginalFilename"), program + L".exe");
        descriptions.push_back(version_string(block, L"FileDescription"));
        EXPECT_EQ(descriptions.back().rfind(L"MHT archive splitter: ", 0), 0u);

        void *value = nullptr;
        UINT len = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &len));
        const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(value);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS,
                  static_cast<DWORD>(FENWRACK_VERSION_MAJOR << 16 | FENWRACK_VERSION_MINOR));
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(FENWRACK_VERSION_PATCH << 16));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    }
    EXPECT_NE(descriptions[0], descriptions[1]);  // a description per program
}

TEST(VersionResource, EachProgramKeepsItsIcon)
{
    for (const std::wstring program : {L"fenwrack.exe", L"fenwrack_dated.exe"}) {
        const HMODULE module =
            LoadLibraryExW(program_path(program).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(IDI_ICON1), MAKEINTRESOURCEW(14)),
                  nullptr);  // RT_GROUP_ICON
        FreeLibrary(module);
    }
}
