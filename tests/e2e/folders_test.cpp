// Folders named on the command line and --yes: each folder split as a run started in it would
// split it, one after another; no question, pause or Enter wait with --yes, a fatal error
// included; a folder gone before its turn told and passed over.
#include "tests/common/console_texts.hpp"
#include "tests/common/run_interactive.hpp"
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <vector>

class Folders : public ScratchDirTest
{
};

namespace
{

// Two archives of one page each in folder, and older pages there of the names the first one's
// page takes.
void
fill_folder(const std::filesystem::path &folder, const std::vector<std::string> &older = {})
{
    std::filesystem::create_directories(folder);
    for (const std::string name : {"a", "b"})
        write_input(folder, name + ".mht",
                    crlf("Content-Type: text/html\nContent-Location: http://example.test/" + name +
                         ".htm\n\n<p>" + name + "</p>\n"));
    for (const std::string &name : older)
        write_input(folder, name, "older page");
}

// True when the program has ended (it is left for finish_program to collect).
bool
has_ended(const running_program &p)
{
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(p.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == p.pid;
}

// Options that record the waits the program asks for in the file sleeps. The test's own
// locale is kept: Wine takes the arguments' bytes in its encoding.
run_options
recording_waits(const std::filesystem::path &sleeps, std::vector<std::string> args)
{
    run_options options;
    options.args = std::move(args);
    options.environment = {{"FENWRACK_SLEEP_LOG", sleeps.string()}};
    for (const char *name : {"LANG", "LC_ALL"}) {
        if (const char *value = std::getenv(name))
            options.environment.emplace_back(name, value);
    }
    return options;
}

}  // namespace

TEST_F(Folders, YesSplitsEachFolderAsARunStartedInIt)
{
    // The pages' names: the first folder's search for a free one must not decide the second's.
    const std::string second = "\x95\xdb\x91\xb6";  // 保存, a name in cp932
    for (const char *run : {"named", "plain"}) {
        fill_folder(scratch / run / "d1", {"a.htm", "a_0001.htm", "a_0002.htm", "a_0003.htm"});
        fill_folder(scratch / run / stored_name(second), {"a.htm", "a_0003.htm"});
    }
    for (const std::string &folder : {std::string("d1"), stored_name(second)})
        ASSERT_EQ(run_program("fenwrack_nosleep", scratch / "plain" / folder, "Y\n\n").status, 0);

    const std::filesystem::path sleeps = scratch / "sleeps";
    const interactive_result r =
        run_with("fenwrack_nosleep", scratch / "named", "",
                 recording_waits(sleeps, {"--yes", "d1", stored_name(second)}));
    EXPECT_EQ(r.status, 0);
    const std::string summary = "\x81@2" + SUMMARY_1.substr(3) + "log.csv" + SUMMARY_2;
    EXPECT_EQ(r.out, console("\x81@\x81yd1\x81z\n" + summary + "\x81@\x81y" + second + "\x81z\n" +
                             summary));  // 　【d1】 and 　【保存】 before each summary
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(sleeps), "<missing>") << "a wait with --yes";
    for (const std::string &folder : {std::string("d1"), stored_name(second)}) {
        EXPECT_EQ(list_folder(scratch / "named" / folder), list_folder(scratch / "plain" / folder));
        EXPECT_EQ(read_file(scratch / "named" / folder / "log.csv"),
                  read_file(scratch / "plain" / folder / "log.csv"));
    }
}

TEST_F(Folders, YesOnATerminalAsksNothingAndWaitsForNothing)
{
    fill_folder(scratch);
    std::filesystem::create_directories("fatal/x.mht");  // ends the run: no input file
    const std::filesystem::path sleeps = scratch / "sleeps";

    struct row {
        std::vector<std::string> args;
        bool yes;
        int status;
        std::string waits;  // what the program asked to wait, one line per wait
    };

    const row rows[] = {
        {{}, false, 0, "3000\n"},           // the summary shown 3 s
        {{"--yes"}, true, 0, "<missing>"},  // none
        {{"fatal"}, false, 1, "3000\n"},    // the message shown 3 s
        {{"-y", "fatal"}, true, 1, "<missing>"},
    };
    for (const row &r : rows) {
        std::filesystem::remove(sleeps);
        run_options options = recording_waits(sleeps, r.args);
        options.terminal = true;
        running_program p = start_program("fenwrack_nosleep", scratch, options);
        if (!r.yes)
            send_input(&p, "Y\n\n");
        // with --yes the input stays open and empty: the program must end without it
        const auto start = std::chrono::steady_clock::now();
        while (!has_ended(p) && std::chrono::steady_clock::now() - start <
                                    std::chrono::duration<double>(program_time_limit(20)))
            wait_for_output(&p, "never printed", 0.05);
        EXPECT_TRUE(has_ended(p)) << "waiting for input";
        const interactive_result run = finish_program(&p, program_time_limit(20));
        const std::string form = testing::PrintToString(r.args);
        EXPECT_EQ(run.status, r.status) << form;
        EXPECT_EQ(read_file(sleeps), r.waits) << form;
        EXPECT_EQ(run.out.find("(Y/N):") != std::string::npos, !r.yes) << form;
    }
}

TEST_F(Folders, FolderGoneBeforeItsTurnIsToldAndTheRunGoesOn)
{
    fill_folder(scratch / "gone");
    fill_folder(scratch / "d1");
    run_options options;
    options.args = {"gone", "d1"};
    running_program p = start_program("fenwrack_nosleep", scratch, options);
    // the question lists both: 　・gone 　・d1
    ASSERT_TRUE(wait_for_output(&p,
                                "\x81@\x81"
                                "Egone\n\x81@\x81"
                                "Ed1\n\n",
                                program_time_limit(20)));
    std::filesystem::remove_all(scratch / "gone");
    send_input(&p, "Y\n\n");
    const interactive_result r = finish_program(&p, program_time_limit(20));

    EXPECT_EQ(r.status, 1);
    // 　【gone】 　gone を開けないため、処理しません。 then d1 as ever
    const std::string untouched = "\x81@\x81ygone\x81z\n\x81@gone \x82\xf0\x8aJ\x82\xaf\x82\xc8\x82"
                                  "\xa2\x82\xbd\x82\xdf\x81"
                                  "A\x8f\x88\x97\x9d\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x81"
                                  "B\n\x81@\x81yd1\x81z\n";
    EXPECT_NE(r.out.find(console(PROMPT + "\n" + untouched)), std::string::npos) << r.out;
    EXPECT_EQ(r.err.rfind("fenwrack: gone: ", 0), 0u) << r.err;
    EXPECT_EQ(read_file("d1/log.csv"), crlf(LOG_HEADER + "a.mht,1,a.htm\nb.mht,1,b.htm\n"));
    EXPECT_FALSE(std::filesystem::exists("gone"));
}
