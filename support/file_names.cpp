#include "platform/platform.hpp"
#include "support/support.hpp"

#include <cstdio>
#include <cstring>
#include <string_view>

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

// True when name is taken: an entry of that name exists or it is one of the reserved names.
static bool
is_name_taken(const char *name, std::span<const std::string> reserved)
{
    const std::size_t len = std::strlen(name);
    for (const std::string &r : reserved) {
        if (r.size() == len && str_nicmp(name, r.c_str(), len) == 0)
            return true;
    }
    return entry_exists(name);
}

void
make_unique_name(std::span<char> name, std::span<const std::string> reserved)
{
    if (!is_name_taken(name.data(), reserved))
        return;
    char base[LINE_BUFFER_SIZE];
    char ext[LINE_BUFFER_SIZE];
    split_name_ext(name.data(), base, ext);
    const std::size_t ext_len = std::strlen(ext);
    for (long counter = 1;; ++counter) {
        char suffix[32];
        const int suffix_len = std::snprintf(suffix, sizeof suffix, "_%04ld.", counter);
        // Room for the base once the suffix, the extension and the terminator are placed;
        // a base that does not fit is shortened so the candidate never overflows name.
        const std::size_t fixed = static_cast<std::size_t>(suffix_len) + ext_len + 1;
        if (fixed >= name.size()) {
            copy_bounded(name, "");  // not even the suffix fits: no usable name
            return;
        }
        const std::string_view base_view(base);
        std::size_t room = name.size() - fixed;
        const std::size_t keep = fit_characters(base_view, room);
        copy_bounded(name, base_view.substr(0, keep));
        append_bounded(name, suffix);
        append_bounded(name, ext);
        if (!is_name_taken(name.data(), reserved))
            return;
    }
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
    for (int i = 0; i < NAME_SIZE && name[i] != '\0'; ++i) {
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

void
take_param_value(const char *src, std::span<char> dst, std::int32_t *length_out)
{
    std::string_view value;
    if (src[0] == '"') {
        const std::string_view rest(src + 1);
        value = rest.substr(0, rest.find('"'));
    } else {
        const std::string_view rest(src);
        value = rest.substr(0, rest.find('\n'));
        while (!value.empty() && value.back() == ' ')
            value.remove_suffix(1);
    }
    copy_bounded(dst, value);
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
