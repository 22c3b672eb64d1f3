#include "archive/archive.hpp"
#include "decode/decode.hpp"
#include "pagename/pagename.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// Console texts, cp932 bytes.
static constexpr char MSG_INPUT_MISSING[] =
    "\x93\xfc\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82"
    "\xf1\n";  // 入力ファイルが見つかりません\n
static constexpr char MSG_LOG_OPEN[] =
    "\x8fo\x97\xcd\x83\x8d\x83O\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\n";  // 出力ログファイルを開けません\n
static constexpr char MSG_OUTPUT_OPEN[] =
    "\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81"
    "B\n(%s)\n";  // 出力ファイルを開けませんでした。\n(%s)\n
static constexpr char MSG_UNSUPPORTED_ENCODING[] =
    "%s\x82\xcc\x92\x86\x82\xc9\x96\xa2\x91\xce\x89\x9e\x82\xcc\x83G\x83\x93\x83R\x81["
    "\x83h\x95\xfb\x8e\xae\x82\xcc\x83p\x81[\x83g\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81"
    "B\n";  // %sの中に未対応のエンコード方式のパートがあります。\n
static constexpr char MSG_LINE_TOO_LONG[] =
    "\x88\xea\x8ds\x82\xcc\x92\xb7\x82\xb3\x82\xaa\x88\xb5"
    "\x82\xa6\x82\xe9\x94\xcd\x88\xcd\x82\xf0\x92\xb4\x82"
    "\xa6\x82\xdc\x82\xb5\x82\xbd\x81"
    "B\x83"
    "f\x81[\x83^"
    "\x82\xf0\x8d\xed\x82\xc1\x82\xc4\x91\xb1\x8ds\x82\xb5"
    "\x82\xdc\x82\xb7\n";  // 一行の長さが扱える範囲を超えました。データを削って続行します\n

static constexpr std::string_view BOUNDARY_PARAM = "boundary=";
static constexpr std::string_view FILENAME_PARAM = "filename=";
static constexpr std::string_view CONTENT_TYPE = "Content-Type: ";
static constexpr std::string_view CONTENT_TRANSFER_ENCODING = "Content-Transfer-Encoding: ";
static constexpr std::string_view CONTENT_LOCATION = "Content-Location:";
static constexpr std::string_view TEXT_HTML = "text/html";
static constexpr std::string_view WORD_START_ISO = "=?iso-2022-jp?";
static constexpr std::string_view WORD_START_SJIS = "=?shift_jis?";

// Header lines are read with room for 10238 bytes, body lines for 10239.
static constexpr std::size_t HEADER_READ_SIZE = LINE_BUFFER_SIZE - 1;
static constexpr std::size_t BODY_READ_SIZE = LINE_BUFFER_SIZE;

// A quoted-printable line of 10238 bytes and its line feed decodes to 10240 bytes (the line
// feed becomes CR LF): the work buffer has room for that and the terminator.
static constexpr std::size_t WORK_BUFFER_SIZE = LINE_BUFFER_SIZE + 4;

// Boundary blocks are at least this large; a longer boundary gets a block that fits it, so a
// boundary string is never cut (a cut one would match lines that are no delimiters).
static constexpr std::size_t BOUNDARY_BLOCK_SIZE = 64;

// Line-end normalisation keeps at most this many text bytes of a body line.
static constexpr int MAX_BODY_TEXT = LINE_BUFFER_SIZE - 3;

// Decoded body lines gather in a batch and reach the output in writes of about this size.
static constexpr std::size_t BATCH_SIZE = std::size_t{1} << 15;

struct boundary_entry {
    std::int32_t length = 0;
    char *text = nullptr;
};

