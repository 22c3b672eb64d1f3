#include "driver/driver.hpp"

#include "driver/version.hpp"
#include "platform/platform.hpp"
#include "support/support.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

enum console_stream_choice : int {
    TO_OUTPUT = 0,
    TO_ERROR = 1
};

// The status of a command line with an unknown option or a path that names nothing to split,
// as command-line tools report a wrong command line.
static constexpr int USAGE_ERROR_STATUS = 2;

// The usage, in Japanese and English. Console texts, cp932 bytes.
// 使い方 / Usage: %s [-y | --yes] [--offline] [--] [FOLDER | FILE.mht | FILE.mhtml]...\n
static constexpr char USAGE_LINE[] =
    "\x8eg\x82\xa2\x95\xfb / Usage: %s [-y | --yes] [--offline] [--] "
    "[FOLDER | FILE.mht | FILE.mhtml]...\n";
static constexpr char USAGE_LINE_2[] = "                %s -h | --help | /? | --version\n\n";
static constexpr const char *USAGE_JA[] = {
    // 　指定したフォルダ（指定がなければ起動したフォルダ）にある全ての *.mht ファイルを\n
    "\x81@\x8ew\x92\xe8\x82\xb5\x82\xbd\x83t\x83H\x83\x8b\x83_"
    "\x81i\x8ew\x92\xe8\x82\xaa\x82\xc8\x82\xaf\x82\xea\x82\xce\x8bN\x93\xae\x82\xb5\x82\xbd\x83t"
    "\x83H\x83\x8b\x83_\x81j\x82\xc9\x82\xa0\x82\xe9\x91S\x82\xc4\x82\xcc *.mht \x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\n",
    // 　分解し、各パートをそのフォルダのファイルに、処理内容を log.csv に書き出します。\n
    "\x81@\x95\xaa\x89\xf0\x82\xb5\x81"
    "A\x8a"
    "e\x83p\x81[\x83g\x82\xf0\x82\xbb\x82\xcc\x83t\x83H\x83\x8b\x83_\x82\xcc\x83t\x83@\x83"
    "C\x83\x8b\x82\xc9\x81"
    "A\x8f\x88\x97\x9d\x93\xe0\x97"
    "e\x82\xf0 log.csv \x82\xc9\x8f\x91\x82\xab\x8fo\x82\xb5\x82\xdc\x82\xb7\x81"
    "B\n",
    // 　*.mht ファイルを指定すると、それだけをそのフォルダで分解します。exe にフォルダや\n
    "\x81@*.mht \x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x8ew\x92\xe8\x82\xb7\x82\xe9\x82\xc6\x81"
    "A\x82\xbb\x82\xea\x82\xbe\x82\xaf\x82\xf0\x82\xbb\x82\xcc\x83t\x83H\x83\x8b\x83_"
    "\x82\xc5\x95\xaa\x89\xf0\x82\xb5\x82\xdc\x82\xb7\x81"
    "Bexe \x82\xc9\x83t\x83H\x83\x8b\x83_\x82\xe2\n",
    // 　ファイルをドロップしても同じです。最初に「処理を実行しますか？(Y/N):」と聞き、\n
    "\x81@\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x83h\x83\x8d\x83"
    "b\x83v\x82\xb5\x82\xc4\x82\xe0\x93\xaf\x82\xb6\x82\xc5\x82\xb7\x81"
    "B\x8d\xc5\x8f\x89\x82\xc9\x81u\x8f\x88\x97\x9d\x82\xf0\x8e\xc0\x8ds\x82\xb5\x82\xdc\x82\xb7"
    "\x82\xa9\x81H(Y/N):\x81v\x82\xc6\x95\xb7\x82\xab\x81"
    "A\n",
    // 　Y で処理を始めます。最後に Enter キーを待ちます。出力ファイルとログは Shift_JIS\n
    "\x81@Y \x82\xc5\x8f\x88\x97\x9d\x82\xf0\x8en\x82\xdf\x82\xdc\x82\xb7\x81"
    "B\x8d\xc5\x8c\xe3\x82\xc9 Enter \x83L\x81[\x82\xf0\x91\xd2\x82\xbf\x82\xdc\x82\xb7\x81"
    "B\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x82\xc6\x83\x8d\x83O\x82\xcd Shift_JIS\n",
    // 　です。画面の文字は端末の文字コードで表示し、パイプやファイルへは Shift_JIS の\n
    "\x81@\x82\xc5\x82\xb7\x81"
    "B\x89\xe6\x96\xca\x82\xcc\x95\xb6\x8e\x9a\x82\xcd\x92["
    "\x96\x96\x82\xcc\x95\xb6\x8e\x9a\x83R\x81[\x83h\x82\xc5\x95\\\x8e\xa6\x82\xb5\x81"
    "A\x83p\x83"
    "C\x83v\x82\xe2\x83t\x83@\x83"
    "C\x83\x8b\x82\xd6\x82\xcd Shift_JIS \x82\xcc\n",
    // 　まま出力します。\n
    "\x81@\x82\xdc\x82\xdc\x8fo\x97\xcd\x82\xb5\x82\xdc\x82\xb7\x81"
    "B\n",
};
// 　対話なしで実行（確認も待ちもなし）: %s --yes [フォルダ]...\n
static constexpr char USAGE_JA_PIPE[] = "\x81@\x91\xce\x98"
                                        "b\x82\xc8\x82\xb5\x82\xc5\x8e\xc0\x8ds\x81i\x8am\x94"
                                        "F\x82\xe0\x91\xd2\x82\xbf\x82\xe0\x82\xc8\x82\xb5\x81j: "
                                        "%s --yes [\x83t\x83H\x83\x8b\x83_]...\n";
