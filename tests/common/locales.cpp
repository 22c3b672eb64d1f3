#include "tests/common/locales.hpp"

#include <cstdlib>

bool
make_locale(const std::filesystem::path &folder, const std::string &name, const std::string &source,
            const std::string &charmap)
{
    std::filesystem::create_directories(folder);
    // -c: a Shift_JIS locale is made despite the warning that it is not ASCII-compatible
    const std::string command = "localedef -c -i " + source + " -f " + charmap + " '" +
                                (folder / name).string() + "' >/dev/null 2>&1";
    const int ignored = std::system(command.c_str());
    (void)ignored;
    return std::filesystem::exists(folder / name / "LC_CTYPE");
}
