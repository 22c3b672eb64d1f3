// Shared by the files of the archive room only.
#pragma once

#include "archive/archive.hpp"
#include "platform/platform.hpp"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Console texts, cp932 bytes.
// 出力ファイルを開けませんでした。\n(%s)\n
inline constexpr char MSG_OUTPUT_OPEN[] =
    "\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81"
    "B\n(%s)\n";
// 　%s は書き出したファイルではないため、参照を書き換えません。\n
inline constexpr char MSG_LEFT_ALONE[] =
    "\x81@%s \x82\xcd\x8f\x91\x82\xab\x8fo\x82\xb5\x82\xbd\x83t\x83@\x83"
    "C\x83\x8b\x82\xc5\x82\xcd\x82\xc8\x82\xa2\x82\xbd\x82\xdf\x81"
    "A\x8eQ\x8f\xc6\x82\xf0\x8f\x91\x82\xab\x8a\xb7\x82\xa6\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n";

// One replacement of a rewrite: every occurrence of old_text (not empty) becomes new_text.
struct replacement {
    std::string_view old_text;
    std::string_view new_text;
};

// A rewrite pass looks at a line in pieces of at most this many bytes (a read of 10238 bytes
// and the terminator): an occurrence split between two pieces stays as it is.
inline constexpr std::size_t PIECE_SIZE = LINE_BUFFER_SIZE - 2;

// replace_at_once.cpp

// Rewrites with fewer passes than this run them one by one.
inline constexpr std::size_t AT_ONCE_FROM_PASSES = 8;

// What the passes of a rewrite look for, indexed so that one scan of a text finds them all.
// Fields are replace_at_once's own.
struct pattern_table {
    bool usable = false;      // every text sought has 4 bytes or more, no text holds a line end
    std::size_t longest = 0;  // the longest text sought
    std::vector<std::size_t> lengths;         // the lengths of the texts sought, ascending
    std::vector<std::string_view> texts;      // each distinct text sought, once
    std::vector<std::uint32_t> last_pass;     // per text, the last pass seeking it
    std::vector<std::uint32_t> passes_from;   // per text and one more: where its passes begin in
    std::vector<std::uint32_t> passes;        // the passes seeking each text, text by text
    std::vector<std::string_view> new_texts;  // per pass, what it puts in place of its text
    std::unordered_multimap<std::uint64_t, std::uint32_t> by_key;  // hash and length -> text
    std::vector<std::uint64_t> starts;  // a bit per hash of a text's first four bytes
    std::vector<std::uint64_t> powers;  // the hash's base to the powers 0 to longest
};

// Indexes the replacements (which must outlive the table). A table of fewer than
// AT_ONCE_FROM_PASSES replacements, or of any that replace_at_once cannot take, is not usable.
void fill_pattern_table(pattern_table *table, std::span<const replacement> replacements);

// Where a scan stands in the text given to it so far: in the line it has begun (if any), what
// it holds back of it and what the passes did in it so far. Fields are replace_at_once's own.
struct at_once_state {
    bool in_line = false;      // a line begun in an earlier step goes on
    std::string carry;         // the line's bytes from carry_at on, held back
    std::size_t carry_at = 0;  // offsets in the line:
    std::size_t scanned = 0;   // where the next occurrence may begin
    std::size_t emitted = 0;   // how much of the line went out
    std::size_t max_end = 0;   // the furthest end of the occurrences found
    std::uint32_t max_end_id = 0;
    std::size_t picked_end = 0;        // the end of the last occurrence a pass takes
    bool picked_any = false;           // there is one
    bool picked_at_first = false;      // the first pass seeking its text replaced it
    std::vector<std::int64_t> growth;  // per pass, what its replacements in the line added to
                                       // its length (a Fenwick tree, one-based)
    std::vector<std::pair<std::uint32_t, std::int64_t>> grown;  // the additions, to undo them
    std::vector<std::uint64_t> prefix;  // scratch for the hashes of a stretch
};

// Appends to out what the table's passes, one after another, give of text, the next bytes of a
// text (CR dropped) after those the calls before gave the same state (at_end: the text ends
// after them). Each pass cuts every line into pieces of PIECE_SIZE bytes where its own text
// (what the passes before it gave) puts them, and an occurrence cut stays; the scan follows
// where each pass cuts. The end of a line that goes on after text is held back for the next
// call. The passes can meet in a line: occurrences of two texts overlap, a text brought in
// would be found by a later pass, or two occurrences are too close for the scan to tell. Then
// the scan leaves the passes the rest from that line's start: *taken_out says how much of text
// it took, and out holds what the passes give of that. Returns false when that line began in
// an earlier call: out and the state then hold text that the passes cannot go on from (the
// caller must start the text again without the scan).
bool replace_at_once_step(const pattern_table &table, at_once_state *state, std::string_view text,
                          bool at_end, std::string *out, std::size_t *taken_out);

