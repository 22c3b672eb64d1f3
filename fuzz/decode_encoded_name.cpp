// Fuzz target: decode_encoded_name over a stream, as the splitter calls it. The input is
// written to a file and opened in text mode; its first line is read as the splitter reads a
// header line, and the encoded words from there on are decoded into an out_name that starts
// as the default name. Buffers are exact-size heap blocks of the splitter's sizes.
#include "decode/decode.hpp"
#include "fuzz/scratch_folder.hpp"

#include <cstring>
#include <memory>

static constexpr char ARCHIVE[] = "a.mht";
static constexpr char DEFAULT_NAME[] = "a.dec";
static constexpr std::size_t WORK_SIZE = LINE_BUFFER_SIZE + 4;

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    enter_scratch_folder();
    write_scratch_file(ARCHIVE, data, size);

    auto line = std::make_unique<char[]>(LINE_BUFFER_SIZE);
    auto scratch = std::make_unique<char[]>(WORK_SIZE);
    auto out_name = std::make_unique<char[]>(LINE_BUFFER_SIZE);
    std::memset(scratch.get(), 0, WORK_SIZE);
    copy_bounded(std::span(out_name.get(), LINE_BUFFER_SIZE), DEFAULT_NAME);

    text_input in;
    if (!text_open_read(&in, ARCHIVE))
        fuzz_fail("cannot open the archive");
    if (text_read_line(&in, std::span(line.get(), LINE_BUFFER_SIZE - 1))) {
        decode_encoded_name(&in, std::span(line.get(), LINE_BUFFER_SIZE),
                            std::span(scratch.get(), WORK_SIZE),
                            std::span(out_name.get(), LINE_BUFFER_SIZE), DEFAULT_NAME);
        check_terminated("out_name", out_name.get(), LINE_BUFFER_SIZE);
        check_terminated("line", line.get(), LINE_BUFFER_SIZE);
        const std::int64_t position = text_tell(&in);
        if (position < 0 || position > static_cast<std::int64_t>(size))
            fuzz_fail("stream left at %lld of %zu bytes", static_cast<long long>(position), size);
        // the stream must be left where the reading can go on: every line still reads
        while (text_read_line(&in, std::span(line.get(), LINE_BUFFER_SIZE - 1))) {
        }
    }
    text_close(&in);
    check_outside_unchanged();
    empty_scratch_folder();
    return 0;
}
