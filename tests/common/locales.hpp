// Locales made for a test, so that runs under a non-UTF-8 locale need nothing installed in
// the system: localedef writes them into a folder that LOCPATH then names.
#pragma once

#include <filesystem>
#include <string>

// Builds the locale name (for example "ja_JP.EUC-JP") from the locale source (ja_JP) and the
// character map (EUC-JP) into folder. Returns false when it cannot: localedef and the
// sources come with the Debian package "locales".
bool make_locale(const std::filesystem::path &folder, const std::string &name,
                 const std::string &source, const std::string &charmap);
