// The only door to the operating system: text-mode and binary file streams, the "*.mht"
// listing, existence test, rename without replace, remove, console and its progress line,
// Ctrl-C, a monotonic clock, sleep and exit; and a byte search whose speed does not depend on
// the C runtime's.
//
// Text-mode rules, the same on every platform: reading drops every CR byte and a 0x1A byte
// ends the input like end of file; positions count the bytes of the file as stored; writing
// stores each "\n" as CR LF.
#pragma once

#include <compare>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// find_byte_sse2.cpp, find_byte_portable.cpp

// The first of count bytes at text that equals byte, or null: memchr at vector speed whatever
// the C runtime (some runtimes' memchr looks at one byte at a time), for the scans every byte
// of an archive passes through.
const char *find_byte(const char *text, char byte, std::size_t count);

// The first position at or after from where wanted occurs in text, or npos: text.find(wanted,
// from), at vector speed whatever the standard library.
std::size_t find_text(std::string_view text, std::string_view wanted, std::size_t from = 0);

// text_file.cpp

// A text-mode input stream over a file. Fields are the reader's own; use the functions.
struct text_input {
    std::FILE *file = nullptr;
    char *block = nullptr;          // raw file bytes, as stored
    std::size_t block_len = 0;      // bytes in block
    std::size_t block_pos = 0;      // next byte to read in block
    std::int64_t block_start = 0;   // file offset of block[0]
    std::int64_t line_start = 0;    // file offset where the last line read began
    bool file_end = false;          // the file has no bytes after block
    char byte_before_block = '\n';  // the stored byte before block[0] ('\n' at the file's start)
    std::size_t eot_from = 0;       // block offsets [eot_from, eot_pos) hold no 0x1A byte
    std::size_t eot_pos = 0;        // (the stretch searched so far)
    bool eot_ends_input = true;     // false: a 0x1A byte is read like any other byte
    bool keeps_cr = false;          // true: CR bytes are read like any other byte
};

// How text_open_own reads a file.
enum read_rule : int {
    READ_TEXT = 0,         // the text-mode rules: CR dropped, 0x1A ends the input
    READ_TEXT_TO_END = 1,  // CR dropped, 0x1A read like any other byte
    READ_BYTES = 2         // every byte as the file stores it
};

// Opens name for text-mode reading. Returns false (and leaves in closed) when it cannot be
// opened or is not a regular file. With eot_ends_input false only the CR rule applies: a 0x1A
// byte is text like any other (for rewriting a file without losing a byte of it).
bool text_open_read(text_input *in, const char *name, bool eot_ends_input = true);

// Reads like fgets into line: at most line.size() - 1 bytes, stopping after the first "\n",
// then a terminator. CR bytes are dropped; a 0x1A byte or the end of the file ends the input.
// Returns false, with line unchanged, when no byte was left to read.
bool text_read_line(text_input *in, std::span<char> line);

// Reads like text_read_line and stores the number of bytes stored before the terminator in
// *count_out (NUL bytes read from the file included).
bool text_read_line_counted(text_input *in, std::span<char> line, std::size_t *count_out);

// A line as the reader delivers it: its text (CR bytes dropped; NUL bytes may be among it) and
// whether a line feed ended it.
struct text_line {
    const char *text = nullptr;
    std::size_t len = 0;
    bool line_feed = false;
};

// Reads like text_read_line into line (at most line.size() - 1 bytes, the line feed counted),
// but hands a line that lies whole in the reader's block over where it lies, uncopied; other
// lines are copied into line. line_out->text stays valid until the next read or seek.
bool text_read_line_in_place(text_input *in, std::span<char> line, text_line *line_out);

// Reads text (CR bytes dropped) into dst until it is full or the input ends. Returns the number
// of bytes stored, 0 at the end of the input. No terminator is stored.
std::size_t text_read_text(text_input *in, std::span<char> dst);

// The unread bytes of the reader's block as the file holds them (CR bytes and all): for a
// caller that takes whole lines from them itself. They are not searched for a 0x1A byte, which
// ends the input, so the caller takes only lines without one. Empty when the block is used up
// (the next read fills it again). Valid until the next read or seek.
std::string_view text_unread_block(const text_input *in);