static constexpr const char *USAGE_JA_STATUS[] = {
    // 　終了コード: 0 完了・中止・mht ファイルなし、1 ファイルのエラー・開けないフォルダ\n
    "\x81@\x8fI\x97\xb9\x83R\x81[\x83h: 0 \x8a\xae\x97\xb9\x81"
    "E\x92\x86\x8e~\x81"
    "Emht \x83t\x83@\x83"
    "C\x83\x8b\x82\xc8\x82\xb5\x81"
    "A1 \x83t\x83@\x83"
    "C\x83\x8b\x82\xcc\x83G\x83\x89\x81[\x81"
    "E\x8aJ\x82\xaf\x82\xc8\x82\xa2\x83t\x83H\x83\x8b\x83_\n",
    // 　（理由は標準エラー出力へ）、2 不明なオプション・フォルダでも mht でもない引数、\n
    "\x81@\x81i\x97\x9d\x97R\x82\xcd\x95W\x8f\x80\x83G\x83\x89\x81[\x8fo\x97\xcd\x82\xd6\x81j\x81"
    "A2 \x95s\x96\xbe\x82\xc8\x83I\x83v\x83V\x83\x87\x83\x93\x81"
    "E\x83t\x83H\x83\x8b\x83_\x82\xc5\x82\xe0 mht "
    "\x82\xc5\x82\xe0\x82\xc8\x82\xa2\x88\xf8\x90\x94\x81"
    "A\n",
    // 　130（Windows では 0xC000013A）Ctrl-C で中断、-3（Linux では 253）メモリ不足\n\n
    "\x81@130\x81iWindows \x82\xc5\x82\xcd 0xC000013A\x81jCtrl-C \x82\xc5\x92\x86\x92"
    "f\x81"
    "A-3\x81iLinux \x82\xc5\x82\xcd 253\x81j\x83\x81\x83\x82\x83\x8a\x95s\x91\xab\n\n",
};
static constexpr const char *USAGE_OPTIONS[] = {
    //   -y, --yes        説明・確認・待ちなしで実行 / no explanation, question or pause\n
    "  -y, --yes        \x90\xe0\x96\xbe\x81"
    "E\x8am\x94"
    "F\x81"
    "E\x91\xd2\x82\xbf\x82\xc8\x82\xb5\x82\xc5\x8e\xc0\x8ds / no explanation, question or pause\n",
    //   --offline        同じ mht のパートへの参照を、書き出したファイルへの参照にします\n
    "  --offline        \x93\xaf\x82\xb6 mht "
    "\x82\xcc\x83p\x81[\x83g\x82\xd6\x82\xcc\x8eQ\x8f\xc6\x82\xf0\x81"
    "A\x8f\x91\x82\xab\x8fo\x82\xb5\x82\xbd\x83t\x83@\x83"
    "C\x83\x8b\x82\xd6\x82\xcc\x8eQ\x8f\xc6\x82\xc9\x82\xb5\x82\xdc\x82\xb7\n",
    //                    / pages refer to the files written for their archive's parts\n
    "                   / pages refer to the files written for their archive's parts\n",
    //                    今のブラウザの保存（.mhtml、binary、cid:）も開けるようにし、\n
    "                   \x8d\xa1\x82\xcc\x83u\x83\x89\x83"
    "E\x83U\x82\xcc\x95\xdb\x91\xb6\x81i.mhtml\x81"
    "Abinary\x81"
    "Acid:\x81j\x82\xe0\x8aJ\x82\xaf\x82\xe9\x82\xe6\x82\xa4\x82\xc9\x82\xb5\x81"
    "A\n",
    //                    ページは .htm、CSS は .css の名前にし、フォルダの *.mhtml も分解します\n
    "                   \x83y\x81[\x83W\x82\xcd .htm\x81"
    "ACSS \x82\xcd .css \x82\xcc\x96\xbc\x91O\x82\xc9\x82\xb5\x81"
    "A\x83t\x83H\x83\x8b\x83_\x82\xcc *.mhtml \x82\xe0\x95\xaa\x89\xf0\x82\xb5\x82\xdc\x82\xb7\n",
    "                   / today's saves too (.mhtml, binary parts, cid:): pages are named\n",
    "                   .htm, style sheets .css, and a folder's *.mhtml are split too\n",
};
static constexpr const char *USAGE_OPTIONS_REST[] = {
    //   --               以降はすべてフォルダかファイル / all that follows are paths\n
    "  --               "
    "\x88\xc8\x8d~\x82\xcd\x82\xb7\x82\xd7\x82\xc4\x83t\x83H\x83\x8b\x83_\x82\xa9\x83t\x83@\x83"
    "C\x83\x8b / all that follows are paths\n",
    //   -h, --help, /?   この説明 / this text\n
    "  -h, --help, /?   \x82\xb1\x82\xcc\x90\xe0\x96\xbe / this text\n",
    //   --version        バージョン / the version\n
    "  --version        \x83o\x81[\x83W\x83\x87\x83\x93 / the version\n",
};
//                    %s_offline はいつもこれで分解します / %s_offline always does so\n
static constexpr char USAGE_OFFLINE_PROGRAM[] =
    "                   %s_offline \x82\xcd\x82\xa2\x82\xc2\x82\xe0\x82\xb1\x82\xea\x82\xc5"
    "\x95\xaa\x89\xf0\x82\xb5\x82\xdc\x82\xb7 / %s_offline always does so\n";
