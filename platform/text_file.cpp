#include "platform/platform.hpp"

#include "platform/internal.hpp"

#include <cassert>
#include <cerrno>
#include <cstdarg>
#include <cstring>

// Raw bytes held per read from the file. Large blocks keep the number of reads low; the
// stream steps back over short distances, which stay inside the block.
static constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 16;

static constexpr char END_OF_TEXT = '\x1A';

// Output buffer size: few, large writes. Below the allocator's default mapping threshold, so
// the buffer of each new file reuses heap memory instead of fresh pages.
static constexpr std::size_t OUT_BUFFER_SIZE = std::size_t{1} << 15;

// Blocks of released streams, kept for the next ones. A batch opens thousands of streams, and
// memory given back to the system after each would be faulted in again page by page. No more
// streams than this are ever open at once.
static constexpr int SPARE_COUNT = 4;
static char *spare_blocks[SPARE_COUNT];
static char *spare_buffers[SPARE_COUNT];

// A kept block from spares, or a new one of size bytes.
static char *
take_spare(char **spares, std::size_t size)
{
    for (int k = 0; k < SPARE_COUNT; ++k) {
        if (spares[k] != nullptr) {
            char *block = spares[k];
            spares[k] = nullptr;
            return block;
        }
    }
    return new char[size];
}

// Keeps block in spares, or releases it when every place is taken.
static void
keep_spare(char **spares, char *block)
{
    for (int k = 0; k < SPARE_COUNT && block != nullptr; ++k) {
        if (spares[k] == nullptr) {
            spares[k] = block;
            return;
        }
    }
    delete[] block;
}

bool
text_open_read(text_input *in, const char *name, bool eot_ends_input)
{
    *in = text_input{};
    in->eot_ends_input = eot_ends_input;
    if (!is_regular_file(name))
        return false;
    in->file = open_file(name, "rb");
    if (in->file == nullptr)
        return false;
    std::setvbuf(in->file, nullptr, _IONBF, 0);
    in->block = take_spare(spare_blocks, BLOCK_SIZE);
    return true;
}

existing_result
text_open_own(text_input *in, const char *name, const file_identity &expected, read_rule rule)
{
    *in = text_input{};
    in->eot_ends_input = rule == READ_TEXT;
    in->keeps_cr = rule == READ_BYTES;
    std::FILE *file = nullptr;
    file_identity found;
    const existing_result result = open_existing_for_reading(name, &file, &found);
    if (result != EXISTING_PLAIN)
        return result;
    if (found != expected) {
        std::fclose(file);
        note_reason("not the file written");
        return EXISTING_OTHER;
    }
    in->file = file;
    std::setvbuf(in->file, nullptr, _IONBF, 0);
    in->block = take_spare(spare_blocks, BLOCK_SIZE);
    return EXISTING_PLAIN;
}

// Makes at least one unread byte available in the block. Returns false at the end of the file.
static bool
fill_block(text_input *in)
{
    if (in->block_pos < in->block_len)
        return true;
    if (in->file_end)
        return false;
    if (in->block_len > 0)
        in->byte_before_block = in->block[in->block_len - 1];
    in->block_start += static_cast<std::int64_t>(in->block_len);
    in->block_pos = 0;
    in->block_len = std::fread(in->block, 1, BLOCK_SIZE, in->file);
    in->eot_from = 0;  // nothing of the new block searched yet
    in->eot_pos = 0;
    if (in->block_len < BLOCK_SIZE)
        in->file_end = true;  // a short read is the end of the file (or a read error)
    return in->block_len > 0;
}

