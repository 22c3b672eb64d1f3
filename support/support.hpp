// Shared constants, types and the string and file-name helpers every room uses.
#pragma once

#include "platform/platform.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>

// Every file is read a line at a time into buffers of this size.
inline constexpr int LINE_BUFFER_SIZE = 10240;

// Capacity of a file-name block (255 bytes and the terminator).
inline constexpr int NAME_SIZE = 256;

// Capacity of the run log's name buffer.
inline constexpr int LOG_NAME_SIZE = 64;

enum transfer_encoding : int {
    ENC_NONE = 0,
    ENC_QP = 1,
    ENC_BASE64 = 2,
    ENC_7BIT = 3,
    ENC_8BIT = 4,
    ENC_BINARY = 5  // every byte as stored (pages that open offline only)
};

enum content_kind : int {
    KIND_NONE = 0,
    KIND_HTML = 1,
    KIND_OTHER = 2
};

// strings.cpp

// Folds ASCII a-z to A-Z; every other byte is returned as it is.
unsigned char ascii_upper(unsigned char c);

// Compares at most n bytes of text and literal ignoring ASCII case. Returns 0 when they agree
// over n bytes, the difference of the first differing (unfolded) bytes, 1 when literal ends
// first and -1 when text ends first. Never reads past either terminator.
int str_nicmp(const char *text, const char *literal, std::size_t n);

// True when a and b are the same name ignoring ASCII case (names that may denote one file).
bool is_same_name_nocase(const char *a, const char *b);

// name with ASCII a-z folded to A-Z: names that fold alike may denote one file.
std::string ascii_folded(std::string_view name);

// Names compared ignoring ASCII case, each held with a-z folded to A-Z, so that finding one
// costs the same however many the set holds.
struct name_set {
    std::unordered_set<std::string> folded;
};

// The set of names.
name_set make_name_set(std::span<const std::string> names);

// True when set holds name ignoring ASCII case; a null set holds nothing.
bool has_name_nocase(const name_set *set, const char *name);

// True when text begins with literal, ignoring ASCII case. A shorter text is never a match.
bool has_prefix_nocase(const char *text, std::string_view literal);

// True when text begins with literal, byte for byte.
bool has_prefix(const char *text, std::string_view literal);

// Number of ASCII digits at the start of text, at most max.
int digit_run_max(const char *text, int max);

// Copies src into dst and terminates it, cutting src to dst.size() - 1 bytes. Returns false
// when src was cut. dst must hold at least one byte.
bool copy_bounded(std::span<char> dst, std::string_view src);

// Appends src to the NUL-terminated text in dst, as far as it fits; never cuts a Shift_JIS
// double-byte character in two. Returns false when anything was left out.
bool append_bounded(std::span<char> dst, std::string_view src);

// Length of the NUL-terminated text in buf, at most buf.size() (no terminator found).
std::size_t bounded_length(std::span<const char> buf);

// Length of the longest prefix of src of at most room bytes that does not cut a Shift_JIS
// double-byte character in two.
std::size_t fit_characters(std::string_view src, std::size_t room);

// True for a Shift_JIS lead byte (0x81-0x9F, 0xE0-0xFE).
bool is_sjis_lead(unsigned char c);

// file_names.cpp

// Splits name at its last '.' (ignoring a dot at index 0) into base and extension. Without
// such a dot the whole name is the base and the extension is empty. Each part is cut to its
// buffer (a cut is not reported; callers give buffers that hold their names).
void split_name_ext(const char *name, std::span<char> base, std::span<char> ext);

// While an entry (file or folder) called name exists, or reserved holds name ignoring ASCII case,
// replaces name by "base_NNNN.ext" with NNNN = 0001, 0002, ... from the base and extension name had
// on entry: the first free one in that order. A candidate that does not fit name's buffer has its
// base shortened (at a character boundary) to make room. Numbers found taken are remembered (and
// forgotten when the process frees a name), so a thousand searches for one name cost about a
// thousand tests, not half a million.
void make_unique_name(std::span<char> name, const name_set *reserved = nullptr);

// Counts name as taken in every later make_unique_name, until the process frees it (removes it
// or renames it away): an exclusive creation found it taken.
void note_name_refused(const char *name);

// Forgets what make_unique_name learnt of the current folder (numbers taken, names refused,
// names freed): called when another folder becomes current, whose searches start afresh.
void forget_folder_names();

// After a creation of name failed: when the file system found the name too long
// (failure_is_name_too_long), shortens it as fit_file_name does to fewer bytes than it had,
// lowers *room (the capacity, terminator included, that names of this file keep to from now on,
// free-name candidates included) to match and returns true. Returns false after any other
// failure, or when the name cannot be shortened.
bool shorten_name_too_long(std::span<char> name, std::size_t *room);

// Shortens name to at most max_len bytes when it is longer: the base is cut at a character
// boundary and a short extension (up to 32 bytes) is kept; a longer one is cut with the rest.
void fit_file_name(std::span<char> name, std::size_t max_len);

// True when name is not empty, not made only of dots and spaces, and has no control byte
// (0x01-0x1F): a file of such a name can be created on every platform the tool runs on,
// unless it is a device name (below).
bool is_usable_file_name(const char *name);

// Length of the device name that name begins with, or 0: CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// COM0-COM9 or LPT0-LPT9 in any case, alone or before a dot or a space (whatever extension
// follows). Opening such a name on Windows opens the device, not a file.
std::size_t device_name_length(const char *name);

// Replaces each of " * / : < > ? \ | in name, over its whole length, by '_', passing over
// Shift_JIS double-byte characters unchanged.
void sanitize_file_name(char *name);

