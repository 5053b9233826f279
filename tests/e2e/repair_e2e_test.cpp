// linkvet-check --repair from end to end: a site whose links hit scripted hosts, in a private
// network namespace.



#include "e2e/scriptedserver.h"
#include "support/runprogram.h"
#include "support/temphome.h"

namespace {

const std::string kNotFound = "HTTP/1.0 404 Not Found\r\n\r\n";
const std::string kIndex =
    "<html>\r\n<a href=\"http://h1.test/gone.htm\">Gone</a>\r\n"
    "<a href=\"http://h2.test/\">Home</a>\r\n</html>\r\n";
const std::string kNews = "<p>news</p>\n<A HREF=\"http://h1.test/old.htm\">Old</A> and more";

class RepairCheck : public CTempHomeTest {
protected:
    CProgramResult Run(const std::vector<std::string>& arguments) {
        return RunProgram(LINKVET_CHECK, arguments, m_home.Path());
    }
    std::string MakeSite(const std::string& name) {
        const std::string site = m_scratch / name;
        MakeDirectory(site);
        WriteFile(site + "/index.htm", kIndex);
        WriteFile(site + "/news.html", kNews);
        return site;
    }

    CTempDir m_home;
};

TEST_F(RepairCheck, EachMethodRewritesTheReportedLinksAndKeepsTheOldTexts) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(kNotFound));
    const CScriptedServer ok("127.0.0.12", 80, CScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
    struct CCase {
        std::string method;
        std::string index;
        std::string news;
    };
    const std::vector<CCase> cases = {
        {"disable",
         "<html>\r\n<!--<a href=\"http://h1.test/gone.htm\">Gone</a>-->\r\n"
         "<a href=\"http://h2.test/\">Home</a>\r\n</html>\r\n",
         "<p>news</p>\n<!--<A HREF=\"http://h1.test/old.htm\">Old</A> and more-->\n"},
        {"replace",
         "<html>\r\n<a href=\"index.htm\">Gone</a><!--http://h1.test/gone.htm-->\r\n"
         "<a href=\"http://h2.test/\">Home</a>\r\n</html>\r\n",
         "<p>news</p>\n<A HREF=\"news.html\">Old</A> and more<!--http://h1.test/old.htm-->\n"},
        {"remove", "<html>\r\n<a href=\"http://h2.test/\">Home</a>\r\n</html>\r\n",
         "<p>news</p>\n"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.method);
        const std::string site = MakeSite(c.method);
        const CProgramResult result = Run({"-q", "--repair", c.method, "-a", site});
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_EQ(result.err, "All URL repairs completed\n");
        EXPECT_EQ(result.out, "FILE: " + site +
                                  "/index.htm\n"
                                  "http://h1.test/gone.htm\tHTTP Code 404 Not Found\tGone\n\n"
                                  "FILE: " +
                                  site +
                                  "/news.html\n"
                                  "http://h1.test/old.htm\tHTTP Code 404 Not Found\tOld\n");
        EXPECT_EQ(ReadFile(site + "/index.htm"), c.index);
        EXPECT_EQ(ReadFile(site + "/news.html"), c.news);
        EXPECT_EQ(ReadFile(site + "/index.rep"), kIndex);
        EXPECT_EQ(ReadFile(site + "/news.rep"), kNews);
        EXPECT_FALSE(FileExists(site + "/index.t~p"));
    }
}

TEST_F(RepairCheck, ALinkThatIsNotFoundStopsTheRepairWithStatusThree) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(kNotFound));
    const std::string site = MakeSite("site");
    const std::string page = site + "/a.htm";
    WriteFile(page, "<a href=\"http://h1.test/a\">A</a> <a href=\"http://h1.test/b\">B</a>\n");
    const CProgramResult result = Run({"-q", "--repair=disable", "-a", site});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "We looked in file\n" + page +
                              "\nbut could not find the URL\n"
                              "http://h1.test/b\nThe URL Repair failed in file:\n" +
                              page + "\nPossibly near URL:\nhttp://h1.test/b\n");
    EXPECT_EQ(ReadFile(page),
              "<!--<a href=\"http://h1.test/a\">A</a> <a href=\"http://h1.test/b\">B</a>-->\n");
    EXPECT_EQ(ReadFile(site + "/index.htm"), kIndex) << "the walk stopped before this file";
    EXPECT_FALSE(FileExists(site + "/index.rep"));
    EXPECT_NE(result.out.find("http://h1.test/old.htm\tHTTP Code 404 Not Found"), std::string::npos)
        << "the report still lists every row";
}

