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
pixel_png()
{
    static const char png[] =
        "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00"
        "\x00\x00\x01\x08\x02\x00\x00\x00\x90\x77\x53\xde\x00\x00\x00\x0c\x49\x44\x41\x54\x78"
        "\xda\x63\x10\x50\x30\x00\x00\x00\xa4\x00\x61\x0a\x9b\xae\xde\x00\x00\x00\x00\x49\x45"
        "\x4e\x44\xae\x42\x60\x82";
    return std::string(png, sizeof png - 1);
}

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

// Text as a JSON string, quotes included.
static std::string
json_string(const std::string &text)
{
    std::string json = "\"";
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\u%04X", b);
        json += c == '"' || c == '\\' ? std::string{'\\', c} : b < 0x20 ? hex : std::string(1, c);
    }
    return json + "\"";
}

// The script that reports what one document shows, row by row: look(doc, page, source, lines,
// deep) adds its rows to lines, and with deep those of the documents of its frames. Each row is
// kind, shown, url, source, document, page, value and text, each escaped as in a URI, so that
// no tab, line end or markup inside a field reaches the report.
static const char LOOK_SCRIPT[] = R"(
function enc(s) { return encodeURIComponent(String(s == null ? '' : s).toWellFormed()); }
function row(lines, fields) { lines.push(fields.map(enc).join('\t')); }
function sheetRows(lines, doc, page, sheet, url, source, own) {
  var rules = -1;
  try { rules = sheet ? sheet.cssRules.length : -1; } catch (e) {}
  if (own) row(lines, ['sheet', rules > 0 ? 1 : 0, url, source, doc.URL, page, rules, '']);
  for (var i = 0; i < rules; i++) {
    var r = sheet.cssRules[i];
    if (r.type !== 3) continue;  // CSSRule.IMPORT_RULE
    sheetRows(lines, doc, page, r.styleSheet, r.styleSheet ? r.styleSheet.href : '', r.href, 1);
  }
}
function look(doc, page, source, lines, deep) {
  var html = doc.contentType === 'text/html' || doc.contentType === 'application/xhtml+xml';
  row(lines, ['doc', html && doc.URL !== 'about:blank' ? 1 : 0, doc.URL, source, doc.URL, page,
              doc.characterSet, doc.body ? doc.body.innerText : '']);
  for (var img of doc.images)
    row(lines, ['img', img.complete && img.naturalWidth > 0 ? 1 : 0, img.currentSrc || img.src,
                img.getAttribute('src'), doc.URL, page, img.getAttribute('srcset'), '']);
  for (var link of doc.querySelectorAll('link'))
    if (link.relList.contains('stylesheet'))
      sheetRows(lines, doc, page, link.sheet, link.href, link.getAttribute('href'), 1);
  for (var sheet of doc.styleSheets)
    if (sheet.ownerNode && sheet.ownerNode.localName === 'style')
      sheetRows(lines, doc, page, sheet, '', '', 0);
  for (var probe of PROBES)
    for (var el of doc.getElementsByClassName(probe[0]))
      row(lines, ['style', 1, '', probe[0], doc.URL, page,
                  doc.defaultView.getComputedStyle(el).getPropertyValue(probe[1]), '']);
  for (var f of doc.querySelectorAll('frame, iframe')) {
    var inner = null;
    try { inner = f.contentDocument; } catch (e) {}
    var shown = inner && inner.URL !== 'about:blank' ? inner.URL : '';
    row(lines, ['frame', shown ? 1 : 0, shown, f.getAttribute('src'), doc.URL, page, '', '']);
    if (shown && deep) look(inner, page, f.getAttribute('src'), lines, deep);
  }
}
)";

// The probes as the script's PROBES, a JavaScript array of [class, property] pairs.
static std::string
probes_script(const std::vector<style_probe> &probes)
{
    std::string script = "var PROBES = [";
    for (const style_probe &probe : probes)
        script += "[" + json_string(probe.class_name) + "," + json_string(probe.property) + "],";
    return script + "];\n";
}

