// Locations written as encoded words, through the archive walk: continuation lines, the line
// handed back to the walk, the end of the input and the fallback name for an unknown letter.
#include "archive/archive.hpp"
#include "decode/decode.hpp"
#include "tests/common/console_texts.hpp"
#include "tests/common/test_files.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace
{

const std::string UNKNOWN_LETTER_MESSAGE = UNKNOWN_LETTER_HEAD + "a_0001.dec" + UNKNOWN_LETTER_TAIL;

struct location_case {
    const char *title;
    std::string archive;  // lines end in "\n"; each case also runs with CR LF
    std::map<std::string, std::string> parts;
    std::string console = "";
};

// Runs split_archive on a.mht. A line handed back to the walk again and again would keep it
// going for ever: after a minute the test program ends with a message instead.
void
split_with_watchdog(const batch_info &batch)
{
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!ended.wait_for(lock, std::chrono::seconds(60), [&] { return done; })) {
            std::fprintf(stderr, "split_archive did not end within a minute\n");
            std::_Exit(1);
        }
    });
    split_archive("a.mht", batch);
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    ended.notify_one();
    watchdog.join();
}

class EncodedLocation : public ScratchDirTest
{
  protected:
    // Splits archive as a.mht in a fresh sub-folder beside a file a.dec; returns the console.
    std::string split(const std::string &folder, const std::string &archive)
    {
        std::filesystem::create_directory(folder);
        std::filesystem::current_path(scratch / folder);
        write_file("a.mht", archive);
        write_file("a.dec", "taken");
        static const name_set reserved =
            make_name_set(std::vector<std::string>{"a.mht", "log.csv"});
        testing::internal::CaptureStdout();
        split_with_watchdog(test_batch(&reserved));
        std::string console = testing::internal::GetCapturedStdout();
        std::filesystem::current_path(scratch);
        return console;
    }
};

TEST_F(EncodedLocation, NamesPartAndHandsBackNextLine)
{
    const std::string head = "Content-Type: image/gif\n";
    const location_case cases[] = {
        // ASCII names, which the folder listing reads alike on every platform
        {"folded words; the next header is read again",
         head + "Content-Location: =?iso-2022-jp?B?GyhCYQ==?=\n\t=?shift_jis?Q?b.gif?=\n"
                "Content-Transfer-Encoding: base64\n\nQUJD\n",
         {{"a.decab.gif", "ABC"}}},
        {"the blank line after the word still starts the body",
         head + "Content-Location: =?shift_jis?Q?http://h/n.txt?=\n\nbody\n",
         {{"n.txt", "body\r\n"}}},
        {"end of the input while reading continuation lines",
         head + "Content-Location: =?shift_jis?Q?n.txt?=",
         {}},
        // after a decode the walk goes on over the name: a word start in it from the column
        // after the first one decodes again, and reads the handed-back line once more
        {"a word start in the decoded name",
         head + "Content-Location: =?shift_jis?Q?0123456789abcd=3D?shift_jis?Q?z?=\n\nb\n",
         {{"a.dec0123456789abcd=_shift_jis_Q_zz", "b\r\n"}}},
        // a location line longer than the walk's read: the rest comes as a line of its own,
        // and that is what goes back, never the location line (it would be decoded again)
        {"location line cut after its word",
         head + "Content-Location: =?shift_jis?Q?http://h/n.txt?=" + std::string(12000, ' ') +
             "\n\nb\n",
         {{"n.txt", "b\r\n"}}},
        {"location line cut right after its word start",
         head + "Content-Location: " + std::string(LINE_BUFFER_SIZE - 2 - 18 - 12, 'x') +
             "=?shift_jis?Q?ab?=\n\nb\n",
         {{"a.dec", "b\r\n"}}},
        {"unknown letter on the location line",
         head + "Content-Location: =?shift_jis?b?eA==?=\n\nb\n",
         {{"a_0001.dec", "b\r\n"}},
         UNKNOWN_LETTER_MESSAGE},
        {"unknown letter on a continuation line drops the words before it",
         head + "Content-Location: =?shift_jis?Q?x?=\n =?shift_jis?q?y?=\n\nb\n",
         {{"a_0001.dec", "b\r\n"}},
         UNKNOWN_LETTER_MESSAGE},
    };
    int index = 0;
    for (const location_case &c : cases) {
        for (const bool cr : {false, true}) {
            SCOPED_TRACE(std::string(c.title) + (cr ? ", CR LF" : ", LF"));
            const std::string folder = "case" + std::to_string(index++);
            EXPECT_EQ(split(folder, cr ? crlf(c.archive) : c.archive), c.console);
            std::set<std::string> expected{"a.dec", "a.mht", "log.csv"};
            std::string row = "a.mht," + std::to_string(c.parts.size());
            for (const auto &[name, bytes] : c.parts) {
                expected.insert(name);
                row += "," + name;
                EXPECT_EQ(read_file(scratch / folder / name), bytes) << name;
            }
            EXPECT_EQ(list_folder(scratch / folder),
                      std::vector<std::string>(expected.begin(), expected.end()));
            EXPECT_EQ(read_file(scratch / folder / "log.csv"), row + "\r\n");
        }
    }
}

}  // namespace
