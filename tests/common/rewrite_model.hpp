// What rewriting a page with one replacement gives, built the plain way, for the tests and the
// fuzz target to check the rewrite against: the file's bytes without CR (NUL and 0x1A are
// text), read in pieces of at most 10238 bytes up to a line feed, each replaced left to right
// and without overlaps, "\n" stored as CR LF.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

inline std::string
rewritten_by_pieces(std::string_view content, std::string_view old_text, std::string_view new_text)
{
    static constexpr std::size_t PIECE = 10238;
    std::string cooked;
    for (const char c : content) {
        if (c != '\r')
            cooked += c;
    }
    std::string text;
    for (std::size_t at = 0; at < cooked.size();) {
        std::size_t end = cooked.find('\n', at);
        end = std::min(end == std::string::npos ? cooked.size() : end + 1, at + PIECE);
        const std::string_view piece(cooked.data() + at, end - at);
        std::size_t from = 0;
        for (std::size_t hit = piece.find(old_text); hit != std::string_view::npos;
             hit = piece.find(old_text, from)) {
            text.append(piece.substr(from, hit - from));
            text.append(new_text);
            from = hit + old_text.size();
        }
        text.append(piece.substr(from));
        at = end;
    }
    std::string stored;
    for (const char c : text) {
        if (c == '\n')
            stored += '\r';
        stored += c;
    }
    return stored;
}
