// The programs on a terminal, as a person runs them: the dialogue shown in the terminal's
// encoding (UTF-8, EUC-JP, Shift_JIS, or ASCII with '?'), the prompt seen before the program
// waits for the answer, and every file written byte for byte as in a run whose console goes
// to a pipe under the C locale. The Windows programs run the UTF-8 cases under Wine, whose
// console shows the text they write with WriteConsoleW on the terminal.
#include "tests/common/locales.hpp"
#include "tests/common/run_interactive.hpp"
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

class Terminal : public ScratchDirTest
{
};

namespace
{

// cp932 texts
const std::string PROMPT = "\x81@\x8f\x88\x97\x9d\x82\xf0\x8e\xc0\x8ds\x82\xb5\x82\xdc\x82\xb7"
                           "\x82\xa9\x81H(Y/N):";  // 　処理を実行しますか？(Y/N):
const std::string ENTER = "\x81@Enter\x83L\x81[\x82\xc5\x8fI\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81"
                          "B";  // 　Enterキーで終了します。

std::string
without_cr(const std::string &text)
{
    std::string out;
    for (const char c : text) {
        if (c != '\r')
            out += c;
    }
    return out;
}

// Every file of folder with its bytes.
std::map<std::string, std::string>
folder_bytes(const std::filesystem::path &folder)
{
    std::map<std::string, std::string> files;
    for (const std::string &name : list_folder(folder))
        files[name] = read_file(folder / name);
    return files;
}

// A folder holding the example archives. Under a runner only the one whose output names are
// ASCII: Wine maps other names by its own locale rules, which the terminal's locale changes.
std::filesystem::path
example_folder(const std::filesystem::path &scratch, const std::string &leaf)
{
    const std::filesystem::path folder = scratch / leaf;
    std::filesystem::create_directory(folder);
    std::vector<std::string> names = {"thread.mht"};
    if (!programs_use_crlf_console())
        names.emplace_back("japanese_names.mht");
    for (const std::string &name : names)
        std::filesystem::copy_file(std::filesystem::path(FENWRACK_SOURCE_DIR) / "examples" / name,
                                   folder / name);
    return folder;
}

// The dialogue on a terminal under the locale: the prompt must show before any input is
// given, the Enter request before the final Enter.
interactive_result
run_on_terminal(const std::filesystem::path &folder,
                const std::vector<std::pair<std::string, std::string>> &environment,
                const std::string &prompt_shown, const std::string &enter_shown)
{
    run_options options;
    options.terminal = true;
    options.environment = environment;
    running_program p = start_program("fenwrack_nosleep", folder, options);
    const bool prompt_seen = wait_for_output(&p, prompt_shown, program_time_limit(20));
    EXPECT_TRUE(prompt_seen) << "no prompt before the answer: " << terminal_text(p.out);
    send_input(&p, "Y\n");
    EXPECT_TRUE(wait_for_output(&p, enter_shown, program_time_limit(20)))
        << "no Enter request before the Enter: " << terminal_text(p.out);
    send_input(&p, "\n");
    return finish_program(&p, program_time_limit(20));
}

}  // namespace

TEST_F(Terminal, PromptIsSeenBeforeTheAnswerThroughAPipe)
{
    running_program p = start_program("fenwrack_nosleep", scratch, {});
    EXPECT_TRUE(wait_for_output(&p, PROMPT, program_time_limit(20)));
    send_input(&p, "n\n");
    EXPECT_EQ(finish_program(&p, program_time_limit(20)).status, 0);
}