// Block offset of the first 0x1A byte among the count bytes at block_pos, or block_pos + count
// when there is none. Only bytes the reader takes are searched (a block handed over through
// text_unread_block may never be), and each once: the stretch found free of 0x1A is kept and
// grows as the reader moves on.
static std::size_t
find_end_of_text(text_input *in, std::size_t count)
{
    const std::size_t from = in->block_pos;
    const std::size_t to = from + count;
    if (!in->eot_ends_input)
        return to;
    if (from < in->eot_from || from > in->eot_pos) {
        in->eot_from = from;  // outside the stretch known: start a new one here
        in->eot_pos = from;
    }
    if (in->eot_pos < to && in->block[in->eot_pos] != END_OF_TEXT) {
        const char *eot = find_byte(in->block + in->eot_pos, END_OF_TEXT, to - in->eot_pos);
        in->eot_pos = eot ? static_cast<std::size_t>(eot - in->block) : to;
    }
    return in->eot_pos < to ? in->eot_pos : to;
}

// Copies count raw bytes to dst without their CR bytes. Returns the number of bytes stored.
static std::size_t
copy_without_cr(char *dst, const char *src, std::size_t count)
{
    // The usual line: CR LF at its end and no other CR.
    if (count >= 2 && src[count - 2] == '\r' && src[count - 1] == '\n' &&
        find_byte(src, '\r', count - 2) == nullptr) {
        std::memcpy(dst, src, count - 2);
        dst[count - 2] = '\n';
        return count - 1;
    }
    std::size_t stored = 0;
    while (count > 0) {
        const void *cr = find_byte(src, '\r', count);
        std::size_t run =
            cr ? static_cast<std::size_t>(static_cast<const char *>(cr) - src) : count;
        std::memcpy(dst + stored, src, run);
        stored += run;
        if (cr == nullptr)
            break;
        src += run + 1;
        count -= run + 1;
    }
    return stored;
}

// Takes up to take raw bytes at block_pos into dst without their CR bytes, stopping before a
// 0x1A byte, which ends the input. Returns the number of bytes stored; sets *ended_out when
// the input ended at a 0x1A byte.
static std::size_t
take_text(text_input *in, char *dst, std::size_t take, bool *ended_out)
{
    const char *window = in->block + in->block_pos;
    const std::size_t eot = find_end_of_text(in, take);
    *ended_out = eot - in->block_pos < take;
    if (*ended_out) {
        take = eot - in->block_pos;
        in->file_end = true;
        in->block_len = eot;  // nothing at or after the 0x1A byte is input
    }
    in->block_pos += take;
    if (in->keeps_cr) {
        std::memcpy(dst, window, take);
        return take;
    }
    return copy_without_cr(dst, window, take);
}

bool
text_read_line_counted(text_input *in, std::span<char> line, std::size_t *count_out)
{
    if (in->file == nullptr || line.empty())
        return false;
    const std::size_t limit = line.size() - 1;
    const std::int64_t start = text_tell(in);
    std::size_t stored = 0;
    bool ended = false;
    while (stored < limit && !ended && fill_block(in)) {
        const char *window = in->block + in->block_pos;
        std::size_t take = in->block_len - in->block_pos;
        // Never take more raw bytes than could be stored: CR bytes only make the result shorter.
        if (take > limit - stored)
            take = limit - stored;
        const void *lf = find_byte(window, '\n', take);
        if (lf != nullptr)
            take = static_cast<std::size_t>(static_cast<const char *>(lf) - window) + 1;
        bool text_end = false;
        stored += take_text(in, line.data() + stored, take, &text_end);
        if (text_end)
            break;
        ended = lf != nullptr;
    }
    if (stored == 0 && !ended) {
        // Only CR bytes, or nothing at all, were left: that is the end of the input.
        return false;
    }
    line[stored] = '\0';
    in->line_start = start;
    *count_out = stored;
    return true;
}