TEST_F(RepairCheck, AnUnknownResultRefusesTheRepairWithStatusThree) {
    const CScriptedServer odd("127.0.0.11", 80, CScriptedServer::Reply("HTTP/1.0 299 Odd\r\n\r\n"));
    const std::string site = MakeSite("site");
    const CProgramResult result = Run({"-q", "--repair", "remove", "-a", site});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(
        result.err,
        "The testing found at least one URL\nwith an UNKNOWN ERROR!\n(See the window text.)\n\n"
        "Are you sure you want to repair now?\n");
    EXPECT_NE(result.out.find("http://h1.test/gone.htm\t--------------> UNKNOWN REASON !!!!!"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(ReadFile(site + "/index.htm"), kIndex);
    EXPECT_EQ(ReadFile(site + "/news.html"), kNews);
    EXPECT_FALSE(FileExists(site + "/index.rep"));
    EXPECT_FALSE(FileExists(site + "/news.rep"));
}

TEST_F(RepairCheck, InHtmlModeTheLinkIsRewrittenAtItsPlaceInTheFile) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(kNotFound));
    const std::string site = m_scratch / "html";
    MakeDirectory(site);
    const std::string page =
        "<p>top</p>\n"
        "<a href=\"http://h1.test/q?a=1&amp;b=2\">Query</a>\n"
        "<a href='gone.html?v=1&#38;w'>Gone</a> <a href=\"ok.html\">OK</a>\n"
        "<p>end</p>\n";
    WriteFile(site + "/page.html", page);
    WriteFile(site + "/ok.html", "");
    const CProgramResult result = Run({"-q", "--scan", "html", "--repair", "replace", "-a", site});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.err, "All URL repairs completed\n");
    EXPECT_EQ(result.out, "FILE: " + site +
                              "/page.html\n"
                              "http://h1.test/q?a=1&b=2\tHTTP Code 404 Not Found\tQuery\n"
                              "gone.html?v=1&w\tLocal File Not Found\tGone\n");
    EXPECT_EQ(ReadFile(site + "/page.html"),
              "<p>top</p>\n"
              "<a href=\"page.html\" data-linkvet-href=\"http://h1.test/q?a=1&amp;b=2\">Query</a>\n"
              "<a href=\"page.html\" data-linkvet-href='gone.html?v=1&#38;w'>Gone</a> "
              "<a href=\"ok.html\">OK</a>\n"
              "<p>end</p>\n");
    EXPECT_EQ(ReadFile(site + "/page.rep"), page);
}

TEST_F(RepairCheck, ARunThatDidNotEndNormallyRepairsNothing) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(kNotFound));
    const std::string broken = MakeSite("broken");
    ASSERT_EQ(::symlink("gone.htm", (broken + "/z.htm").c_str()), 0);
    EXPECT_EQ(Run({"-q", "--repair", "remove", "-a", broken}).exitCode, 2);
    EXPECT_EQ(ReadFile(broken + "/index.htm"), kIndex);
    EXPECT_FALSE(FileExists(broken + "/index.rep"));

    const CScriptedServer silent("127.0.0.12", 80, CScriptedServer::Silent());
    const std::string stopped = MakeSite("stopped");
    EXPECT_EQ(InterruptWhenConnected(LINKVET_CHECK,
                                     {"-q", "-t", "60", "--repair", "remove", stopped + "/index.htm"},
                                     m_home.Path(), silent)
                  .exitCode,
              130);
    EXPECT_EQ(ReadFile(stopped + "/index.htm"), kIndex);
    EXPECT_FALSE(FileExists(stopped + "/index.rep"));
}

}  // namespace