// Passes over the first count bytes of text_unread_block's view, whole lines ending with a
// line feed and holding no 0x1A byte; the line at line_offset among them counts as the last
// line read (text_line_start).
void text_pass_lines(text_input *in, std::size_t count, std::size_t line_offset);

// The rule the reads of in follow now.
read_rule text_rule(const text_input *in);

// Makes the following reads of in take the file's bytes by rule (the position stays): for a
// stretch of a file stored otherwise than the text around it, as a body held byte for byte.
void text_set_rule(text_input *in, read_rule rule);

// Current position, in stored bytes from the start of the file.
std::int64_t text_tell(const text_input *in);

// File offset where the line returned by the last text_read_line began.
std::int64_t text_line_start(const text_input *in);

// True when the next read begins a line of the file: at the file's start or right after a line
// feed, not where a read cut by its size stopped (the rest of that line comes next).
bool text_at_line_start(const text_input *in);

// Moves to an absolute position in stored bytes (clamped to 0 and the end of the file).
void text_seek(text_input *in, std::int64_t position);

void text_close(text_input *in);

// An output stream: binary ("wb") stores bytes as given; text ("w", "a") stores "\n" as CR LF.
// A failed write is remembered and reported by out_close.
struct out_stream {
    std::FILE *file = nullptr;
    char *buffer = nullptr;  // the stream's buffer, released by out_close
    bool text = false;
    bool failed = false;
    int error = 0;  // errno of the first failed write
};

// Opens name with mode "wb", "w" or "a". Returns false when it cannot be opened.
bool out_open(out_stream *out, const char *name, const char *mode);

enum create_result : int {
    CREATE_OK = 0,
    CREATE_EXISTS = 1,  // an entry of that name exists (a dangling link included)
    CREATE_FAILED = 2
};

// Creates name as a new file and opens it with mode "wb", "w" or "a"; never opens an entry
// that exists, whatever it is, so two writers never share a new file.
create_result out_create_new(out_stream *out, const char *name, const char *mode);

// What a file is, whatever name reaches it (a hard link, a short alias): device and inode, or
// volume serial and file index.
struct file_identity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;

    // one file exactly when both are equal; ordered by volume, then index
    friend auto operator<=>(const file_identity &, const file_identity &) = default;
};

enum existing_result : int {
    EXISTING_PLAIN = 0,  // opened: a regular file that the name itself reaches
    EXISTING_GONE = 1,   // no entry of that name
    EXISTING_OTHER = 2,  // not opened: a symbolic link, folder, FIFO, device, a name that
                         // reaches a file elsewhere
    EXISTING_FAILED = 3  // not opened: the system refused (os_error_text tells why)
};

// Opens the existing file name for writing with mode "wb" or "a" without changing a byte of it,
// only when it is a regular file that the name reaches itself (not through a symbolic link or
// another redirection; checked on the opened file, so a name changed meanwhile is never
// followed), and stores what it is in *identity_out. The caller checks the identity, then
// empties the file with out_truncate before writing, or closes it untouched.
existing_result out_open_existing(out_stream *out, const char *name, const char *mode,
                                  file_identity *identity_out);

// Opens the existing file name for text-mode reading (as text_open_read) only when it is a
// regular file that the name reaches itself (checked on the opened file, as out_open_existing
// checks) and is the file expected, whatever name reaches it. EXISTING_OTHER when it is
// anything else (a symbolic link, another file put in its place); in stays closed then.
existing_result text_open_own(text_input *in, const char *name, const file_identity &expected,
                              read_rule rule);

// Empties the file out_open_existing opened. Returns false when it cannot be emptied.
bool out_truncate(out_stream *out);

// Stores what the open stream's file is in *identity_out. Returns false when it cannot tell.
bool out_identity(const out_stream *out, file_identity *identity_out);

// Hands what the stream holds to the system now. A failure is reported by out_close.
void out_flush(out_stream *out);

void out_write(out_stream *out, const char *data, std::size_t count);

void out_text(out_stream *out, std::string_view text);

// Closes the stream. Returns false when any write or the close itself failed; the first
// failure is then the reason os_error_text reports.
bool out_close(out_stream *out);

// posix.cpp / windows.cpp (list_mht_names: mht_names.cpp, over list_entry_names)

