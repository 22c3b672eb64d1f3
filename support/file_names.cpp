#include "support/support.hpp"

#include "platform/platform.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

void
split_name_ext(const char *name, std::span<char> base, std::span<char> ext)
{
    const std::string_view whole(name);
    const std::size_t dot = whole.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        copy_bounded(base, whole);
        copy_bounded(ext, "");
        return;
    }
    copy_bounded(base, whole.substr(0, dot));
    copy_bounded(ext, whole.substr(dot + 1));
}

// Names an exclusive creation found taken: they count as taken until the process frees them,
// so a search never offers them again meanwhile.
static std::unordered_set<std::string> names_refused;

// True when name is taken: an entry of that name exists, it is one of the reserved names, or a
// creation under it was refused.
static bool
is_name_taken(const char *name, const name_set *reserved)
{
    return has_name_nocase(reserved, name) || entry_exists(name) ||
           (!names_refused.empty() && names_refused.count(name) != 0);
}

// Where the search for a free "base_NNNN.ext" starts next time: every number before it was
// found taken. Keyed by base and extension with ASCII case folded (names that fold alike may
// denote one file); the entry remembers the exact base and extension it was found for.
struct search_start {
    std::string exact_key;
    long counter = 1;
};

// At most this many names' starts are kept.
static constexpr std::size_t SEARCH_STARTS_KEPT = 256;

static std::unordered_map<std::string, search_start> search_starts;

static std::string
search_key(std::string_view base, std::string_view ext, bool folded)
{
    std::string key(base);
    key += '/';  // no name holds a '/': base and extension cannot run together
    key += ext;
    if (folded) {
        for (char &c : key)
            c = static_cast<char>(ascii_upper(static_cast<unsigned char>(c)));
    }
    return key;
}

// A name that was removed or renamed away frees its number: a later search starts no later.
static void
forget_freed_name(const char *name)
{
    char base[LINE_BUFFER_SIZE];
    char ext[LINE_BUFFER_SIZE];
    split_name_ext(name, base, ext);
    const std::string_view stem(base);
    const std::size_t underscore = stem.rfind('_');
    if (underscore == std::string_view::npos)
        return;
    const std::string_view digits = stem.substr(underscore + 1);
    const std::string number_text(digits);
    if (digits.size() < 4 || digits.size() > 9 ||
        static_cast<std::size_t>(digit_run_max(number_text.c_str(), 9)) != digits.size() ||
        (digits.size() > 4 && digits[0] == '0'))
        return;  // not a number make_unique_name writes
    const long number = std::strtol(number_text.c_str(), nullptr, 10);
    const auto it = search_starts.find(search_key(stem.substr(0, underscore), ext, true));
    if (it != search_starts.end() && number < it->second.counter)
        it->second.counter = number;
}

// Brings the search starts up to date with the names the process freed since the last search.
static void
update_search_starts()
{
    std::vector<std::string> freed;
    if (!take_freed_names(&freed)) {
        search_starts.clear();  // too many to follow: start every search from 1 again
        names_refused.clear();  // and let a creation tell again which names are taken
        return;
    }
    for (const std::string &name : freed) {
        forget_freed_name(name.c_str());
        names_refused.erase(name);
    }
}

// Writes candidate number counter of base and ext into name ("base_NNNN.ext", the base
// shortened when the whole would not fit). Returns false when even the suffix does not fit.
static bool
form_candidate(std::span<char> name, std::string_view base, std::string_view ext, long counter)
{
    char suffix[32];
    const int suffix_len = std::snprintf(suffix, sizeof suffix, "_%04ld.", counter);
    // Room for the base once the suffix, the extension and the terminator are placed.
    const std::size_t fixed = static_cast<std::size_t>(suffix_len) + ext.size() + 1;
    if (fixed >= name.size())
        return false;
    const std::size_t keep = fit_characters(base, name.size() - fixed);
    copy_bounded(name, base.substr(0, keep));
    append_bounded(name, suffix);
    append_bounded(name, ext);
    return true;
}

