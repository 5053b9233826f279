#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "platform/fileops.h"
#include "repair/pagebackup.h"
#include "repair/repairfixture.h"
#include "support/utf16.h"

namespace {

const std::string kGone = "http://x.test/gone";
const std::string kOther = "http://x.test/other";

std::string NotFound(const std::string& file, const std::string& url) {
    return "We looked in file\n" + file + "\nbut could not find the URL\n" + url;
}

struct stat Stat(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info;
}

using RepairWalk = CRepairTest;

TEST_F(RepairWalk, EachMethodRewritesOnlyTheLineOfTheLinkAndOnlyOnce) {
    const std::string before =
        "<p>top</p>\n<a href=\"http://x.test/gone\">Gone</a> ok\n<p>end</p>\n";
    const std::vector<std::pair<int, std::string>> cases = {
        {kRepairDisable, "<!--<a href=\"http://x.test/gone\">Gone</a> ok-->\n"},
        {kRepairReplace, "<a href=\"page.htm\">Gone</a> ok<!--http://x.test/gone-->\n"},
        {kRepairRemove, ""},
        {-1, ""},
    };
    // The umask would make the mode 0640 on any file created with it.
    const mode_t previousMask = ::umask(027);
    for (const auto& [method, line] : cases) {
        SCOPED_TRACE(method);
        MakeDirectory(m_scratch / std::to_string(method + 1));
        const std::string page = Page(std::to_string(method + 1) + "/page.htm", before);
        ASSERT_EQ(::chmod(page.c_str(), 0664), 0);
        m_rows.Clear();
        AddRow(kGone, page);
        EXPECT_TRUE(Walk(method));
        const std::string after = "<p>top</p>\n" + line + "<p>end</p>\n";
        EXPECT_EQ(ReadFile(page), after);
        EXPECT_EQ(Stat(page).st_mode & 07777, 0664u);
        EXPECT_EQ(Stat(BackupName(page)).st_mode & 07777, 0664u);
        EXPECT_EQ(WorkFilesBeside(page), std::vector<std::string>{});

        const ino_t inode = Stat(page).st_ino;
        EXPECT_TRUE(Walk(kRepairDisable));
        EXPECT_EQ(Stat(page).st_ino, inode) << "a finished file is not rewritten again";
        EXPECT_EQ(ReadFile(page), after);
        EXPECT_EQ(ReadFile(BackupName(page)), before);
    }
    ::umask(previousMask);
    EXPECT_EQ(m_ui.m_messages, std::vector<std::string>(2 * cases.size(), kAllRepaired));
}

TEST_F(RepairWalk, LinesKeepTheirOwnLineEnds) {
    const std::string page = Page("page.htm",
                                  "a\r\n<a href=\"http://x.test/gone\">\r\nb\rc\n"
                                  "<a href=\"http://x.test/other\">\nlast http://x.test/third");
    AddRow(kGone, page);
    AddRow(kOther, page);
    AddRow("http://x.test/third", page);
    EXPECT_TRUE(Walk(kRepairDisable));
    EXPECT_EQ(ReadFile(page),
              "a\r\n<!--<a href=\"http://x.test/gone\">-->\r\nb\rc\n"
              "<!--<a href=\"http://x.test/other\">-->\n<!--last http://x.test/third-->\n");

    const std::string replaced =
        Page("r.htm", "<a href=\"http://x.test/gone\">\r\nend http://x.test/other");
    m_rows.Clear();
    AddRow(kGone, replaced);
    AddRow(kOther, replaced);
    EXPECT_TRUE(Walk(kRepairReplace));
    EXPECT_EQ(ReadFile(replaced),
              "<a href=\"r.htm\"><!--http://x.test/gone-->\r\n"
              "end r.htm<!--http://x.test/other-->\n");
}

TEST_F(RepairWalk, ALinkIsSoughtOnlyAfterTheLineOfThePreviousOne) {
    const std::string twice =
        "<a href=\"http://x.test/gone\">1</a>\n<a href=\"http://x.test/gone\">2</a>\n";
    const std::string one = Page("one.htm", twice);
    const std::string two = Page("two.htm", twice);
    AddRow(kGone, one);
    AddRow(kGone, two);
    AddRow(kGone, two);
    EXPECT_TRUE(Walk(kRepairRemove));
    EXPECT_EQ(ReadFile(one), "<a href=\"http://x.test/gone\">2</a>\n");
    EXPECT_EQ(ReadFile(two), "");

    const std::string sameLine =
        Page("same.htm", "<a href=\"http://x.test/gone\"><a href=\"http://x.test/other\">\nnext\n");
    m_rows.Clear();
    AddRow(kGone, sameLine);
    AddRow(kOther, sameLine);
    EXPECT_FALSE(Walk(kRepairDisable));
    EXPECT_EQ(m_ui.m_messages.back(), NotFound(sameLine, kOther));
    EXPECT_EQ(m_host.m_failures.back(), std::make_pair(sameLine, kOther));
    EXPECT_EQ(ReadFile(sameLine),
              "<!--<a href=\"http://x.test/gone\"><a href=\"http://x.test/other\">-->\nnext\n")
        << "the file is finished with the repairs made before the stop";
}

TEST_F(RepairWalk, ALongLineIsRewrittenOnlyInThePieceHoldingTheLink) {
    const std::string head(kRepairPieceSize, 'h');
    const std::string page = Page("long.htm", head + "<a href=\"http://x.test/gone\">\nnext\n");
    AddRow(kGone, page);
    EXPECT_TRUE(Walk(kRepairDisable));
    EXPECT_EQ(ReadFile(page), head + "<!--<a href=\"http://x.test/gone\">-->\nnext\n");

    const std::string tail = Page("tail.htm", "<a href=\"http://x.test/gone\">" + head + "\n");
    const std::string cut = Page("cut.htm", head.substr(5) + "http://x.test/gone\n");
    m_rows.Clear();
    AddRow(kGone, tail);
    AddRow(kGone, cut);
    EXPECT_FALSE(Walk(kRepairDisable));
    const std::string firstPiece = "<a href=\"http://x.test/gone\">" + head;
    EXPECT_EQ(ReadFile(tail), "<!--" + firstPiece.substr(0, kRepairPieceSize) + "-->\n" +
                                  firstPiece.substr(kRepairPieceSize) + "\n");
    EXPECT_EQ(m_ui.m_messages.back(), NotFound(cut, kGone)) << "a link across the cut is lost";
}

TEST_F(RepairWalk, ALinkCountsOnlyWhereTheScannerWouldHaveEndedIt) {
    const std::string page =
        Page("page.htm",
             "<a href=\"http://x.test/goner\">1</a>\n"
             "<a href=\"http://x.test/gone/x\"><a href=\"http://x.test/gone \">\n"
             "<a href=\"http://x.test/gone\">3</a>\n");
    AddRow(kGone, page);
    AddRow(kGone, page);
    EXPECT_TRUE(Walk(kRepairRemove));
    EXPECT_EQ(ReadFile(page), "<a href=\"http://x.test/goner\">1</a>\n");

    // The piece ends right after the link; the rest of the line decides.
    const std::string head(kRepairPieceSize - kGone.size(), 'h');
    const std::string whole = Page("whole.htm", head + kGone + " \">x</a>\nnext\n");
    const std::string longer = Page("longer.htm", head + kGone + "\ner\">x</a>\nnext\n");
    m_rows.Clear();
    AddRow(kGone, whole);
    AddRow(kGone, longer);
    EXPECT_FALSE(Walk(kRepairDisable));
    EXPECT_EQ(ReadFile(whole), "<!--" + head + kGone + "-->\n \">x</a>\nnext\n");
    EXPECT_EQ(m_ui.m_messages.back(), NotFound(longer, kGone));
    EXPECT_EQ(ReadFile(longer), head + kGone + "\ner\">x</a>\nnext\n");

    // The scanner drops line ends before it reads a link: this one is http://x.test/goner.
    const std::string broken = Page("broken.htm",
                                    "<a href=\"http://x.test/gone\r\nr\">1</a>\n"
                                    "<a href=\"http://x.test/gone\"\r\n>2</a>\n");
    m_rows.Clear();
    AddRow(kGone, broken);
    EXPECT_TRUE(Walk(kRepairRemove));
    EXPECT_EQ(ReadFile(broken), "<a href=\"http://x.test/gone\r\nr\">1</a>\n>2</a>\n");
}

// The HTML scanner's rows are rewritten at the very bytes it found, every one of a page in one
// walk, however the page repeats their text elsewhere.
TEST_F(RepairWalk, HtmlRowsAreRewrittenExactlyWhereTheScannerFoundThem) {
    const std::string before =
        "<!-- <a href=\"x.html\">old</a> --><script>var a = '<a href=\"x.html\">';</script>\n"
        "<template><a href=\"x.html\">t</a></template><link rel=next href=\"x.html\">x.html\n"
        "<p><a href=\"old-x.html\">kept</a><a class=c HREF = x.html>one</a>"
        "<a href='x.html' title=\"x.html\"><b>two</b></a><area href=\"x.html\" alt=map>\n"
        "<p>end <a href=\"x.html#top\">x.html</a></p>";
    const std::vector<std::pair<int, std::string>> cases = {
        {kRepairDisable,
         "<p><a href=\"old-x.html\">kept</a><a class=c data-linkvet-href = x.html>one</a>"
         "<a data-linkvet-href='x.html' title=\"x.html\"><b>two</b></a>"
         "<area data-linkvet-href=\"x.html\" alt=map>\n"},
        {kRepairReplace,
         "<p><a href=\"old-x.html\">kept</a><a class=c HREF = \"my%20page%23.htm\" "
         "data-linkvet-href=x.html>one</a><a href=\"my%20page%23.htm\" "
         "data-linkvet-href='x.html' title=\"x.html\"><b>two</b></a>"
         "<area href=\"my%20page%23.htm\" data-linkvet-href=\"x.html\" alt=map>\n"},
        {kRepairRemove, "<p><a href=\"old-x.html\">kept</a>one<b>two</b>\n"},
    };
    const std::string head = before.substr(0, before.find("<p>"));
    const std::string tail = before.substr(before.find("<p>end"));
    for (const auto& [method, line] : cases) {
        SCOPED_TRACE(method);
        MakeDirectory(m_scratch / std::to_string(method));
        const std::string page = Page(std::to_string(method) + "/my page#.htm", before);
        m_rows.Clear();
        AddHtmlRows(m_rows, page, "x.html");
        ASSERT_EQ(m_rows.RowCount(), 3) << "a, a and area";
        EXPECT_TRUE(Walk(method));
        EXPECT_EQ(ReadFile(page), head + line + tail);
        EXPECT_EQ(Tags(), (std::vector<std::uint32_t>{0x10001, 0x1, 0x1}));
        EXPECT_EQ(ReadFile(BackupName(page)), before);
    }
}

// A bare href is the page itself; its name must stay a name.
TEST_F(RepairWalk, ABareHrefGainsAValue) {
    const std::string page = Page("bare.html", "<a href>b</a><a HREF class=x>c</a>\n");
    AddHtmlRows(m_rows, page, "");
    ASSERT_EQ(m_rows.RowCount(), 2);
    EXPECT_TRUE(Walk(kRepairReplace));
    EXPECT_EQ(ReadFile(page), "<a href=\"bare.html\">b</a><a HREF=\"bare.html\" class=x>c</a>\n");
}

// A page is edited in its own encoding: what repair writes into a UTF-16 page is UTF-16, and a
// windows-1252 page, whose characters the scanner read as longer UTF-8, is edited at its own
// offsets.
TEST_F(RepairWalk, APageIsRepairedInItsOwnEncoding) {
    const std::u16string before =
        u"\uFEFF<p>\u00E9\u00E9</p><a href=\"caf\u00E9.html\">\u00E9</a>\n";
    const std::vector<std::pair<int, std::u16string>> cases = {
        {kRepairDisable,
         u"\uFEFF<p>\u00E9\u00E9</p><a data-linkvet-href=\"caf\u00E9.html\">\u00E9</a>\n"},
        {kRepairReplace,
         u"\uFEFF<p>\u00E9\u00E9</p><a href=\"p.html\" "
         u"data-linkvet-href=\"caf\u00E9.html\">\u00E9</a>\n"},
        {kRepairRemove, u"\uFEFF<p>\u00E9\u00E9</p>\u00E9\n"},
    };
    for (const auto& [method, after] : cases) {
        for (const bool little : {true, false}) {
            SCOPED_TRACE(std::to_string(method) + (little ? " LE" : " BE"));
            const std::string folder = std::to_string(method) + (little ? "le" : "be");
            MakeDirectory(m_scratch / folder);
            const std::string page = Page(folder + "/p.html", Utf16(before, little));
            m_rows.Clear();
            AddHtmlRows(m_rows, page, "caf\xC3\xA9.html");
            ASSERT_EQ(m_rows.RowCount(), 1);
            EXPECT_TRUE(Walk(method));
            EXPECT_EQ(ReadFile(page), Utf16(after, little));
        }
    }
    const std::string latin = Page("latin.html", "<p>\xE9\xE9</p><a href=\"caf\xE9.html\">x</a>");
    m_rows.Clear();
    AddHtmlRows(m_rows, latin, "caf\xC3\xA9.html");
    ASSERT_EQ(m_rows.RowCount(), 1);
    EXPECT_TRUE(Walk(kRepairDisable));
    EXPECT_EQ(ReadFile(latin), "<p>\xE9\xE9</p><a data-linkvet-href=\"caf\xE9.html\">x</a>");
}

// Update writes the new address into a UTF-16 page in UTF-16; one it could only write as other
// characters is not written at all, and the row is not found.
TEST_F(RepairWalk, UpdateWritesANewAddressIntoAUtf16PageOnlyWhenItIsAscii) {
    const std::string page =
        Page("moved.html", Utf16(u"\uFEFF<a href=\"http://h/a\">\u00E9</a><a href=x>x</a>", true));
    AddHtmlRows(m_rows, page, "http://h/a", "https://h/a?b=1&c=2");
    EXPECT_TRUE(Walk(kRepairUpdate));
    EXPECT_EQ(ReadFile(page),
              Utf16(u"\uFEFF<a href=\"https://h/a?b=1&amp;c=2\">\u00E9</a><a href=x>x</a>", true));

    const std::u16string before = u"\uFEFF<a href=\"http://h/\u00E9\">e</a>";
    const std::string wide = Page("wide.html", Utf16(before, true));
    m_rows.Clear();
    AddHtmlRows(m_rows, wide, "http://h/%C3%A9", "https://h/\xC3\xA9");
    ASSERT_EQ(m_rows.RowCount(), 1);
    m_host.m_ignore = true;
    m_ui.m_messages.clear();
    EXPECT_FALSE(Walk(kRepairUpdate));
    ASSERT_EQ(m_ui.m_messages.size(), 1u);
    EXPECT_EQ(m_ui.m_messages[0].rfind(NotFound(wide, ""), 0), 0u) << m_ui.m_messages[0];
    EXPECT_EQ(ReadFile(wide), Utf16(before, true));
}

TEST_F(RepairWalk, AnHtmlRowWhosePlaceChangedSinceTheRunIsNotFound) {
    const std::string before = "<a href=\"gone1\">1</a>\n<a href=\"gone2\">2</a>\n";
    const std::string page = Page("page.html", before);
    AddHtmlRows(m_rows, page, "gone1");
    AddHtmlRows(m_rows, page, "gone2");
    WriteFile(page, "<a href=\"gone1\">1</a>\n<a href=\"gone2\" >2</a>\n");
    m_host.m_ignore = true;
    EXPECT_FALSE(Walk(kRepairDisable));
    EXPECT_EQ(m_ui.m_messages, std::vector<std::string>{NotFound(page, "gone2")});
    EXPECT_EQ(ReadFile(page), "<a data-linkvet-href=\"gone1\">1</a>\n<a href=\"gone2\" >2</a>\n")
        << "the rows before the stop are kept";
    EXPECT_EQ(m_rows.RowCount(), 1);

    // Shorter than the run saw it: the place now lies past the end.
    const std::string shorter = Page("shorter.html", before);
    m_rows.Clear();
    AddHtmlRows(m_rows, shorter, "gone2");
    WriteFile(shorter, "<a>");
    EXPECT_FALSE(Walk(kRepairRemove));
    EXPECT_EQ(ReadFile(shorter), "<a>");
}

// The page with the README's rule for HTML rows applied at each place, from the end back.
std::string ExpectedAfter(std::string page, std::vector<CLinkPlace> places, int method,
                          const std::string& nameValue) {
    std::sort(places.begin(), places.end(), [](const CLinkPlace& a, const CLinkPlace& b) {
        return a.startTag.begin > b.startTag.begin;
    });
    for (const CLinkPlace& place : places) {
        if (method == kRepairDisable) {
            page.replace(place.name.begin, place.name.Size(), "data-linkvet-href");
        } else if (method == kRepairReplace) {
            const std::string old = page.substr(place.value.begin, place.value.Size());
            page.replace(place.value.begin, place.value.Size(),
                         nameValue + " data-linkvet-href=" + old);
        } else {
            page.erase(place.endTag.begin, place.endTag.Size());
            page.erase(place.startTag.begin, place.startTag.Size());
        }
    }
    return page;
}

// Real documentation, as Debian ships it: long lines of many links, the same targets in <link>
// elements, comments and text. A third of each page's links are reported; each method must
// change nothing but their places, and the pages must still parse to the same other links.
TEST_F(RepairWalk, AnHtmlDocumentationTreeChangesOnlyAtItsReportedLinks) {
    const std::string tree = "/usr/share/doc/postgresql-doc-15/html";
    const auto names = FolderFileNames(tree + "/index.html");
    ASSERT_TRUE(names) << "scripts/dev installs postgresql-doc-15";
    std::vector<std::string> pages;
    for (std::size_t i = 0; i < names->size(); i += 5) {
        if ((*names)[i].ends_with(".html")) {
            pages.push_back((*names)[i]);
        }
    }
    ASSERT_GT(pages.size(), 100u);
    for (const int method : {kRepairDisable, kRepairReplace, kRepairRemove}) {
        SCOPED_TRACE(method);
        const std::string site = m_scratch / std::to_string(method);
        MakeDirectory(site);
        m_rows.Clear();
        std::map<std::string, std::vector<CLinkPlace>> reported;
        std::map<std::string, std::size_t> linksBefore;
        for (const std::string& name : pages) {
            const std::string page = site + "/" + name;
            WriteFile(page, ReadFile(tree + "/" + name));
            const CHtmlPage scanned = *ScanHtmlFile(page, {});
            linksBefore[name] = scanned.links.size();
            for (std::size_t link = 0; link < scanned.links.size(); link += 3) {
                m_rows.AddResult(scanned.links[link].url, 0, "");
                m_rows.AddResult("Local File Not Found", 1, "");
                m_rows.AddResult(scanned.links[link].anchorName, 2, page);
                m_rows.AddResultPlace(scanned.links[link].place);
                reported[name].push_back(scanned.links[link].place);
            }
        }
        ASSERT_GT(m_rows.RowCount(), 1000);
        ASSERT_TRUE(Walk(method));
        for (const std::string& name : pages) {
            const std::string page = site + "/" + name;
            ASSERT_EQ(ReadFile(page), ExpectedAfter(ReadFile(tree + "/" + name), reported[name],
                                                    method, "\"" + name + "\""))
                << name;
            const std::size_t links = ScanHtmlFile(page, {})->links.size();
            EXPECT_EQ(links,
                      linksBefore[name] - (method == kRepairReplace ? 0 : reported[name].size()))
                << name;
        }
    }
}

TEST_F(RepairWalk, ACrLfPairIsOneLineEndAtThePieceBoundaryToo) {
    const std::string link = "<a href=\"http://x.test/gone\">";
    const std::string text = link + std::string(kRepairPieceSize - 1 - link.size(), 'h');
    const std::vector<std::pair<int, std::string>> cases = {
        {kRepairDisable, "<!--" + text + "-->\r\nnext\r\n"},
        {kRepairRemove, "next\r\n"},
    };
    for (const auto& [method, after] : cases) {
        SCOPED_TRACE(method);
        const std::string page = Page(std::to_string(method) + ".htm", text + "\r\nnext\r\n");
        m_rows.Clear();
        AddRow(kGone, page);
        EXPECT_TRUE(Walk(method));
        EXPECT_EQ(ReadFile(page), after);
    }

    // A piece cut from a long CR LF line becomes a line of its own that ends as its line does.
    const std::string longLine = text + "hh";
    const std::string cut = Page("cut.htm", longLine + "\r\nnext\r\n");
    m_rows.Clear();
    AddRow(kGone, cut);
    EXPECT_TRUE(Walk(kRepairDisable));
    EXPECT_EQ(ReadFile(cut), "<!--" + longLine.substr(0, kRepairPieceSize) + "-->\r\n" +
                                 longLine.substr(kRepairPieceSize) + "\r\nnext\r\n");
}

TEST_F(RepairWalk, APageThatMayNotBeWrittenOrIsNoFileIsRefusedAndLeftAlone) {
    const std::string readOnly = Page("ro.htm", "http://x.test/gone\n");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    const std::string fifo = m_scratch / "fifo.htm";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Only its group may write it: the owner may not, unless the owner is root.
    const std::string groupOnly = Page("group.htm", "http://x.test/gone\n");
    ASSERT_EQ(::chmod(groupOnly.c_str(), 0464), 0);
    for (const std::string& page : {readOnly, fifo, groupOnly}) {
        AddRow(kGone, page);
    }
    m_host.m_ignore = true;
    for (const std::string& refused : {readOnly, fifo}) {
        EXPECT_FALSE(Walk(kRepairDisable));
        EXPECT_EQ(m_host.m_failures.back().first, refused);
        EXPECT_FALSE(FileExists(BackupName(refused)));
    }
    EXPECT_EQ(ReadFile(readOnly), "http://x.test/gone\n");
    EXPECT_EQ(Stat(readOnly).st_mode & 07777, 0444u);
    EXPECT_TRUE(S_ISFIFO(Stat(fifo).st_mode));

    const bool root = ::geteuid() == 0;
    EXPECT_EQ(Walk(kRepairDisable), root);
    EXPECT_EQ(ReadFile(groupOnly), root ? "<!--http://x.test/gone-->\n" : "http://x.test/gone\n");
    EXPECT_EQ(FileExists(BackupName(groupOnly)), root);
}

TEST(RepairNames, ABackupTakesTheUsualNameUnlessAnotherFileCouldClaimIt) {
    const std::vector<std::string> folder = {"page.htm", "page.html",    "page.rep",     "page.t~p",
                                             "news.htm", "news.htm.rep", "news.htm.old", "a.b.htm",
                                             "index",    "index.d"};
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/w/page.htm", "/w/page.htm.rep"}, {"/w/page.html", "/w/page.html.rep"},
        {"/w/news.htm", "/w/news.rep"},     {"/w/news.htm.old", "/w/news.htm.old.rep"},
        {"/w/a.b.htm", "/w/a.b.rep"},       {"/w/index", "/w/index.rep"},
        {"/w/index.d", "/w/index.d.rep"},
    };
    for (const auto& [path, backup] : cases) {
        EXPECT_EQ(BackupName(path, folder), backup) << path;
    }
    EXPECT_EQ(BackupName("/w/news.htm", std::nullopt), "/w/news.htm.rep")
        << "a folder that cannot be listed claims nothing for sure";
    EXPECT_EQ(UsualBackupName("/web/my.site/page.htm"), "/web/my.site/page.rep");
}