// Everything one archive's walk owns.
struct walk_state {
    const char *archive_name = nullptr;
    const batch_info *batch = nullptr;
    text_input in;
    out_stream log;
    char line[LINE_BUFFER_SIZE] = {};
    char work[WORK_BUFFER_SIZE] = {};
    char out_batch[BATCH_SIZE];  // decoded body bytes not yet written
    char out_name[LINE_BUFFER_SIZE] = {};
    char default_name[NAME_SIZE] = {};
    char page_name[NAME_SIZE] = {};
    char image_names[IMAGE_NAMES_SIZE] = {};
    std::vector<boundary_entry> boundaries;
    std::int32_t current_boundary = 0;
    std::vector<output_entry> outputs;
    std::int32_t part_kind = KIND_NONE;
    std::int32_t part_encoding = ENC_NONE;
    std::int32_t part_ready = 1;
};

enum delimiter_kind : int {
    NOT_DELIMITER = 0,
    DELIMITER = 1,
    CLOSE_DELIMITER = 2
};

// Classifies line against the current boundary: its bytes from column 2 on must begin with
// the boundary; "--" right after it makes a close delimiter. Columns 0 and 1 are not examined.
static delimiter_kind
test_delimiter(const walk_state &s, const char *line)
{
    if (s.boundaries.empty())
        return NOT_DELIMITER;
    const boundary_entry &b = s.boundaries[static_cast<std::size_t>(s.current_boundary)];
    const auto length = static_cast<std::size_t>(b.length);
    // Most lines differ at column 2. The line buffer is longer than column 2 even when the line
    // is not, and a byte there that belongs to no line only leads to the full test.
    if (length > 0 && line[2] != b.text[0])
        return NOT_DELIMITER;
    if (std::strlen(line) < 2 + length || std::memcmp(line + 2, b.text, length) != 0)
        return NOT_DELIMITER;
    if (line[2 + length] == '-' && line[3 + length] == '-')
        return CLOSE_DELIMITER;
    return DELIMITER;
}

// Adds an entry for every "boundary=" on the line and makes the last one current.
static void
scan_boundary_declarations(walk_state *s)
{
    const std::string_view line(s->line);
    for (std::size_t c = line.find(BOUNDARY_PARAM); c != std::string_view::npos;
         c = line.find(BOUNDARY_PARAM, c + BOUNDARY_PARAM.size() + 1)) {
        std::int32_t length = 0;
        take_param_value(s->line + c + BOUNDARY_PARAM.size(), s->work, &length);
        const std::size_t size =
            std::max(BOUNDARY_BLOCK_SIZE, static_cast<std::size_t>(length) + 1);
        boundary_entry entry{length, checked_alloc(size)};
        std::memcpy(entry.text, s->work, static_cast<std::size_t>(length) + 1);
        s->boundaries.push_back(entry);
        s->current_boundary = static_cast<std::int32_t>(s->boundaries.size() - 1);
        s->part_ready = 0;
    }
}

static void
apply_content_type(walk_state *s)
{
    if (!has_prefix_nocase(s->line, CONTENT_TYPE))
        return;
    for (const char *p = s->line + CONTENT_TYPE.size(); *p != '\0'; ++p) {
        if (has_prefix_nocase(p, TEXT_HTML)) {
            s->part_kind = KIND_HTML;
            break;
        }
    }
    if (s->part_kind == KIND_NONE)
        s->part_kind = KIND_OTHER;
}

static void
apply_transfer_encoding(walk_state *s)
{
    if (!has_prefix_nocase(s->line, CONTENT_TRANSFER_ENCODING))
        return;
    const char *value = s->line + CONTENT_TRANSFER_ENCODING.size();
    if (has_prefix_nocase(value, "quoted-printable"))
        s->part_encoding = ENC_QP;
    else if (has_prefix_nocase(value, "base64"))
        s->part_encoding = ENC_BASE64;
    else if (has_prefix_nocase(value, "7bit"))
        s->part_encoding = ENC_7BIT;
    else if (has_prefix_nocase(value, "8bit"))
        s->part_encoding = ENC_8BIT;
    else {
        console_printf(MSG_UNSUPPORTED_ENCODING, s->archive_name);
        s->part_ready = 0;
    }
}

