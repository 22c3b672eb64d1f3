// The console on a terminal: cp932 texts shown in the terminal's encoding (UTF-8, ASCII,
// EUC-JP, Shift_JIS), a double-byte character split over two writes shown whole, standard
// error alike, and the user's locale seen by nothing but the codeset query. To a pipe the
// bytes stay as they are. Each case writes from a child on a pseudo-terminal. POSIX only: the
// Windows console path is run end to end under Wine (tests/e2e/terminal_test.cpp).
#include "platform/platform.hpp"
#include "tests/common/locales.hpp"
#include "tests/common/test_files.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#if __has_include(<pty.h>)
#include <clocale>
#include <cstdlib>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#define HAS_PTY 1
#endif

#ifdef HAS_PTY
namespace
{

enum write_kind : int {
    TO_OUT = 0,
    TO_ERR = 1,
    PRINTF_OUT = 2,   // a whole message through "%s"
    PRINTF_NAME = 3,  // a name in a message: "<%s>\n"
    ERROR_NAME = 4    // a name in a message to standard error: "<%s>\n"
};

struct console_call {
    write_kind kind;
    std::string text;
};

// Locale settings of a child: LC_ALL, and LOCPATH when not empty.
struct child_locale {
    std::string lc_all;
    std::string locpath;
};

// In the child: the calls, then a report of the locale the process is left in, then the end.
[[noreturn]] void
make_calls(const std::vector<console_call> &calls, const child_locale &locale)
{
    unsetenv("LANG");
    unsetenv("LC_CTYPE");
    setenv("LC_ALL", locale.lc_all.c_str(), 1);
    if (!locale.locpath.empty())
        setenv("LOCPATH", locale.locpath.c_str(), 1);
    for (const console_call &call : calls) {
        if (call.kind == TO_OUT)
            console_write(call.text);
        else if (call.kind == TO_ERR)
            console_error(call.text);
        else if (call.kind == PRINTF_OUT)
            console_printf("%s", call.text.c_str());
        else if (call.kind == PRINTF_NAME)
            console_printf("<%s>\n", call.text.c_str());
        else
            console_error_printf("<%s>\n", call.text.c_str());
    }
    // Nothing after the codeset query may see the user's locale.
    const char *left = std::setlocale(LC_CTYPE, nullptr);
    const bool c_locale = left != nullptr && std::string(left) == "C" && MB_CUR_MAX == 1;
    exit_process(c_locale ? 0 : 3);
}

struct child_output {
    int status = -1;
    std::string bytes;
};

// Runs calls in a child whose standard output and error are a terminal (or, with pipe, whose
// standard output is a pipe and standard error a terminal).
child_output
run_child(const std::vector<console_call> &calls, const child_locale &locale, bool pipe_out)
{
    int master = -1;
    int slave = -1;
    EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios settings{};
    tcgetattr(slave, &settings);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // bytes as written: no CR before LF
    tcsetattr(slave, TCSANOW, &settings);
    int out_pipe[2] = {-1, -1};
    if (pipe_out) {
        EXPECT_EQ(pipe(out_pipe), 0);
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(master);
        dup2(pipe_out ? out_pipe[1] : slave, 1);
        dup2(slave, 2);
        make_calls(calls, locale);
    }
    close(slave);
    child_output result;
    int from = master;
    if (pipe_out) {
        close(out_pipe[1]);
        from = out_pipe[0];
    }
    char buf[4096];
    for (ssize_t n; (n = read(from, buf, sizeof buf)) > 0;)
        result.bytes.append(buf, static_cast<std::size_t>(n));
    int raw = 0;
    waitpid(pid, &raw, 0);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    close(master);
    if (pipe_out)
        close(out_pipe[0]);
    return result;
}

// cp932 texts
const std::string A_HIRAGANA = "\x82\xa0";  // あ
const std::string PROMPT = "\x81@\x8f\x88\x97\x9d\x82\xf0\x8e\xc0\x8ds\x82\xb5\x82\xdc\x82\xb7"
                           "\x82\xa9\x81H(Y/N):";  // 　処理を実行しますか？(Y/N):
const std::string KANA_HALF = "\xb1";              // ｱ
const std::string TABLE = "\x95\x5c";              // 表, second byte '\'

}  // namespace

class Console : public ScratchDirTest
{
};