TEST_F(RepairWalk, EveryRewrittenFileKeepsABackupOfItsOwnInItsOwnFolder) {
    const std::string twice = "http://x.test/gone\nhttp://x.test/gone\n";
    const std::string htm = Page("page.htm", "1 " + twice);
    const std::string html = Page("page.html", "2 " + twice);
    MakeDirectory(m_scratch / "my.site");
    const std::string index = Page("my.site/index", "3 " + twice);
    const std::string foreign = Page("my.t~p", "not the walk's");
    const std::vector<std::string> pages = {htm, html, index};
    for (int walk = 0; walk < 2; ++walk) {
        m_rows.Clear();
        for (const std::string& page : pages) {
            AddRow(kGone, page);
        }
        EXPECT_TRUE(Walk(kRepairRemove));
    }
    EXPECT_EQ(ReadFile(htm + ".rep"), "1 " + twice);
    EXPECT_EQ(ReadFile(html + ".rep"), "2 " + twice);
    EXPECT_EQ(ReadFile(m_scratch / "my.site/index.rep"), "3 " + twice);
    EXPECT_FALSE(FileExists(m_scratch / "page.rep"));
    EXPECT_FALSE(FileExists(m_scratch / "my.rep"));
    EXPECT_EQ(ReadFile(foreign), "not the walk's") << "a file the walk did not make stays";
    for (const std::string& page : pages) {
        EXPECT_EQ(ReadFile(page), "") << "a second run's walk rewrites again, keeping the backup";
    }
    EXPECT_EQ(WorkFilesBeside(htm), std::vector<std::string>{"my.t~p"});
    EXPECT_EQ(WorkFilesBeside(index), std::vector<std::string>{});
}

