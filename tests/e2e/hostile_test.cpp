// Archives built to hurt, run through the whole program in a fresh folder. For each: no crash
// and no sanitizer report (CI runs this in the AddressSanitizer build too), the exit status the
// rules give, every file written inside the folder as a plain file, the archive unchanged.
//
// Limits of the data model, what the tool does beyond each, and where that is tested. HA/ is
// Cases/HostileArchives.EndAsTheRulesSay/ and H. is Hostile. (both in this file).
//
// clang-format off
// | limit                         | what happens                                | tested in
// |-------------------------------|---------------------------------------------|------------------
// | 17th and later "boundary="    | the list of open boundaries grows to 1,024; | HA/1_100_nested_
// |                               |   past that a declaration takes the place   |   multiparts
// |                               |   of the innermost; closed ones are dropped |
// | boundary of 64 bytes or more  | its block grows to fit, never cut           | HA/10_000_byte_
// |                               |                                             |   boundary
// | declaration over a header     | the boundary is what the read holds (quote  | HA/boundary_longer_
// |   read (10238 bytes)          |   missing: to the piece's end); delimiter   |   than_a_read
// |                               |   lines, cut alike, still begin with it     |
// | 4096th and later part         | the output list grows                       | HA/5_000_parts
// | part name of 256 bytes or more| cut to 255 bytes at a character boundary,   | HA/9_000_byte_
// |                               |   keeping an extension of up to 32 bytes;   |   location...; FitFileName;
// |                               |   two cut onto one name keep both bodies    |   HA/two_long_names_...
// | header line of 10238 bytes or | read in pieces of 10238 bytes, each a line  | HA/9_000_byte_location..,
// |   more                        |   (the line feed left over starts no body); |   HA/50_MB_line_in_the_
// |                               |   a Content-Location cut so is decoded once;|   headers; HA/header_lines_
// |                               |   a continuation line goes back whole       |   that_fill_a_read
// | body line of 10238 bytes or   | read in pieces of 10239 bytes; a text body  | SplitArchive.WritesEach
// |   more                        |   keeps 10237 of a full piece, prints the   |   PartAsTheHeadersSay;
// |                               |   message and ends it with CR LF            |   HA/50_MB_line_in_a_body
// | qp line of 10238 bytes        | decodes to 10240 bytes and the terminator:  | HA/longest_quoted_
// |                               |   the work buffer holds 10244               |   printable_line
// | base64 group cut by the end   | characters present decode, the rest count 0,| Base64Vectors (Cut* rows)
// |                               |   the group counts three bytes              |
// | qp '=' in the last two bytes  | lone '=': nothing; '=' and one byte: that   | QuotedPrintableVectors;
// |                               |   byte's value; never past the terminator   |   HA/escape_at_the_very_end..
// | ISO-2022-JP escape or pair cut| a cut escape yields nothing; a lone last    | JisToSjisVectors;
// |   by the line end             |   byte is kept as it stands                 |   HA/escape_at_the_very_end..
// | encoded words over out_name   | cut at a character boundary, then to 255    | ScratchDirTest.NameThatDoes
// |   (10240 bytes)               |   bytes like any name                       |   NotFitIsCutAtCharacter;
// |                               |                                             |   HA/encoded_words_beyond..
// | encoded word never closed;    | runs to the line end, never past the        | HA/encoded_words_never_
// |   input ending in a header    |   terminator; the name so far stands        |   closed; ScratchDirTest.
// |                               |                                             |   LineEndingAtLetter...
// | quoted parameter not closed   | the value runs to the line end              | TakeParamValue
// | post number over 250 digits,  | the page keeps its name (never a cut        | HtmRename.MarkerRules,
// |   new page name over 255      |   number); page_name cut at a character     |   HtmRenameDated.NamingRule
// | thumb_name, src_name (10240)  | cut at their buffers; names in the output   | RenameTempImages.NameLonger
// |                               |   list grow their blocks                    |   ThanItsBlockGrowsTheBlock
// | "%s_%03d.tmp" over 255 bytes  | the page name is cut to leave room          | H.LongPageNameKeepsIts...
// | replace_txt line growing past | written out as produced, any length         | ReplaceTxt.Replacements
// |   10239 bytes                 |                                             |
// | work copy of a name over 251  | "%s.cpy" has its base shortened to 255      | ReplaceTxtLongName.*,
// |   bytes                       |   bytes; a taken name gets a fresh one      |   H.LongPageNameKeepsIts...
// | part named "", ".", "..",     | written under the archive's default name,   | H.UnusableNames...
// |   only dots, control bytes    |   made unique                               |
// | device names (CON, PRN, AUX,  | "_0001" (first free) after the device part: | H.UnusableNames...,
// |   NUL, COM0-9, LPT0-9, CONIN$,|   nul.htm -> nul_0001.htm on every platform |   PlatformLayer.PageNamed
// |   CONOUT$, any extension)     |                                             |   LikeADeviceIsKeptOnWindows
// | name ending in dots or spaces | those are dropped, as the reference         | H.UnusableNames...
// |                               |   platform stores the name                  |
// | part named like an archive or | made unique; never overwrites them          | H.UnusableNames...
// |   the run log                 |                                             |
// | archive that is a folder      | the run ends: input missing, status 1       | HA/folder_named_like...
// | full disk while writing a     | the run ends with the matching message,     | WriteFailure.*
// |   part, the log, or a page    |   status 1; a page keeps its former content |
// clang-format on
#include "tests/common/console_texts.hpp"
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

