#include "driver/driver.hpp"

#include "driver/version.hpp"
#include "platform/platform.hpp"
#include "support/support.hpp"

#include <string_view>

// The usage, in Japanese and English. Console texts, cp932 bytes.
// 使い方 / Usage: %s [-h | --help | /? | --version]\n\n
static constexpr char USAGE_LINE[] =
    "\x8eg\x82\xa2\x95\xfb / Usage: %s [-h | --help | /? | --version]\n\n";
static constexpr const char *USAGE_JA[] = {
    // 　現在のフォルダ（起動したフォルダ）にある全ての *.mht ファイルを分解し、\n
    "\x81@\x8c\xbb\x8d\xdd\x82\xcc\x83t\x83H\x83\x8b\x83_"
    "\x81i\x8bN\x93\xae\x82\xb5\x82\xbd\x83t\x83H\x83\x8b\x83_"
    "\x81j\x82\xc9\x82\xa0\x82\xe9\x91S\x82\xc4\x82\xcc *.mht \x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x95\xaa\x89\xf0\x82\xb5\x81"
    "A\n",
    // 　各パートをそのフォルダのファイルに、処理内容を log.csv に書き出します。\n
    "\x81@\x8a"
    "e\x83p\x81[\x83g\x82\xf0\x82\xbb\x82\xcc\x83t\x83H\x83\x8b\x83_\x82\xcc\x83t\x83@\x83"
    "C\x83\x8b\x82\xc9\x81"
    "A\x8f\x88\x97\x9d\x93\xe0\x97"
    "e\x82\xf0 log.csv \x82\xc9\x8f\x91\x82\xab\x8fo\x82\xb5\x82\xdc\x82\xb7\x81"
    "B\n",
    // 　最初に「処理を実行しますか？(Y/N):」と聞き、Y で処理を始めます。\n
    "\x81@"
    "\x8d\xc5\x8f\x89\x82\xc9\x81u\x8f\x88\x97\x9d\x82\xf0\x8e\xc0\x8ds\x82\xb5\x82\xdc\x82\xb7\x82"
    "\xa9\x81H(Y/N):\x81v\x82\xc6\x95\xb7\x82\xab\x81"
    "AY \x82\xc5\x8f\x88\x97\x9d\x82\xf0\x8en\x82\xdf\x82\xdc\x82\xb7\x81"
    "B\n",
    // 　最後に Enter キーを待ちます。出力はすべて Shift_JIS です。\n
    "\x81@\x8d\xc5\x8c\xe3\x82\xc9 Enter \x83L\x81[\x82\xf0\x91\xd2\x82\xbf\x82\xdc\x82\xb7\x81"
    "B\x8fo\x97\xcd\x82\xcd\x82\xb7\x82\xd7\x82\xc4 Shift_JIS \x82\xc5\x82\xb7\x81"
    "B\n",
};
// 　対話なしで実行: printf 'y\n\n' | %s\n
static constexpr char USAGE_JA_PIPE[] =
    "\x81@\x91\xce\x98"
    "b\x82\xc8\x82\xb5\x82\xc5\x8e\xc0\x8ds: printf 'y\\n\\n' | %s\n";
static constexpr const char *USAGE_JA_STATUS[] = {
    // 　終了コード: 0 完了・中止・mht ファイルなし、1 ファイルのエラー\n
    "\x81@\x8fI\x97\xb9\x83R\x81[\x83h: 0 \x8a\xae\x97\xb9\x81"
    "E\x92\x86\x8e~\x81"
    "Emht \x83t\x83@\x83"
    "C\x83\x8b\x82\xc8\x82\xb5\x81"
    "A1 \x83t\x83@\x83"
    "C\x83\x8b\x82\xcc\x83G\x83\x89\x81[\n",
    // 　（理由は標準エラー出力へ）、-3（Linux では 253）メモリ不足\n\n
    "\x81@\x81i\x97\x9d\x97R\x82\xcd\x95W\x8f\x80\x83G\x83\x89\x81[\x8fo\x97\xcd\x82\xd6\x81j\x81"
    "A-3\x81iLinux \x82\xc5\x82\xcd 253\x81j\x83\x81\x83\x82\x83\x8a\x95s\x91\xab\n\n",
};
static constexpr const char *USAGE_OPTIONS[] = {
    //   -h, --help, /?   この説明 / this text\n
    "  -h, --help, /?   \x82\xb1\x82\xcc\x90\xe0\x96\xbe / this text\n",
    //   --version        バージョン / the version\n
    "  --version        \x83o\x81[\x83W\x83\x87\x83\x93 / the version\n",
};
static constexpr const char *USAGE_EN[] = {
    "Takes apart every *.mht web archive in the current folder (the one it is started in):\n",
    "each part goes to a file of its own there, and the run is recorded in log.csv. It asks\n",
    "\"(Y/N):\" first and proceeds on Y; at the end it waits for Enter. Everything it prints\n",
    "and writes is Shift_JIS (code page 932).\n",
};
static constexpr char USAGE_EN_PIPE[] = "Without the dialogue: printf 'y\\n\\n' | %s\n";
static constexpr const char *USAGE_EN_STATUS[] = {
    "Exit status: 0 done, declined or no archive; 1 a file could not be opened, written or\n",
    "renamed (the reason goes to standard error); -3 (253 on Linux) out of memory.\n\n",
};

// Both programs answer these alike on every platform: "/?" is the Windows habit, and as any
// other argument is ignored, taking it on POSIX too costs no meaning.
static constexpr std::string_view HELP_SWITCHES[] = {"--help", "-h", "/?"};
static constexpr std::string_view VERSION_SWITCH = "--version";

static void
write_lines(std::span<const char *const> lines)
{
    for (const char *line : lines)
        console_write(line);
}

static void
print_usage()
{
    console_printf(USAGE_LINE, PROGRAM_NAME);
    write_lines(USAGE_JA);
    console_printf(USAGE_JA_PIPE, PROGRAM_NAME);
    write_lines(USAGE_JA_STATUS);
    write_lines(USAGE_EN);
    console_printf(USAGE_EN_PIPE, PROGRAM_NAME);
    write_lines(USAGE_EN_STATUS);
    write_lines(USAGE_OPTIONS);
}

bool
answer_arguments(std::span<const char *const> args)
{
    for (const std::string_view arg : args) {
        for (const std::string_view help : HELP_SWITCHES) {
            if (arg == help) {
                print_usage();
                return true;
            }
        }
        if (arg == VERSION_SWITCH) {
            console_printf("%s %s\n", PROGRAM_NAME, VERSION);
            return true;
        }
    }
    return false;
}