// A page is never rewritten without a backup of its own, and never through a symbolic link.
TEST_F(RepairWalk, OnlyARegularFileOfThePagesOwnIsItsBackup) {
    const std::string kept = "keep http://x.test/gone\n";
    const std::string elsewhere = Page("elsewhere.txt", kept);
    const std::string toFile = Page("a.htm", kept);
    ASSERT_EQ(::symlink("elsewhere.txt", (m_scratch / "a.rep").c_str()), 0);
    const std::string dangling = Page("b.htm", kept);
    ASSERT_EQ(::symlink("missing.txt", (m_scratch / "b.rep").c_str()), 0);
    const std::string folder = Page("c.htm", kept);
    MakeDirectory(m_scratch / "c.rep");
    for (const std::string& page : {toFile, dangling, folder}) {
        SCOPED_TRACE(page);
        m_rows.Clear();
        AddRow(kGone, page);
        EXPECT_FALSE(Walk(kRepairRemove));
        EXPECT_EQ(m_host.m_failures.back().first, page);
        EXPECT_EQ(ReadFile(page), kept);
    }
    EXPECT_EQ(ReadFile(elsewhere), kept);
    EXPECT_FALSE(FileExists(m_scratch / "missing.txt"));

    // page.rep was made for page.htm, renamed since to page.html and edited.
    const std::string renamed = Page("page.htm", "old http://x.test/gone\n");
    m_rows.Clear();
    AddRow(kGone, renamed);
    ASSERT_TRUE(Walk(kRepairRemove));
    if (!platform::FileNote(m_scratch / "page.rep", kBackupOwnerNote)) {
        GTEST_SKIP() << "this file system keeps no notes";
    }
    ASSERT_EQ(::rename(renamed.c_str(), (m_scratch / "page.html").c_str()), 0);
    const std::string edited = Page("page.html", "new http://x.test/gone\n");
    m_rows.Clear();
    AddRow(kGone, edited);
    EXPECT_TRUE(Walk(kRepairRemove));
    EXPECT_EQ(ReadFile(m_scratch / "page.rep"), "old http://x.test/gone\n");
    EXPECT_EQ(ReadFile(m_scratch / "page.html.rep"), "new http://x.test/gone\n");
}