TEST_F(Terminal, Utf8TerminalShowsTheDialogueAndFilesStayTheSame)
{
    const std::filesystem::path piped = example_folder(scratch, "piped");
    const interactive_result reference =
        run_with("fenwrack_nosleep", piped, "Y\n\n", {{}, {{"LC_ALL", "C"}}, false});
    ASSERT_EQ(reference.status, 0);

    const std::filesystem::path shown = example_folder(scratch, "shown");
    const interactive_result r =
        run_on_terminal(shown, {{"LANG", "C.UTF-8"}}, convert_cp932(PROMPT, "UTF-8"),
                        convert_cp932(ENTER, "UTF-8"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(terminal_text(r.out), without_cr(convert_cp932(reference.out, "UTF-8")));
    EXPECT_EQ(folder_bytes(shown), folder_bytes(piped));
}

TEST_F(Terminal, OtherLocalesChangeWhatTheTerminalShowsAndNothingElse)
{
    // Under Wine a console's text reaches the terminal through Wine's own conversion from
    // UTF-16 (best-fit ':' for '：', and not every locale taken): the program's part, the
    // UTF-16 it writes, is what the UTF-8 case shows.
    if (programs_use_crlf_console())
        GTEST_SKIP() << "the terminal's encoding under Wine is Wine's";
    const std::filesystem::path locales = scratch / "locales";
    ASSERT_TRUE(make_locale(locales, "ja_JP.EUC-JP", "ja_JP", "EUC-JP"))
        << "localedef and the locale sources are needed (Debian package locales)";
    ASSERT_TRUE(make_locale(locales, "ja_JP.SJIS", "ja_JP", "SHIFT_JIS"));
    ASSERT_TRUE(make_locale(locales, "tr_TR.ISO-8859-9", "tr_TR", "ISO-8859-9"));
    const std::filesystem::path piped = example_folder(scratch, "piped");
    const interactive_result reference =
        run_with("fenwrack_nosleep", piped, "Y\n\n", {{}, {{"LC_ALL", "C"}}, false});
    ASSERT_EQ(reference.status, 0);

    struct row {
        const char *locale;
        const char *codeset;  // what the terminal shows
    };

    const row rows[] = {
        {"ja_JP.EUC-JP", "EUC-JP"},
        {"ja_JP.SJIS", "CP932"},
        {"tr_TR.ISO-8859-9", "ISO-8859-9"},
        {"C", "ASCII"},
    };
    for (const row &r : rows) {
        const std::filesystem::path shown = example_folder(scratch, r.locale);
        const interactive_result run =
            run_on_terminal(shown, {{"LC_ALL", r.locale}, {"LOCPATH", locales.string()}},
                            convert_cp932(PROMPT, r.codeset), convert_cp932(ENTER, r.codeset));
        EXPECT_EQ(run.status, 0) << r.locale;
        EXPECT_EQ(terminal_text(run.out), without_cr(convert_cp932(reference.out, r.codeset)))
            << r.locale;
        EXPECT_EQ(folder_bytes(shown), folder_bytes(piped)) << r.locale;
    }
}

TEST_F(Terminal, FailureReasonIsShownInTheTerminalsEncoding)
{
    std::filesystem::create_directory("x.mht");
    run_options options;
    options.terminal = true;
    options.environment = {{"LC_ALL", "C.UTF-8"}};
    const interactive_result r = run_with("fenwrack_nosleep", scratch, "Y\n", options);
    EXPECT_EQ(r.status, 1);
    // 入力ファイルが見つかりません (no input file) on standard output, the reason after it
    const std::string text = terminal_text(r.out);
    const std::string shown = "(Y/N):\n\u5165\u529b\u30d5\u30a1\u30a4\u30eb\u304c\u898b\u3064"
                              "\u304b\u308a\u307e\u305b\u3093\nfenwrack: x.mht: Is a directory\n";
    EXPECT_NE(text.find(shown), std::string::npos) << text;
}

// Regression: names reached standard error as they were, so a folder's name could move a
// terminal's cursor or clear it. Each stream masks names when it is a terminal, whatever the
// other one is.
TEST_F(Terminal, EachStreamMasksNamesWhenItIsATerminal)
{
    if (programs_use_crlf_console())
        GTEST_SKIP() << "control bytes in names and one stream alone on a terminal are Wine's";
    const std::string odd = "w\x1b[2J\a\rx";  // ESC, BEL, CR
    const std::string shown = "w?[2J??x";
    std::filesystem::create_directory(odd);
    write_file(std::filesystem::path(odd) / "a.mhtml", "x");
    std::filesystem::create_directory("d2");
    const std::string not_found = "\x81@mht\x83t\x83@\x83"
                                  "C\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82"
                                  "\xdc\x82\xb9\x82\xf1\x81"
                                  "B\n";  // 　mhtファイルが見つかりません。\n
    const auto out_with = [&not_found](const std::string &name) {
        return "\x81@\x81y" + name + "\x81z\n" + not_found + "\x81@\x81yd2\x81z\n" + not_found;
    };  // 　【name】 and 　mhtファイルが見つかりません。 for each folder
    const auto err_with = [](const std::string &name) {
        return "fenwrack: " + name + ": no .mht archives, but .mhtml ones: split them with " +
               "fenwrack --offline " + name + "\n";
    };
    for (const int lone : {1, 2}) {
        run_options options;
        options.args = {"--yes", odd, "d2"};
        options.environment = {{"LC_ALL", "C.UTF-8"}};
        options.lone_terminal = lone;
        const interactive_result r = run_with("fenwrack_nosleep", scratch, "", options);
        EXPECT_EQ(r.status, 0) << lone;
        EXPECT_EQ(r.out, lone == 1 ? convert_cp932(out_with(shown), "UTF-8") : out_with(odd));
        EXPECT_EQ(r.err, lone == 2 ? err_with(shown) : err_with(odd));
    }
}
