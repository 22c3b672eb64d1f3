// The command line: --help, -h and /? print the usage, --version the program's name and
// version; both end with status 0 before the dialogue, reading nothing and touching nothing in
// the folder. Any other argument beginning with '-' is refused: the usage on standard error,
// status 2, nothing touched. Arguments not beginning with '-' (a file dropped on the program)
// are ignored.
#include "tests/common/run_interactive.hpp"
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

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
const std::string PIPE_JA = "\x81@\x91\xce\x98"
                            "b\x82\xc8\x82\xb5\x82\xc5\x8e\xc0\x8ds: "
                            "printf 'y\\n\\n' | ";  // 　対話なしで実行: printf 'y\n\n' |

// What the console stores: the Windows console writes each "\n" as CR LF.
std::string
console(const std::string &text)
{
    return programs_use_crlf_console() ? crlf(text) : text;
}

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
        EXPECT_EQ(out.rfind(console(USAGE_HEAD + name + " [-h | --help | /? | --version]\n"), 0),
                  0u)
            << out;
        // Japanese and English: what it does, where, without the dialogue, the exit statuses
        for (const std::string &part :
             {PIPE_JA + name + "\n", std::string("current folder"),
              "Without the dialogue: printf 'y\\n\\n' | " + name + "\n",
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

TEST_F(Arguments, FirstSwitchDecidesAndOtherArgumentsAreIgnored)
{
    write_file("a.mht", ARCHIVE);
    const interactive_result version = run_args("fenwrack", {"x.mht", "--version", "--help"});
    EXPECT_EQ(version.out, console("fenwrack " FENWRACK_VERSION "\n"));
    const interactive_result help = run_args("fenwrack", {"x.mht", "-h", "--version"});
    EXPECT_EQ(help.out.rfind(console(USAGE_HEAD), 0), 0u);

    // no switch among them: the dialogue and the run, byte for byte as without arguments
    const interactive_result plain = run_args("fenwrack_nosleep", {});
    const std::vector<std::string> outputs = list_folder(".");
    for (const std::string &name : outputs) {
        if (name != "a.mht")
            std::filesystem::remove(name);
    }
    const interactive_result ignored =
        run_args("fenwrack_nosleep", {"help", "/h", "x.mht", "C:\\pages\\a.mht", ""});
    EXPECT_EQ(ignored.status, 0);
    EXPECT_EQ(ignored.out, plain.out);
    EXPECT_EQ(list_folder("."), outputs);
    EXPECT_EQ(read_file("a.dec"), "body\r\n");
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
        {{"--"}, "--"},
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
    // the usage says what becomes of the other arguments
    for (const std::string &part :
         {std::string("\x81@\x83I\x83v\x83V\x83\x87\x83\x93\x88\xc8\x8aO\x82\xcc\x88\xf8\x90\x94"),
          std::string("Arguments other than the options below"),
          std::string("2 an unknown option")}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    }
}