static constexpr const char *USAGE_EN[] = {
    "Takes apart every *.mht web archive in each FOLDER given, or else in the current folder\n",
    "(the one it is started in): each part goes to a file of its own there, and the run is\n",
    "recorded in log.csv there. A FILE.mht (or FILE.mhtml) given is taken apart in its folder;\n",
    "so is a folder or file dropped on the program. It asks \"(Y/N):\" first and proceeds on Y; at "
    "the\n",
    "end it waits for Enter. The files and the log are Shift_JIS (code page 932), and so is\n",
    "what it prints into a pipe or a file; a terminal shows the text in its own encoding.\n",
};
static constexpr char USAGE_EN_PIPE[] =
    "Without the dialogue (no question, no pause): %s --yes [FOLDER]...\n";
static constexpr const char *USAGE_EN_STATUS[] = {
    "Exit status: 0 done, declined or no archive; 1 a file could not be opened, written or\n",
    "renamed, or a folder named could not be entered (the reason goes to standard error);\n",
    "2 an unknown option, or an argument that is neither a folder nor an archive; 130\n",
    "(0xC000013A on Windows) stopped by Ctrl-C; -3 (253 on Linux) out of memory.\n\n",
};

// Both programs answer these alike on every platform: "/?" is the Windows habit, and as an
// argument not beginning with '-' is ignored, taking it on POSIX too costs no meaning.
static constexpr std::string_view HELP_SWITCHES[] = {"--help", "-h", "/?"};
static constexpr std::string_view VERSION_SWITCH = "--version";
static constexpr std::string_view YES_SWITCH = "--yes";
static constexpr std::string_view YES_SHORT = "-y";
static constexpr std::string_view OFFLINE_SWITCH = "--offline";
// after it every argument is a folder or archive, whatever it begins with
static constexpr std::string_view END_OF_OPTIONS = "--";

