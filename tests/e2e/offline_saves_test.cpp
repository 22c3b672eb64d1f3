// Pages saved by today's browsers, split with --offline and opened as a person opens them:
// archives made here in the forms those browsers write, and the real ones of the corpus. Each
// is split in a folder of its own and its page (the archive's first part) opened in headless
// Chromium, which must show it as a page, read its text right, apply its style sheets and show
// its images and frames.
#include "tests/common/browser.hpp"
#include "tests/common/run_interactive.hpp"
#include "tests/common/run_program.hpp"
#include "tests/common/test_files.hpp"
#include "webref/webref.hpp"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

const std::string BLINK = "----MultipartBoundary--vSave3kQx----";

// One part of a save whose delimiter is "--" boundary.
std::string
part(const std::string &boundary, const std::string &headers, const std::string &body)
{
    return "--" + boundary + "\r\n" + headers + "\r\n" + body + "\r\n";
}

// A binary part as the browser writes it: its body's bytes as they are.
std::string
blink_part(const std::string &type, const std::string &where, const std::string &body)
{
    return part(
        BLINK, "Content-Type: " + type + "\r\nContent-Transfer-Encoding: binary\r\n" + where, body);
}

// A save as a current Chrome writes it (.mhtml): every part binary, the page at a location
// that ends in '/', its style sheet found by a "cid:" location and its frame by a Content-ID,
// images chosen from srcset lists, and an image and a style sheet fetched with CORS and
// checked against a hash (neither holds for a file of the folder).
std::string
chrome_save()
{
    const std::string png = pixel_png();
    return "From: <Saved by Blink>\r\nSnapshot-Content-Location: https://host.example/dir/\r\n"
           "Subject: save\r\nMIME-Version: 1.0\r\nContent-Type: multipart/related;\r\n"
           "\ttype=\"text/html\";\r\n\tboundary=\"" +
           BLINK + "\"\r\n\r\n\r\n" +
           blink_part(
               "text/html",
               "Content-ID: <frame-0@mhtml.blink>\r\nContent-Location: "
               "https://host.example/dir/\r\n",
               "<!DOCTYPE html><html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
               "charset=UTF-8\">\n<link rel=\"stylesheet\" type=\"text/css\" "
               "href=\"cid:css-1@mhtml.blink\" />\n<link integrity=\"sha384-AAAAAAAAAAAAAAAAAAAA\" "
               "crossorigin=\"anonymous\" rel=\"stylesheet\" "
               "href=\"https://cdn.example/lib.css\">\n"
               "</head><body><p class=\"mark\">marked</p><p class=\"lib\">lib</p>\n"
               "<img srcset=\"a.png 1x, b.png 2x\">\n<picture><source srcset=\"c.png 1x\">"
               "<img src=\"https://host.example/gone.png\"></picture>\n"
               "<img crossorigin=\"anonymous\" src=\"/dir/d.png\">\n"
               "<iframe src=\"cid:frame-1@mhtml.blink\"></iframe>\n</body></html>\n") +
           blink_part("text/css", "Content-Location: cid:css-1@mhtml.blink\r\n",
                      "@charset \"utf-8\";\n\n.mark { color: rgb(1, 2, 3); }\n") +
           blink_part("text/html", "Content-ID: <frame-1@mhtml.blink>\r\n",
                      "<!DOCTYPE html><html><head><meta charset=\"UTF-8\"></head><body>\n"
                      "<p>in the frame</p><img src=\"https://host.example/dir/e.png\"></body>"
                      "</html>\n") +
           blink_part("text/css", "Content-Location: https://cdn.example/lib.css\r\n",
                      ".lib { color: rgb(4, 5, 6); }\n") +
           blink_part("image/png", "Content-Location: https://host.example/dir/a.png\r\n", png) +
           blink_part("image/png", "Content-Location: https://host.example/dir/b.png\r\n", png) +
           blink_part("image/png", "Content-Location: https://host.example/dir/c.png\r\n", png) +
           blink_part("image/png", "Content-Location: https://host.example/dir/d.png\r\n", png) +
           blink_part("image/png", "Content-Location: https://host.example/dir/e.png\r\n", png) +
           "--" + BLINK + "--\r\n";
}

