// The command line: --help, -h and /? print the usage, --version the program's name and
// version; both end with status 0 before the dialogue, reading nothing and touching nothing in
// the folder. Any other argument beginning with '-' before "--" is refused: the usage on
// standard error, status 2, nothing touched. --yes and --offline are taken; the other
// arguments are folders or archives to split, refused with status 2 when they are neither.
#include "tests/common/console_texts.hpp"
#include "tests/common/run_interactive.hpp"
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class Arguments : public ScratchDirTest
{
};

namespace
{

// cp932 texts
const std::string USAGE_HEAD = "\x8eg\x82\xa2\x95\xfb / Usage: ";  // 使い方 / Usage:
// 　対話なしで実行（確認も待ちもなし）:
const std::string PIPE_JA = "\x81@\x91\xce\x98"
                            "b\x82\xc8\x82\xb5\x82\xc5\x8e\xc0\x8ds\x81i\x8am\x94"
                            "F\x82\xe0\x91\xd2\x82\xbf\x82\xe0\x82\xc8\x82\xb5\x81j: ";

interactive_result
run_args(const std::string &program, const std::vector<std::string> &args,
         const std::string &input = "Y\n\n")
{
    run_options options;
    options.args = args;
    return run_with(program, std::filesystem::current_path(), input, options);
}

const std::string ARCHIVE = "Content-Type: text/plain\r\n\r\nbody\r\n";

}  // namespace

TEST_F(Arguments, VersionNamesTheProgramAndTouchesNothing)
{
    write_file("a.mht", ARCHIVE);
    for (const char *program : {"fenwrack", "fenwrack_dated"}) {
        const interactive_result r = run_args(program, {"--version"});
        EXPECT_EQ(r.status, 0) << program;
        EXPECT_EQ(r.out, console(std::string(program) + " " FENWRACK_VERSION "\n")) << program;
        EXPECT_EQ(r.err, "") << program;
        EXPECT_EQ(list_folder("."), std::vector<std::string>{"a.mht"}) << program;
    }
}

TEST_F(Arguments, HelpSwitchesPrintTheUsageAndTouchNothing)
{
    write_file("a.mht", ARCHIVE);
    for (const char *program : {"fenwrack", "fenwrack_dated"}) {
        const std::string name(program);
        const interactive_result first = run_args(program, {"--help"});
        EXPECT_EQ(first.status, 0) << program;
        const std::string &out = first.out;
        EXPECT_EQ(
            out.rfind(
                console(USAGE_HEAD + name +
                        " [-y | --yes] [--offline] [--] [FOLDER | FILE.mht | FILE.mhtml]...\n"),
                0),
            0u)
            << out;
        // Japanese and English: what it does, where, without the dialogue, the exit statuses
        for (const std::string &part :
             {PIPE_JA + name + " --yes [\x83t\x83H\x83\x8b\x83_]...\n",
              std::string("current folder"),
              "Without the dialogue (no question, no pause): " + name + " --yes [FOLDER]...\n",
              std::string("Exit status: 0 done, declined or no archive; 1 "),
              std::string("-3 (253 on Linux)"), std::string("--version")}) {
            EXPECT_NE(out.find(console(part)), std::string::npos) << program << ": " << part;
        }
        for (const char *same : {"-h", "/?"}) {
            const interactive_result again = run_args(program, {same});
            EXPECT_EQ(again.status, 0) << same;
            EXPECT_EQ(again.out, out) << same;
        }
        EXPECT_EQ(list_folder("."), std::vector<std::string>{"a.mht"}) << program;
    }
}

TEST_F(Arguments, FirstSwitchDecidesBeforeAnyPathIsLookedAt)
{
    write_file("a.mht", ARCHIVE);
    const interactive_result version = run_args("fenwrack", {"x.mht", "--version", "--help"});
    EXPECT_EQ(version.out, console("fenwrack " FENWRACK_VERSION "\n"));
    const interactive_result help = run_args("fenwrack", {"x.mht", "-h", "--version"});
    EXPECT_EQ(help.out.rfind(console(USAGE_HEAD), 0), 0u);
    EXPECT_EQ(help.err, "");
}