static bool
is_word_start(const char *p)
{
    return has_prefix_nocase(p, WORD_START_ISO) || has_prefix_nocase(p, WORD_START_SJIS);
}

// Names the part after the last path segment of a "Content-Location:" line, decoding encoded
// words (which may read the header's continuation lines) first.
static void
apply_location(walk_state *s)
{
    if (!has_prefix_nocase(s->line, CONTENT_LOCATION))
        return;
    std::size_t len = std::strlen(s->line);
    for (std::size_t c = CONTENT_LOCATION.size(); c < len; ++c) {
        if (is_word_start(s->line + c)) {
            decode_encoded_name(&s->in, s->line, s->work, s->out_name, s->default_name);
            len = std::strlen(s->line);  // the line now holds the name settled so far
        }
    }
    take_base_name(s->line, s->out_name);
    sanitize_file_name(s->out_name);
}

// Every "filename=" of the line, in any case, names the part; the scan goes on one column
// past the parameter's '='. Candidates are found by their '=', which few columns hold.
static void
apply_filename_param(walk_state *s)
{
    const std::string_view line(s->line);
    const std::size_t eq_offset = FILENAME_PARAM.size() - 1;
    std::size_t next = 0;  // the first column a parameter may begin at
    for (std::size_t eq = line.find('=', eq_offset); eq != std::string_view::npos;
         eq = line.find('=', eq + 1)) {
        const std::size_t c = eq - eq_offset;
        if (c < next || !has_prefix_nocase(s->line + c, FILENAME_PARAM))
            continue;
        std::int32_t length = 0;
        take_param_value(s->line + c + FILENAME_PARAM.size(), s->work, &length);
        take_base_name(s->work, s->out_name);
        sanitize_file_name(s->out_name);
        next = c + FILENAME_PARAM.size() + 1;
    }
}

// True when name is an archive of the batch or the run log, ignoring ASCII case.
static bool
is_reserved_name(const walk_state &s, const char *name)
{
    const std::size_t len = std::strlen(name);
    for (const std::string &reserved : s.batch->reserved_names) {
        if (reserved.size() == len && str_nicmp(name, reserved.c_str(), len) == 0)
            return true;
    }
    return false;
}

// A non-HTML part replaces an existing file of its name, but never an archive of the batch or
// the run log: such a name is made unique instead.
static void
make_unique_name_if_reserved(walk_state *s)
{
    if (is_reserved_name(*s, s->out_name))
        make_unique_name(std::span<char>(s->out_name), s->batch->reserved_names);
}

// Sets the body line's end to CR LF: the text is cut at the first line feed or NUL, and to
// MAX_BODY_TEXT bytes (with a message) when the line fills the read. Returns the new length.
static std::size_t
normalise_line_end(char *line)
{
    // The read stored a terminator, so the text before it is searched for the line feed.
    const std::size_t len = std::strlen(line);
    const void *lf = std::memchr(line, '\n', len);
    const std::size_t end =
        lf ? static_cast<std::size_t>(static_cast<const char *>(lf) - line) : len;
    int n = static_cast<int>(std::min(end, static_cast<std::size_t>(MAX_BODY_TEXT) + 1));
    if (n == MAX_BODY_TEXT + 1) {
        console_write(MSG_LINE_TOO_LONG);
        n = MAX_BODY_TEXT;
    }
    line[n] = '\r';
    line[n + 1] = '\n';
    line[n + 2] = '\0';
    return static_cast<std::size_t>(n) + 2;
}