// A save as a Firefox add-on writes it: the archive's own Content-Location, against which the
// parts' relative locations resolve.
std::string
firefox_addon_save()
{
    const std::string b = "----=_NextPart_000_0000_B40804DE.BBCA09DC";
    return "From: <Saved by Mozilla 5.0 (Windows; en-US)>\r\nSubject: save\r\nMIME-Version: "
           "1.0\r\nContent-Location: http://host.example/\r\nContent-Type: multipart/related;\r\n"
           "\tboundary=\"" +
           b +
           "\";\r\n\ttype=\"text/html\"\r\n\r\nThis is a multi-part message in MIME format."
           "\r\n\r\n" +
           part(b,
                "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                "Content-Location: http://host.example/index.html\r\n",
                "<!DOCTYPE html>\r\n<html><head><link rel=3D\"stylesheet\" type=3D\"text/css\" "
                "href=3D\"index_files/all.css\"></head>\r\n<body><p class=3D\"mark\">marked</p>"
                "<img src=3D\"index_files/pic.gif\"></body></html>") +
           part(b,
                "Content-Type: text/css\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                "Content-Location: index_files/all.css\r\n",
                ".mark { color: rgb(1, 2, 3); }") +
           part(b,
                "Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n"
                "Content-Location: index_files/pic.gif\r\n",
                "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==") +
           "--" + b + "--\r\n";
}

// A one-page archive of an HTML part with the given headers and body.
std::string
one_page(const std::string &headers, const std::string &body)
{
    return "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"BB\"\r\n\r\n" +
           part("BB", headers, body) + "--BB--\r\n";
}

// 日本語のページです in ISO-2022-JP, its page declaring that charset, which the split turns
// into Shift_JIS.
std::string
iso_2022_jp_page()
{
    return one_page(
        "Content-Type: text/html; charset=iso-2022-jp\r\n"
        "Content-Transfer-Encoding: 7bit\r\nContent-Location: http://host.example/j.htm\r\n",
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=iso-2022-jp\"></head>\r\n<body><p>\x1b$BF|K\\8l$N%Z!<%8$G$9\x1b(B</p>"
        "</body></html>");
}

// ﾃｽﾄ ﾍﾟｰｼﾞ, half-width kana in Shift_JIS, whose charset only the part's header names.
std::string
shift_jis_page()
{
    return one_page("Content-Type: text/html; charset=shift_jis\r\n"
                    "Content-Transfer-Encoding: quoted-printable\r\n"
                    "Content-Location: http://host.example/k.htm\r\n",
                    "<html><head><title>k</title></head><body><p>=C3=BD=C4 =CD=DF=B0=BC=DE</p>"
                    "</body></html>");
}

// The name on disk of the archive's first output, its page, from the run log's row; "" when
// the log has no row.
std::string
first_output(const fs::path &folder)
{
    const std::string log = read_file(folder / "log.csv");
    const std::size_t row = log.find('\n');
    std::vector<std::string> fields;
    std::string field;
    for (std::size_t i = row == std::string::npos ? log.size() : row + 1; i < log.size(); ++i) {
        if (log[i] == ',' || log[i] == '\r' || log[i] == '\n') {
            fields.push_back(field);
            field.clear();
            if (log[i] != ',')
                break;
        } else {
            field += log[i];
        }
    }
    return fields.size() > 2 ? stored_name(fields[2]) : "";
}

// Splits archive, stored as name in folder (a new folder), with --offline, naming it on the
// command line; returns the name of its page (see first_output), or a name no file has.
std::string
split_offline(const fs::path &folder, const std::string &name, const std::string &archive)
{
    fs::create_directories(folder);
    write_input(folder, name, archive);
    run_options options;
    options.args = {"--offline", "--yes", name};
    const interactive_result r = run_with("fenwrack_nosleep", folder, "", options);
    EXPECT_EQ(r.status, 0) << folder << "\n" << r.out << r.err;
    const std::string page = first_output(folder);
    // without a row, nothing to open: a name that cannot be a file, not the folder itself
    return page.empty() ? "(no page written)" : page;
}

