// Fuzz target: replace_txt over a file. Input: one byte giving the length of old_text (1 to
// 32, its low five bits) and, in its high bit, whether to rewrite with eight passes at once
// (old_text with its first byte changed by each of 0 to 7, new_text with the pass's digit
// after it), one giving the length of new_text (0 to 255), the two texts (each cut at a NUL),
// then the file's bytes. The rewritten file is compared with a model of the rewrite: the file's
// bytes with CR dropped (NUL and 0x1A are text) in pieces of at most 10238 bytes up to a line feed,
// each replaced left to right, "\n" stored as CR LF. Nothing but the file may be left in the
// folder.
#include "archive/archive.hpp"
#include "archive/internal.hpp"
#include "fuzz/scratch_folder.hpp"
#include "tests/common/rewrite_model.hpp"

#include <string>
#include <string_view>
#include <vector>

static constexpr char PAGE[] = "page.htm";

// Rewrites the page with eight passes made from the two texts, in one rewrite; returns what
// the passes one after another give of content.
static std::string
rewrite_with_passes(std::string_view content, const std::string &old_text,
                    const std::string &new_text)
{
    std::vector<std::string> texts;  // old and new texts, in pairs
    for (char k = 0; k < 8; ++k) {
        texts.push_back(old_text);
        texts.back()[0] = static_cast<char>(texts.back()[0] ^ k);
        texts.push_back(new_text + static_cast<char>('0' + k));
    }
    std::vector<replacement> passes;
    std::string expected(content);
    for (std::size_t k = 0; k < texts.size(); k += 2) {
        passes.push_back({texts[k], texts[k + 1]});
        expected = rewritten_by_pieces(expected, texts[k], texts[k + 1]);
    }
    rewrite_text_file(PAGE, passes);
    return expected;
}

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t old_len = 1 + data[0] % 32;
    const std::size_t new_len = data[1];
    if (size < 2 + old_len + new_len)
        return 0;
    const char *bytes = reinterpret_cast<const char *>(data);
    const std::string old_text(std::string(bytes + 2, old_len).c_str());
    const std::string new_text(std::string(bytes + 2 + old_len, new_len).c_str());
    if (old_text.empty())
        return 0;
    const std::string_view content(bytes + 2 + old_len + new_len, size - 2 - old_len - new_len);

    enter_scratch_folder();
    write_scratch_file(PAGE, reinterpret_cast<const std::uint8_t *>(content.data()),
                       content.size());
    std::string expected;
    if ((data[0] & 0x80) != 0) {
        expected = rewrite_with_passes(content, old_text, new_text);
    } else {
        replace_txt(PAGE, old_text.c_str(), new_text.c_str());
        expected = rewritten_by_pieces(content, old_text, new_text);
    }

    const auto files = scratch_files();
    if (files.size() != 1 || files[0] != PAGE)
        fuzz_fail("%zu files left in the folder", files.size());
    if (read_scratch_file(PAGE) != expected)
        fuzz_fail("the rewritten file differs from the model");
    check_outside_unchanged();
    empty_scratch_folder();
    return 0;
}
