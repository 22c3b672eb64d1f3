#include "driver/driver.hpp"

#include "archive/archive.hpp"
#include "decode/decode.hpp"
#include "platform/platform.hpp"
#include "support/support.hpp"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Console texts, cp932 bytes.
static constexpr char BANNER_1[] =
    "\n\x81@\x81@///////////////////////////////////////////////////"
    "/\n";  // \n　　////////////////////////////////////////////////////\n
static constexpr char BANNER_2[] = "\x81@\x81@/// Quorvane \x83\xc0"
                                   "1.33 ///\n";  // 　　/// Quorvane β1.33 ///\n
static constexpr char BANNER_3[] =
    "\x81@\x81@////////////////////////////////////////////////////"
    "\n\n";  // 　　////////////////////////////////////////////////////\n\n
static constexpr char BANNER_4[] =
    "\x81@IE6\x82\xc5\x83"
    "C\x83\x93\x83^\x81[\x83l\x83"
    "b\x83g\x82\xa9\x82\xe7\x95\xdb\x91\xb6\x82\xb5\x82\xbdmht\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x95\xaa\x89\xf0\x82\xb7\x82\xe9\x83v\x83\x8d\x83O\x83\x89\x83\x80\x82\xc5"
    "\x82\xb7\x81"
    "B\n";  // 　IE6でインターネットから保存したmhtファイルを分解するプログラムです。\n
static constexpr char BANNER_5[] =
    "\x81@"
    "\x82\xbb\x82\xea\x88\xc8\x8aO\x82\xcc\x8a\xc2\x8b\xab\x82\xc5\x95\xdb\x91\xb6\x82\xb3\x82\xea"
    "\x82\xbdmht\x83t\x83@\x83"
    "C\x83\x8b\x82\xc9\x82\xa8\x82\xaf\x82\xe9\x93\xae\x8d\xec\x82\xcd\x95\xdb\x8f\xd8\x82\xc5\x82"
    "\xab\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n\n";  // 　それ以外の環境で保存されたmhtファイルにおける動作は保証できません。\n\n
static constexpr char BANNER_6[] =
    "\x81@\x82\xb1\x82\xcc\x8e\xc0\x8ds\x83t\x83@\x83"
    "C\x83\x8b\x82\xc6\x93\xaf\x82\xb6\x83t\x83H\x83\x8b\x83_"
    "\x82\xc9\x82\xa0\x82\xe9\x91S\x82\xc4\x82\xccmht\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x95\xaa\x89\xf0\x82\xb5\x82\xdc\x82\xb7\x81"
    "B\n\n";  // 　この実行ファイルと同じフォルダにある全てのmhtファイルを分解します。\n\n
static constexpr char BANNER_7[] =
    "\x81@\x83t\x83@\x83"
    "C\x83\x8b\x96\xbc\x82\xaa\x8f"
    "d\x95\xa1\x82\xb5\x82\xbd\x8f\xea\x8d\x87\x82\xcc\x91\xce\x89\x9e\x81"
    "F\n";  // 　ファイル名が重複した場合の対応：\n
static constexpr char BANNER_8[] = "\x81@\x81"
                                   "Ehtml\x83t\x83@\x83"
                                   "C\x83\x8b\x81\xa8\x98"
                                   "A\x94\xd4\x82\xf0\x95t\x89\xc1\x82\xb5\x82\xc4\x95\xdb\x91\xb6"
                                   "\n";  // 　・htmlファイル→連番を付加して保存\n
static constexpr char BANNER_9[] = "\x81@\x81"
                                   "E\x82\xbb\x82\xcc\x91\xbc\x81\xa8\x8f\xe3\x8f\x91\x82\xab\x95"
                                   "\xdb\x91\xb6\n";  // 　・その他→上書き保存\n
static constexpr char BANNER_10[] =
    "\x81@\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x96\xbc\x82\xf0\x8e\xe6\x93\xbe\x82\xc5\x82\xab\x82\xc8\x82\xa9\x82\xc1\x82\xbd\x8f"
    "\xea\x8d\x87\x81"
    "A*."
    "dec\x82\xc6\x82\xa2\x82\xa4\x96\xbc\x91O\x82\xc5\x8fo\x97\xcd\x82\xb3\x82\xea\x82\xdc\x82\xb7"
    "\x81"
    "B\n";  // 　出力ファイル名を取得できなかった場合、*.decという名前で出力されます。\n
static constexpr char BANNER_11[] = "\x81@ "
                                    "(*"
                                    "\x82\xc9\x82\xcd\x8f\x88\x97\x9d\x92\x86\x82\xccmht\x83t\x83@"
                                    "\x83"
                                    "C\x83\x8b\x96\xbc\x82\xaa\x93\xfc\x82\xe8\x82\xdc\x82\xb7)"
                                    "\n\n";  // 　 (*には処理中のmhtファイル名が入ります)\n\n