// Copies the body up to the next delimiter line (or the end of the input) into out, decoded
// as the part's transfer encoding says, then puts the input back at the start of the line
// that ended the body so that the main loop reads it again.
static void
copy_body(walk_state *s, out_stream *out)
{
    const std::span<char> read_buffer(s->line, BODY_READ_SIZE);
    std::size_t used = 0;  // bytes in the batch
    while (text_read_line(&s->in, read_buffer)) {
        if (test_delimiter(*s, s->line) != NOT_DELIMITER)
            break;
        if (BATCH_SIZE - used < WORK_BUFFER_SIZE) {
            out_write(out, s->out_batch, used);
            used = 0;
        }
        // Each line decodes into a work-buffer-sized window of the batch, so that a line is cut
        // exactly where a separate work buffer would cut it.
        const std::span<char> window(s->out_batch + used, WORK_BUFFER_SIZE);
        std::int32_t count = 0;
        std::size_t len = 0;
        switch (s->part_encoding) {
        case ENC_QP:
            decode_qp_line(s->line, window, &count);
            len = static_cast<std::size_t>(count);
            break;
        case ENC_BASE64:
            decode_base64_line(s->line, window, &count);
            len = static_cast<std::size_t>(count);
            break;
        case ENC_7BIT:
        case ENC_8BIT:
            normalise_line_end(s->line);
            jis_to_sjis(s->line);
            len = std::strlen(s->line);
            std::memcpy(window.data(), s->line, len);
            break;
        default:
            len = normalise_line_end(s->line);
            std::memcpy(window.data(), s->line, len);
            break;
        }
        used += len;
    }
    out_write(out, s->out_batch, used);
    text_seek(&s->in, text_line_start(&s->in));
}

// Records a written part in the output list. The name's block holds just the name: the list
// lives until the archive is done, and an archive of thousands of parts should not hold a
// full-size block for each (a later rename gives the entry a larger block when it needs one).
static void
record_output(walk_state *s)
{
    const std::size_t len = std::strlen(s->out_name);
    output_entry entry;
    entry.kind = s->part_kind;
    entry.name_size = len + 1;
    entry.name = checked_alloc(entry.name_size);
    std::memcpy(entry.name, s->out_name, len + 1);
    s->outputs.push_back(entry);
}

// A device name ("CON", "nul.htm", "com1.jpg") opens the device on Windows and
// what is written is lost: the name takes the first free "_0001", "_0002", ... right after the
// device part ("nul_0001.htm", "con_0001.tar.gz"), on every platform alike.
static void
move_off_device_name(walk_state *s)
{
    const std::size_t stem = device_name_length(s->out_name);
    if (stem == 0)
        return;
    char rest[NAME_SIZE];
    copy_bounded(rest, s->out_name + stem);
    const std::string device(s->out_name, stem);
    for (int counter = 1; counter <= 9999; ++counter) {
        char candidate[2 * NAME_SIZE];
        std::snprintf(candidate, sizeof candidate, "%s_%04d%s", device.c_str(), counter, rest);
        fit_file_name(candidate, NAME_SIZE - 1);
        if (!entry_exists(candidate) && !is_reserved_name(*s, candidate)) {
            copy_bounded(s->out_name, candidate);
            return;
        }
    }
    copy_bounded(s->out_name, "");  // no free name: the default name follows
}

// Makes out_name a name that every platform stores as it is. Trailing dots and spaces are
// dropped (Windows drops them on creation, and the log and the references must
// name the file as stored); a device name moves off the device. A name that is then unusable
// ("", ".", "..", only dots, control bytes) would end the run on its open: the part takes the
// default name instead, made unique so that it replaces no file.
static void
settle_part_name(walk_state *s)
{
    std::size_t len = std::strlen(s->out_name);
    while (len > 0 && (s->out_name[len - 1] == '.' || s->out_name[len - 1] == ' '))
        s->out_name[--len] = '\0';
    if (is_usable_file_name(s->out_name)) {
        move_off_device_name(s);
        if (s->out_name[0] != '\0')
            return;
    }
    copy_bounded(s->out_name, s->default_name);
    if (device_name_length(s->out_name) > 0) {
        // an archive named like a device ("con.mht") has a device default name too
        copy_bounded(s->out_name, "_");
        append_bounded(s->out_name, s->default_name);
    }
    make_unique_name(std::span<char>(s->out_name), s->batch->reserved_names);
}