TEST_F(RepairWalk, APageThatIsALinkIsRepairedInItsTargetAndStaysALink) {
    MakeDirectory(m_scratch / "real");
    const std::string target = Page("real/page.htm", "http://x.test/gone\n");
    const std::string link = m_scratch / "page.htm";
    ASSERT_EQ(::symlink("real/page.htm", link.c_str()), 0);
    AddRow(kGone, link);
    EXPECT_TRUE(Walk(kRepairDisable));
    struct stat info {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(target), "<!--http://x.test/gone-->\n");
    EXPECT_EQ(ReadFile(m_scratch / "real/page.rep"), "http://x.test/gone\n");
    EXPECT_FALSE(FileExists(m_scratch / "page.rep"));
}

TEST_F(RepairWalk, RootRepairingAnotherUsersPageLeavesItAndItsBackupTheirs) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root may give a file to another user";
    }
    const std::string page = Page("page.htm", "http://x.test/gone\n");
    ASSERT_EQ(::chown(page.c_str(), 4321, 8765), 0);
    ASSERT_EQ(::chmod(page.c_str(), 0664), 0);
    AddRow(kGone, page);
    EXPECT_TRUE(Walk(kRepairDisable));
    for (const std::string& file : {page, BackupName(page)}) {
        EXPECT_EQ(Stat(file).st_uid, 4321u) << file;
        EXPECT_EQ(Stat(file).st_gid, 8765u) << file;
        EXPECT_EQ(Stat(file).st_mode & 07777, 0664u) << file;
    }
}