TEST_F(Console, TerminalShowsTheTextInItsEncoding)
{
    struct row {
        const char *title;
        std::vector<console_call> calls;
        std::string lc_all;
        std::string shown;
    };

    const std::vector<row> rows = {
        {"whole text",
         {{TO_OUT, PROMPT + "\n"}},
         "C.UTF-8",
         "\u3000\u51e6\u7406\u3092\u5b9f\u884c\u3057\u307e\u3059\u304b\uff1f(Y/N):\n"},
        {"character split over two writes",
         {{TO_OUT, "a\x82"}, {TO_OUT, "\xa0z"}},
         "C.UTF-8",
         "a\u3042z"},
        {"split over three writes, the middle one a lead byte only",
         {{TO_OUT, "\x82"}, {TO_OUT, "\xa0\x82"}, {TO_OUT, "\xa0"}},
         "C.UTF-8",
         "\u3042\u3042"},
        {"split between printf and write",
         {{PRINTF_OUT, "x\x95"}, {TO_OUT, "\x5c"}},
         "C.UTF-8",
         "x\u8868"},
        {"second byte '\\' is no separator", {{TO_OUT, TABLE + "\\"}}, "C.UTF-8", "\u8868\\"},
        {"half-width katakana", {{TO_OUT, KANA_HALF}}, "C.UTF-8", "\uff71"},
        {"standard error too", {{TO_ERR, A_HIRAGANA + "\n"}}, "C.UTF-8", "\u3042\n"},
        {"lead byte left at the end", {{TO_OUT, "ok\x82"}}, "C.UTF-8", "ok?"},
        {"lead byte before a line feed", {{TO_OUT, "\x82\n"}}, "C.UTF-8", "?\n"},
        {"no cp932 character", {{TO_OUT, "\x80|\xa0|\xfd"}}, "C.UTF-8", "?|?|?"},
        {"ASCII terminal: '?' per character",
         {{TO_OUT, PROMPT}},
         "C",
         std::string(11, '?') + "(Y/N):"},
        {"unknown locale: as the C locale", {{TO_OUT, A_HIRAGANA + "a"}}, "xx_YY.NOPE", "?a"},
        {"POSIX locale", {{TO_OUT, A_HIRAGANA + KANA_HALF}}, "POSIX", "??"},
        // a name's bytes that a terminal takes as control show as '?', on either stream
        {"escape sequences in a name",
         {{PRINTF_NAME, "\x1b[2J\x1b[HE.mht"}, {ERROR_NAME, "\x1b[K"}},
         "C.UTF-8",
         "<?[2J?[HE.mht>\n<?[K>\n"},
        {"lead byte before ESC, line feed, DEL, whole character, lone lead byte",
         {{PRINTF_NAME, "\x9f\x1b[1A\n\x7f" + A_HIRAGANA + "\x82"}},
         "C.UTF-8",
         "<??[1A??\u3042?>\n"},
    };
    for (const row &r : rows) {
        const child_output got = run_child(r.calls, {r.lc_all, ""}, false);
        EXPECT_EQ(got.bytes, r.shown) << r.title;
        EXPECT_EQ(got.status, 0) << r.title << ": the locale was left changed";
    }
}

TEST_F(Console, PipeGetsTheBytesAsTheyAre)
{
    const std::vector<console_call> calls = {{TO_OUT, PROMPT},
                                             {TO_OUT, "a\x82"},
                                             {TO_OUT, "\xa0\n"},
                                             {PRINTF_OUT, "\x82"},
                                             {PRINTF_NAME, "\x9f\x1b[1A\x7f"}};
    const child_output got = run_child(calls, {"C.UTF-8", ""}, true);
    EXPECT_EQ(got.bytes, PROMPT + "a\x82\xa0\n\x82<\x9f\x1b[1A\x7f>\n");
    EXPECT_EQ(got.status, 0);
}

TEST_F(Console, NonUtf8TerminalsGetTheirOwnEncoding)
{
    const std::filesystem::path locales = scratch / "locales";
    ASSERT_TRUE(make_locale(locales, "ja_JP.EUC-JP", "ja_JP", "EUC-JP"))
        << "localedef and the locale sources are needed (Debian package locales)";
    ASSERT_TRUE(make_locale(locales, "ja_JP.SJIS", "ja_JP", "SHIFT_JIS"));
    ASSERT_TRUE(make_locale(locales, "tr_TR.ISO-8859-9", "tr_TR", "ISO-8859-9"));

    const std::vector<console_call> calls = {
        {TO_OUT, PROMPT + "\n"}, {TO_OUT, "\x82"}, {TO_OUT, "\xa0" + KANA_HALF + "i"}};

    struct row {
        const char *locale;
        std::string shown;
    };

    const std::vector<row> rows = {
        // EUC-JP: 　処理を実行しますか？(Y/N): あ ｱ (half-width kana behind SS2)
        {"ja_JP.EUC-JP", "\xa1\xa1\xbd\xe8\xcd\xfd\xa4\xf2\xbc\xc2\xb9\xd4\xa4\xb7\xa4\xde\xa4"
                         "\xb9\xa4\xab\xa1\xa9(Y/N):\n\xa4\xa2\x8e\xb1i"},
        // Shift_JIS terminal: the bytes as they are
        {"ja_JP.SJIS", PROMPT + "\n" + A_HIRAGANA + KANA_HALF + "i"},
        // ISO-8859-9 has no Japanese; 'i' stays 'i' (no Turkish case rule anywhere)
        {"tr_TR.ISO-8859-9", std::string(11, '?') + "(Y/N):\n??i"},
    };
    for (const row &r : rows) {
        const child_output got = run_child(calls, {r.locale, locales.string()}, false);
        EXPECT_EQ(got.bytes, r.shown) << r.locale;
        EXPECT_EQ(got.status, 0) << r.locale << ": the locale was left changed";
    }
}
#endif
