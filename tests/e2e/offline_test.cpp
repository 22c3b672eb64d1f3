// Pages that open offline, as a person opens them: archives split with --offline, each in a
// folder of its own, and every HTML output opened in headless Chromium. Every image and frame
// that names a part of its archive must show from the folder; what names the web stays so.
#include "tests/common/browser.hpp"
#include "tests/common/run_interactive.hpp"
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

// A GIF of one pixel, base64.
const std::string PIXEL = "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==\r\n";

std::string
part(const std::string &headers, const std::string &body)
{
    return "--BB\r\n" + headers + "\r\n" + body + "\r\n";
}

std::string
image(const std::string &location_or_id)
{
    return part("Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n" +
                    location_or_id + "\r\n",
                PIXEL);
}

// A page under a <base href>, with a frame, a style sheet that names an image relative to
// itself, a <style> block, a "cid:" image, a query written with "&amp;", a name in Japanese
// from encoded words, a fragment, and links to the web.
std::string
offline_archive()
{
    return "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"BB\"\r\n\r\n" +
           part("Content-Type: text/html; charset=shift_jis\r\n"
                "Content-Location: http://site.example/dir/index.htm\r\n",
                "<html><head><base href=\"http://site.example/dir/sub/\">\r\n"
                "<link rel=stylesheet href=\"../style.css\">\r\n"
                "<style>p{background:url('/img/bg.gif')}</style></head><body><p>\r\n"
                "<iframe src=\"frame.htm#top\"></iframe>\r\n"
                "<img src=\"cid:logo@site.example\">\r\n"
                "<img src=\"HTTP://SITE.example/q.gif?a=1&amp;b=2\">\r\n"
                "<img src=http://site.example/\x83\x65\x83X\x83g.gif>\r\n"
                "<a href=\"http://www.example.com/\">web</a> <a href=\"other.htm\">other</a>\r\n"
                "</body></html>\r\n") +
           part("Content-Type: text/css\r\nContent-Location: http://site.example/dir/style.css\r\n",
                ".x{background:url(img/dot.gif)}\r\n") +
           part(
               "Content-Type: text/html\r\nContent-Location: http://site.example/dir/sub/frame.htm"
               "\r\n",
               "<html><body><img src=\"../../img/bg.gif\"><div class=x>x</div></body></html>\r\n") +
           image("Content-Location: http://site.example/img/bg.gif") +
           image("Content-Location: http://site.example/dir/img/dot.gif") +
           image("Content-Location: http://site.example/q.gif?a=1&b=2") +
           image("Content-ID: <logo@site.example>") +
           // http://site.example/テスト.gif
           image("Content-Location: =?shift_jis?B?aHR0cDovL3NpdGUuZXhhbXBsZS+DZYNYg2cuZ2lm?=") +
           "--BB--\r\n";
}

// The Content-Location values an archive's headers give as plain text (not encoded words).
std::set<std::string>
plain_locations(const std::string &archive)
{
    std::set<std::string> locations;
    const std::string header = "\nContent-Location: ";
    for (std::size_t at = archive.find(header); at != std::string::npos;
         at = archive.find(header, at + 1)) {
        const std::size_t from = at + header.size();
        const std::size_t end = archive.find_first_of("\r\n", from);
        const std::string location = archive.substr(from, end - from);
        if (location.find("=?") == std::string::npos)
            locations.insert(location);
    }
    return locations;
}

// The HTML outputs of a folder: the names the log row lists that end in ".htm" or ".html".
std::vector<std::string>
html_outputs(const fs::path &folder)
{
    std::vector<std::string> pages;
    for (const auto &entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const std::string ext = entry.path().extension().string();
        if (ext == ".htm" || ext == ".html" || ext == ".HTM" || ext == ".HTML")
            pages.push_back(name);
    }
    return pages;
}

struct split_archive_case {
    std::string title;
    std::string archive;
    int images_shown;  // how many images the pages show, -1 when not counted
};

class Offline : public ScratchDirTest
{
};

// Regression: the split pages named their images and frames by the web addresses they were
// saved from, so a browser showed none of them: 0 of 5 images of the thread page.
TEST_F(Offline, EveryImageAndFrameThatNamesAPartShowsFromTheFolder)
{
    const std::string browser = find_browser();
    if (browser.empty())
        GTEST_SKIP() << "no browser to open the pages in (install chromium)";
    std::vector<split_archive_case> cases = {
        {"offline", offline_archive(), 5},
        {"thread", read_file(fs::path(FENWRACK_SOURCE_DIR) / "examples" / "thread.mht"), 3},
        {"japanese_names",
         read_file(fs::path(FENWRACK_SOURCE_DIR) / "examples" / "japanese_names.mht"), -1}};
    for (const char *name :
         {"chromium__page_with_image_ie.mht", "chromium__page_with_css_and_js_ie.mht",
          "chromium__multi_frames_ie.mht", "Open-Xml-PowerTools__PU001-Test001.mht",
          "WebKit__simple_page_ie.mht"}) {
        const std::string bytes = read_corpus(name);
        if (!bytes.empty())
            cases.push_back({name, bytes, -1});
    }
    std::vector<std::string> pages;
    for (const split_archive_case &c : cases) {
        const fs::path folder = scratch / c.title;
        fs::create_directories(folder);
        write_input(folder, "a.mht", c.archive);
        run_options options;
        options.args = {"--offline"};
        // the test's own locale, which Wine takes the code page of file names from
        for (const char *name : {"LANG", "LC_ALL"}) {
            if (const char *value = std::getenv(name))
                options.environment.emplace_back(name, value);
        }
        const interactive_result r = run_with("fenwrack_nosleep", folder, "y\n\n", options);
        ASSERT_EQ(r.status, 0) << c.title << "\n" << r.err;
        for (const std::string &page : html_outputs(folder))
            pages.push_back(c.title + "/" + page);
    }
    // The Japanese name's reference: its bytes as the file system stores the name, escaped (the
    // Windows program stores UTF-16, which a browser there takes as UTF-8)
    const std::string japanese =
        programs_use_crlf_console() ? "%E3%83%86%E3%82%B9%E3%83%88.gif" : "%83e%83X%83g.gif";
    EXPECT_NE(read_file(scratch / "offline" / "index.htm").find("<img src=" + japanese + ">"),
              std::string::npos);
    const std::vector<shown_item> items = browse_pages(browser, scratch, pages);
    ASSERT_FALSE(items.empty());
    for (const split_archive_case &c : cases) {
        const std::set<std::string> locations = plain_locations(c.archive);
        const std::string folder_url = "/" + c.title + "/";
        int shown = 0;
        for (const shown_item &item : items) {
            if (item.document.find(folder_url) == std::string::npos)
                continue;
            const bool local = item.url.rfind("file:", 0) == 0;
            if (item.kind == "img" && local) {
                EXPECT_TRUE(item.shown) << c.title << ": " << item.source << " did not load";
                shown += item.shown ? 1 : 0;
            } else if (item.kind == "frame") {
                EXPECT_TRUE(item.shown && local) << c.title << ": frame " << item.source;
            }
            // nothing still names a part by its address on the web
            EXPECT_EQ(locations.count(item.source), 0u) << c.title << ": " << item.source;
        }
        if (c.images_shown >= 0) {
            EXPECT_EQ(shown, c.images_shown) << c.title;
        }
    }
}

}  // namespace
