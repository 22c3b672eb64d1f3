// Fuzz target: htm_rename over a page file. The input is the page; the program that links
// name_by_number.cpp fuzzes the post-number naming, the one with name_by_date.cpp the
// date-time-number naming. Afterwards the page must exist under the reported name, alone in
// the folder, with its bytes unchanged, and every name buffer must be terminated.
#include "fuzz/scratch_folder.hpp"
#include "pagename/pagename.hpp"

#include <cstring>
#include <memory>
#include <string>

static constexpr char PAGE[] = "page.htm";

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    enter_scratch_folder();
    write_scratch_file(PAGE, data, size);

    auto file_name = std::make_unique<char[]>(LINE_BUFFER_SIZE);
    auto page_name = std::make_unique<char[]>(NAME_SIZE);
    auto images = std::make_unique<image_names>();
    std::memset(page_name.get(), 0, NAME_SIZE);
    copy_bounded(std::span(file_name.get(), LINE_BUFFER_SIZE), PAGE);
    htm_rename(std::span(file_name.get(), LINE_BUFFER_SIZE), std::span(page_name.get(), NAME_SIZE),
               images.get());

    check_terminated("file_name", file_name.get(), NAME_SIZE);
    check_terminated("page_name", page_name.get(), NAME_SIZE);
    check_terminated("thumb_name", images->thumb_name, LINE_BUFFER_SIZE);
    check_terminated("src_name", images->src_name, LINE_BUFFER_SIZE);
    const std::string name(file_name.get());
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        fuzz_fail("page renamed to \"%s\"", name.c_str());
    const auto files = scratch_files();
    if (files.size() != 1 || files[0] != name)
        fuzz_fail("the folder holds %zu files, not the page \"%s\" alone", files.size(),
                  name.c_str());
    if (read_scratch_file(name.c_str()) != std::string(reinterpret_cast<const char *>(data), size))
        fuzz_fail("the page's bytes changed");
    check_outside_unchanged();
    empty_scratch_folder();
    return 0;
}