static constexpr char BANNER_12[] =
    "\x81@\x90\xe0\x96\xbe\x82\xcd\x88\xc8\x8f\xe3\x82\xc5\x82\xb7\x81"
    "B\n";  // 　説明は以上です。\n
static constexpr char PROMPT[] =
    "\x81@\x8f\x88\x97\x9d\x82\xf0\x8e\xc0\x8ds\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81H(Y/"
    "N):";  // 　処理を実行しますか？(Y/N):
static constexpr char MSG_NOT_FOUND[] =
    "\x81@mht\x83t\x83@\x83"
    "C\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n";  // 　mhtファイルが見つかりません。\n
static constexpr char MSG_NAME_NOT_CP932[] =
    "\x81@%s \x82\xcd\x83t\x83@\x83"
    "C\x83\x8b\x96\xbc\x82\xf0 Shift_JIS \x82\xc5\x95\\\x82\xb9\x82\xc8\x82\xa2\x82\xbd\x82\xdf\x81"
    "A\x8f\x88\x97\x9d\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n";  // 　%s はファイル名を Shift_JIS で表せないため、処理しません。\n
static constexpr char LOG_HEADER[] =
    "\x95\xcf\x8a\xb7\x8c\xb3mht\x83t\x83@\x83"
    "C\x83\x8b,\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x90\x94,\x8fo\x97\xcd\x83t\x83@\x83"
    "C\x83\x8b\x96\xbc\n";  // 変換元mhtファイル,出力ファイル数,出力ファイル名\n
static constexpr char MSG_SUMMARY[] =
    "\x81@%d\x8c\xc2\x82\xccmht\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x8f\x88\x97\x9d\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81"
    "B\n\x81@\x8f\x88\x97\x9d\x93\xe0\x97"
    "e\x82\xcc\x83\x8d\x83O\x82\xf0 %s "
    "\x82\xc6\x82\xb5\x82\xc4\x8fo\x97\xcd\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81"
    "B\n";  // 　%d個のmhtファイルを処理しました。\n　処理内容のログを %s として出力しました。\n
static constexpr char MSG_ENTER[] =
    "\n\x81@Enter\x83L\x81[\x82\xc5\x8fI\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81"
    "B";  // \n　Enterキーで終了します。
static constexpr char MSG_INTERRUPTED[] =
    "\x81@%s\x82\xcc\x95\xaa\x89\xf0\x92\x86\x82\xc9\x92\x86\x92"
    "f\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81"
    "B\n";  // 　%sの分解中に中断しました。\n
static constexpr char MSG_LOG_OPEN[] =
    "\x8fo\x97\xcd\x83\x8d\x83O\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\n";  // 出力ログファイルを開けません\n

// 　次のフォルダ（中の全てのmhtファイル）とmhtファイルを分解します。\n
static constexpr char MSG_TARGETS[] =
    "\x81@\x8e\x9f\x82\xcc\x83t\x83H\x83\x8b\x83_"
    "\x81i\x92\x86\x82\xcc\x91S\x82\xc4\x82\xccmht\x83t\x83@\x83"
    "C\x83\x8b\x81j\x82\xc6mht\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x95\xaa\x89\xf0\x82\xb5\x82\xdc\x82\xb7\x81"
    "B\n";
static constexpr char MSG_TARGET_ITEM[] = "\x81@\x81"
                                          "E%s\n";                // 　・%s\n
static constexpr char MSG_TARGET_HEAD[] = "\x81@\x81y%s\x81z\n";  // 　【%s】\n
// 　%s を開けないため、処理しません。\n
static constexpr char MSG_NOT_ENTERED[] =
    "\x81@%s \x82\xf0\x8aJ\x82\xaf\x82\xc8\x82\xa2\x82\xbd\x82\xdf\x81"
    "A\x8f\x88\x97\x9d\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x81"
    "B\n";

static constexpr const char *EXPLANATION[] = {BANNER_1,  BANNER_2,  BANNER_3, BANNER_4, BANNER_5,
                                              BANNER_6,  BANNER_7,  BANNER_8, BANNER_9, BANNER_10,
                                              BANNER_11, BANNER_12, PROMPT};

// The explanation; with targets named, what they are in place of the line about the
// executable's folder.
static void
explain(const std::vector<run_target> &targets)
{
    for (const char *text : EXPLANATION) {
        if (text != BANNER_6 || targets.empty()) {
            console_write(text);
            continue;
        }
        console_write(MSG_TARGETS);
        for (const run_target &target : targets) {
            if (target.archives.empty())
                console_printf(MSG_TARGET_ITEM, target.given.c_str());
            for (const std::string &given : target.archives_given)
                console_printf(MSG_TARGET_ITEM, given.c_str());
        }
        console_write("\n");
    }
}

