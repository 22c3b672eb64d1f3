// Fuzz target: decode_encoded_word over the lines of a header, in memory, as the archive's
// location reader feeds it. The input is cut into lines as the reader gets them (the first at
// most LINE_BUFFER_SIZE - 2 bytes, each later one at most LINE_BUFFER_SIZE - 1, every one
// ending after its "\n"), each placed with its terminator in an exact-size block. Lines go in
// until one holds no word or an unknown letter; the iso-2022-jp flag carries over. The name
// starts as "a.dec" in a block of the splitter's size, or of 16 bytes when the input's length
// is odd, so that cuts are reached. A decode must leave the name terminated in its block and
// only ever add to it; a line without a word or with an unknown letter must leave it as it was.
#include "decode/decode.hpp"
#include "fuzz/scratch_folder.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

static constexpr char DEFAULT_NAME[] = "a.dec";
static constexpr std::size_t WORK_SIZE = LINE_BUFFER_SIZE + 4;
static constexpr std::size_t SHORT_NAME_SIZE = 16;

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::size_t name_size = size % 2 == 0 ? LINE_BUFFER_SIZE : SHORT_NAME_SIZE;
    auto name = std::make_unique<char[]>(name_size);
    auto scratch = std::make_unique<char[]>(WORK_SIZE);
    const std::span<char> name_buf(name.get(), name_size);
    copy_bounded(name_buf, DEFAULT_NAME);

    std::string_view rest(reinterpret_cast<const char *>(data), size);
    std::size_t piece = LINE_BUFFER_SIZE - 2;
    bool iso = false;
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        const std::size_t len =
            std::min(piece, lf == std::string_view::npos ? rest.size() : lf + 1);
        auto line = std::make_unique<char[]>(len + 1);
        std::memcpy(line.get(), rest.data(), len);
        line[len] = '\0';
        rest.remove_prefix(len);
        piece = LINE_BUFFER_SIZE - 1;

        const std::string before(name.get());
        const word_result result = decode_encoded_word(
            std::span(line.get(), len + 1), std::span(scratch.get(), WORK_SIZE), &iso, name_buf);
        check_terminated("name", name.get(), name_size);
        check_terminated("line", line.get(), len + 1);
        const std::string_view after(name.get());
        if (result != WORD_APPENDED) {
            if (after != before)
                fuzz_fail("result %d changed the name", static_cast<int>(result));
            break;
        }
        if (after.substr(0, before.size()) != before)
            fuzz_fail("a decoded word changed the name before it");
    }
    return 0;
}
