// Opens pages in a real browser, headless Chromium, and reports what it showed of them: whether
// each opened as a page and the text it read, the images that loaded, the frames that show a
// document, the style sheets that applied and the computed styles of marked elements.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// What the browser showed of one document, image, frame, style sheet or marked element of a
// page (or of a frame in it).
struct shown_item {
    // "doc": a document (a page opened, or a frame's): shown when it opened as an HTML page
    //        (not as text, a download or nothing); url is its URL, value its
    //        document.characterSet, text its body's innerText
    // "img": an image, shown when it decoded (naturalWidth > 0); url is the address it came
    //        from (currentSrc, so the candidate a srcset chose), value its srcset attribute
    // "frame": a frame or iframe, shown when it shows a document; url is that document's
    // "sheet": a style sheet of a <link rel=stylesheet> or an @import, shown when it applies
    //        (it loaded and its rules can be read); url is its address, value its rule count
    // "style": an element carrying a marker class of the probes; value is the computed value
    //        of the probe's property, source the class
    std::string kind;
    bool shown = false;
    std::string url;
    std::string source;    // the reference (src, href, @import) as the page holds it
    std::string document;  // the URL of the document it stands in
    std::string page;      // the page it was found under, as named to browse_pages
    std::string value;
    std::string text;
};

// A computed style to report for each element that carries class_name in its class attribute.
struct style_probe {
    std::string class_name;
    std::string property;  // a CSS property, "color"
};

// A PNG image of one pixel, for pages to show. Its bytes hold what a text-mode copy would
// change: NUL, CR LF, 0x1A and a lone LF (the signature), a lone CR (the first chunk's length).
std::string pixel_png();

// The browser the tests drive: FENWRACK_BROWSER, or chromium on the PATH; "" when there is
// none (the tests that need one are then skipped).
std::string find_browser();

// Opens every page of pages (names relative to folder, as the file system stores them) in
// headless Chromium at once, each in a frame that runs none of its scripts, lets it load them
// with everything they refer to (the network is unreachable: an address on the web never
// loads), and returns every document, image, frame, style sheet and probed element it found
// in them, frames' documents included. Fails the test (and returns what it has) when the
// browser gives no report.
std::vector<shown_item> browse_pages(const std::string &browser,
                                     const std::filesystem::path &folder,
                                     const std::vector<std::string> &pages,
                                     const std::vector<style_probe> &probes = {});