// Hands over the next line where it lies in the block, when it lies there whole: its line
// feed within the limit, no 0x1A, and (CR bytes dropped) no CR but one right before the line
// feed. Returns false, having read nothing, when it does not.
static bool
take_line_in_place(text_input *in, std::size_t limit, text_line *line_out)
{
    if (in->block_pos >= in->block_len)
        return false;
    const char *window = in->block + in->block_pos;
    const std::size_t avail = in->block_len - in->block_pos;
    // a CR before the line feed takes no room: the raw line may be one byte longer
    const std::size_t scan = avail < limit + 1 ? avail : limit + 1;
    const void *lf = find_byte(window, '\n', scan);
    if (lf == nullptr)
        return false;
    const auto k = static_cast<std::size_t>(static_cast<const char *>(lf) - window);
    // a CR kept is text like any other byte
    const bool cr_before = !in->keeps_cr && k > 0 && window[k - 1] == '\r';
    const std::size_t text_len = cr_before ? k - 1 : k;
    if (text_len + 1 > limit || (!in->keeps_cr && find_byte(window, '\r', text_len) != nullptr) ||
        find_end_of_text(in, k + 1) <= in->block_pos + k)
        return false;
    in->line_start = text_tell(in);
    in->block_pos += k + 1;
    *line_out = text_line{window, text_len, true};
    return true;
}

bool
text_read_line_in_place(text_input *in, std::span<char> line, text_line *line_out)
{
    if (in->file == nullptr || line.empty())
        return false;
    if (take_line_in_place(in, line.size() - 1, line_out))
        return true;
    std::size_t count = 0;
    if (!text_read_line_counted(in, line, &count))
        return false;
    const bool line_feed = count > 0 && line[count - 1] == '\n';
    *line_out = text_line{line.data(), line_feed ? count - 1 : count, line_feed};
    return true;
}

std::string_view
text_unread_block(const text_input *in)
{
    if (in->file == nullptr || in->block_pos >= in->block_len)
        return {};
    return std::string_view(in->block + in->block_pos, in->block_len - in->block_pos);
}

void
text_pass_lines(text_input *in, std::size_t count, std::size_t line_offset)
{
    assert(count <= in->block_len - in->block_pos && line_offset < count);
    assert(!in->eot_ends_input ||
           find_byte(in->block + in->block_pos, END_OF_TEXT, count) == nullptr);
    in->line_start = text_tell(in) + static_cast<std::int64_t>(line_offset);
    in->block_pos += count;
}

bool
text_read_line(text_input *in, std::span<char> line)
{
    std::size_t count = 0;
    return text_read_line_counted(in, line, &count);
}

std::size_t
text_read_text(text_input *in, std::span<char> dst)
{
    if (in->file == nullptr)
        return 0;
    std::size_t stored = 0;
    while (stored < dst.size() && fill_block(in)) {
        std::size_t take = in->block_len - in->block_pos;
        if (take > dst.size() - stored)
            take = dst.size() - stored;
        bool text_end = false;
        stored += take_text(in, dst.data() + stored, take, &text_end);
        if (text_end)
            break;
    }
    return stored;
}

read_rule
text_rule(const text_input *in)
{
    if (in->keeps_cr)
        return READ_BYTES;
    return in->eot_ends_input ? READ_TEXT : READ_TEXT_TO_END;
}

void
text_set_rule(text_input *in, read_rule rule)
{
    in->eot_ends_input = rule == READ_TEXT;
    in->keeps_cr = rule == READ_BYTES;
}

std::int64_t
text_tell(const text_input *in)
{
    return in->block_start + static_cast<std::int64_t>(in->block_pos);
}

std::int64_t
text_line_start(const text_input *in)
{
    return in->line_start;
}

bool
text_at_line_start(const text_input *in)
{
    if (in->block_pos > 0)
        return in->block[in->block_pos - 1] == '\n';
    return in->byte_before_block == '\n';
}