// Answers and the final Enter are read with this limit (11 characters and the terminator).
static constexpr int ANSWER_SIZE = 12;

// Asks until a line with a first character arrives. Returns that character, or 0 when the
// input ends first (taken as a declined answer).
static char
read_answer()
{
    char answer[ANSWER_SIZE] = {};
    for (;;) {
        if (!console_read_line(answer))
            return 0;
        if (answer[0] != '\0')
            return answer[0];  // an empty line counts too: its first character is "\n"
        console_write(PROMPT);
    }
}

// Fixes the run log's name (first free of log.csv, log_0001.csv, ...) and writes its header.
// The log is created exclusively: a name taken meanwhile (another run in the folder) moves on
// to the next free one.
static void
start_run_log(std::span<char> log_name, file_identity *identity_out)
{
    out_stream log;
    for (;;) {
        // every search starts from "log.csv", so the names refused so far are passed over and
        // the log is always "log.csv" or "log_NNNN.csv"
        copy_bounded(log_name, RUN_LOG_NAME);
        make_unique_name(log_name);
        const create_result created = out_create_new(&log, log_name.data(), "a");
        if (created == CREATE_OK)
            break;
        if (created == CREATE_FAILED)
            fail_run_file(log_name.data(), "%s", MSG_LOG_OPEN);
        note_name_refused(log_name.data());
    }
    if (!out_identity(&log, identity_out)) {
        note_reason("its identity cannot be read");
        fail_run_file(log_name.data(), "%s", MSG_LOG_OPEN);
    }
    out_text(&log, LOG_HEADER);
    if (!out_close(&log))
        fail_run_file(log_name.data(), "%s", MSG_LOG_OPEN);
}

// Adds the identity of name to files when it is a regular file.
static void
add_identity(const char *name, std::vector<file_identity> *files)
{
    file_identity identity;
    if (inspect_entry(name, &identity) == ENTRY_REGULAR)
        files->push_back(identity);
}

// The files no part may write into, whatever name reaches them: the batch's archives and the
// run logs of the folder, this run's included (which must exist by now).
static std::vector<file_identity>
guarded_files_of(const std::vector<std::string> &archives, const char *log_name)
{
    std::vector<file_identity> files;
    for (const std::string &name : archives)
        add_identity(name.c_str(), &files);
    std::vector<std::string> names;
    list_entry_names(&names);
    for (const std::string &name : names) {
        if (is_run_log_name(name))
            add_identity(name.c_str(), &files);
    }
    add_identity(log_name, &files);
    sort_guarded_files(files);
    return files;
}

// Ends a run that Ctrl-C stopped: the archive named was being split, and its parts written so
// far are whole, renamed and in its log row. No summary and no Enter wait: the person asked to
// stop.
[[noreturn]] static void
end_interrupted(const char *archive_name)
{
    progress_end();
    console_printf(MSG_INTERRUPTED, archive_name);
    exit_process(interrupted_status());
}

// Splits the archives one after another, with the progress line on a terminal. Ctrl-C is
// taken after the part being written (split_archive stops there) and ends the run after that
// archive is closed out. Returns the number of archives split.
static int
split_archives(const std::vector<std::string> &archives, const batch_info &batch)
{
    progress_start(static_cast<int>(archives.size()));
    int archive_count = 0;
    for (const std::string &name : archives) {
        progress_archive(archive_count, name.c_str());
        split_archive(name.c_str(), batch);
        ++archive_count;
        if (interrupt_requested())
            end_interrupted(name.c_str());
    }
    progress_end();
    return archive_count;
}

// The archives of target as the folder's listing names them (the letter case on disk), or as
// given when the listing has no such name, in the order given. Those the listing lacks join
// listed, so that they are guarded as the listed ones are.
static std::vector<std::string>
named_archives(const std::vector<std::string> &wanted, std::vector<std::string> *listed)
{
    std::map<std::string, std::size_t> exact;
    std::map<std::string, std::size_t> folded;  // the first listed of each name folded
    for (std::size_t k = 0; k < listed->size(); ++k) {
        exact.emplace((*listed)[k], k);
        folded.emplace(ascii_folded((*listed)[k]), k);
    }
    std::vector<std::string> names;
    for (const std::string &name : wanted) {
        auto found = exact.find(name);
        if (found == exact.end())
            found = folded.find(ascii_folded(name));
        if (found != exact.end() && found != folded.end()) {
            names.push_back((*listed)[found->second]);
            continue;
        }
        names.push_back(name);
        exact.emplace(name, listed->size());
        listed->push_back(name);
    }
    return names;
}