// The log's header line as the file stores it.
const std::string STORED_LOG_HEADER = crlf(LOG_HEADER);

std::string
join(std::initializer_list<std::string_view> pieces)
{
    std::string all;
    for (const std::string_view piece : pieces)
        all.append(piece);
    return all;
}

// A multipart archive with boundary BB and the given parts (each its header lines, a blank
// line and its body, CR LF line ends), closed properly.
std::string
multipart(const std::vector<std::string> &parts)
{
    std::string archive = "MIME-Version: 1.0\r\nContent-Type: multipart/related;\r\n"
                          "\tboundary=\"BB\"\r\n\r\npreamble\r\n\r\n";
    for (const std::string &part : parts) {
        archive += "--BB\r\n";
        archive += part;
    }
    archive += "--BB--\r\n";
    return archive;
}

// A base64 image part named by its Content-Location; its body decodes to "ABC".
std::string
image_part(const std::string &location)
{
    return join({"Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n"
                 "Content-Location: ",
                 location, "\r\n\r\nQUJD\r\n\r\n"});
}

// True when the file holds exactly bytes (read in one piece: archives may be large).
bool
has_bytes(const fs::path &name, const std::string &bytes)
{
    if (fs::file_size(name) != bytes.size())
        return false;
    std::string stored(bytes.size(), '\0');
    std::ifstream in(name, std::ios::binary);
    in.read(stored.data(), static_cast<std::streamsize>(stored.size()));
    return in.gcount() == static_cast<std::streamsize>(bytes.size()) && stored == bytes;
}

// One hostile case: the archives to place (name -> bytes; a name mapped to FOLDER becomes a
// folder), the exit status, and what the folder must hold afterwards (name -> bytes; ANY for
// a file whose bytes are not compared). An empty expectation checks only the rules above.
const std::string FOLDER = "<folder>";
const std::string ANY = "<any>";

using folder_state = std::map<std::string, std::string>;

struct hostile_case {
    const char *title;
    std::function<folder_state()> archives;
    int status = 0;
    std::function<void(const fs::path &, const std::string &)> check = nullptr;
    std::string folder = "run";  // where the program runs, in the scratch folder
};

// Cases print as their titles.
void
PrintTo(const hostile_case &c, std::ostream *os)
{
    *os << c.title;
}

class Hostile : public ScratchDirTest
{
  protected:
    // Runs the program in scratch/run with the archives of c, checks the common rules and
    // returns the console output.
    std::string run_case(const hostile_case &c)
    {
        const fs::path run = scratch / c.folder;
        fs::remove_all(run);
        fs::create_directories(run);
        const folder_state archives = c.archives();
        for (const auto &[name, bytes] : archives) {
            if (bytes == FOLDER)
                create_input_folder(run, name);
            else
                write_input(run, name, bytes);
        }
        const program_result r = run_program("fenwrack_nosleep", run, "y\n\n");
        EXPECT_EQ(r.status, c.status);
        // nothing beside the folder, nothing but plain files in it, archives unchanged
        EXPECT_EQ(list_program_names(scratch), std::vector<std::string>{c.folder});
        for (const auto &entry : fs::directory_iterator(run)) {
            const std::string name = program_name(entry.path().filename().string());
            const auto found = archives.find(name);
            if (found != archives.end() && found->second == FOLDER) {
                EXPECT_TRUE(fs::is_directory(entry.path())) << name;
                EXPECT_TRUE(fs::is_empty(entry.path())) << name;
                continue;
            }
            EXPECT_TRUE(entry.is_regular_file() && !entry.is_symlink()) << name;
            if (found != archives.end()) {
                EXPECT_TRUE(has_bytes(entry.path(), found->second)) << name << " changed";
            }
        }
        if (c.check)
            c.check(run, r.out);
        return r.out;
    }
};