// Appends to out what the table's passes give of the whole of text (see replace_at_once_step),
// found and replaced in one scan. Returns false, out unchanged, when the passes could meet.
bool replace_at_once(const pattern_table &table, std::string_view text, std::string *out);

// replace_txt.cpp

enum rewrite_result : int {
    REWRITE_DONE = 0,
    REWRITE_LEFT_ALONE = 1  // not the file expected: untouched, and the console says so
};

// Rewrites the text file file_name as one replace_txt call per replacement, in order, would:
// each pass looks at every line in pieces of 10238 bytes and replaces left to right. Every byte
// of the file is kept (NUL and 0x1A are text; CR is dropped and "\n" stored as CR LF). The new
// text is written beside the file and renamed over it, so the file is never left cut. A file
// that is gone, or cannot be read or replaced, ends the run. With expected, the file is read
// only when it is that file, reached by its own name (no symbolic link); anything else is left
// alone, with a message; after a rewrite *expected is the new file. Just before the rename the
// name must still reach what it reached when the file was opened (or nothing): another file put
// in its place meanwhile is left alone, with the same message, and the new text is dropped.
rewrite_result rewrite_text_file(const char *file_name, std::span<const replacement> replacements,
                                 file_identity *expected = nullptr);

// For tests: when set, rewrite_text_file calls it with the file's name after writing the new
// text and before checking what the name reaches.
extern void (*rewrite_before_rename_hook)(const char *file_name);

// What rewrite_text_file gives of a file holding text (no CR): the replacements as passes
// over its lines, one after another.
std::string rewrite_text(std::string_view text, std::span<const replacement> replacements);

// Creates the work file that receives a file's new bytes beside it, "%s.cpy" of file_name
// (shortened to what a file system holds), exclusively: a name taken moves on to the next free
// one. Opens it with mode into *out and stores its name in work_name (NAME_SIZE bytes or more).
// Returns false (reason noted) when it cannot be created.
bool create_work_file(const char *file_name, std::span<char> work_name, out_stream *out,
                      const char *mode);

// encoded_location.cpp

// Reads a location written as encoded words: decodes the word of the "Content-Location:" line
// held in line and the word of each line that follows it in archive, one word per physical
// line, appending them to out_name (see decode_encoded_word). Continuation lines are read
// into line, in pieces of at most LINE_BUFFER_SIZE bytes; scratch takes each decoded word.
// The first line without a word is put back from its start, so the next read returns it (all
// of it when it was read in pieces); the line passed in is never put back (it would be handed
// over again without end): when the caller's read cut it, its rest goes back instead. At the
// end of the input the name gathered so far stands and archive stays at the end. After an
// encoding letter other than upper-case B or Q, out_name becomes default_name made unique,
// the console says so, and no line is put back.
void read_encoded_location(text_input *archive, std::span<char> line, std::span<char> scratch,
                           std::span<char> out_name, const char *default_name);

// offline_links.cpp

// Per file written: the last output written as it (by identity), whose own turn rewrites it.
using last_outputs = std::map<file_identity, std::size_t>;

last_outputs last_output_of_each_file(std::span<const output_entry> outputs);

// True when a later part replaced the file of output k (they carried one name): the later one
// is the file on disk now, and its own turn rewrites it (or leaves it, when it is no page).
bool is_replaced_later(std::span<const output_entry> outputs, const last_outputs &last,
                       std::size_t k);

// What pages that open offline need to know of a written part.
struct part_links {
    // its Content-Location as the headers gave it (encoded words decoded); a relative one
    // resolved against the enclosing multipart's Content-Location or Content-Base
    std::string location;
    std::string content_id;    // its Content-ID, without the angle brackets
    bool style_sheet = false;  // text/css
    bool xhtml = false;        // application/xhtml+xml: a page like text/html
    // the Content-Type's charset parameter, unquoted, as given ("" when none; at most 40 bytes
    // are kept: a longer one is no charset name)
    std::string charset;
    // the run converted the part's text from ISO-2022-JP to Shift_JIS (a 7bit or 8bit body
    // that held the converter's escape sequences)
    bool converted_to_sjis = false;
};

// Points every reference in the HTML and style sheet outputs that names one of the outputs'
// parts at that part's file, as a relative, percent-encoded reference (see README). A reference
// names a part when, resolved against its page's base (the page's first <base href>, else its
// location; a style sheet's location), it is the part's location, as the page's text names it
// after renames (the pages' text took each of renames, old name to new, one after another), or
// when it is "cid:X" and the part's Content-ID is X. Each output is rewritten through a work
// file that takes its name when whole, only as the file written for it; anything else in its
// place is left alone, and the console says so.
// links holds what is known of each output's part, in the same order.
void link_outputs_offline(std::span<output_entry> outputs, std::span<const part_links> links,
                          const std::vector<std::pair<std::string, std::string>> &renames);