// Lists the entries of the current folder (files and folders, not "." or "..") whose names
// end in ".mht" ignoring ASCII case, sorted by their names with ASCII a-z folded to A-Z and
// compared byte-wise. Both platforms list the same archives.
// Archives whose names cp932 cannot hold go to unnamed_out instead, as list_entry_names shows
// them, in the same order.
void list_mht_names(std::vector<std::string> *names_out, std::vector<std::string> *unnamed_out);

// True when a file or folder called name exists in the current folder.
bool entry_exists(const char *name);

// The bytes that stand for the file name in a file: URL on this system, as a browser takes a
// file's name into one: on POSIX the name's own bytes (names are bytes there); on Windows the
// UTF-8 of the name's characters as the system stores them.
void name_as_url_bytes(const char *name, std::string *bytes_out);

// True where names that differ only in ASCII letter case denote one file (Windows); false where
// every byte of a name counts (POSIX).
bool names_fold_case();

// Renames from to to; fails (returns false) when to already exists or from does not.
bool rename_no_replace(const char *from, const char *to);

// Renames from to to in one step, replacing a file to (never a folder). At every moment to is
// either its former file or from's. Returns false when the rename failed.
bool rename_replace(const char *from, const char *to);

enum entry_kind : int {
    ENTRY_NONE = 0,     // no entry of that name
    ENTRY_REGULAR = 1,  // a regular file (not reached through a symbolic link)
    ENTRY_OTHER = 2     // a symbolic link (even dangling), folder, FIFO, device, ...
};

// Tells what the entry name is, without following a symbolic link; fills *identity_out for a
// regular file.
entry_kind inspect_entry(const char *name, file_identity *identity_out);

// Every entry name of the current folder (not "." or ".."), in no particular order. An entry
// whose name cp932 cannot hold (Windows: a character cp932 lacks) is left out; when unnamed_out
// is given, it receives each such name as the console can show it ('?' for what cp932 lacks).
void list_entry_names(std::vector<std::string> *names_out,
                      std::vector<std::string> *unnamed_out = nullptr);

// Removes the file name. Returns false when it could not be removed.
bool remove_file(const char *name);

// Moves into *names_out the names this process freed since the last call (files removed or
// renamed away). Returns false when there were too many to keep: then any may have been freed.
bool take_freed_names(std::vector<std::string> *names_out);

// Notes text (a literal) as the reason os_error_text reports: for a failure this layer did not
// see, as a file that is not what it should be.
void note_reason(const char *text);

// True when the last failed file operation of this layer failed because the name is too long
// for the file system (it said so, or it would have stored the name cut): a shorter name may
// do.
bool failure_is_name_too_long();

// Reason of the last failed file operation of this layer: the open of a stream above, a write
// or the close of an output stream, a rename or a removal. Writes it, cut to fit and
// terminated, into text: strerror's text for a C library call (English: the C locale is never
// left), FormatMessage's text as cp932 for a call of Windows' own. "unknown error" when
// nothing has failed yet.
void os_error_text(std::span<char> text);

// console.cpp

// Console texts are cp932 bytes. To a pipe or a file they go as they are (on Windows the C
// runtime's text-mode streams store each "\n" as CR LF). To a terminal whose encoding is not
// cp932 they are converted: on POSIX to the codeset of the user's locale (LC_CTYPE from the
// environment, read once and put back at once, so nothing else sees it), a character that
// encoding lacks becoming '?'; on Windows to UTF-16 for WriteConsoleW, whatever the console's
// code page. A double-byte character split over two writes comes out whole.

// Names of files and folders may hold any byte. Into a pipe or a file they go as they are; on a
// terminal every byte of a name that it would take as control shows as '?': C0 control bytes,
// DEL, and a cp932 lead byte without a valid trail byte. The bytes of messages are never
// changed.

// Writes text to standard output.
void console_write(std::string_view text);

// Formats like printf and writes the text to standard output. Every "%s" argument is a name,
// shown as names are; a format that is "%s" alone writes its argument as a message, unchanged.
[[gnu::format(printf, 1, 2)]] void console_printf(const char *format, ...);

[[gnu::format(printf, 1, 0)]] void console_vprintf(const char *format, std::va_list args);

// Writes text to standard error, after what standard output holds so far.
void console_error(std::string_view text);

// Formats like console_printf (every "%s" argument a name) and writes the text to standard
// error in one write, after what standard output holds so far.
[[gnu::format(printf, 1, 2)]] void console_error_printf(const char *format, ...);