// The page that opens the others, each in a frame of its own that runs no script of the page's
// (a sandbox that keeps its origin, so that the harness reads it), and writes what it finds
// into itself once everything has loaded; the browser then prints it. A page's rows name it by
// its number in pages.
static std::string
harness_page(const std::vector<std::string> &pages, const std::vector<style_probe> &probes)
{
    std::string html = "<html><body>\n";
    for (const std::string &page : pages)
        html += "<iframe class=\"page\" sandbox=\"allow-same-origin\" src=\"" + url_of_name(page) +
                "\"></iframe>\n";
    html += "<script>\n" + probes_script(probes) + LOOK_SCRIPT + R"(
window.addEventListener('load', function () {
  var lines = [];
  document.querySelectorAll('iframe.page').forEach(function (f, i) {
    var doc = null;
    try { doc = f.contentDocument; } catch (e) {}
    if (doc) look(doc, i, f.getAttribute('src'), lines, true);
    else row(lines, ['doc', 0, '', f.getAttribute('src'), '', i, '', '']);
  });
  var pre = document.createElement('pre');
  pre.id = 'report';
  pre.textContent = '\n' + lines.join('\n') + '\n';
  document.body.appendChild(pre);
});
</script></body></html>
)";
    return html;
}

// The text of the report element of the page the browser printed (its fields hold no markup).
static std::string
report_text(const std::string &dom)
{
    const std::string open = "<pre id=\"report\">";
    const std::size_t from = dom.find(open);
    const std::size_t to = dom.find("</pre>", from);
    if (from == std::string::npos || to == std::string::npos)
        return "";
    return dom.substr(from + open.size(), to - from - open.size());
}

// A field of the report with its %XX escapes undone.
static std::string
unescape_field(const std::string &field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '%' && i + 2 < field.size()) {
            text += static_cast<char>(std::strtol(field.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            text += field[i];
        }
    }
    return text;
}

// The rows of a report; a row's page number becomes its name in pages.
static std::vector<shown_item>
parse_report(const std::string &text, const std::vector<std::string> &pages)
{
    std::vector<shown_item> items;
    std::stringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            fields.push_back(unescape_field(cell));
        if (fields.size() < 5)
            continue;
        fields.resize(8);
        std::string page;
        if (!fields[5].empty() && std::stoul(fields[5]) < pages.size())
            page = pages[std::stoul(fields[5])];
        items.push_back({fields[0], fields[1] == "1", fields[2], fields[3], fields[4], page,
                         fields[6], fields[7]});
    }
    return items;
}

// Flags for every run: no sandbox (tests may run as root), no network chatter and every host
// name unresolvable, so that nothing loads from the web; a fresh profile; local files may see
// each other (the harness reads its frames).
static const char BROWSER_FLAGS[] =
    " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
    " --disable-background-networking --disable-component-update --disable-sync"
    " --allow-file-access-from-files";
static const char NO_NETWORK_FLAG[] = "--host-resolver-rules=MAP * ~NOTFOUND";

std::vector<shown_item>
browse_pages(const std::string &browser, const fs::path &folder,
             const std::vector<std::string> &pages, const std::vector<style_probe> &probes)
{
    const fs::path harness = folder / "browse-harness.html";
    const fs::path profile = folder.parent_path() / (folder.filename().string() + "-profile");
    std::ofstream(harness, std::ios::binary) << harness_page(pages, probes);
    const std::string command =
        "timeout 120 '" + browser + "'" + BROWSER_FLAGS + " '" + NO_NETWORK_FLAG +
        "' --virtual-time-budget=10000 --user-data-dir='" + profile.string() +
        "' --dump-dom 'file://" + url_of_name(harness.string()) + "' 2>/dev/null";
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
    return parse_report(text, pages);
}