void
make_unique_name(std::span<char> name, const name_set *reserved)
{
    update_search_starts();
    if (!is_name_taken(name.data(), reserved))
        return;
    char base[LINE_BUFFER_SIZE];
    char ext[LINE_BUFFER_SIZE];
    split_name_ext(name.data(), base, ext);
    // Numbers below the remembered start were taken; the one just below it is tested again,
    // so a start left from another folder or an outside removal is not trusted blindly.
    if (search_starts.size() >= SEARCH_STARTS_KEPT)
        search_starts.clear();  // memory stays small; a search then starts from 1 again
    search_start &start = search_starts[search_key(base, ext, true)];
    // a search that counts reserved names as taken remembers its start apart from one that
    // does not
    const std::string exact_key =
        search_key(base, ext, false) + (reserved == nullptr || reserved->folded.empty() ? "" : "/");
    long counter = 1;
    if (start.exact_key == exact_key && start.counter > 1) {
        if (form_candidate(name, base, ext, start.counter - 1) &&
            is_name_taken(name.data(), reserved))
            counter = start.counter;
    }
    for (;; ++counter) {
        if (!form_candidate(name, base, ext, counter)) {
            copy_bounded(name, "");  // not even the suffix fits: no usable name
            return;
        }
        if (!is_name_taken(name.data(), reserved))
            break;
    }
    start.exact_key = exact_key;
    start.counter = counter;
}

void
note_name_refused(const char *name)
{
    names_refused.insert(name);
}

void
forget_folder_names()
{
    std::vector<std::string> freed;
    take_freed_names(&freed);  // freed in the folder left: they mean nothing in the next one
    search_starts.clear();
    names_refused.clear();
}

void
fit_file_name(std::span<char> name, std::size_t max_len)
{
    static constexpr std::size_t MAX_KEPT_EXTENSION = 32;
    const std::size_t len = bounded_length(name);
    if (len <= max_len)
        return;
    char base[LINE_BUFFER_SIZE];
    char ext[LINE_BUFFER_SIZE];
    split_name_ext(name.data(), base, ext);
    const std::string_view ext_view(ext);
    if (ext_view.empty() || ext_view.size() > MAX_KEPT_EXTENSION) {
        name[fit_characters(std::string_view(name.data(), len), max_len)] = '\0';
        return;
    }
    const std::string_view base_view(base);
    const std::size_t keep = fit_characters(base_view, max_len - 1 - ext_view.size());
    copy_bounded(name, base_view.substr(0, keep));
    append_bounded(name, ".");
    append_bounded(name, ext_view);
}

bool
shorten_name_too_long(std::span<char> name, std::size_t *room)
{
    const std::size_t len = bounded_length(name);
    if (!failure_is_name_too_long() || len <= 1)
        return false;
    *room = std::min(*room, len);
    fit_file_name(name, *room - 1);
    return bounded_length(name) < len;
}

// The device names of Windows: opening one opens the device, not a file.
static bool
is_device_name(std::string_view stem)
{
    static constexpr std::string_view PLAIN[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const std::string_view device : PLAIN) {
        if (stem.size() == device.size() && str_nicmp(stem.data(), device.data(), stem.size()) == 0)
            return true;
    }
    return stem.size() == 4 &&
           (str_nicmp(stem.data(), "COM", 3) == 0 || str_nicmp(stem.data(), "LPT", 3) == 0) &&
           stem[3] >= '0' && stem[3] <= '9';
}

std::size_t
device_name_length(const char *name)
{
    // the device is named by what stands before the first dot, trailing spaces dropped
    const std::string_view whole(name);
    const std::string_view stem = whole.substr(0, whole.find('.'));
    std::string_view device = stem;
    while (!device.empty() && device.back() == ' ')
        device.remove_suffix(1);
    return is_device_name(device) ? stem.size() : 0;
}