static void
write_part(walk_state *s)
{
    // A longer name than a file system holds (and than a name block records) would end the
    // run on its open: it is shortened to NAME_SIZE - 1 bytes, keeping a short extension.
    fit_file_name(s->out_name, NAME_SIZE - 1);
    settle_part_name(s);
    // HTML parts never replace a file; no part replaces an archive of the batch or the log.
    if (s->part_kind == KIND_HTML)
        make_unique_name(std::span<char>(s->out_name), s->batch->reserved_names);
    else
        make_unique_name_if_reserved(s);
    out_stream out;
    if (!out_open(&out, s->out_name, "wb"))
        fail_run_file(s->out_name, MSG_OUTPUT_OPEN, s->out_name);
    copy_body(s, &out);
    if (!out_close(&out))
        fail_run_file(s->out_name, MSG_OUTPUT_OPEN, s->out_name);
    if (s->part_kind == KIND_HTML)
        htm_rename(s->out_name, s->page_name, s->image_names);
    record_output(s);
    s->part_encoding = ENC_NONE;
    s->part_ready = 0;
    s->part_kind = KIND_NONE;
    copy_bounded(s->out_name, s->default_name);
}

// Opens the archive and the log, writes the row's first field and sets the default names.
static void
start_archive(walk_state *s)
{
    if (!text_open_read(&s->in, s->archive_name))
        fail_run_file(s->archive_name, "%s", MSG_INPUT_MISSING);
    if (!out_open(&s->log, s->batch->log_name, "a"))
        fail_run_file(s->batch->log_name, "%s", MSG_LOG_OPEN);
    out_text(&s->log, s->archive_name);
    char ext[NAME_SIZE];
    split_name_ext(s->archive_name, s->line, ext);
    // The default name keeps its ".dec" even when the base must be shortened to fit.
    static constexpr std::string_view DEC = ".dec";
    const std::size_t base_len = std::strlen(s->line);
    const std::size_t keep =
        std::min(base_len, static_cast<std::size_t>(NAME_SIZE) - 1 - DEC.size());
    copy_bounded(s->default_name, std::string_view(s->line, keep));
    append_bounded(s->default_name, DEC);
    copy_bounded(s->out_name, s->default_name);
    copy_bounded(s->page_name, s->line);
}

// Releases the boundaries, renames the temporary images, completes the log row and closes.
static void
finish_archive(walk_state *s)
{
    for (auto it = s->boundaries.rbegin(); it != s->boundaries.rend(); ++it)
        checked_free(it->text);
    s->boundaries.clear();
    rename_temp_images(s->outputs, s->page_name, s->image_names, s->line, s->work);
    char count[16];
    std::snprintf(count, sizeof count, ",%d", static_cast<int>(s->outputs.size()));
    out_text(&s->log, count);
    for (output_entry &entry : s->outputs) {
        out_text(&s->log, ",");
        out_text(&s->log, entry.name);
        checked_free(entry.name);
    }
    s->outputs.clear();
    out_text(&s->log, "\n");
    if (!out_close(&s->log))
        fail_run_file(s->batch->log_name, "%s", MSG_LOG_OPEN);
    text_close(&s->in);
}

void
split_archive(const char *archive_name, const batch_info &batch)
{
    auto *s = new walk_state;
    s->archive_name = archive_name;
    s->batch = &batch;
    start_archive(s);
    while (text_read_line(&s->in, std::span<char>(s->line, HEADER_READ_SIZE))) {
        scan_boundary_declarations(s);
        const delimiter_kind delimiter = test_delimiter(*s, s->line);
        if (delimiter == CLOSE_DELIMITER) {
            if (s->current_boundary == 0)
                break;
            --s->current_boundary;
        } else if (delimiter == DELIMITER) {
            s->part_ready = 1;
        }
        apply_content_type(s);
        apply_transfer_encoding(s);
        apply_location(s);
        apply_filename_param(s);
        if (s->part_ready != 0 && s->part_kind != KIND_NONE && s->line[0] == '\n')
            write_part(s);
    }
    finish_archive(s);
    delete s;
}