void
text_seek(text_input *in, std::int64_t position)
{
    if (in->file == nullptr)
        return;
    if (position < 0)
        position = 0;
    const std::int64_t block_end = in->block_start + static_cast<std::int64_t>(in->block_len);
    if (position >= in->block_start && position <= block_end && in->block_len > 0) {
        in->block_pos = static_cast<std::size_t>(position - in->block_start);
        return;
    }
    // Outside the block: read again from the file. A 0x1A byte met before is found again. The
    // byte before the position tells whether a line begins there.
    char before = '\n';  // the file's start counts as a line start
    if (position > 0) {
        seek_file(in->file, position - 1);
        if (std::fread(&before, 1, 1, in->file) != 1)
            before = '\0';
    }
    in->byte_before_block = before;
    seek_file(in->file, position);
    in->block_start = position;
    in->block_len = 0;
    in->block_pos = 0;
    in->file_end = false;
}

void
text_close(text_input *in)
{
    if (in->file != nullptr)
        std::fclose(in->file);
    keep_spare(spare_blocks, in->block);
    *in = text_input{};
}

// Gives an opened stream its buffer and its line-end rule.
static void
set_up_stream(out_stream *out, std::FILE *file, const char *mode)
{
    out->file = file;
    out->text = std::string_view(mode).find('b') == std::string_view::npos;
    // The C library would take a block of its own choosing (a few KiB) for a null buffer.
    out->buffer = take_spare(spare_buffers, OUT_BUFFER_SIZE);
    std::setvbuf(out->file, out->buffer, _IOFBF, OUT_BUFFER_SIZE);
}

bool
out_open(out_stream *out, const char *name, const char *mode)
{
    *out = out_stream{};
    const bool append = std::string_view(mode).find('a') != std::string_view::npos;
    std::FILE *file = open_file(name, append ? "ab" : "wb");
    if (file == nullptr)
        return false;
    set_up_stream(out, file, mode);
    return true;
}

create_result
out_create_new(out_stream *out, const char *name, const char *mode)
{
    *out = out_stream{};
    std::FILE *file = nullptr;
    const create_result result = create_new_file(name, &file);
    if (result == CREATE_OK)
        set_up_stream(out, file, mode);
    return result;
}

existing_result
out_open_existing(out_stream *out, const char *name, const char *mode, file_identity *identity_out)
{
    *out = out_stream{};
    const bool append = std::string_view(mode).find('a') != std::string_view::npos;
    std::FILE *file = nullptr;
    const existing_result result = open_existing_file(name, append, &file, identity_out);
    if (result == EXISTING_PLAIN)
        set_up_stream(out, file, mode);
    return result;
}

bool
out_truncate(out_stream *out)
{
    return out->file != nullptr && truncate_file(out->file);
}

bool
out_identity(const out_stream *out, file_identity *identity_out)
{
    return out->file != nullptr && identity_of_file(out->file, identity_out);
}

void
out_flush(out_stream *out)
{
    if (out->file != nullptr && std::fflush(out->file) != 0)
        out->failed = true;
}

static void
write_raw(out_stream *out, const char *data, std::size_t count)
{
    if (count > 0 && std::fwrite(data, 1, count, out->file) != count && !out->failed) {
        out->failed = true;
        out->error = errno;  // the first failure is the reason, whatever fails after it
    }
}

void
out_write(out_stream *out, const char *data, std::size_t count)
{
    if (!out->text) {
        write_raw(out, data, count);
        return;
    }
    while (count > 0) {
        const void *lf = find_byte(data, '\n', count);
        if (lf == nullptr) {
            write_raw(out, data, count);
            return;
        }
        const std::size_t run = static_cast<std::size_t>(static_cast<const char *>(lf) - data);
        write_raw(out, data, run);
        write_raw(out, "\r\n", 2);
        data += run + 1;
        count -= run + 1;
    }
}

void
out_text(out_stream *out, std::string_view text)
{
    out_write(out, text.data(), text.size());
}

bool
out_close(out_stream *out)
{
    if (out->file == nullptr)
        return false;  // never opened: its open noted the reason
    bool ok = !out->failed;
    int error = out->error;
    if (std::fclose(out->file) != 0) {
        if (ok)
            error = errno;
        ok = false;
    }
    if (!ok)
        note_errno(error);
    keep_spare(spare_buffers, out->buffer);
    *out = out_stream{};
    return ok;
}