namespace
{

// Fresh inputs in the current folder: an archive, a folder of two archives, a folder named
// like an option, a file of another kind.
void
lay_out_inputs()
{
    for (const auto &entry : std::filesystem::directory_iterator("."))
        std::filesystem::remove_all(entry.path());
    for (const char *folder : {"pages", "-dash"})
        std::filesystem::create_directory(folder);
    for (const char *name : {"top.mht", "pages/a.mht", "pages/b.mht", "-dash/c.mht"})
        write_file(name, ARCHIVE);
    write_file("notes.txt", "x");
}

// Every file under the current folder but the inputs, sorted.
std::vector<std::string>
written_files()
{
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(".")) {
        const std::string name = entry.path().lexically_relative(".").generic_string();
        if (entry.is_regular_file() && !name.ends_with(".mht") && name != "notes.txt")
            files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST_F(Arguments, FormsAndTheirOutcome)
{
    const std::vector<std::string> top = {"log.csv", "top.dec"};
    const std::vector<std::string> pages = {"pages/a.dec", "pages/b.dec", "pages/log.csv"};
    const std::string one = SUMMARY_1 + "log.csv" + SUMMARY_2;
    const std::string two = "\x81@2" + one.substr(3);  // 　2個の...
    const std::string plain = BANNER + PROMPT + "\n" + one + ENTER;
    const std::string no = "fenwrack: ";

    struct row {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::vector<std::string> written;
        std::string err;
    };

    const row rows[] = {
        {{}, 0, plain, top, ""},
        {{"--offline"}, 0, plain, top, ""},  // no reference in these archives
        {{"--"}, 0, plain, top, ""},
        {{"-y", "--offline"}, 0, one, top, ""},
        {{"top.mht", "--yes"}, 0, one, top, ""},
        {{"--yes", "pages"}, 0, two, pages, ""},
        {{"--yes", "pages/a.mht"}, 0, one, {"pages/a.dec", "pages/log.csv"}, ""},
        {{"-y", "--", "-dash"}, 0, one, {"-dash/c.dec", "-dash/log.csv"}, ""},
        {{"-y", "pages/b.mht", "pages", "./pages/"},
         0,
         two,
         pages,
         no + "pages/b.mht: split once, with pages\n" + no + "./pages/: split once, with pages\n"},
        {{"pages", "nothere"}, 2, "", {}, no + "nothere: not a folder or archive\n"},
        {{"notes.txt"}, 2, "", {}, no + "notes.txt: not a folder or archive\n"},
        {{"--yes", ""}, 2, "", {}, no + ": not a folder or archive\n"},
        // archives named in one folder: one run there, at the place of the first of them
        {{"--yes", "pages/a.mht", "pages/b.mht"}, 0, two, pages, ""},
        {{"--yes", "pages/b.mht", "top.mht", "./pages/a.mht"},
         0,
         "\x81@\x81ypages/b.mht\x81z\n" + two + "\x81@\x81ytop.mht\x81z\n" + one,
         {"log.csv", "pages/a.dec", "pages/b.dec", "pages/log.csv", "top.dec"},
         ""},
        {{"-y", "pages/a.mht", "pages", "pages/b.mht"},
         0,
         two,
         pages,
         no + "pages/a.mht: split once, with pages\n" + no +
             "pages/b.mht: split once, with pages\n"},
    };
    for (const row &r : rows) {
        lay_out_inputs();
        const interactive_result run = run_args("fenwrack_nosleep", r.args);
        const std::string form = testing::PrintToString(r.args);
        EXPECT_EQ(run.status, r.status) << form;
        EXPECT_EQ(run.out, console(r.out)) << form;
        EXPECT_EQ(written_files(), r.written) << form;
        EXPECT_EQ(run.err, console(r.err)) << form;
    }
}

TEST_F(Arguments, UnknownOptionsPrintTheUsageOnStandardErrorWithStatus2)
{
    write_file("a.mht", ARCHIVE);
    const interactive_result help = run_args("fenwrack_dated", {"--help"});

    struct row {
        std::vector<std::string> args;
        std::string refused;  // the argument named in the message
    };

    const row rows[] = {
        {{"--bogus"}, "--bogus"},
        {{"-v"}, "-v"},
        {{"-"}, "-"},
        {{"--HELP"}, "--HELP"},
        {{"--version=1"}, "--version=1"},
        {{"x.mht", "-x", "-h"}, "-x"},  // the first option decides
    };
    for (const row &r : rows) {
        const interactive_result refused = run_args("fenwrack_dated", r.args);
        EXPECT_EQ(refused.status, 2) << r.refused;
        EXPECT_EQ(refused.out, "") << r.refused;
        EXPECT_EQ(refused.err,
                  console("fenwrack_dated: " + r.refused + ": unknown option\n\n") + help.out)
            << r.refused;
        EXPECT_EQ(list_folder("."), std::vector<std::string>{"a.mht"}) << r.refused;
    }
    // the usage says what becomes of the other arguments: 　*.mht ファイルを指定すると
    for (const std::string &part :
         {std::string("\x81@*.mht \x83t\x83@\x83"
                      "C\x83\x8b\x82\xf0\x8ew\x92\xe8\x82\xb7\x82\xe9\x82\xc6"),
          std::string("A FILE.mht (or FILE.mhtml) given is taken apart in its folder"),
          std::string("today's saves too (.mhtml, binary parts, cid:)"),
          std::string("2 an unknown option")}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    }
}

namespace
{

// A page that names its image by the image's address: with --offline it names the file.
const std::string PAGE_AND_IMAGE = "Content-Type: multipart/related; boundary=\"BB\"\r\n\r\n"
                                   "--BB\r\nContent-Type: text/html\r\n"
                                   "Content-Location: http://x.test/page.html\r\n\r\n"
                                   "<img src=\"http://x.test/i.gif\">\r\n"
                                   "--BB\r\nContent-Type: image/gif\r\n"
                                   "Content-Transfer-Encoding: base64\r\n"
                                   "Content-Location: http://x.test/i.gif\r\n\r\nR0lGODlh\r\n"
                                   "--BB--\r\n";

}  // namespace

// Regression: the offline launchers were batch files, and cmd.exe cut a dropped folder's path
// at '&' and ran the rest as a command. They are programs now: a folder dropped on one arrives
// whole as its one argument and is split as with --offline.
TEST_F(Arguments, OfflineProgramsSplitAFolderDroppedOnThemAsWithOffline)
{
    for (const char *program : {"fenwrack_offline", "fenwrack_dated_offline"}) {
        const std::string folder = std::string(program) + "&echo.INJECTED";
        std::filesystem::create_directory(folder);
        write_file(folder + "/p.mht", PAGE_AND_IMAGE);
        // as a person drops it: the question answered, then Enter
        const interactive_result r = run_args(program, {folder});
        EXPECT_EQ(r.status, 0) << program;
        EXPECT_EQ(read_file(folder + "/page.html"), "<img src=\"i.gif\">\r\n") << program;
        EXPECT_EQ(read_file(folder + "/log.csv"), crlf(LOG_HEADER + "p.mht,2,page.html,i.gif\n"))
            << program;
        EXPECT_EQ(r.out.find("\nINJECTED"), std::string::npos) << program;
        EXPECT_EQ(r.err, "") << program;
    }
    EXPECT_EQ(list_folder("."), (std::vector<std::string>{"fenwrack_dated_offline&echo.INJECTED",
                                                          "fenwrack_offline&echo.INJECTED"}));
    // the plain program leaves the page's reference as it is
    std::filesystem::create_directory("plain");
    write_file("plain/p.mht", PAGE_AND_IMAGE);
    EXPECT_EQ(run_args("fenwrack_nosleep", {"--yes", "plain"}).status, 0);
    EXPECT_EQ(read_file("plain/page.html"), "<img src=\"http://x.test/i.gif\">\r\n");
}

// A ".mhtml" named is split like a ".mht"; a folder named so is a folder. A folder run with
// --offline takes "*.mhtml" beside "*.mht" in one listing; a plain one leaves them, and says on
// standard error how to split them when it finds no "*.mht".
TEST_F(Arguments, MhtmlArchivesAreSplitWhereNamedOrWithOffline)
{
    for (const char *folder : {"pages", "only", "x.mhtml"})
        std::filesystem::create_directory(folder);
    for (const char *name : {"pages/a.mht", "pages/ab.mhtml", "pages/B.mht", "only/c.mhtml",
                             "only/D.MHTML", "x.mhtml/e.mht", "top.MHTML"})
        write_file(name, ARCHIVE);

    struct row {
        std::vector<std::string> args;
        std::string log;   // the run log written
        std::string rows;  // its rows, or "<missing>" for no log
        std::string err;
    };

    const std::string hint = "fenwrack: only: no .mht archives, but .mhtml ones: split them with "
                             "fenwrack --offline only\n";
    const row rows[] = {
        {{"--yes", "top.MHTML"}, "log.csv", "top.MHTML,1,top.dec\n", ""},
        {{"--yes", "x.mhtml"}, "x.mhtml/log.csv", "e.mht,1,e.dec\n", ""},
        {{"--yes", "pages"}, "pages/log.csv", "a.mht,1,a.dec\nB.mht,1,B.dec\n", ""},
        {{"--yes", "--offline", "pages"},
         "pages/log.csv",
         "a.mht,1,a.dec\nab.mhtml,1,ab.dec\nB.mht,1,B.dec\n",
         ""},
        {{"--yes", "only"}, "only/log.csv", "<missing>", hint},
        {{"--yes", "--offline", "only"}, "only/log.csv", "c.mhtml,1,c.dec\nD.MHTML,1,D.dec\n", ""},
    };
    for (const row &r : rows) {
        const interactive_result run = run_args("fenwrack_nosleep", r.args);
        const std::string form = testing::PrintToString(r.args);
        EXPECT_EQ(run.status, 0) << form;
        const std::string log = read_file(r.log);
        EXPECT_EQ(log, r.rows == "<missing>" ? r.rows : crlf(LOG_HEADER + r.rows)) << form;
        EXPECT_EQ(run.err, console(r.err)) << form;
        std::filesystem::remove(r.log);
    }
    // the plain run that found none says so on standard output as ever
    const interactive_result none = run_args("fenwrack_nosleep", {"--yes", "only"});
    EXPECT_EQ(none.out, console(NOT_FOUND));
}