// On standard error, when a folder without "*.mht" has "*.mhtml": the command that splits
// them (a plain run leaves them, as it always did).
static void
hint_at_mhtml(const run_target *target)
{
    std::vector<std::string> archives;
    std::vector<std::string> unnamed;
    list_archive_names(true, &archives, &unnamed);
    if (archives.empty())
        return;
    const char *folder = target != nullptr ? target->given.c_str() : ".";
    console_error_printf("%s: %s: no .mht archives, but .mhtml ones: split them with %s --offline "
                         "%s\n",
                         PROGRAM_NAME, folder, PROGRAM_NAME, folder);
}

// Splits the archives of batch_archives in the current folder, all of archives guarded, with
// a run log of their own and the summary.
static void
split_listed(const std::vector<std::string> &batch_archives,
             const std::vector<std::string> &archives, bool offline)
{
    catch_interrupts();
    char log_name[LOG_NAME_SIZE] = {};
    file_identity log_identity;
    start_run_log(log_name, &log_identity);
    std::vector<std::string> names = archives;
    names.emplace_back(log_name);
    const name_set reserved = make_name_set(names);
    const std::vector<file_identity> guarded = guarded_files_of(archives, log_name);
    const batch_info batch{log_name, log_identity, {&reserved, guarded}, offline};
    const int archive_count = split_archives(batch_archives, batch);
    release_interrupts();
    console_printf(MSG_SUMMARY, archive_count, log_name);
}

// Splits the archives of the current folder: every "*.mht" (offline: "*.mhtml" too), or the
// archives named (the others are guarded all the same). Returns whether a summary was printed.
static bool
split_folder(const run_target *target, const std::vector<std::string> &named, bool offline)
{
    // The listing is taken once: outputs written during the run never join the batch.
    std::vector<std::string> archives;
    std::vector<std::string> unnamed;  // no name of the tool's reaches them: left alone
    list_archive_names(offline, &archives, &unnamed);
    std::vector<std::string> batch_archives;
    if (named.empty()) {
        batch_archives = archives;
    } else {
        batch_archives = named_archives(named, &archives);
        unnamed.clear();  // not in this run
    }
    for (const std::string &name : unnamed)
        console_printf(MSG_NAME_NOT_CP932, name.c_str());
    if (batch_archives.empty()) {
        console_write(MSG_NOT_FOUND);
        if (!offline)
            hint_at_mhtml(target);
        return false;
    }
    split_listed(batch_archives, archives, offline);
    return true;
}

// Tells that given cannot be entered or split: on the console, and with the system's reason
// on standard error.
static void
tell_not_entered(const std::string &given)
{
    char reason[REASON_SIZE];
    os_error_text(reason);
    console_printf(MSG_NOT_ENTERED, given.c_str());
    console_error_printf("%s: %s: %s\n", PROGRAM_NAME, given.c_str(), reason);
}

// Makes target's folder the current one and stores in *present_out its archives named that are
// there (each one missing is told). Returns false when the folder cannot be entered (told) and
// sets *all_out false when anything was told.
static bool
enter_target(const run_target &target, std::vector<std::string> *present_out, bool *all_out)
{
    if (!enter_folder(target.folder.c_str())) {
        if (target.archives.empty())
            tell_not_entered(target.given);
        for (const std::string &given : target.archives_given)
            tell_not_entered(given);
        *all_out = false;
        return false;
    }
    forget_folder_names();
    for (std::size_t k = 0; k < target.archives.size(); ++k) {
        file_identity archive;
        if (inspect_path(target.archives[k].c_str(), &archive) == PATH_FILE) {
            present_out->push_back(target.archives[k]);
        } else {
            tell_not_entered(target.archives_given[k]);
            *all_out = false;
        }
    }
    return target.archives.empty() || !present_out->empty();
}

int
run_batch(const run_request &request)
{
    set_person_pauses(!request.yes);
    if (!request.yes) {
        explain(request.targets);
        const char answer = read_answer();
        if (answer != 'Y' && answer != 'y')
            return 0;
        console_write("\n");
    }
    bool all_entered = true;
    bool summarised = false;
    if (request.targets.empty())
        summarised = split_folder(nullptr, {}, request.offline);
    for (const run_target &target : request.targets) {
        if (request.targets.size() > 1)
            console_printf(MSG_TARGET_HEAD, target.given.c_str());
        // one that cannot be entered is passed over: the others do not depend on it
        std::vector<std::string> present;
        if (enter_target(target, &present, &all_entered))
            summarised = split_folder(&target, present, request.offline) || summarised;
    }
    if (summarised)
        pause_for_person(3000);  // the summary is read before the Enter wait
    if (!request.yes) {
        console_write(MSG_ENTER);
        char enter[ANSWER_SIZE] = {};
        console_read_line(enter);
    }
    return all_entered ? 0 : 1;
}
