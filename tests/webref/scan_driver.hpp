// Runs the reference scanner as a caller does, for the tests and the fuzz target: the text cut
// into chunks, each in an exact-size heap block (a read past it is caught under
// AddressSanitizer), out emptied whenever it fills.
#pragma once

#include "webref/webref.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct scanned_text {
    std::string output;
    // each reference as "kind place quotes tag attribute raw": kind attr, url, import, srcset,
    // drop, charset or content; place html, block or sheet; quotes the value's and the
    // attribute's ('-' for none); '-' for an empty name
    std::vector<std::string> references;
    std::vector<std::uint64_t> elements;  // each reference's element
    std::vector<std::string> tags;        // each tag as "name@element"
    bool tags_after_gt = true;            // every tag was reported with its '>' written
};

inline std::string
describe_reference(const scan_reference &found)
{
    static const char *const KINDS[] = {"attr", "url",     "import", "srcset",
                                        "drop", "charset", "content"};
    static const char *const PLACES[] = {"html", "block", "sheet"};
    const auto quote = [](char q) { return q == 0 ? '-' : q; };
    const auto name = [](const char *n) { return *n == '\0' ? std::string("-") : std::string(n); };
    return std::string(KINDS[found.kind]) + " " + PLACES[found.place] + " " + quote(found.quote) +
           quote(found.attribute_quote) + " " + name(found.tag) + " " + name(found.attribute) +
           " " + std::string(found.raw);
}

// Scans text cut into chunks of the sizes in cuts, taken in turn (none: one chunk), with an
// output buffer of out_size bytes (one at least) and a hold of hold_size. Each reference is
// written back as it stands, or, given replacement, as write_replacement spells it there (an
// attribute that may be dropped is dropped then).
inline scanned_text
scan_in_chunks(std::string_view text, scan_text kind, std::span<const std::size_t> cuts,
               std::size_t out_size, std::size_t hold_size,
               const std::string *replacement = nullptr, bool report_tags = false,
               bool report_drops = false)
{
    scanned_text result;
    auto hold = std::make_unique<char[]>(hold_size);
    ref_scanner scanner;
    scan_init(&scanner, kind, std::span(hold.get(), hold_size), report_tags, report_drops);
    std::vector<char> out(out_size);
    std::size_t out_len = 0;
    const auto drain = [&] {
        result.output.append(out.data(), out_len);
        out_len = 0;
    };
    std::size_t cut = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t wanted = cuts.empty() ? text.size() : cuts[cut++ % cuts.size()];
        const std::size_t len = std::clamp<std::size_t>(wanted, 1, text.size() - at);
        auto chunk = std::make_unique<char[]>(len);
        std::memcpy(chunk.get(), text.data() + at, len);
        std::size_t pos = 0;
        for (;;) {
            scan_reference found;
            const scan_result step = scan_step(&scanner, std::string_view(chunk.get(), len), &pos,
                                               out, &out_len, &found);
            if (step == SCAN_NEED_INPUT)
                break;
            drain();
            if (step == SCAN_TAG) {
                result.tags.push_back(std::string(found.tag) + "@" + std::to_string(found.element));
                result.tags_after_gt = result.tags_after_gt && result.output.ends_with('>');
            }
            if (step != SCAN_REFERENCE)
                continue;
            result.references.push_back(describe_reference(found));
            result.elements.push_back(found.element);
            if (replacement != nullptr && found.kind == REF_DROPPABLE)
                continue;
            std::vector<char> spelled(replacement == nullptr ? 0 : replacement->size() * 8 + 8);
            std::size_t spelled_len = 0;
            if (replacement != nullptr &&
                write_replacement(found, *replacement, spelled, &spelled_len))
                result.output.append(spelled.data(), spelled_len);
            else
                result.output.append(found.raw);
        }
        at += len;
    }
    while (!scan_finish(&scanner, out, &out_len))
        drain();
    drain();
    return result;
}