// Takes a header parameter value from src: between double quotes when src begins with one
// (to the terminator when the closing quote is missing), otherwise up to the line feed or
// terminator with trailing spaces dropped. Writes it, cut to dst's capacity, terminated, into
// dst and its length into *length_out (never below 0).
void take_param_value(const char *src, std::span<char> dst, std::int32_t *length_out);

// The value take_param_value takes, as a view into src (quotes excluded).
std::string_view param_value_view(const char *src);

// Finds the first "charset=" parameter (its name in any case, at the start of text or after
// ';', a space or a tab) in text, a "Content-Type:" header line or one of its continuation
// lines. Returns false when there is none. Otherwise stores its value in *value_out as given,
// unquoted: between double quotes (to the line end when the closing one is missing), or up to
// ';', white space or the line end. A value of more than MAX_CHARSET_LENGTH bytes, or with a byte
// outside A-Z a-z 0-9 - _ . : + ( ), is no charset name: stored empty.
bool find_charset_param(std::string_view text, std::string_view *value_out);

// The longest charset name find_charset_param takes.
inline constexpr std::size_t MAX_CHARSET_LENGTH = 40;

// True when name ends in suffix, ignoring ASCII case.
bool has_suffix_nocase(std::string_view name, std::string_view suffix);

// Gives the NUL-terminated name in name an extension a browser opens it by: unless it ends in
// one of kept (each with its dot, ASCII case ignored), added (".htm", with its dot) is put in
// place of ".dec" when name is default_name and ends so, and appended to the name otherwise,
// after trailing dots and spaces (which Windows would drop) are taken off. A name longer than
// name's buffer holds with it is first cut (fit_file_name). A name that is no usable file name
// (is_usable_file_name) once its trailing dots and spaces are off is left without them, for
// the caller's default.
void give_extension(std::span<char> name, std::string_view added,
                    std::span<const std::string_view> kept, const char *default_name);

// Cuts line at every line feed (in place) and copies its last path segment (after the last
// '/' or '\' byte) into dst, cut to dst's capacity. An empty segment leaves dst unchanged.
void take_base_name(char *line, std::span<char> dst);

// alloc.cpp

// Allocates size bytes. On failure prints "malloc error (3).\n" to standard error, waits
// 3000 ms (pause_for_person) and ends the process with status -3; never returns null.
char *checked_alloc(std::size_t size);

// Makes every failed allocation of the process, the standard containers' included, end as a
// failed checked_alloc does. Called once at start.
void install_alloc_failure_handler();

// Releases a block from checked_alloc; null is ignored.
void checked_free(char *block);

// part_names.cpp

// What a part's file may never be: a name of the batch (its archives, the run log), compared
// ignoring ASCII case, or, by identity whatever name reaches it, one of guarded_files.
// guarded_files is sorted by volume, then index.
struct name_guard {
    const name_set *reserved_names = nullptr;
    std::span<const file_identity> guarded_files;
};

// Sorts files as a name_guard holds them.
void sort_guarded_files(std::span<file_identity> files);

// True when name is one of guard's reserved names, ignoring ASCII case.
bool is_reserved_name(const char *name, const name_guard &guard);

// True when file is one of guard's files.
bool is_guarded_file(const file_identity &file, const name_guard &guard);

// The run log's first name.
inline constexpr char RUN_LOG_NAME[] = "log.csv";

// True for a name that a run log has or had, ignoring ASCII case: "log.csv", "log_NNNN.csv"
// (four or more digits), and "log_NNNN_NNNN.csv" and so on, as a log search that went on from
// a name taken by another run once gave.
bool is_run_log_name(std::string_view name);

// Settles the file name of a part, in place (name holds at least NAME_SIZE bytes): cut to 255
// bytes keeping a short extension (and sanitized again over its whole length after a cut: the
// name comes sanitized, or is the default name, which is not), trailing dots and spaces
// dropped, moved off a device name. A name no file system holds ("", dots, control bytes)
// becomes default_name made unique. With replaces_files (a part that replaces a file of its
// name), a reserved name is made unique instead; whoever opens it checks an existing entry of
// that name (is_guarded_file, is_run_log_name).
void settle_part_name(std::span<char> name, const char *default_name, const name_guard &guard,
                      bool replaces_files);

// fatal.cpp

// Capacity of the operating system's reason for a failure, as fail_run_file writes it.
inline constexpr int REASON_SIZE = 512;

// Whether the waits meant for a person are taken: the 3000 ms before a fatal exit (here and
// in the allocation failure) and after the summary. On until set off (a script runs the tool).
void set_person_pauses(bool wanted);

// Waits milliseconds when the waits meant for a person are taken; otherwise returns at once.
void pause_for_person(int milliseconds);

// Prints the printf-style message on the console, waits 3000 ms (pause_for_person) and ends
// the process with status 1. Every unrecoverable condition of the tool ends here.
[[noreturn, gnu::format(printf, 1, 2)]] void fail_run(const char *format, ...);

// Like fail_run, for an operation on the file file_name that failed in the platform layer
// (open, write, close, rename, remove): the console message is the same, and standard error
// also gets "<program>: <file_name>: <reason>\n" with the operating system's reason for that
// failure (os_error_text), taken before anything else is done.
[[noreturn, gnu::format(printf, 2, 3)]] void fail_run_file(const char *file_name,
                                                           const char *format, ...);

// name_by_number.cpp / name_by_date.cpp: each program links one of them

// The program's name, "fenwrack" or "fenwrack_dated": for --version and error reasons.
extern const char PROGRAM_NAME[];
