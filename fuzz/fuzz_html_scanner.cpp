// Feeds any bytes to the HTML scanner as a page and checks what must hold whatever the page
// holds. The first byte turns https links on (its low bit) and picks the page's folder; the
// rest is the page. Each page is scanned twice with another page parsed in between, so that
// the parser memory one page leaves behind for the next can never change a result.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzzsupport.h"
#include "model/htmlscanner.h"
#include "model/pagedecoding.h"
#include "platform/asciitext.h"

namespace {

bool IsHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

void CheckRemote(const CHtmlLink& link, bool https) {
    Require(platform::StartsWithAsciiCaseless(link.url, "http://") ||
                platform::StartsWithAsciiCaseless(link.url, "ftp://") ||
                (https && platform::StartsWithAsciiCaseless(link.url, "https://")),
            "a remote link has a scheme the run checks");
    Require(link.path.empty() && link.fragment.empty() && link.fragmentInUrl.empty(),
            "a remote link names no local file");
}

void CheckLocal(const CHtmlLink& link) {
    Require(link.path.empty() || link.path.front() == '/',
            "a local link resolves to an absolute path, or to none for a name holding a \"/\"");
    Require(!Contains(link.path, "/./") && !Contains(link.path, "/../") &&
                !link.path.ends_with("/.") && !link.path.ends_with("/.."),
            "a local path holds no dot segments");
}

void CheckPage(std::string_view html, const CHtmlPage& page, bool https) {
    const CPageEncoding encoding = SniffPageEncoding(html);
    Require(page.skipped.otherSchemes >= 0 && page.skipped.https >= 0,
            "skipped links are counted up");
    for (const CHtmlLink& link : page.links) {
        const CLinkPlace& place = link.place;
        const auto at = [html](CSourceSpan span) {
            return span.end <= html.size() ? html.substr(span.begin, span.Size()) : "\x01";
        };
        Require(at(place.startTag) == place.startTagText && at(place.endTag) == place.endTagText &&
                    place.startTagText.starts_with(EncodeAscii("<", encoding)),
                "the tags stand where the place says, on the page's own bytes, for repair");
        Require(place.startTag.begin < place.name.begin && place.name.end <= place.startTag.end &&
                    place.value.end <= place.startTag.end,
                "the attribute lies inside its start tag");
        Require(Contains(at(place.value), place.written), "the written bytes are the value's");
        Require(link.url.find_first_of("\t\r\n") == std::string::npos,
                "a link holds no tab or line break, as browsers drop them");
        Require(!link.anchorName.empty(), "every link has an anchor name");
        Require(!IsHtmlSpace(link.anchorName.front()) && !IsHtmlSpace(link.anchorName.back()) &&
                    link.anchorName.find_first_of("\t\r\n\f") == std::string::npos &&
                    !Contains(link.anchorName, "  "),
                "an anchor name has its white space collapsed");
        if (link.kind == CLinkKind::Local) {
            CheckLocal(link);
        } else {
            CheckRemote(link, https);
        }
    }
}

bool SamePage(const CHtmlPage& a, const CHtmlPage& b) {
    if (a.skipped != b.skipped || a.targets != b.targets || a.links.size() != b.links.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.links.size(); ++i) {
        const CHtmlLink& x = a.links[i];
        const CHtmlLink& y = b.links[i];
        if (x.kind != y.kind || x.url != y.url || x.anchorName != y.anchorName ||
            x.place.written != y.place.written || x.path != y.path || x.fragment != y.fragment ||
            x.fragmentInUrl != y.fragmentInUrl) {
            return false;
        }
    }
    return true;
}

constexpr std::string_view kOtherPage =
    R"(<base href="http://example.com/b/"><p id=x>t<a href="y#z">one <b>two</b></a>)"
    R"(<table><a href=q><td>mis<a href=r>nested</table>)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool https = (data[0] & 1) != 0;
    const std::string pagePath = (data[0] & 2) != 0 ? "/site/deep/er/page.html" : "/site/p.htm";
    const std::string_view html(reinterpret_cast<const char*>(data) + 1, size - 1);
    const CHtmlScanOptions options{.https = https, .siteRoot = "/site"};

    const CHtmlPage first = ScanHtml(html, pagePath, options);
    CheckPage(html, first, https);
    ScanHtml(kOtherPage, "/site/other.html", options);
    const CHtmlPage again = ScanHtml(html, pagePath, options);
    Require(SamePage(first, again), "a page scans the same whatever was parsed before it");
    return 0;
}