// The rows browse_pages gave of page, and of the frames in it.
std::vector<shown_item>
rows_of(const std::vector<shown_item> &items, const std::string &page)
{
    std::vector<shown_item> rows;
    std::copy_if(items.begin(), items.end(), std::back_inserter(rows),
                 [&](const shown_item &item) { return item.page == page; });
    return rows;
}

int
count_shown(const std::vector<shown_item> &rows, const std::string &kind)
{
    return static_cast<int>(std::count_if(rows.begin(), rows.end(), [&](const shown_item &item) {
        return item.kind == kind && item.shown;
    }));
}

// The first row of a kind whose source is source; a row of kind "none" when there is none.
shown_item
find_row(const std::vector<shown_item> &rows, const std::string &kind, const std::string &source)
{
    for (const shown_item &item : rows) {
        if (item.kind == kind && item.source == source)
            return item;
    }
    return {"none", false, "", "", "", "", "", ""};
}

// The row of the document of page itself (browse_pages reports it first).
shown_item
page_row(const std::vector<shown_item> &items, const std::string &page)
{
    for (const shown_item &item : items) {
        if (item.kind == "doc" && item.page == page)
            return item;
    }
    return {"none", false, "", "", "", "", "", ""};
}

class OfflineSaves : public ScratchDirTest
{
  protected:
    void SetUp() override
    {
        ScratchDirTest::SetUp();
        browser = find_browser();
        if (browser.empty())
            GTEST_SKIP() << "no browser to open the pages in (install chromium)";
    }

    std::string browser;
};

// Regression: binary parts were not written (an encoding the split did not take), a "cid:"
// location or Content-ID found nothing, and a page at a location ending in '/' was no .htm:
// Chrome's saves opened without their style, images or frames.
TEST_F(OfflineSaves, ChromeSaveShowsItsStyleImagesAndFrame)
{
    const std::string page = split_offline(scratch / "chrome", "save.mhtml", chrome_save());
    EXPECT_TRUE(page.ends_with(".htm")) << page;
    bool whole_image = false;
    for (const std::string &name : list_folder(scratch / "chrome"))
        whole_image = whole_image || read_file(scratch / "chrome" / name) == pixel_png();
    EXPECT_TRUE(whole_image) << "no output holds the image's bytes as they were";
    // a CORS fetch of a file fails in a person's browser (not in the harness, see there)
    EXPECT_EQ(read_file(scratch / "chrome" / page).find("crossorigin"), std::string::npos);
    const std::vector<shown_item> rows =
        browse_pages(browser, scratch, {"chrome/" + page}, {{"mark", "color"}, {"lib", "color"}});
    EXPECT_TRUE(page_row(rows, "chrome/" + page).shown) << "no page: " << page;
    EXPECT_EQ(find_row(rows, "style", "mark").value, "rgb(1, 2, 3)");  // the cid: style sheet
    EXPECT_EQ(find_row(rows, "style", "lib").value, "rgb(4, 5, 6)");   // its hash and CORS gone
    int images = 0;
    for (const shown_item &item : rows) {
        if (item.kind == "img") {
            EXPECT_TRUE(item.shown) << item.source << " " << item.value << " " << item.url;
            ++images;
        } else if (item.kind == "frame") {
            EXPECT_TRUE(item.shown) << "frame " << item.source;
        }
    }
    EXPECT_EQ(images, 4);
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const shown_item &item) {
        return item.kind == "doc" && item.shown && item.text == "in the frame";
    })) << "the frame shows no document of the archive";
}

// Regression: relative part locations were taken as they stand, not against the archive's
// own location, so the page's style sheet and image named no part.
TEST_F(OfflineSaves, FirefoxAddOnSaveResolvesRelativeLocations)
{
    const std::string page = split_offline(scratch / "addon", "save.mht", firefox_addon_save());
    const std::vector<shown_item> rows =
        browse_pages(browser, scratch, {"addon/" + page}, {{"mark", "color"}});
    EXPECT_TRUE(page_row(rows, "addon/" + page).shown) << "no page: " << page;
    EXPECT_EQ(find_row(rows, "style", "mark").value, "rgb(1, 2, 3)");
    EXPECT_EQ(count_shown(rows, "img"), 1);
}