TEST_F(RepairWalk, AStopIsShownAndTheNextWalkCarriesOnAfterIt) {
    const std::string before = "http://x.test/gone\nhttp://x.test/third\n";
    const std::string page = Page("page.htm", before);
    const std::string later = Page("later.htm", "http://x.test/gone\n");
    AddRow(kGone, page);
    AddRow(kOther, page);
    AddRow("http://x.test/third", page);
    AddRow(kGone, later);
    m_host.m_save = 1;
    EXPECT_FALSE(Walk(kRepairDisable));
    EXPECT_EQ(m_ui.m_messages, std::vector<std::string>{NotFound(page, kOther)});
    EXPECT_EQ(ReadFile(page), "<!--http://x.test/gone-->\nhttp://x.test/third\n");
    EXPECT_FALSE(FileExists(BackupName(later))) << "rows after the stop wait";
    EXPECT_EQ(Tags(), (std::vector<std::uint32_t>{0x1, 0, 0, 0}));
    EXPECT_EQ(m_host.m_exports, 1) << "the save flag exports after a failure too";

    EXPECT_FALSE(Walk(kRepairDisable)) << "the same link stops the walk again";
    EXPECT_EQ(m_rows.RowCount(), 4);
    m_host.m_ignore = true;
    EXPECT_FALSE(Walk(kRepairDisable));
    ASSERT_EQ(m_rows.RowCount(), 3) << "the ignored row is dropped";
    EXPECT_EQ(m_rows.CellText(1, kColumnUrl), "http://x.test/third");

    EXPECT_TRUE(Walk(kRepairDisable));
    EXPECT_EQ(ReadFile(page), "<!--http://x.test/gone-->\n<!--http://x.test/third-->\n");
    EXPECT_EQ(ReadFile(later), "<!--http://x.test/gone-->\n");
    EXPECT_EQ(ReadFile(BackupName(page)), before);
    EXPECT_EQ(Tags(), (std::vector<std::uint32_t>{0x10001, 0x1, 0x10001}));
    EXPECT_EQ(m_host.m_failures.size(), 3u);
}