// The usage is one text on both streams: to standard output when asked for, to standard
// error after an unknown option.
static void
write_text(console_stream_choice stream, std::string_view text)
{
    if (stream == TO_ERROR)
        console_error(text);
    else
        console_write(text);
}

static void
write_lines(console_stream_choice stream, std::span<const char *const> lines)
{
    for (const char *line : lines)
        write_text(stream, line);
}

// The text with each "%s" standing for name.
static void
write_with_name(console_stream_choice stream, std::string_view text, std::string_view name)
{
    for (std::size_t mark = text.find("%s"); mark != std::string_view::npos;
         mark = text.find("%s")) {
        write_text(stream, text.substr(0, mark));
        write_text(stream, name);
        text.remove_prefix(mark + 2);
    }
    write_text(stream, text);
}

static void
print_usage(console_stream_choice stream)
{
    // the program as started: fenwrack_offline names itself in its usage
    const std::string program = std::string(PROGRAM_NAME) + PROGRAM_SUFFIX;
    write_with_name(stream, USAGE_LINE, program);
    write_with_name(stream, USAGE_LINE_2, program);
    write_lines(stream, USAGE_JA);
    write_with_name(stream, USAGE_JA_PIPE, program);
    write_lines(stream, USAGE_JA_STATUS);
    write_lines(stream, USAGE_EN);
    write_with_name(stream, USAGE_EN_PIPE, program);
    write_lines(stream, USAGE_EN_STATUS);
    write_lines(stream, USAGE_OPTIONS);
    write_with_name(stream, USAGE_OFFLINE_PROGRAM, PROGRAM_NAME);
    write_lines(stream, USAGE_OPTIONS_REST);
}

// Tells on standard error that arg is no option of ours, then the usage.
static void
refuse_option(std::string_view arg)
{
    const std::string shown(arg.substr(0, std::min(arg.size(), std::size_t{NAME_SIZE})));
    console_error_printf("%s: %s: unknown option\n\n", PROGRAM_NAME, shown.c_str());
    print_usage(TO_ERROR);
}

// Answers a switch that ends the program before anything is looked at: the usage, the
// version, or an unknown option refused. Returns false for any other argument.
static bool
answer_switch(std::string_view arg, int *status_out)
{
    for (const std::string_view help : HELP_SWITCHES) {
        if (arg == help) {
            print_usage(TO_OUTPUT);
            *status_out = 0;
            return true;
        }
    }
    if (arg == VERSION_SWITCH) {
        console_printf("%s %s\n", PROGRAM_NAME, VERSION);
        *status_out = 0;
        return true;
    }
    if (!arg.empty() && arg[0] == '-') {
        refuse_option(arg);
        *status_out = USAGE_ERROR_STATUS;
        return true;
    }
    return false;
}

bool
answer_arguments(std::span<const command_argument> args, run_request *request_out, int *status_out)
{
    std::vector<command_argument> paths;
    bool options_ended = false;
    for (const command_argument &arg : args) {
        const std::string_view text = arg.text;
        if (options_ended || !arg.exact) {
            paths.push_back(arg);
        } else if (text == END_OF_OPTIONS) {
            options_ended = true;
        } else if (text == YES_SWITCH || text == YES_SHORT) {
            request_out->yes = true;
        } else if (text == OFFLINE_SWITCH) {
            request_out->offline = true;
        } else if (answer_switch(text, status_out)) {
            return true;
        } else {
            paths.push_back(arg);
        }
    }
    if (!find_targets(paths, &request_out->targets)) {
        *status_out = USAGE_ERROR_STATUS;
        return true;
    }
    return false;
}
