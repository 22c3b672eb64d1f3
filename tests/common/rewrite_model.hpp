// What rewriting a page with one replacement gives, built the plain way, for the tests and the
// fuzz target to check the rewrite against: the file's bytes without CR (NUL and 0x1A are
// text), read in pieces of at most 10238 bytes up to a line feed, each replaced left to right
// and without overlaps, "\n" stored as CR LF.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// One pass over text without CR: its lines in pieces, each replaced; line feeds stay bare.
inline std::string
replaced_by_pieces(std::string_view cooked, std::string_view old_text, std::string_view new_text,
                   std::size_t piece_size = 10238)
{
    std::string text;
    for (std::size_t at = 0; at < cooked.size();) {
        std::size_t end = cooked.find('\n', at);
        end = std::min(end == std::string::npos ? cooked.size() : end + 1,
                       at + std::min(piece_size, cooked.size() - at));
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
    return text;
}

inline std::string
rewritten_by_pieces(std::string_view content, std::string_view old_text, std::string_view new_text)
{
    std::string cooked;
    for (const char c : content) {
        if (c != '\r')
            cooked += c;
    }
    const std::string text = replaced_by_pieces(cooked, old_text, new_text);
    std::string stored;
    for (const char c : text) {
        if (c == '\n')
            stored += '\r';
        stored += c;
    }
    return stored;
}