TEST_F(RepairWalk, AFileThatCannotBeRepairedSafelyIsLeftAloneAndNamed) {
    const std::string selfBackup = Page("old.rep", "http://x.test/other\n");
    const std::string selfWork = Page("old.t~p", "http://x.test/other\n");
    const std::string page = Page("page.htm", "http://x.test/gone\n");
    AddRow(kGone, m_scratch / "missing.htm");
    AddRow(kOther, selfBackup);
    AddRow(kOther, selfWork);
    AddRow(kOther, page);
    AddRow(kGone, page);
    m_rows.SetTag(3, 0x7);
    m_host.m_ignore = true;
    for (const auto& refused :
         {std::make_pair(m_scratch / "missing.htm", kGone), std::make_pair(selfBackup, kOther),
          std::make_pair(selfWork, kOther)}) {
        EXPECT_FALSE(Walk(kRepairDisable));
        EXPECT_EQ(m_host.m_failures.back(), refused) << "the file and its first link";
    }
    EXPECT_EQ(ReadFile(selfBackup), "http://x.test/other\n");
    EXPECT_EQ(ReadFile(selfWork), "http://x.test/other\n");
    EXPECT_TRUE(Walk(kRepairDisable));
    EXPECT_EQ(ReadFile(page), "<!--http://x.test/gone-->\n") << "a repaired row is passed by";
    EXPECT_EQ(Tags(), (std::vector<std::uint32_t>{0x10007, 0x1}))
        << "each mark keeps the other half of the tag";
}

