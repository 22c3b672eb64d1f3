#include "tests/common/browser.hpp"

#include "webref/webref.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

std::string
find_browser()
{
    const char *chosen = std::getenv("FENWRACK_BROWSER");
    if (chosen != nullptr && *chosen != '\0')
        return chosen;
    const char *path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        for (const char *name : {"chromium", "chromium-browser"}) {
            const fs::path candidate = fs::path(folder) / name;
            if (!folder.empty() && access(candidate.c_str(), X_OK) == 0)
                return candidate.string();
        }
    }
    return "";
}

// A name's bytes as a relative URL: every byte but the unreserved ones and '/' escaped.
static std::string
url_of_name(const std::string &name)
{
    std::string url;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", b);
        url += is_unreserved(b) || b == '/' ? std::string(1, c) : std::string(hex);
    }
    return url;
}

// The page that opens the others, each in a frame of its own, and writes what it finds into
// itself once everything has loaded; the browser then prints it.
static std::string
harness_page(const std::vector<std::string> &pages)
{
    std::string html = "<html><body>\n";
    for (const std::string &page : pages)
        html += "<iframe class=\"page\" src=\"" + url_of_name(page) + "\"></iframe>\n";
    html += R"(<script>
function look(win, lines) {
  var doc;
  try { doc = win.document; } catch (e) { return; }
  for (var img of doc.images)
    lines.push(['img', img.complete && img.naturalWidth > 0 ? 1 : 0, img.src,
                img.getAttribute('src'), doc.URL].join('\t'));
  for (var f of doc.querySelectorAll('frame, iframe')) {
    var shown = '';
    try { shown = f.contentDocument ? f.contentDocument.URL : ''; } catch (e) {}
    lines.push(['frame', shown ? 1 : 0, shown, f.getAttribute('src'), doc.URL].join('\t'));
    if (shown) look(f.contentWindow, lines);
  }
}
window.addEventListener('load', function () {
  var lines = [];
  for (var page of document.querySelectorAll('iframe.page')) {
    var shown = '';
    try { shown = page.contentDocument ? page.contentDocument.URL : ''; } catch (e) {}
    lines.push(['page', shown ? 1 : 0, shown, page.getAttribute('src'), ''].join('\t'));
    if (shown) look(page.contentWindow, lines);
  }
  var pre = document.createElement('pre');
  pre.id = 'report';
  pre.textContent = '\n' + lines.join('\n') + '\n';
  document.body.appendChild(pre);
});
</script></body></html>
)";
    return html;
}

// The text of the report element of the page the browser printed, its markup undone ("&amp;"
// last, so that an escaped entity's text stays as it is).
static std::string
report_text(const std::string &dom)
{
    const std::string open = "<pre id=\"report\">";
    const std::size_t from = dom.find(open);
    const std::size_t to = dom.find("</pre>", from);
    if (from == std::string::npos || to == std::string::npos)
        return "";
    std::string text = dom.substr(from + open.size(), to - from - open.size());
    for (const auto &[entity, c] : {std::pair<std::string, char>{"&lt;", '<'},
                                    {"&gt;", '>'},
                                    {"&quot;", '"'},
                                    {"&nbsp;", ' '},
                                    {"&amp;", '&'}}) {
        for (std::size_t at = text.find(entity); at != std::string::npos;
             at = text.find(entity, at + 1))
            text.replace(at, entity.size(), 1, c);
    }
    return text;
}

std::vector<shown_item>
browse_pages(const std::string &browser, const fs::path &folder,
             const std::vector<std::string> &pages)
{
    const fs::path harness = folder / "browse-harness.html";
    const fs::path profile = folder.parent_path() / (folder.filename().string() + "-profile");
    std::ofstream(harness, std::ios::binary) << harness_page(pages);
    // Flags: no sandbox (tests may run as root), no network chatter, a fresh profile, local
    // files may see each other (the harness reads its frames), and time enough to load.
    const std::string command =
        "timeout 120 '" + browser +
        "' --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
        " --disable-background-networking --disable-component-update --disable-sync"
        " --allow-file-access-from-files --virtual-time-budget=10000 --user-data-dir='" +
        profile.string() + "' --dump-dom 'file://" + url_of_name(harness.string()) +
        "' 2>/dev/null";
    std::string dom;
    if (FILE *out = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
            dom.append(buffer, got);
        pclose(out);
    }
    fs::remove(harness);
    fs::remove_all(profile);
    const std::string text = report_text(dom);
    EXPECT_FALSE(text.empty()) << "the browser gave no report:\n" << dom.substr(0, 2000);
    std::vector<shown_item> items;
    std::stringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            fields.push_back(cell);
        if (fields.size() < 4)
            continue;
        fields.resize(5);
        items.push_back({fields[0], fields[1] == "1", fields[2], fields[3], fields[4]});
    }
    return items;
}