bool
is_usable_file_name(const char *name)
{
    const std::string_view whole(name);
    if (whole.find_first_not_of(". ") == std::string_view::npos)
        return false;  // "", ".", "..", "...": no file, or the folder itself
    for (const char c : whole) {
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

void
sanitize_file_name(char *name)
{
    for (std::size_t i = 0; name[i] != '\0'; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (is_sjis_lead(c)) {
            if (name[i + 1] == '\0')
                return;
            ++i;  // the trail byte belongs to the character, even when it is '\'
            continue;
        }
        if (std::strchr("\"*/:<>?\\|", c) != nullptr)
            name[i] = '_';
    }
}

std::string_view
param_value_view(const char *src)
{
    if (src[0] == '"') {
        const std::string_view rest(src + 1);
        return rest.substr(0, rest.find('"'));
    }
    const std::string_view rest(src);
    std::string_view value = rest.substr(0, rest.find('\n'));
    while (!value.empty() && value.back() == ' ')
        value.remove_suffix(1);
    return value;
}

void
take_param_value(const char *src, std::span<char> dst, std::int32_t *length_out)
{
    copy_bounded(dst, param_value_view(src));
    *length_out = static_cast<std::int32_t>(bounded_length(dst));
}

void
take_base_name(char *line, std::span<char> dst)
{
    char *tail = line;
    char *p = line;
    for (; *p != '\0'; ++p) {
        if (*p == '\n') {
            *p = '\0';
            break;
        }
        if (*p == '/' || *p == '\\')
            tail = p + 1;
    }
    if (*tail != '\0')
        copy_bounded(dst, std::string_view(tail, static_cast<std::size_t>(p - tail)));
}

// True for the bytes of a charset name: A-Z a-z 0-9 - _ . : + ( )
static bool
is_charset_byte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("-_.:+()", c) != nullptr);
}

// The value of a parameter at the start of text: between double quotes, or up to ';', white
// space or the line end.
static std::string_view
param_value_at(std::string_view text)
{
    if (!text.empty() && text.front() == '"') {
        text.remove_prefix(1);
        return text.substr(0, text.find_first_of("\"\r\n"));
    }
    return text.substr(0, text.find_first_of("; \t\r\n"));
}

bool
find_charset_param(std::string_view text, std::string_view *value_out)
{
    static constexpr std::string_view CHARSET = "charset=";
    for (std::size_t c = 0; c + CHARSET.size() <= text.size(); ++c) {
        if (c > 0 && text[c - 1] != ';' && text[c - 1] != ' ' && text[c - 1] != '\t')
            continue;
        if (str_nicmp(text.data() + c, CHARSET.data(), CHARSET.size()) != 0)
            continue;
        std::string_view value = param_value_at(text.substr(c + CHARSET.size()));
        if (value.size() > MAX_CHARSET_LENGTH ||
            !std::all_of(value.begin(), value.end(), is_charset_byte))
            value = {};
        *value_out = value;
        return true;
    }
    return false;
}

bool
has_suffix_nocase(std::string_view name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    for (std::size_t k = 0; k < suffix.size(); ++k) {
        if (ascii_upper(static_cast<unsigned char>(tail[k])) !=
            ascii_upper(static_cast<unsigned char>(suffix[k])))
            return false;
    }
    return true;
}

void
give_extension(std::span<char> name, std::string_view added, std::span<const std::string_view> kept,
               const char *default_name)
{
    static constexpr std::string_view DEC = ".dec";
    std::size_t len = bounded_length(name);
    for (const std::string_view ext : kept) {
        if (has_suffix_nocase(std::string_view(name.data(), len), ext))
            return;
    }
    if (len < name.size() && std::strcmp(name.data(), default_name) == 0 &&
        has_suffix_nocase(default_name, DEC)) {
        name[len - DEC.size()] = '\0';
        append_bounded(name, added);
        return;
    }
    while (len > 0 && (name[len - 1] == '.' || name[len - 1] == ' '))
        name[--len] = '\0';
    if (!is_usable_file_name(name.data()) || name.size() <= added.size() + 1)
        return;
    fit_file_name(name, name.size() - 1 - added.size());
    append_bounded(name, added);
}