TEST_F(RepairWalk, TheOptionsComeFromAndGoBackToTheSettings) {
    const std::string page = Page("page.htm", "http://x.test/gone\n");
    AddRow(kGone, page);
    m_host.m_cancel = true;
    EXPECT_TRUE(Walk(kRepairRemove));
    EXPECT_EQ(m_host.m_offered, std::make_pair(0, 1)) << "the defaults";
    EXPECT_EQ(m_settings.GetInt("Repair", "Type", -9), -9) << "a cancel stores nothing";
    EXPECT_TRUE(m_ui.m_messages.empty());
    EXPECT_FALSE(FileExists(BackupName(page)));

    m_host.m_cancel = false;
    m_host.m_save = 1;
    EXPECT_TRUE(Walk(kRepairReplace));
    EXPECT_EQ(m_settings.GetInt("Repair", "Type", -9), kRepairReplace);
    EXPECT_EQ(m_settings.GetInt("Repair", "Save", -9), 1);
    EXPECT_EQ(m_host.m_exports, 1);
    m_host.m_save = 0;
    EXPECT_TRUE(Walk(kRepairRemove));
    EXPECT_EQ(m_host.m_offered, std::make_pair(int{kRepairReplace}, 1));
    EXPECT_EQ(m_settings.GetInt("Repair", "Save", -9), 0);
    EXPECT_EQ(m_host.m_exports, 1);
}

}  // namespace

