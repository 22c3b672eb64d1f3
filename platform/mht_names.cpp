#include "platform/platform.hpp"

#include "platform/internal.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

static unsigned char
fold(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// True when name ends in suffix (upper case) ignoring ASCII case.
static bool
has_suffix_folded(std::string_view name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (fold(static_cast<unsigned char>(tail[i])) != static_cast<unsigned char>(suffix[i]))
            return false;
    }
    return true;
}

// True when name is an archive name: it ends in ".mht" (with_mhtml: or ".mhtml") ignoring
// ASCII case and is not "." or "..".
static bool
is_archive_name(std::string_view name, bool with_mhtml)
{
    if (name == "." || name == "..")
        return false;
    return has_suffix_folded(name, ".MHT") || (with_mhtml && has_suffix_folded(name, ".MHTML"));
}

static bool
is_before_folded(const std::string &a, const std::string &b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = fold(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// Sorts names byte-wise with ASCII a-z folded to A-Z (names equal so are ordered by their
// bytes), so archives and log rows come in the same order whatever the file system returns.
static void
sort_mht_names(std::vector<std::string> *names)
{
    std::sort(names->begin(), names->end(), is_before_folded);
}

// Moves the archive names of names into names_out, sorted.
static void
take_archive_names(std::vector<std::string> *names, bool with_mhtml,
                   std::vector<std::string> *names_out)
{
    names_out->clear();
    for (std::string &name : *names) {
        if (is_archive_name(name, with_mhtml))
            names_out->push_back(std::move(name));
    }
    sort_mht_names(names_out);
}

void
list_archive_names(bool with_mhtml, std::vector<std::string> *names_out,
                   std::vector<std::string> *unnamed_out)
{
    std::vector<std::string> names;
    std::vector<std::string> unnamed;
    list_entry_names(&names, &unnamed);
    take_archive_names(&names, with_mhtml, names_out);
    take_archive_names(&unnamed, with_mhtml, unnamed_out);
}

void
list_mht_names(std::vector<std::string> *names_out, std::vector<std::string> *unnamed_out)
{
    list_archive_names(false, names_out, unnamed_out);
}

// Names freed since the last take_freed_names; past FREED_LIMIT only the overflow is kept.
static constexpr std::size_t FREED_LIMIT = 256;
static std::vector<std::string> freed_names;
static bool freed_overflow = false;

void
note_freed_name(const char *name)
{
    if (freed_names.size() < FREED_LIMIT)
        freed_names.emplace_back(name);
    else
        freed_overflow = true;
}

bool
take_freed_names(std::vector<std::string> *names_out)
{
    names_out->swap(freed_names);
    freed_names.clear();
    const bool complete = !freed_overflow;
    freed_overflow = false;
    return complete;
}