// Reads one line from standard input, after making what was written to standard output
// visible: stores like fgets at most line.size() - 1 bytes of it (with its "\n" when that
// fits) and a terminator, and reads and drops the rest of a longer line up to and including
// its "\n". Returns false at end of input.
bool console_read_line(std::span<char> line);

// Flushes the console streams and ends the process with status.
[[noreturn]] void exit_process(int status);

// progress.cpp

// Starts the progress line of a run over total archives. It is shown only when standard
// output is a terminal (a console on Windows), and only once the run has taken half a second.
void progress_start(int total);

// Notes that the archive name is being split, done archives before it; the line shows it when
// due (at most four times a second). Any other console text erases the line first.
void progress_archive(int done, const char *name);

// Draws what was noted last when it is due and not shown yet: for the walk to call between
// the parts of a long archive.
void progress_poll();

// Erases the line for good: what is written next starts at column 0, and a pipe or file holds
// the bytes of a run that never showed progress.
void progress_end();

// run_posix.cpp / run_windows.cpp

// From now on Ctrl-C and the requests to stop that a closing terminal or the system sends
// (POSIX: SIGINT, SIGHUP, SIGTERM; Windows: the console's Ctrl-C, close, logoff and shutdown
// events) only record a request to stop, which interrupt_requested reports: the batch stops
// where every file is whole. On Windows a close, logoff or shutdown waits for the batch to end
// the process, as long as the system allows.
void catch_interrupts();

// Back to the system's handling of those requests (the program ends at once).
void release_interrupts();

// True when a request to stop came since catch_interrupts. Safe to ask at any time.
bool interrupt_requested();

// The exit status of a run that a request to stop ended: on POSIX 128 + the first signal that
// came (130 for Ctrl-C), as a shell reports a program that signal ended; STATUS_CONTROL_C_EXIT
// (0xC000013A) on Windows, as the system reports a console program that Ctrl-C ended.
int interrupted_status();

// Milliseconds on a clock that never goes back (not the time of day), for pacing.
std::int64_t monotonic_ms();

// sleep.cpp (the programs) or a fake in test builds

// Waits milliseconds.
void sleep_ms(int milliseconds);

// posix.cpp / windows.cpp: the command line and the folders it names

// One argument of the command line as the tool names files: its bytes (on Windows cp932, from
// the UTF-16 command line whatever the ANSI code page), and whether they are the argument
// itself (false: a character cp932 lacks shows as '?', and no file of the tool's has that name).
struct command_argument {
    std::string text;
    bool exact = true;
};

// The arguments after the program's name, in order, into *args_out.
void take_arguments(int argc, char **argv, std::vector<command_argument> *args_out);

enum path_kind : int {
    PATH_NONE = 0,    // nothing there, or the system refused to look (the reason noted)
    PATH_FOLDER = 1,  // a folder (reached through a symbolic link too)
    PATH_FILE = 2,    // a regular file (reached through a symbolic link too)
    PATH_OTHER = 3    // a device, FIFO, socket
};

// Tells what path (relative to the current folder, or absolute) names, following symbolic
// links, and stores what a folder or file is in *identity_out.
path_kind inspect_path(const char *path, file_identity *identity_out);

// Length of the folder part of path, separators included: up to and including its last '/'
// (Windows: '/', '\' or the ':' of a drive, never the trail byte of a cp932 character), 0 when
// path has none. "pages/a.mht" gives 6, "a.mht" 0.
std::size_t folder_part_length(std::string_view path);

// Makes path the current folder, taken from the folder the process was started in whatever
// folder is current now ("" is that folder itself; an absolute path is taken as it is).
// Returns false, the reason noted for os_error_text, when it cannot be entered.
bool enter_folder(const char *path);

// mht_names.cpp: archives beside "*.mht"

// Lists as list_mht_names does; with with_mhtml the entries whose names end in ".mhtml"
// (ASCII case ignored) too, among the others in the same order.
void list_archive_names(bool with_mhtml, std::vector<std::string> *names_out,
                        std::vector<std::string> *unnamed_out);

// run_posix.cpp / run_windows.cpp: limits of the process

// From now on a write beyond the file-size limit the process runs under (POSIX: RLIMIT_FSIZE,
// "ulimit -f") fails as a write to a full disk does (EFBIG), instead of ending the process
// with a signal.
void fail_writes_over_size_limit();