// Update rewrites only the links that moved for good to an address safe for pages, at the
// link's bytes alone; the rest stay, are named, and are left for a walk with another method.
TEST_F(RepairWalk, UpdateWritesOnlySafeNewAddressesAndLeavesTheRestForLater) {
    const std::string classic = Page(
        "classic.htm", "<a href=\"http://h/old\">o</a> http://h/old-page.html\r\n\"http://h/gone\"\n");
    m_rows.AddResult("http://h/old", 0, "", kMovedPermanently);
    m_rows.AddResult("Moved Permanently to http://h/new?a=1&b=2", 1, "");
    m_rows.AddResult("", 2, classic);
    m_rows.AddResultMove("http://h/new?a=1&b=2");
    AddRow("http://h/gone", classic);
    const std::string html = Page("moved.html", "<a href='http://h/a'>a</a><a href=http://h/b>b</a>");
    AddHtmlRows(m_rows, html, "http://h/a", "https://h/a?x=1&y=2");
    AddHtmlRows(m_rows, html, "http://h/b", "http://h/");
    const std::string untouched = Page("front.html", "<a href=\"http://h/c\">c</a>");
    AddHtmlRows(m_rows, untouched, "http://h/c", "http://h/login?next=c");

    EXPECT_TRUE(Walk(kRepairUpdate));
    EXPECT_EQ(ReadFile(classic),
              "<a href=\"http://h/new?a=1&b=2\">o</a> http://h/old-page.html\r\n\"http://h/gone\"\n")
        << "the first whole occurrence only, and no mark around it";
    EXPECT_EQ(ReadFile(html), "<a href=\"https://h/a?x=1&amp;y=2\">a</a><a href=http://h/b>b</a>")
        << "the new address as an attribute value reads back as itself";
    EXPECT_EQ(ReadFile(untouched), "<a href=\"http://h/c\">c</a>");
    EXPECT_FALSE(FileExists(BackupName(untouched))) << "nothing done, nothing backed up";
    EXPECT_EQ(Tags(), (std::vector<std::uint32_t>{0x1, 0, 0x1, 0, 0}))
        << "files with rows left are not done";
    ASSERT_EQ(m_ui.m_messages.size(), 1u);
    EXPECT_NE(m_ui.m_messages[0].find("left as they were: 3"), std::string::npos);
    EXPECT_NE(m_ui.m_messages[0].find("http://h/b\n    (the new address is the site's front page)"),
              std::string::npos);
    EXPECT_NE(m_ui.m_messages[0].find("(it did not move for good)"), std::string::npos);

    EXPECT_TRUE(Walk(kRepairDisable)) << "a later walk takes the rows left";
    EXPECT_EQ(ReadFile(html),
              "<a href=\"https://h/a?x=1&amp;y=2\">a</a><a data-linkvet-href=http://h/b>b</a>");
    EXPECT_EQ(ReadFile(BackupName(html)), "<a href='http://h/a'>a</a><a href=http://h/b>b</a>")
        << "the backup is still the text before the first repair";
}

// A preview writes nothing, marks nothing and backs nothing up; what it shows is what the
// walk then does, less the rows the review left out.
TEST_F(RepairWalk, APreviewChangesNothingAndTheReviewChoosesTheRows) {
    const std::string before = "<p>\n<a href=\"http://h/1\">1</a>\n<a href=\"http://h/2\">2</a>\n";
    const std::string page = Page("p.html", before);
    AddHtmlRows(m_rows, page, "http://h/1");
    AddHtmlRows(m_rows, page, "http://h/2");
    CRepairPreview preview;
    m_host.m_method = kRepairDisable;
    EXPECT_TRUE(CRepairWalk(m_rows, m_settings, m_host).PreviewLinks(preview));
    const std::string label = page.substr(1);
    const std::string diff = preview.UnifiedDiff();
    EXPECT_TRUE(diff.starts_with("diff --git a/" + label + " b/" + label + "\n")) << diff;
    EXPECT_TRUE(diff.ends_with(
        "\n--- a/" + label + "\n+++ b/" + label +
        "\n@@ -1,3 +1,3 @@\n <p>\n-<a href=\"http://h/1\">1</a>\n-<a href=\"http://h/2\">2</a>\n"
        "+<a data-linkvet-href=\"http://h/1\">1</a>\n+<a data-linkvet-href=\"http://h/2\">2</a>\n"))
        << diff;
    ASSERT_EQ(preview.Changes().size(), 1u);
    EXPECT_EQ(preview.Changes()[0].rows, (std::vector<int>{0, 1}));
    EXPECT_EQ(ReadFile(page), before);
    EXPECT_FALSE(FileExists(BackupName(page)));
    EXPECT_TRUE(WorkFilesBeside(page).empty());
    EXPECT_EQ(Tags(), (std::vector<std::uint32_t>{0, 0}));

    m_host.m_review = true;
    m_host.m_cancelReview = true;
    EXPECT_TRUE(Walk(kRepairDisable));
    EXPECT_EQ(ReadFile(page), before) << "a cancelled review writes nothing";
    m_host.m_cancelReview = false;
    m_host.m_leaveOut = {0};
    EXPECT_TRUE(Walk(kRepairDisable));
    EXPECT_EQ(m_host.m_reviewed, preview.UnifiedDiff()) << "the review saw every change";
    EXPECT_EQ(ReadFile(page), "<p>\n<a href=\"http://h/1\">1</a>\n<a data-linkvet-href=\"http://h/2\">2</a>\n");
    EXPECT_EQ(Tags(), (std::vector<std::uint32_t>{0, 0x1}));
}
