// Fuzz target: split_archive over a whole archive "a.mht" in a private folder, with the run
// log "log.csv" and both names reserved, as the batch runs it; with pages that open offline
// when the archive's size is odd.
//
// One fatal exit is part of the walk's rules and cannot be told from the archive beforehand:
// a page whose thumbnail marker and ".tmp" src name no written file ends the run with the
// rename error. So each input that may reach it (may_reach_rename_error) is first split in a
// forked child, whose fuzz sleep ends it at once at a fatal exit (fuzz_sleep.cpp). A child
// that ends with that message is accepted (its folder is checked, its log row must be
// incomplete); any other end of the child but a normal return is a finding. A child that
// returned normally is followed by the same split in this process, whose coverage guides the
// fuzzer; every other input is split in this process alone. In this folder the
// archive and the log open, every part name is made usable and rename targets are free, so no
// other fatal path may be reached; write failures are tested on their own.
//
// After each input: the archive is unchanged, every entry of the folder is a plain file,
// nothing outside the folder changed, and the log holds one complete row whose recorded names
// are plain file names that exist (a renumbered ".tmp" name excepted, see below). Then the folder
// is emptied.
#include "archive/archive.hpp"
#include "decode/decode.hpp"
#include "fuzz/scratch_folder.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

static constexpr char ARCHIVE[] = "a.mht";
static constexpr char LOG[] = "log.csv";

// リネームエラーです。 (rename error): the one fatal exit an archive may lead to here
static constexpr char MSG_RENAME_FAILED[] = "\x83\x8a\x83l\x81[\x83\x80\x83G\x83\x89\x81[";

static std::vector<std::string>
split_fields(const std::string &row)
{
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (std::size_t comma = row.find(','); comma != std::string::npos; comma = row.find(',', at)) {
        fields.push_back(row.substr(at, comma - at));
        at = comma + 1;
    }
    fields.push_back(row.substr(at));
    return fields;
}

static bool
is_plain_name(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

static bool
has_tmp_extension(const std::string &name)
{
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && dot > 0 && str_nicmp(name.c_str() + dot + 1, "tmp", 3) == 0;
}

// The row: "a.mht,N,name1,...,nameN" and CR LF. Names may hold commas; the names are checked
// one by one only when the fields add up.
static void
check_log_row(const std::vector<std::string> &files)
{
    const std::string log = read_scratch_file(LOG);
    const std::string head = std::string(ARCHIVE) + ",";
    if (log.size() < head.size() + 3 || log.compare(0, head.size(), head) != 0 ||
        log.compare(log.size() - 2, 2, "\r\n") != 0)
        fuzz_fail("the log row is not complete");
    const std::string row = log.substr(head.size(), log.size() - head.size() - 2);
    if (row.find('\n') != std::string::npos)
        fuzz_fail("the log row holds a line feed");
    const std::vector<std::string> fields = split_fields(row);
    const std::size_t count = std::stoul(fields[0]);
    if (count + 1 != fields.size())
        return;
    for (std::size_t k = 1; k < fields.size(); ++k) {
        if (!is_plain_name(fields[k]))
            fuzz_fail("recorded name \"%s\" is no plain file name", fields[k].c_str());
        // A ".tmp" output renumbered after another part of its name replaced it has no file
        // left to rename; its entry takes the new name all the same (the pages refer to it).
        if (!std::binary_search(files.begin(), files.end(), fields[k]) &&
            !has_tmp_extension(fields[k]))
            fuzz_fail("recorded name \"%s\" was not written", fields[k].c_str());
    }
}

static std::string
read_whole(const char *path)
{
    std::string bytes;
    if (std::FILE *f = std::fopen(path, "rb")) {
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
            bytes.append(chunk, n);
        std::fclose(f);
    }
    return bytes;
}

// Pages that open offline are asked for when the archive's size is odd, so that both ways of
// closing an archive out meet every kind of input (the example thread page among them).
static bool offline = false;

static void
split_here()
{
    const name_set reserved = make_name_set(std::vector<std::string>{ARCHIVE, LOG});
    // the run log as the batch leaves it: created, and known by its identity
    if (std::FILE *log = std::fopen(LOG, "ab"))
        std::fclose(log);
    batch_info batch{LOG, {}, {&reserved, {}}};
    inspect_entry(LOG, &batch.log_identity);
    batch.offline = offline;
    split_archive(ARCHIVE, batch);
}

// Splits the archive in a child whose console goes to files outside the folder. Returns true
// when the child returned normally, false when it ended with the rename error; aborts on any
// other end.
static bool
split_in_child()
{
    static const std::string out_path =
        std::string(P_tmpdir) + "/fenwrack-fuzz-child-" + std::to_string(getpid()) + ".out";
    static const std::string err_path =
        std::string(P_tmpdir) + "/fenwrack-fuzz-child-" + std::to_string(getpid()) + ".err";
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        fuzz_fail("fork failed");
    if (pid == 0) {
        fuzz_in_child = true;
        if (std::freopen(out_path.c_str(), "wb", stdout) == nullptr ||
            std::freopen(err_path.c_str(), "wb", stderr) == nullptr)
            _exit(99);
        split_here();
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) != pid) {
        if (errno != EINTR)
            fuzz_fail("waitpid failed");
    }
    const std::string console = read_whole(out_path.c_str());
    const std::string errors = read_whole(err_path.c_str());
    std::remove(out_path.c_str());
    std::remove(err_path.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    if (WIFEXITED(status) && WEXITSTATUS(status) == FATAL_CHILD_STATUS &&
        console.find(MSG_RENAME_FAILED) != std::string::npos)
        return false;
    std::fputs(errors.c_str(), stderr);
    fuzz_fail("the split ended with status %d, printing: %s", status, console.c_str());
}

// The rename error needs a page (an HTML part, declared by a "text/html" in the archive's
// text) whose src names a ".tmp" file. The page's bytes hold "tmp" literally unless they are
// decoded: from base64, from quoted-printable, or through ISO-2022-JP escapes (an ESC byte).
// The text is taken as the reading takes it, CR bytes dropped, and compared in upper case.
// Archives that cannot reach the error are split in this process alone: a fork costs far more
// than a split.
static bool
may_reach_rename_error(const std::uint8_t *data, std::size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    for (char &c : text)
        c = static_cast<char>(ascii_upper(static_cast<unsigned char>(c)));
    const auto has = [&text](std::string_view word) {
        return text.find(word) != std::string::npos;
    };
    return has("TEXT/HTML") &&
           (has("TMP") || has("BASE64") || has("QUOTED-PRINTABLE") || has("\x1b"));
}

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    enter_scratch_folder();
    write_scratch_file(ARCHIVE, data, size);
    offline = size % 2 == 1;

    const bool returned = !may_reach_rename_error(data, size) || split_in_child();
    if (returned) {
        empty_scratch_folder();
        write_scratch_file(ARCHIVE, data, size);
        split_here();
    }

    if (read_scratch_file(ARCHIVE) != std::string(reinterpret_cast<const char *>(data), size))
        fuzz_fail("the archive changed");
    const std::vector<std::string> files = scratch_files();
    if (returned)
        check_log_row(files);
    else if (read_scratch_file(LOG).find('\n') != std::string::npos)
        fuzz_fail("the log row was completed although the run ended");
    check_outside_unchanged();
    empty_scratch_folder();
    return 0;
}