// The log's bytes after the header: every row of the run.
std::string
log_rows(const fs::path &run)
{
    const std::string log = read_file(run / "log.csv");
    return log.compare(0, STORED_LOG_HEADER.size(), STORED_LOG_HEADER) == 0
               ? log.substr(STORED_LOG_HEADER.size())
               : "<no header>" + log;
}

std::vector<std::string>
outputs_of(const fs::path &run)
{
    std::vector<std::string> names;
    for (const std::string &name : list_program_names(run)) {
        if (name != "log.csv" && name.find(".mht") == std::string::npos)
            names.push_back(name);
    }
    return names;
}

// あ (cp932 82 A0) count times: 2 bytes each, 3 in UTF-8.
std::string
a_times(int count)
{
    std::string name;
    for (int k = 0; k < count; ++k)
        name += "\x82\xa0";
    return name;
}

// 1040 lines of 62 'x' and CR LF: more than a read block of 64 KiB.
std::string
x_lines()
{
    std::string lines;
    for (int k = 0; k < 1040; ++k)
        lines += std::string(62, 'x') + "\r\n";
    return lines;
}

std::vector<hostile_case>
archive_cases()
{
    std::vector<hostile_case> cases;
    cases.push_back({"10,000-byte boundary",
                     [] {
                         const std::string b(10000, 'b');
                         return folder_state{
                             {"h.mht", join({"Content-Type: multipart/related; boundary=\"", b,
                                             "\"\r\n\r\n--", b,
                                             "\r\nContent-Type: text/plain\r\n"
                                             "Content-Location: http://x/one.txt\r\n\r\none\r\n--",
                                             b, "--\r\nepilogue\r\n"})}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         EXPECT_EQ(read_file(run / "one.txt"), "one\r\n");
                         EXPECT_EQ(log_rows(run), "h.mht,1,one.txt\r\n");
                     }});
    cases.push_back(
        {"boundary longer than a read",
         [] {
             const std::string b(10237, 'b');
             return folder_state{
                 {"h.mht", join({"Content-Type: text/plain; boundary=\"", b, "\"\r\n\r\n--", b,
                                 "\r\n\r\nbody\r\n--", b, "--\r\n"})}};
         },
         0,
         [](const fs::path &run, const std::string &) {
             // the declaration is cut by the read: the boundary is its first 10201
             // bytes, which the delimiter lines' first pieces begin with
             EXPECT_EQ(read_file(run / "h.dec"), "body\r\n");
             EXPECT_EQ(log_rows(run), "h.mht,1,h.dec\r\n");
         }});
    cases.push_back({"1,100 nested multiparts",
                     [] {
                         std::string archive;
                         for (int k = 0; k < 1100; ++k) {
                             const std::string b = std::to_string(k);
                             archive += join({"Content-Type: multipart/mixed; boundary=\"b", b,
                                              "\"\r\n\r\n--b", b, "\r\n"});
                         }
                         archive += "Content-Type: text/plain\r\nContent-Location: http://x/in.txt"
                                    "\r\n\r\ninner\r\n";
                         for (int k = 1099; k >= 0; --k)
                             archive += join({"--b", std::to_string(k), "--\r\n"});
                         archive += "Content-Type: text/plain\r\n\r\nafter the end\r\n";
                         return folder_state{{"h.mht", archive}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         EXPECT_EQ(read_file(run / "in.txt"), "inner\r\n");
                         EXPECT_EQ(log_rows(run), "h.mht,1,in.txt\r\n");
                     }});
    cases.push_back(
        {"5,000 parts",
         [] {
             std::vector<std::string> parts;
             for (int k = 0; k < 5000; ++k)
                 parts.push_back(image_part(join({"http://x/p", std::to_string(k), ".gif"})));
             return folder_state{{"h.mht", multipart(parts)}};
         },
         0,
         [](const fs::path &run, const std::string &) {
             EXPECT_EQ(outputs_of(run).size(), 5000u);
             EXPECT_EQ(read_file(run / "p4999.gif"), "ABC");
             const std::string rows = log_rows(run);
             EXPECT_EQ(rows.substr(0, 19), "h.mht,5000,p0.gif,p");
             EXPECT_EQ(rows.substr(rows.size() - 12), ",p4999.gif\r\n");
         }});
    cases.push_back(
        {"9,000-byte location and a 12,000-byte one",
         [] {
             return folder_state{
                 {"h.mht",
                  multipart({image_part(join({"http://x/", std::string(9000, 'n'), ".jpeg"})),
                             image_part(join({"http://x/", std::string(12000, 'm'), ".gif"}))})}};
         },
         0,
         [](const fs::path &run, const std::string &) {
             const std::string cut = join({std::string(250, 'n'), ".jpeg"});
             EXPECT_EQ(read_file(run / cut), "ABC");
             // the second location is cut by the read: its first piece names no
             // file, its second (all 'm') is a header line of its own
             EXPECT_EQ(outputs_of(run).size(), 2u);
             for (const std::string &name : outputs_of(run))
                 EXPECT_LE(name.size(), 255u) << name;
         }});
    cases.push_back({"archive of 0 bytes",
                     [] {
                         return folder_state{{"e.mht", ""}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         EXPECT_EQ(log_rows(run), "e.mht,0\r\n");
                     }});
    cases.push_back({"archive of one byte 0x1A",
                     [] {
                         return folder_state{{"e.mht", "\x1a"}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         EXPECT_EQ(log_rows(run), "e.mht,0\r\n");
                     }});
    cases.push_back({"archive without any line end",
                     [] {
                         return folder_state{{"e.mht", "Content-Type: text/plain"},
                                             {"f.mht", "Content-Type: text/plain\r\n\r\nno end"}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         EXPECT_EQ(read_file(run / "f.dec"), "no end\r\n");
                         EXPECT_EQ(log_rows(run), "e.mht,0\r\nf.mht,1,f.dec\r\n");
                     }});
    cases.push_back({"50 MB line in a body",
                     [] {
                         std::string body = "Content-Type: text/plain\r\n\r\n";
                         body.append(50000000, 'x');
                         body += "\r\n";
                         return folder_state{{"b.mht", body}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         // pieces of 10239 bytes keep 10237 each and end in CR LF
                         const std::size_t full = 50000000 / 10239;
                         const std::size_t rest = 50000000 % 10239;
                         EXPECT_EQ(fs::file_size(run / "b.dec"), full * 10239 + rest + 2);
                     }});
    cases.push_back({"50 MB line in the headers",
                     [] {
                         std::string header = "X-Long: ";
                         header.append(50000000, 'y');
                         header += "\r\nContent-Type: text/plain\r\n\r\nshort\r\n";
                         return folder_state{{"h.mht", header}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         EXPECT_EQ(read_file(run / "h.dec"), "short\r\n");
                     }});
    cases.push_back({"a lone CR between every byte reads as the archive without them",
                     [] {
                         const std::string plain = multipart(
                             {image_part("http://x/a.gif"),
                              "Content-Type: text/plain\nContent-Location: http://x/t.txt\n\n"
                              "line\n\n"});
                         std::string crs;
                         for (const char c : plain) {
                             if (c == '\r')
                                 continue;
                             crs += c;
                             crs += '\r';
                         }
                         return folder_state{{"c.mht", crs}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         EXPECT_EQ(read_file(run / "a.gif"), "ABC");
                         EXPECT_EQ(read_file(run / "t.txt"), "line\r\n\r\n");
                         EXPECT_EQ(log_rows(run), "c.mht,2,a.gif,t.txt\r\n");
                     }});
    cases.push_back(
        {"encoded words never closed",
         [] {
             return folder_state{
                 {"w.mht", multipart({"Content-Type: image/gif\r\n"
                                      "Content-Location: =?iso-2022-jp?B?GyRCJDMkcxsoQg\r\n"
                                      " =?shift_jis?Q?=83=65\r\n\r\nbody\r\n",
                                      "Content-Type: text/plain\r\n"
                                      "Content-Location: =?shift_jis?B?QUJD"})}};
         },
         0, nullptr});
    cases.push_back({"encoded words beyond every buffer",
                     [] {
                         std::string header = "Content-Type: image/gif\r\nContent-Location: ";
                         for (int k = 0; k < 400; ++k)
                             header +=
                                 "=?shift_jis?B?gqCCoIKggqCCoIKggqCCoIKggqCCoIKggqCCoA==?=\r\n ";
                         header += "=?shift_jis?Q?.gif?=\r\n\r\nbody\r\n";
                         return folder_state{{"w.mht", multipart({header})}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         const std::string rows = log_rows(run);
                         const std::string start = "w.mht,1,";
                         ASSERT_EQ(rows.compare(0, start.size(), start), 0) << rows;
                         const std::string name =
                             rows.substr(start.size(), rows.size() - start.size() - 2);
                         EXPECT_LE(name.size(), 255u);
                         const std::vector<std::string> outputs = outputs_of(run);
                         ASSERT_EQ(outputs.size(), 1u);
                         EXPECT_EQ(read_output(run, outputs[0]), "body\r\n");
                         // Windows holds this name whole (255 UTF-16 units); Wine stores names
                         // as UTF-8 and cuts one longer than the 255 bytes Linux holds
                         if (stored_name(name).size() <= 255)
                             EXPECT_EQ(outputs[0], name);
                         else
                             EXPECT_EQ(name.compare(0, outputs[0].size(), outputs[0]), 0);
                     }});
    cases.push_back({"escape at the very end of the file",
                     [] {
                         return folder_state{
                             {"q.mht", "Content-Type: text/plain\r\n"
                                       "Content-Transfer-Encoding: quoted-printable\r\n\r\nab="},
                             {"r.mht", "Content-Type: text/plain\r\n"
                                       "Content-Transfer-Encoding: quoted-printable\r\n\r\nab=4"},
                             {"s.mht", "Content-Type: text/plain\r\n"
                                       "Content-Transfer-Encoding: 7bit\r\n\r\nab\x1b$"},
                             {"t.mht", "Content-Type: text/plain\r\n"
                                       "Content-Location: =?shift_jis?B"}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         EXPECT_EQ(read_file(run / "q.dec"), "ab");
                         EXPECT_EQ(read_file(run / "r.dec"), std::string("ab\x04"));
                         // the line is given its CR LF first; "ESC $ CR" is then a whole
                         // three-byte escape and the CR goes with it
                         EXPECT_EQ(read_file(run / "s.dec"), "ab\n");
                     }});
    cases.push_back(
        {"longest quoted-printable line",
         [] {
             return folder_state{
                 {"q.mht", join({"Content-Type: text/plain\r\n"
                                 "Content-Transfer-Encoding: quoted-printable\r\n\r\n",
                                 std::string(10238, 'q'), "\r\n"})}};
         },
         0,
         [](const fs::path &run, const std::string &) {
             EXPECT_EQ(read_file(run / "q.dec"), join({std::string(10238, 'q'), "\r\n"}));
         }});
    cases.push_back(
        {"header lines that fill a read",
         [] {
             const std::string head = "Content-Type: image/gif\r\nContent-Location: "
                                      "=?shift_jis?Q?http://h/";
             const std::string tail = "\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD\r\n";
             // continuation lines of exactly one read and longer (naming the part in its first
             // piece) go back whole; the line feed after 10238 bytes is no blank line
             std::string exact = "\t=?shift_jis?B?REVG?=", longer = exact + " filename=zzz.txt";
             std::string x_long = "Content-Type: image/gif\r\nX-Long: ";
             exact.resize(10239, ' ');
             longer.resize(12000, ' ');
             x_long.resize(25 + 10238, 'x');
             return folder_state{
                 {"c1.mht", multipart({head + "a?=\r\n" + exact + tail})},
                 {"c2.mht", multipart({head + "c?=\r\n" + longer + tail})},
                 {"l.mht", multipart({x_long + "\r\nContent-Location: http://h/b.gif" + tail})}};
         },
         0,
         [](const fs::path &run, const std::string &) {
             EXPECT_EQ(read_file(run / "aDEF"), "ABC");
             EXPECT_EQ(log_rows(run), "c1.mht,1,aDEF\r\nc2.mht,1,zzz.txt\r\nl.mht,1,b.gif\r\n");
         }});
    cases.push_back({"0x1A past the first read block",
                     [] {
                         // the first 64 KiB block ends inside the x lines
                         const std::string body = x_lines() + "after-sub-\x1Ahidden\r\n" +
                                                  crlf("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n");
                         return folder_state{{"t.mht", "Content-Type: text/plain\r\n\r\n" + body},
                                             {"p.mht", "Content-Type: text/html\r\n\r\n" + body}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         EXPECT_EQ(read_file(run / "t.dec"), x_lines() + "after-sub-\r\n");
                         EXPECT_EQ(read_file(run / "p.dec"), x_lines() + "after-sub-\r\n");
                     }});
    cases.push_back(
        {"two long names shortened onto one",
         [] {
             const std::string second =
                 join({"Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n"
                       "Content-Location: http://x/",
                       std::string(299, 'a'), "b.jpg\r\n\r\nREVG\r\n"});
             return folder_state{
                 {"h.mht",
                  multipart(
                      {image_part(join({"http://x/", std::string(300, 'a'), ".jpg"})), second})}};
         },
         0,
         [](const fs::path &run, const std::string &) {
             // both come to 255 bytes; the second takes the next free name, which fits too
             const std::string first = join({std::string(251, 'a'), ".jpg"});
             const std::string next = join({std::string(246, 'a'), "_0001.jpg"});
             EXPECT_EQ(read_file(run / first), "ABC");
             EXPECT_EQ(read_file(run / next), "DEF");
             EXPECT_EQ(log_rows(run), join({"h.mht,2,", first, ",", next, "\r\n"}));
         }});
    // The folder's own path stays within MAX_PATH, as a current folder's must; a part's name
    // takes the whole past it.
    cases.push_back({"two parts of one long name in a folder whose path passes 260 characters",
                     [] {
                         const std::string s = join({"http://x/", std::string(251, 'S'), ".gif"});
                         return folder_state{{"h.mht", multipart({image_part(s), image_part(s)})}};
                     },
                     0,
                     [](const fs::path &run, const std::string &) {
                         // the second replaces the first, as in any folder
                         const std::string s = join({std::string(251, 'S'), ".gif"});
                         EXPECT_EQ(outputs_of(run), std::vector<std::string>{s});
                         EXPECT_EQ(log_rows(run), join({"h.mht,2,", s, ",", s, "\r\n"}));
                     },
                     "run" + std::string(150, 'L')});
    cases.push_back(
        {"two names longer than the file system holds once stored (Wine: UTF-8, 255 bytes)",
         [] {
             const std::string a = join({"http://x/", a_times(90)});
             return folder_state{
                 {"h.mht", multipart({image_part(a + "1.jpg"), image_part(a + "2.jpg")})}};
         },
         0,
         [](const fs::path &run, const std::string &) {
             // Linux stores these 185 bytes as they are; under Wine both are shortened to fit,
             // and the second then takes a free name
             const bool cut = programs_use_crlf_console();
             const std::string first = a_times(cut ? 83 : 90) + (cut ? ".jpg" : "1.jpg");
             const std::string second = a_times(cut ? 81 : 90) + (cut ? "_0001.jpg" : "2.jpg");
             std::vector<std::string> names{first, second};
             std::sort(names.begin(), names.end());
             EXPECT_EQ(outputs_of(run), names);
             EXPECT_EQ(log_rows(run), join({"h.mht,2,", first, ",", second, "\r\n"}));
         }});
    cases.push_back({"folder named like an archive ends the run before the next archive",
                     [] {
                         return folder_state{{"x.mht", FOLDER},
                                             {"y.mht", "Content-Type: text/plain\r\n\r\ny\r\n"}};
                     },
                     1,
                     [](const fs::path &run, const std::string &out) {
                         // the Windows console stores the message's line end as CR LF
                         const std::string message =
                             programs_use_crlf_console() ? crlf(INPUT_MISSING) : INPUT_MISSING;
                         ASSERT_GE(out.size(), message.size());
                         EXPECT_EQ(out.substr(out.size() - message.size()), message);
                         EXPECT_EQ(log_rows(run), "");
                     }});
    return cases;
}

}  // namespace

class HostileArchives : public Hostile, public testing::WithParamInterface<hostile_case>
{
};

TEST_P(HostileArchives, EndAsTheRulesSay)
{
    run_case(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileArchives, testing::ValuesIn(archive_cases()),
                         [](const testing::TestParamInfo<hostile_case> &p) {
                             std::string name;
                             for (const char c : std::string(p.param.title)) {
                                 if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                     (c >= '0' && c <= '9'))
                                     name += c;
                                 else if (!name.empty() && name.back() != '_')
                                     name += '_';
                             }
                             return name;
                         });

// Regression: a part named "", ".", "..", only dots or with control bytes ended the whole run
// on its open; a part named like a device (CON, nul.txt) wrote to the device on the reference
// platform.
TEST_F(Hostile, UnusableNamesTakeTheDefaultNameOrMoveOffTheDevice)
{
    const hostile_case c{
        "unusable names",
        [] {
            return folder_state{
                {"h.mht",
                 multipart({image_part("http://x/."), image_part("http://x/.."),
                            image_part("http://x/..."), image_part("http://x/. ."),
                            image_part("http://x/a\x01"
                                       "b.gif"),
                            image_part("http://x/CON"), image_part("http://x/nul.txt"),
                            image_part("http://x/Com1.tar.gz"), image_part("http://x/lpt9 .gif"),
                            image_part("http://x/CONIN$"), image_part("http://x/tail.gif. ."),
                            image_part("http://x/h.mht"), image_part("http://x/LOG.csv"),
                            // 表: trail byte 0x5C ends the name, which is then the default
                            // name; h.dec holds the body of "." and is kept
                            image_part("http://x/\x95\\"), image_part("http://x/console.gif"),
                            image_part("http://x/com10")})}};
        },
        0,
        [](const fs::path &run, const std::string &) {
            EXPECT_EQ(log_rows(run),
                      "h.mht,16,h.dec,h_0001.dec,h_0002.dec,h_0003.dec,h_0004.dec,CON_0001,"
                      "nul_0001.txt,Com1_0001.tar.gz,lpt9 _0001.gif,CONIN$_0001,tail.gif,"
                      "h_0001.mht,LOG_0001.csv,h_0005.dec,console.gif,com10\r\n");
            for (const std::string &name : outputs_of(run))
                EXPECT_EQ(read_output(run, name), "ABC") << name;
        }};
    run_case(c);
}

// Regression: a page whose name left no room for ".cpy" (252 to 255 bytes) could not get a
// work copy when its references were rewritten, and the run ended; and its ".tmp" images were
// renamed to "page_001.tmp" names longer than a file system holds, so the rename failed and the
// log and the page named a file that did not exist.
TEST_F(Hostile, LongPageNameKeepsItsImagesAndReferences)
{
    const std::string page = join({std::string(251, 'p'), ".htm"});
    const hostile_case c{
        "255-byte page name",
        [page] {
            return folder_state{
                {"h.mht", multipart({join({"Content-Type: text/html\r\nContent-Location: http://x/",
                                           page, "\r\n\r\n<img src=\"i.tmp\">\r\n\r\n"}),
                                     image_part("http://x/i.tmp")})}};
        },
        0,
        [page](const fs::path &run, const std::string &) {
            const std::string renamed = join({std::string(247, 'p'), "_001.tmp"});
            EXPECT_EQ(read_file(run / page), join({"<img src=\"", renamed, "\">\r\n\r\n"}));
            EXPECT_EQ(read_file(run / renamed), "ABC");
            EXPECT_EQ(log_rows(run), join({"h.mht,2,", page, ",", renamed, "\r\n"}));
        }};
    run_case(c);
}

// Regression: the default name was sanitized like a name from the headers, so "a:b.mht" gave
// "a_b.dec" although its own name stands where it lies. A location line still sanitizes the
// name it leaves, the default name included.
TEST_F(Hostile, DefaultNameIsTheArchivesOwnBase)
{
    if (programs_use_crlf_console())
        GTEST_SKIP() << "Windows names hold no ':'";
    const hostile_case c{
        "archive named a:b.mht",
        [] {
            return folder_state{
                {"a:b.mht", multipart({"Content-Type: text/plain\r\n\r\nbody\r\n",
                                       "Content-Type: text/plain\r\nContent-Location: http://h/"
                                       "\r\n\r\nno segment\r\n"})}};
        },
        0,
        [](const fs::path &run, const std::string &) {
            EXPECT_EQ(read_file(run / "a:b.dec"), "body\r\n");
            EXPECT_EQ(log_rows(run), "a:b.mht,2,a:b.dec,a_b.dec\r\n");
        }};
    run_case(c);
}
