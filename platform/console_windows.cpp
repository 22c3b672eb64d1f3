#include "platform/platform.hpp"

#include "platform/internal.hpp"

#include <algorithm>
#include <cstdio>
#include <io.h>
#include <windows.h>

// A console shows UTF-16 whatever its code page: the texts are converted from code page 932
// and written with WriteConsoleW, so they read right on any Windows, Japanese or not.

static constexpr UINT CP932 = 932;

// Bytes converted per WriteConsoleW call; no heap is needed, even when memory has run out.
static constexpr std::size_t PIECE_SIZE = 1024;

static std::FILE *
stream_file(console_stream stream)
{
    return stream == CONSOLE_OUT ? stdout : stderr;
}

// The system's handle behind the C runtime's stream (which follows a freopen).
static HANDLE
stream_handle(console_stream stream)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_file(stream))));
}

bool
stream_is_terminal(console_stream stream)
{
    const HANDLE handle = stream_handle(stream);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

int
terminal_columns(console_stream stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!GetConsoleScreenBufferInfo(stream_handle(stream), &info))
        return DEFAULT_COLUMNS;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : DEFAULT_COLUMNS;
}

bool
terminal_needs_conversion(console_stream stream)
{
    return stream_is_terminal(stream);
}

// Length of the longest prefix of text of at most PIECE_SIZE bytes that ends between two
// characters.
static std::size_t
piece_length(std::string_view text)
{
    std::size_t len = 0;
    while (len < text.size()) {
        std::size_t next = is_cp932_lead(static_cast<unsigned char>(text[len])) ? 2 : 1;
        next = std::min(next, text.size() - len);  // a lone lead byte at the very end
        if (len + next > PIECE_SIZE)
            break;
        len += next;
    }
    return len;
}

void
terminal_write(console_stream stream, std::string_view text)
{
    std::fflush(stream_file(stream));  // what the C runtime holds goes first
    const HANDLE handle = stream_handle(stream);
    while (!text.empty()) {
        const std::size_t len = piece_length(text);
        wchar_t wide[PIECE_SIZE];
        const int count = MultiByteToWideChar(CP932, 0, text.data(), static_cast<int>(len), wide,
                                              static_cast<int>(PIECE_SIZE));
        text.remove_prefix(len);
        const wchar_t *next = wide;
        DWORD left = count > 0 ? static_cast<DWORD>(count) : 0;
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(handle, next, left, &written, nullptr) || written == 0)
                return;
            next += written;
            left -= written;
        }
    }
}
