#include "model/htmlscanner.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "model/linkscanner.h"
#include "model/localcheck.h"
#include "model/pagedecoding.h"
#include "model/scanahead.h"
#include "support/temphome.h"
#include "support/utf16.h"

namespace {

const std::string kPage = "/site/dir/page.html";

// What a browser makes of one href: the link it follows (url, or path and fragment for a
// file on disk), what it shows, and the attribute's bytes.
struct CExpected {
    CLinkKind kind;
    std::string url;
    std::string anchorName;
    std::string written;
    std::string path;
    std::string fragment;
};

struct CParserCase {
    const char* rule;
    std::string html;
    std::vector<CExpected> links;
    int skipped = 0;
    bool https = false;
    int httpsSkipped = 0;
};

CExpected Remote(std::string url, std::string name, std::string written) {
    return {CLinkKind::Remote, std::move(url), std::move(name), std::move(written), {}, {}};
}

CExpected Local(std::string url, std::string name, std::string path, std::string fragment = {}) {
    std::string written = url;
    return {CLinkKind::Local,   std::move(url),  std::move(name),
            std::move(written), std::move(path), std::move(fragment)};
}

const std::vector<CParserCase>& ParserCases() {
    static const std::vector<CParserCase> cases = {
        {"an absolute base makes relative links absolute",
         R"(<head><base href="http://example.com/docs/x.html"></head><a href="a/../b.html?q=1#f">B</a>)",
         {Remote("http://example.com/docs/b.html?q=1#f", "B", "a/../b.html?q=1#f")}},
        {"a base written after the link still applies, and only the first base counts",
         R"(<a href="p.html">P</a><base href="http://h/one/"><base href="http://h/two/">)",
         {Remote("http://h/one/p.html", "P", "p.html")}},
        {"a relative base moves the folder of local links",
         R"(<base href="../other/"><a href="x.html#s">X</a>)",
         {Local("x.html#s", "X", "/site/other/x.html", "s")}},
        {"character references are decoded, the written bytes are kept",
         R"(<a href="http://h/p?a=1&amp;b=2&#38;c=&quot;3&quot;">x</a>)",
         {Remote("http://h/p?a=1&b=2&c=%223%22", "x",
                 "http://h/p?a=1&amp;b=2&#38;c=&quot;3&quot;")}},
        {"nested markup leaves its text only, white space collapsed",
         "<a href=\"http://h/n\">\n  <b>Bold</b>\tand <i>it<span>al</span>ic</i>  </a>",
         {Remote("http://h/n", "Bold and italic", "http://h/n")}},
        {"an image's alt names an anchor without text",
         R"(<a href="http://h/i"><img src="http://h/logo.png" alt=" Our  logo "></a>)",
         {Remote("http://h/i", "Our logo", "http://h/i")}},
        {"text wins over an image's alt; an empty anchor gets the supplied name",
         R"(<a href="http://h/t"><img alt="pic"> Text</a><a href="http://h/e"><img src=x></a>)",
         {Remote("http://h/t", "Text", "http://h/t"),
          Remote("http://h/e", kSuppliedAnchorName, "http://h/e")}},
        {"unquoted and single-quoted attributes",
         R"(<a href=http://h/u title=x>U</a> <a href='http://h/s"q'>S</a>)",
         {Remote("http://h/u", "U", "http://h/u"), Remote("http://h/s%22q", "S", "http://h/s\"q")}},
        {"comments and scripts that hold <a text are no links",
         R"(<!-- <a href="http://h/c">c</a> --><script>var s = '<a href="http://h/js">';</script>)"
         R"(<style>a[href="http://h/css"] {}</style><a href="http://h/real">r<script>x</script></a>)",
         {Remote("http://h/real", "r", "http://h/real")}},
        {"upper-case tags and attribute names keep the link's own case",
         R"(<A HREF="HTTP://Host/Page.HTM">Up</A>)",
         {Remote("HTTP://Host/Page.HTM", "Up", "HTTP://Host/Page.HTM")}},
        {"an area is named by its alt",
         R"(<map><AREA href="http://h/m" alt="Map part"><area href="http://h/n"></map><p>z</p>)",
         {Remote("http://h/m", "Map part", "http://h/m"),
          Remote("http://h/n", kSuppliedAnchorName, "http://h/n")}},
        {"spaces around and line breaks inside a link are dropped, spaces within sent encoded",
         "<a href=\"  http://h/a\nb c \">x</a>",
         {Remote("http://h/ab%20c", "x", "  http://h/a\nb c ")}},
        {"only a and area with an href are links; text and other tags are not",
         R"(<p>http://h/text</p><img src="http://h/img"><a name="n">http://h/x</a><link href="http://h/l">)",
         {}},
        {"https is left out without its option, and counted apart from other schemes",
         R"(<a href="https://h/s">s</a><a href="mailto:m">m</a><a href="https:no-authority">n</a>)",
         {},
         2,
         false,
         1},
        {"a relative link under an https base is an https link",
         R"(<base href="https://h/d/"><a href="r.html">r</a><a href="http://h/x">x</a>)",
         {Remote("http://h/x", "x", "http://h/x")},
         0,
         false,
         1},
        {"https is a link with its option",
         R"(<a href="HTTPS://h/s">s</a>)",
         {Remote("HTTPS://h/s", "s", "HTTPS://h/s")},
         0,
         true},
        {"other schemes are skipped and counted",
         R"(<a href="mailto:a@b">m</a><a href="javascript:void 0">j</a><a href="tel:1">t</a>)"
         R"(<a href="data:text/plain,x">d</a><a href="news:x">n</a><a href="//h/p">p</a>)",
         {},
         6},
        {"a relative link is a file beside the page, its path percent-decoded",
         R"(<a href="sub/p%20q.html?x=1#fr%20ag">P</a><a href="a%23b.html">H</a>)",
         {Local("sub/p%20q.html?x=1#fr%20ag", "P", "/site/dir/sub/p q.html", "fr ag"),
          Local("a%23b.html", "H", "/site/dir/a#b.html")}},
        {"a link that starts with / is taken from the site's folder",
         R"(<a href="/x/./y.html">Y</a>)",
         {Local("/x/./y.html", "Y", "/site/x/y.html")}},
        {"a fragment or empty link is the page itself",
         R"(<a href="#top">T</a><a href="">E</a>)",
         {Local("#top", "T", kPage, "top"), Local("", "E", kPage)}},
        {"file: links are paths on this machine; another host's are skipped",
         R"(<a href="file:///etc/ho%73ts#x">F</a><a href="file://localhost/tmp/">L</a>)"
         R"(<a href="file://server/share/x">S</a>)",
         {Local("file:///etc/ho%73ts#x", "F", "/etc/hosts", "x"),
          Local("file://localhost/tmp/", "L", "/tmp/")},
         1},
        {"links may leave the site's folder",
         R"(<a href="../../../up.html">U</a>)",
         {Local("../../../up.html", "U", "/up.html")}},
        {"misnested markup the parser mends counts each written link once",
         R"(<p><a href="http://h/m">one<p>two</a><b><a href="http://h/b">x</b>y</a>)",
         {Remote("http://h/m", "one", "http://h/m"), Remote("http://h/b", "x", "http://h/b")}},
        {"template contents are inert", R"(<template><a href="http://h/t">t</a></template>)", {}},
        {"an a in SVG is a link, its href taken before its xlink:href",
         R"(<svg><a xlink:href="x.html" href="y.html"><text>Y</text></a>)"
         R"(<a xlink:href="z.html#f">Z</a><circle href="http://h/c"/></svg>)",
         {Local("y.html", "Y", "/site/dir/y.html"),
          Local("z.html#f", "Z", "/site/dir/z.html", "f")}},
        {"a backslash is a slash, but not in a query or a fragment",
         R"(<a href="sub\p.html?q\r#f\g">P</a><a href="http:\\h\d\x?y\z">H</a>)",
         {Local(R"(sub\p.html?q\r#f\g)", "P", "/site/dir/sub/p.html", R"(f\g)"),
          Remote(R"(http://h/d/x?y\z)", "H", R"(http:\\h\d\x?y\z)")}},
        {"a backslash in a base is a slash too",
         R"(<base href="..\other\"><a href="x.html">X</a>)",
         {Local("x.html", "X", "/site/other/x.html")}},
        {"an encoded slash is part of a name, which no file can have",
         R"(<a href="a%2Fb.html">A</a><a href="/x%2f..%2Fy.html#f">B</a>)"
         R"(<base href="d%2F/"><a href="c.html">C</a>)",
         {Local("a%2Fb.html", "A", ""), Local("/x%2f..%2Fy.html#f", "B", "", "f"),
          Local("c.html", "C", "")}},
    };
    return cases;
}

TEST(HtmlScanner, TakesTheLinksABrowserTakes) {
    for (const CParserCase& test : ParserCases()) {
        SCOPED_TRACE(test.rule);
        const CHtmlPage page =
            ScanHtml(test.html, kPage, CHtmlScanOptions{.https = test.https, .siteRoot = "/site"});
        EXPECT_EQ(page.skipped, (CSkippedLinks{test.skipped, test.httpsSkipped}));
        ASSERT_EQ(page.links.size(), test.links.size());
        for (std::size_t i = 0; i < test.links.size(); ++i) {
            const CHtmlLink& found = page.links[i];
            const CExpected& expected = test.links[i];
            EXPECT_EQ(found.kind, expected.kind) << i;
            EXPECT_EQ(found.url, expected.url) << i;
            EXPECT_EQ(found.anchorName, expected.anchorName) << i;
            EXPECT_EQ(found.place.written, expected.written) << i;
            EXPECT_EQ(found.path, expected.path) << i;
            EXPECT_EQ(found.fragment, expected.fragment) << i;
            EXPECT_NE(test.html.find(found.place.written), std::string::npos)
                << "repair must find the written bytes in the file";
        }
    }
}

TEST(HtmlScanner, OffersEveryIdAndEveryAnchorNameAsATarget) {
    const CHtmlPage page = ScanHtml(
        R"(<h1 id="intro">I</h1><a name="old">o</a><div id=""><span ID="Deep">d</span></div>)"
        R"(<p name="notatarget"></p><template><i id="inert"></i></template>)"
        R"(<svg><g id="shape"></g><a name="svgname"></a></svg><math><mi id="formula">x</mi></math>)",
        kPage, {});
    std::vector<std::string> targets = page.targets;
    std::sort(targets.begin(), targets.end());
    EXPECT_EQ(targets, (std::vector<std::string>{"Deep", "formula", "intro", "old", "shape"}));
}

TEST(HtmlScanner, TheSiteRootIsTheChosenRootOrTheChosenFolderOrTheFilesFolder) {
    EXPECT_EQ(SiteRootFor("/w/site/", true, ""), "/w/site");
    EXPECT_EQ(SiteRootFor("/w/site/index.html", false, ""), "/w/site");
    EXPECT_EQ(SiteRootFor("page.html", false, ""), ".");
    EXPECT_EQ(SiteRootFor("/", true, ""), "/");
    EXPECT_EQ(SiteRootFor("/w/site/sub/", true, "/w/site//"), "/w/site");
    EXPECT_EQ(SiteRootFor("/w/site/sub/p.html", false, "/"), "/");
}

// The order a browser sniffs in: a byte order mark, then a <meta> in the first 1024 bytes
// (even over bytes that are valid UTF-8), then UTF-8 when it fits, then windows-1252.
TEST(PageEncoding, IsSniffedAsABrowserSniffsALocalPage) {
    const struct {
        const char* rule;
        std::string bytes;
        const char* encoding;
    } cases[] = {
        {"valid UTF-8 without a declaration", "<p>caf\xC3\xA9</p>", "UTF-8"},
        {"ASCII without a declaration", "<p>x</p>", "UTF-8"},
        {"not UTF-8 without a declaration", "<p>caf\xE9</p>", "windows-1252"},
        {"a meta charset, over bytes that are valid UTF-8",
         "<meta charset=\"ISO-8859-2\"><p>caf\xC3\xA9", "ISO-8859-2"},
        {"an http-equiv content type",
         "<META HTTP-EQUIV=Content-Type CONTENT='text/html; charset=koi8-r'><p>\xE9", "KOI8-R"},
        {"a content type without http-equiv declares nothing",
         "<meta content=\"text/html; charset=koi8-r\"><p>\xE9", "windows-1252"},
        {"the first meta with a known label counts",
         "<meta charset=bogus><meta charset=' Latin1 '><meta charset=utf-8>\xC3\xA9",
         "windows-1252"},
        {"a meta in a comment or a quoted attribute is none",
         "<!-- <meta charset=koi8-r> --><p title='<meta charset=koi8-r>'>\xE9", "windows-1252"},
        {"a content type's charset comes before a later charset attribute",
         "<meta http-equiv=content-type content='text/html;charset=koi8-r' charset=latin1>\xE9",
         "KOI8-R"},
        {"a content type naming no known charset leaves the charset attribute its say",
         "<meta content='text/html; charset=bogus' charset=koi8-r>\xE9", "KOI8-R"},
        {"a meta cut short by the first 1024 bytes declares nothing",
         std::string(1003, ' ') + "<meta charset=\"latin1\">\xC3\xA9", "UTF-8"},
        {"a meta past the first 1024 bytes is not looked for",
         std::string(1024, ' ') + "<meta charset=koi8-r>\xC3\xA9", "UTF-8"},
        {"ASCII bytes cannot declare UTF-16", "<meta charset=utf-16le><p>\xE9", "UTF-8"},
        {"a byte order mark wins over a meta", "\xEF\xBB\xBF<meta charset=latin1>\xE9", "UTF-8"},
        {"UTF-16LE byte order mark", std::string("\xFF\xFE<\0", 4), "UTF-16LE"},
        {"UTF-16BE byte order mark", std::string("\xFE\xFF\0<", 4), "UTF-16BE"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(SniffPageEncoding(test.bytes).name, test.encoding) << test.rule;
    }
}

// What repair relies on: each span of the place holds, in the page's bytes, what was recorded.
void ExpectPlaceOnBytes(const std::string& bytes, const CLinkPlace& place) {
    const auto at = [&bytes](CSourceSpan span) { return bytes.substr(span.begin, span.Size()); };
    EXPECT_EQ(at(place.startTag), place.startTagText);
    EXPECT_EQ(at(place.endTag), place.endTagText);
    EXPECT_NE(at(place.value).find(place.written), std::string::npos);
}

TEST(HtmlScanner, AWindows1252PageGivesUtf8LinksWithPlacesOnItsOwnBytes) {
    const std::string bytes =
        "<p id=\"r\xE9sum\xE9\">\xE0 la carte \xA9</p>\n"
        "<a href=\"caf\xE9.html#r\xE9sum\xE9\">caf\xE9 cr\xE8me</a>"
        "<a href='http://h/\xFC"
        "ber?q=\xE9'>\xDC</a>";
    const CHtmlPage page = ScanHtml(bytes, kPage, {.siteRoot = "/site"});
    ASSERT_EQ(page.links.size(), 2u);
    EXPECT_EQ(page.targets, std::vector<std::string>{"r\xC3\xA9sum\xC3\xA9"});
    const CHtmlLink& local = page.links[0];
    EXPECT_EQ(local.path, "/site/dir/caf\xC3\xA9.html");
    EXPECT_EQ(local.fragment, "r\xC3\xA9sum\xC3\xA9");
    EXPECT_EQ(local.anchorName, "caf\xC3\xA9 cr\xC3\xA8me");
    EXPECT_EQ(local.place.written, "caf\xE9.html#r\xE9sum\xE9");
    EXPECT_EQ(local.place.startTagText, "<a href=\"caf\xE9.html#r\xE9sum\xE9\">");
    EXPECT_EQ(bytes.substr(local.place.name.begin, local.place.name.Size()), "href");
    EXPECT_EQ(page.links[1].url,
              "http://h/%C3%BC"
              "ber?q=%C3%A9")
        << "sent as browsers send it";
    EXPECT_EQ(page.links[1].place.written,
              "http://h/\xFC"
              "ber?q=\xE9");
    for (const CHtmlLink& link : page.links) {
        ExpectPlaceOnBytes(bytes, link.place);
    }
}

TEST(HtmlScanner, AUtf16PageIsReadWithItsPlacesOnItsOwnBytes) {
    for (const bool little : {true, false}) {
        SCOPED_TRACE(little ? "LE" : "BE");
        const std::string bytes = Utf16(
            u"\uFEFF<p id=\"\u00E9t\u00E9\">\U0001F600</p><a href=\"caf\u00E9.html#\u00E9t\u00E9\">"
            u"\u00E9</a>",
            little);
        const CHtmlPage page = ScanHtml(bytes, kPage, {.siteRoot = "/site"});
        ASSERT_EQ(page.links.size(), 1u);
        const CHtmlLink& link = page.links[0];
        EXPECT_EQ(link.path, "/site/dir/caf\xC3\xA9.html");
        EXPECT_EQ(link.anchorName, "\xC3\xA9");
        EXPECT_EQ(page.targets, std::vector<std::string>{"\xC3\xA9t\xC3\xA9"});
        EXPECT_EQ(link.place.startTagText,
                  Utf16(u"<a href=\"caf\u00E9.html#\u00E9t\u00E9\">", little));
        EXPECT_EQ(link.place.endTagText, Utf16(u"</a>", little));
        EXPECT_EQ(link.place.written, Utf16(u"caf\u00E9.html#\u00E9t\u00E9", little));
        ExpectPlaceOnBytes(bytes, link.place);
    }
}

// The bytes of UTF-8 text in another encoding; nullopt when a character has no place in it.
std::optional<std::string> Transcode(const std::string& utf8, const char* encoding) {
    const iconv_t converter = iconv_open(encoding, "UTF-8");
    std::string out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* next = out.data();
    std::size_t outLeft = out.size();
    const bool whole =
        iconv(converter, &in, &inLeft, &next, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    if (!whole) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

// Real documentation pages, each also written in UTF-16 (a byte order mark first, over its
// meta that still says UTF-8) and in windows-1252 (its meta saying so): every encoding gives
// the same links, names and targets, with the places on its own bytes.
TEST(HtmlScanner, RealPagesScanAlikeInEveryEncoding) {
    const std::filesystem::path tree = "/usr/share/doc/postgresql-doc-15/html";
    ASSERT_TRUE(std::filesystem::is_directory(tree)) << "scripts/dev installs postgresql-doc-15";
    std::vector<std::filesystem::path> files(std::filesystem::directory_iterator(tree), {});
    std::sort(files.begin(), files.end());
    int compared = 0;
    for (std::size_t i = 0; i < files.size(); i += 5) {
        const std::string utf8 = ReadFile(files[i]);
        if (files[i].extension() != ".html" || std::all_of(utf8.begin(), utf8.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x80;
            })) {
            continue;
        }
        SCOPED_TRACE(files[i].string());
        std::string declared = utf8;
        const std::size_t meta = declared.find("charset=UTF-8");
        ASSERT_NE(meta, std::string::npos);
        declared.replace(meta, 13, "charset=windows-1252");
        const CHtmlPage expected = ScanHtml(utf8, files[i], {.siteRoot = tree});
        const std::vector<std::pair<const char*, std::optional<std::string>>> variants = {
            {"UTF-16LE", "\xFF\xFE" + Transcode(utf8, "UTF-16LE").value()},
            {"WINDOWS-1252", Transcode(declared, "WINDOWS-1252")},
        };
        for (const auto& [encoding, bytes] : variants) {
            if (!bytes) {
                continue;
            }
            const CHtmlPage page = ScanHtml(*bytes, files[i], {.siteRoot = tree});
            EXPECT_EQ(page.targets, expected.targets) << encoding;
            ASSERT_EQ(page.links.size(), expected.links.size()) << encoding;
            for (std::size_t k = 0; k < page.links.size(); ++k) {
                const CHtmlLink& link = page.links[k];
                EXPECT_EQ(link.url, expected.links[k].url) << encoding;
                EXPECT_EQ(link.anchorName, expected.links[k].anchorName) << encoding;
                EXPECT_EQ(link.path + "#" + link.fragment,
                          expected.links[k].path + "#" + expected.links[k].fragment);
                EXPECT_EQ(link.place.startTagText,
                          Transcode(expected.links[k].place.startTagText, encoding));
                ExpectPlaceOnBytes(*bytes, link.place);
            }
        }
        ++compared;
    }
    EXPECT_GT(compared, 100);
}

class LocalLinks : public ::testing::Test {
protected:
    LocalLinks() {
        WriteFile(m_site / "a.html",
                  R"(<h2 id="s1">S</h2><a name="n1"></a><p id="a%20b"></p><p id="c d"></p>)"
                  R"(<svg><circle id="dot"/></svg>)");
        MakeDirectory(m_site / "withindex");
        WriteFile(m_site / "withindex/index.htm", R"(<p id="in">x</p>)");
        MakeDirectory(m_site / "bare");
        WriteFile(m_site / "notes.txt", "id=\"t\"");
        WriteFile(m_site / "caf\xC3\xA9.html", "<meta charset=iso-8859-1><h2 id=\"r\xE9sum\xE9\">");
    }

    CLocalVerdict Check(const std::string& href) {
        const CHtmlPage page = ScanHtml("<a href=\"" + href + "\">x</a>", m_site / "page.html", {});
        EXPECT_EQ(page.links.size(), 1u);
        return page.links.empty() ? CLocalVerdict::Found : CheckLocalLink(page.links[0], m_cache);
    }

    CTempDir m_site;
    CFragmentCache m_cache;
};

TEST_F(LocalLinks, FilesFoldersAndFragmentsAreLookedUp) {
    EXPECT_EQ(Check("a.html"), CLocalVerdict::Found);
    EXPECT_EQ(Check("a.html#s1"), CLocalVerdict::Found);
    EXPECT_EQ(Check("a.html#n1"), CLocalVerdict::Found);
    EXPECT_EQ(Check("a.html#S1"), CLocalVerdict::FragmentMissing) << "ids are case-sensitive";
    EXPECT_EQ(Check("a.html#nope"), CLocalVerdict::FragmentMissing);
    EXPECT_EQ(Check("a.html#top"), CLocalVerdict::Found);
    EXPECT_EQ(Check("a.html#"), CLocalVerdict::Found);
    EXPECT_EQ(Check("missing.html"), CLocalVerdict::FileMissing);
    EXPECT_EQ(Check("missing.html#s1"), CLocalVerdict::FileMissing);
    EXPECT_EQ(Check("bare/"), CLocalVerdict::Found);
    EXPECT_EQ(Check("bare#x"), CLocalVerdict::Found) << "a folder listing has no fragments";
    EXPECT_EQ(Check("withindex#in"), CLocalVerdict::Found);
    EXPECT_EQ(Check("withindex/#gone"), CLocalVerdict::FragmentMissing);
    EXPECT_EQ(Check("notes.txt#t"), CLocalVerdict::Found) << "fragments of other files pass";
    EXPECT_EQ(Check("sub/../a.html#s1"), CLocalVerdict::Found);
    EXPECT_EQ(Check("a.html#dot"), CLocalVerdict::Found) << "an SVG element's id";
    EXPECT_EQ(Check("a.html#a%20b"), CLocalVerdict::Found) << "the fragment as written first";
    EXPECT_EQ(Check("a.html#c%20d"), CLocalVerdict::Found) << "then decoded";
    EXPECT_EQ(Check("a.html#a b"), CLocalVerdict::Found) << "a space is encoded as in the URL";
    EXPECT_EQ(Check("withindex\\index.htm#in"), CLocalVerdict::Found);
    EXPECT_EQ(Check("withindex%2Findex.htm"), CLocalVerdict::FileMissing);
    EXPECT_EQ(Check("caf\xE9.html#r\xE9sum\xE9"), CLocalVerdict::Found)
        << "a windows-1252 page names the file and the id a browser finds";
}

TEST_F(LocalLinks, ATargetIsParsedOnceAndAScannedPageIsNotParsedAgain) {
    EXPECT_EQ(Check("a.html#s1"), CLocalVerdict::Found);
    WriteFile(m_site / "a.html", R"(<h2 id="later">S</h2>)");
    EXPECT_EQ(Check("a.html#s1"), CLocalVerdict::Found) << "the first parse is kept";
    EXPECT_EQ(Check("a.html#later"), CLocalVerdict::FragmentMissing);

    WriteFile(m_site / "b.html", R"(<h2 id="scanned">S</h2>)");
    ASSERT_TRUE(m_cache.ScanPage(m_site / "b.html"));
    WriteFile(m_site / "b.html", R"(<h2 id="ondisk">S</h2>)");
    EXPECT_EQ(Check("b.html#scanned"), CLocalVerdict::Found);
    EXPECT_EQ(Check("b.html#ondisk"), CLocalVerdict::FragmentMissing);

    EXPECT_EQ(Check("gone.html"), CLocalVerdict::FileMissing);
    WriteFile(m_site / "gone.html", "");
    EXPECT_EQ(Check("gone.html"), CLocalVerdict::FileMissing) << "a file is looked up once";
}

TEST_F(LocalLinks, CheckingStopsWhenAskedAndLeavesTheRestUnjudged) {
    CHtmlPage page = ScanHtml(R"(<a href="missing.html">m</a><a href="a.html#nope">n</a>)",
                              m_site / "p.html", {});
    std::atomic<bool> stop = true;
    CheckLocalLinks(page, m_cache, &stop);
    EXPECT_EQ(page.links[0].verdict, CLocalVerdict::Found) << "left as it was";
    stop = false;
    CheckLocalLinks(page, m_cache, &stop);
    EXPECT_EQ(page.links[0].verdict, CLocalVerdict::FileMissing);
    EXPECT_EQ(page.links[1].verdict, CLocalVerdict::FragmentMissing);
}

// The text of the page's one link, as ScanPage gives it.
std::string FirstAnchor(const std::optional<CHtmlPage>& page) {
    return page && !page->links.empty() ? page->links[0].anchorName : "(none)";
}

TEST(FragmentCache, APageParsedEarlyForALinkIsHandedToItsOwnScanWithinTheLimit) {
    const CTempDir site;
    const std::string page = site / "later.html";
    const std::string other = site / "other.html";
    const auto reset = [&] {
        WriteFile(page, R"(<p id="t"></p><a href="x.html">before</a>)");
        WriteFile(other, R"(<p id="t"></p><a href="x.html">before</a>)");
    };

    reset();
    CFragmentCache kept({}, {page, "unused.html"});
    EXPECT_TRUE(kept.HasTarget(page, "t"));
    EXPECT_TRUE(kept.HasTarget(other, "t"));
    WriteFile(page, R"(<a href="x.html">after</a>)");
    WriteFile(other, R"(<a href="x.html">after</a>)");
    EXPECT_EQ(FirstAnchor(kept.ScanPage(page)), "before") << "the early parse, not a second one";
    EXPECT_EQ(FirstAnchor(kept.ScanPage(page)), "after") << "handed over once";
    EXPECT_EQ(FirstAnchor(kept.ScanPage(other)), "after") << "not a page of the run: not kept";

    reset();
    CFragmentCache full({}, {page}, 0);
    EXPECT_TRUE(full.HasTarget(page, "t"));
    WriteFile(page, R"(<a href="x.html">after</a>)");
    EXPECT_EQ(FirstAnchor(full.ScanPage(page)), "after") << "over the limit: parsed again";
    EXPECT_TRUE(full.HasTarget(page, "t")) << "the targets stay those of the first parse";
    EXPECT_FALSE(full.ScanPage(site / "missing.html"));
}

TEST(HtmlScanAhead, HandsThePagesOverInFileOrderWithTheirLocalVerdicts) {
    const CTempDir site;
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "p" + std::to_string(i) + ".html";
        // Each page links to its successor's fragment; the last one's successor is missing.
        WriteFile(site / name, "<p id=\"me\"></p><a href=\"p" + std::to_string(i + 1) +
                                   ".html#me\">n" + std::to_string(i) + "</a>");
        files.push_back(site / name);
    }
    files.insert(files.begin() + 7, site / "unreadable.html");
    CFragmentCache cache;
    CHtmlScanAhead ahead(files, {}, &cache, 3, 4);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const CHtmlScanAhead::CResult page = ahead.TakeNext();
        if (i == 7) {
            EXPECT_FALSE(page);
            continue;
        }
        ASSERT_TRUE(page);
        ASSERT_EQ(page->links.size(), 1u);
        const int number = static_cast<int>(i < 7 ? i : i - 1);
        EXPECT_EQ(page->links[0].anchorName, "n" + std::to_string(number));
        EXPECT_EQ(page->links[0].verdict,
                  number == 39 ? CLocalVerdict::FileMissing : CLocalVerdict::Found);
    }
}

TEST(HtmlScanAhead, APageNotReadyYetIsAnnouncedOnceWhenItIs) {
    const CTempDir site;
    // Some 3 MB: it cannot have been parsed the moment the worker starts on it.
    std::string page;
    for (int i = 0; i < 200000; ++i) {
        page += "<p><b>x</b></p>";
    }
    WriteFile(site / "big.html", page + R"(<a href="http://h/x">x</a>)");
    std::mutex mutex;
    std::condition_variable announced;
    int calls = 0;
    CHtmlScanAhead ahead({site / "big.html"}, {}, nullptr, 1, 4);
    ahead.NotifyWhenReady([&] {
        const std::lock_guard lock(mutex);
        ++calls;
        announced.notify_all();
    });
    ASSERT_FALSE(ahead.NextReady());
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(announced.wait_for(lock, std::chrono::seconds(60), [&] { return calls > 0; }));
    }
    EXPECT_TRUE(ahead.NextReady());
    const CHtmlScanAhead::CResult taken = ahead.TakeNext();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->links.size(), 1u);
    const std::lock_guard lock(mutex);
    EXPECT_EQ(calls, 1) << "a NextReady that finds the page there asks for no call";
}

TEST(HtmlScanAhead, StopsWithPagesLeftUntaken) {
    const CTempDir site;
    std::vector<std::string> files(200, site / "p.html");
    WriteFile(files[0], R"(<a href="http://h/x">x</a>)");
    CHtmlScanAhead ahead(files, {}, nullptr, 2, 2);
    const CHtmlScanAhead::CResult first = ahead.TakeNext();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->links.size(), 1u);
    EXPECT_EQ(first->links[0].verdict, CLocalVerdict::Found);
}

}  // namespace
