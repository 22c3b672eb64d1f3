// Fuzz target: the reference scanner, whole and cut into chunks. The first input byte picks
// the text (bit 0: CSS, else HTML), whether tags are reported (bit 1), the hold's capacity
// (bits 2-3: 8, 40, 300 or SCAN_HOLD_SIZE bytes) and the output buffer's size (bits 4-7: 1 to
// 16 bytes). The second byte's low four bits say how many chunk sizes follow (1 to 256 each,
// taken in turn), and its bit 4 whether droppable attributes and <meta> values are reported;
// the rest is the text. Checks: every value written back as it stands gives the text byte for
// byte, and the references, their elements, the tags and the output with each reference
// replaced (each droppable attribute dropped) are the same whole and in chunks; every tag is
// reported after its '>'.
#include "fuzz/scratch_folder.hpp"
#include "tests/webref/scan_driver.hpp"
#include "webref/webref.hpp"

#include <cstdint>
#include <string>
#include <vector>

static constexpr std::size_t HOLD_SIZES[] = {8, 40, 300, SCAN_HOLD_SIZE};

static void
check_same(const char *what, const std::vector<std::string> &whole,
           const std::vector<std::string> &chunked)
{
    if (whole != chunked)
        fuzz_fail("%s differ: %zu whole, %zu in chunks", what, whole.size(), chunked.size());
}

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t options = data[0];
    const std::size_t cut_count = data[1] & 15u;
    if (size < 2 + cut_count)
        return 0;
    std::vector<std::size_t> cuts;
    for (std::size_t k = 0; k < cut_count; ++k)
        cuts.push_back(std::size_t{data[2 + k]} + 1);
    const std::string text(reinterpret_cast<const char *>(data) + 2 + cut_count,
                           size - 2 - cut_count);
    const scan_text kind = (options & 1) != 0 ? SCAN_TEXT_CSS : SCAN_TEXT_HTML;
    const bool tags = (options & 2) != 0;
    const bool drops = (data[1] & 16u) != 0;
    const std::size_t hold = HOLD_SIZES[(options >> 2) & 3];
    const std::size_t out_size = 1 + (options >> 4);
    const std::string replacement = "R&\"' )";

    const scanned_text whole = scan_in_chunks(text, kind, {}, 4096, hold, nullptr, tags, drops);
    const scanned_text chunked =
        scan_in_chunks(text, kind, cuts, out_size, hold, nullptr, tags, drops);
    if (whole.output != text || chunked.output != text)
        fuzz_fail("output differs from the text: %zu and %zu bytes of %zu", whole.output.size(),
                  chunked.output.size(), text.size());
    check_same("references", whole.references, chunked.references);
    check_same("tags", whole.tags, chunked.tags);
    if (whole.elements != chunked.elements)
        fuzz_fail("elements differ");
    if (!whole.tags_after_gt || !chunked.tags_after_gt)
        fuzz_fail("a tag was reported before its '>'");
    const scanned_text replaced =
        scan_in_chunks(text, kind, {}, 4096, hold, &replacement, false, drops);
    const scanned_text replaced_chunked =
        scan_in_chunks(text, kind, cuts, out_size, hold, &replacement, false, drops);
    if (replaced.output != replaced_chunked.output)
        fuzz_fail("replaced output differs: %zu bytes whole, %zu in chunks", replaced.output.size(),
                  replaced_chunked.output.size());
    return 0;
}
