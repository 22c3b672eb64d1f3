// Opens pages in a real browser, headless Chromium, and reports what it showed of them: the
// images that loaded and the frames that show a document.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// What the browser showed of one image or frame of a page (or of a frame in it).
struct shown_item {
    std::string kind;      // "img" or "frame"
    bool shown = false;    // an image decoded (naturalWidth > 0); a frame showing a document
    std::string url;       // where it was loaded from (a frame that shows nothing: "")
    std::string source;    // its src attribute as the page holds it
    std::string document;  // the URL of the document it stands in
};

// The browser the tests drive: FENWRACK_BROWSER, or chromium on the PATH; "" when there is
// none (the tests that need one are then skipped).
std::string find_browser();

// Opens every page of pages (names relative to folder, as the file system stores them) in
// headless Chromium at once, lets it load them with everything they refer to (the network is
// unreachable: an address on the web never loads), and returns every image and frame it
// found in them, frames' documents included. Fails the test (and returns nothing) when the
// browser gives no report.
std::vector<shown_item> browse_pages(const std::string &browser,
                                     const std::filesystem::path &folder,
                                     const std::vector<std::string> &pages);