// Regression: a page converted from ISO-2022-JP still declared ISO-2022-JP, and a page whose
// charset only its part's header named was read in the browser's default: its text garbled.
TEST_F(OfflineSaves, JapanesePagesReadInTheirCharset)
{
    const struct {
        std::string title;
        std::string archive;
        std::string text;  // UTF-8
    } cases[] = {
        // 日本語のページです
        {"jis", iso_2022_jp_page(),
         "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x9A\xE3\x83\xBC\xE3\x82\xB8"
         "\xE3\x81\xA7\xE3\x81\x99"},
        // ﾃｽﾄ ﾍﾟｰｼﾞ
        {"kana", shift_jis_page(),
         "\xEF\xBE\x83\xEF\xBD\xBD\xEF\xBE\x84 \xEF\xBE\x8D\xEF\xBE\x9F\xEF\xBD\xB0\xEF\xBD\xBC"
         "\xEF\xBE\x9E"}};

    std::vector<std::string> pages;
    for (const auto &c : cases)
        pages.push_back(c.title + "/" + split_offline(scratch / c.title, "a.mht", c.archive));
    const std::vector<shown_item> items = browse_pages(browser, scratch, pages);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const shown_item doc = page_row(items, pages[i]);
        EXPECT_TRUE(doc.shown) << pages[i];
        EXPECT_EQ(doc.value, "Shift_JIS") << pages[i];
        EXPECT_EQ(doc.text, cases[i].text) << pages[i];
    }
}

// The file a "file:" URL names: its path with its escapes undone.
fs::path
file_of_url(const std::string &url)
{
    std::string path = url.substr(std::string("file://").size());
    path = path.substr(0, path.find_first_of("?#"));
    std::vector<char> bytes(path.size());
    std::size_t len = 0;
    percent_decode(path, bytes, &len);
    return fs::path(std::string(bytes.data(), len));
}

// What headless Chromium 156 shows of each corpus save of today's browsers when it opens the
// archive file itself (measured by opening the .mhtml, with the same report): style sheets
// applied and images shown. The split pages must show at least as much.
struct archive_view {
    const char *name;
    int sheets;
    int images;
};

const archive_view CORPUS_VIEWS[] = {{"dedoc__biography_page.mhtml", 19, 52},
                                     {"mhtml2html__iframes.mhtml", 39, 23},
                                     {"tika__testMHTMLFirefox.mhtml", 0, 0},
                                     {"chromium__page_with_image_unmht.mht", 0, 1}};

// The corpus's saves of today's browsers show, split, at least what the browser shows of the
// archive itself: its page opens as a page, and as many style sheets apply and images show;
// every style sheet that leads to a file of the folder applies.
TEST_F(OfflineSaves, CorpusSavesShowWhatTheArchiveShows)
{
    for (const archive_view &view : CORPUS_VIEWS) {
        const char *name = view.name;
        const std::string bytes = read_corpus(name);
        if (bytes.empty())
            GTEST_SKIP() << "no corpus (FENWRACK_CORPUS_DIR)";
        const fs::path folder = scratch / fs::path(name).stem();
        const std::string page = split_offline(folder, name, bytes);
        const std::string title = fs::path(name).stem().string();
        const std::vector<shown_item> split =
            rows_of(browse_pages(browser, scratch, {title + "/" + page}), title + "/" + page);
        EXPECT_TRUE(page_row(split, title + "/" + page).shown) << name << ": " << page;
        EXPECT_GE(count_shown(split, "sheet"), view.sheets) << name;
        EXPECT_GE(count_shown(split, "img"), view.images) << name;
        // (a style sheet the archive does not hold, named relative to a saved one, now leads
        // into the folder, where no file has its name: it stays as the page wrote it)
        for (const shown_item &item : split) {
            if (item.kind == "sheet" && item.url.starts_with("file:") &&
                fs::exists(file_of_url(item.url))) {
                EXPECT_TRUE(item.shown) << name << ": " << item.source;
            }
        }
    }
}

}  // namespace
