#include "platform/platform.hpp"

#include "platform/internal.hpp"

#include <string>
#include <string_view>
#include <windows.h>

// The one place where the tool's names (cp932 bytes, whatever the system's ANSI code page) meet
// the system's (UTF-16). A byte that is not part of a cp932 character is kept as the code point
// NAME_ESCAPE_BASE + byte, which cp932 never yields, so every byte string has a UTF-16 name of
// its own and comes back from the listing as it went in.

static constexpr UINT CP932 = 932;

// Bytes 0x80-0xFF that begin no cp932 character become U+F780-U+F7FF (private use; cp932's own
// private-use characters lie in U+E000-U+E757).
static constexpr wchar_t NAME_ESCAPE_BASE = 0xF700;
static constexpr wchar_t NAME_ESCAPE_FIRST = NAME_ESCAPE_BASE + 0x80;
static constexpr wchar_t NAME_ESCAPE_LAST = NAME_ESCAPE_BASE + 0xFF;

// The UTF-16 form of the cp932 character of count bytes at text, or 0 when they are none.
static wchar_t
wide_character(const char *text, int count)
{
    wchar_t wide[2];
    const int made = MultiByteToWideChar(CP932, MB_ERR_INVALID_CHARS, text, count, wide, 2);
    return made == 1 ? wide[0] : L'\0';
}

std::wstring
wide_from_cp932(std::string_view name)
{
    std::wstring wide;
    if (name.empty())
        return wide;
    const int whole = MultiByteToWideChar(CP932, MB_ERR_INVALID_CHARS, name.data(),
                                          static_cast<int>(name.size()), nullptr, 0);
    if (whole > 0) {  // the usual name: cp932 characters only
        wide.resize(static_cast<std::size_t>(whole));
        MultiByteToWideChar(CP932, MB_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()),
                            wide.data(), whole);
        return wide;
    }
    for (std::size_t k = 0; k < name.size();) {
        const auto lead = static_cast<unsigned char>(name[k]);
        if (lead < 0x80) {
            wide += static_cast<wchar_t>(lead);
            ++k;
            continue;
        }
        const int count = (is_cp932_lead(lead) && k + 1 < name.size()) ? 2 : 1;
        const wchar_t character = wide_character(name.data() + k, count);
        if (character != L'\0') {
            wide += character;
            k += static_cast<std::size_t>(count);
        } else {
            wide += static_cast<wchar_t>(NAME_ESCAPE_BASE + lead);  // the next byte stands alone
            ++k;
        }
    }
    return wide;
}

// Appends the cp932 form of the count UTF-16 units at wide to name. Returns false when cp932
// has no character for them.
static bool
append_cp932(const wchar_t *wide, int count, std::string *name)
{
    BOOL lacking = FALSE;
    const int len = WideCharToMultiByte(CP932, WC_NO_BEST_FIT_CHARS, wide, count, nullptr, 0,
                                        nullptr, &lacking);
    if (len <= 0 || lacking)
        return false;
    const std::size_t at = name->size();
    name->resize(at + static_cast<std::size_t>(len));
    WideCharToMultiByte(CP932, WC_NO_BEST_FIT_CHARS, wide, count, name->data() + at, len, nullptr,
                        nullptr);
    return true;
}

bool
cp932_from_wide(std::wstring_view wide, std::string *name_out)
{
    name_out->clear();
    bool escaped = false;
    for (const wchar_t c : wide)
        escaped = escaped || (c >= NAME_ESCAPE_FIRST && c <= NAME_ESCAPE_LAST);
    if (!escaped)
        return wide.empty() || append_cp932(wide.data(), static_cast<int>(wide.size()), name_out);
    for (std::size_t k = 0; k < wide.size();) {
        const wchar_t c = wide[k];
        if (c >= NAME_ESCAPE_FIRST && c <= NAME_ESCAPE_LAST) {
            *name_out += static_cast<char>(c - NAME_ESCAPE_BASE);
            ++k;
            continue;
        }
        const bool pair = c >= 0xD800 && c <= 0xDBFF && k + 1 < wide.size();
        const int count = pair ? 2 : 1;
        if (!append_cp932(wide.data() + k, count, name_out))
            return false;
        k += static_cast<std::size_t>(count);
    }
    return true;
}

std::string
shown_cp932(std::wstring_view wide)
{
    std::string shown;
    if (cp932_from_wide(wide, &shown) && wide_from_cp932(shown) == wide)
        return shown;
    // every character cp932 lacks shows as '?', and so does an escaped byte's code point of a
    // name whose bytes would lead to another name
    std::wstring plain(wide);
    for (wchar_t &c : plain) {
        if (c >= NAME_ESCAPE_FIRST && c <= NAME_ESCAPE_LAST)
            c = L'?';
    }
    const int len = WideCharToMultiByte(CP932, WC_NO_BEST_FIT_CHARS, plain.data(),
                                        static_cast<int>(plain.size()), nullptr, 0, "?", nullptr);
    shown.assign(len > 0 ? static_cast<std::size_t>(len) : 0, '?');
    if (len > 0)
        WideCharToMultiByte(CP932, WC_NO_BEST_FIT_CHARS, plain.data(),
                            static_cast<int>(plain.size()), shown.data(), len, "?", nullptr);
    return shown;
}
