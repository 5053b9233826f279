// linkvet-check from end to end: scripted hosts and a real nginx, in a private network namespace.


#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include "e2e/scriptedserver.h"
#include "support/runprogram.h"
#include "support/temphome.h"

namespace {

std::string Status(int code) {
    return "HTTP/1.0 " + std::to_string(code) + " Whatever\r\n\r\n";
}

class Check : public CTempHomeTest {
protected:
    CProgramResult Run(std::vector<std::string> arguments) {
        return RunProgram(LINKVET_CHECK, arguments, m_home.Path());
    }

    std::string Site() const { return m_scratch / "site"; }

    void WritePage(const std::string& name, const std::string& links) {
        if (!FileExists(Site())) {
            MakeDirectory(Site());
        }
        WriteFile(Site() + "/" + name, links);
    }

    CTempDir m_home;
};

TEST_F(Check, ReportsTheRowsLogsTheRunAndExitsOne) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(Status(404)));
    const CScriptedServer ok("127.0.0.12", 80, CScriptedServer::Reply(Status(200)));
    WritePage("a.htm", "<A HREF=\"http://h1.test/x.htm\">X</A><A HREF=\"http://h2.test/\">Y</A>");
    WritePage("b.htm", "<A HREF=\"http://h2.test/z.htm\">Z</A>");
    const CProgramResult result = Run({"-t", "5", "-a", Site()});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.out, "FILE: " + Site() + "/a.htm\nhttp://h1.test/x.htm\tHTTP Code 404 Not Found\tX\n");
    const std::vector<std::string> log = Lines(result.err);
    ASSERT_EQ(log.size(), 9u) << result.err;
    EXPECT_EQ(log[0].rfind("Start of test ", 0), 0u);
    EXPECT_EQ(log[1], "");
    EXPECT_EQ(log[2], "Testing: " + Site() + "/a.htm");
    EXPECT_EQ(log[3], "Results for " + Site() + "/a.htm: URLs tested: 2. URL errors: 1.");
    EXPECT_EQ(log[4], "");
    EXPECT_EQ(log[5], "Testing: " + Site() + "/b.htm");
    EXPECT_EQ(log[6], "Results for " + Site() + "/b.htm: URLs tested: 1. URL errors: 0.");
    EXPECT_EQ(log[7], "");
    EXPECT_EQ(log[8].rfind("End of test: ", 0), 0u);
}

TEST_F(Check, AFilterThatHidesEveryVerdictExitsZeroWithAnEmptyReport) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(Status(404)));
    WritePage("a.htm", "<A HREF=\"http://h1.test/x.htm\">X</A>");
    const CProgramResult result =
        Run({"-q", "--filter", "000000000000000000000", Site() + "/a.htm"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "") << "-q silences the log";
}

TEST_F(Check, TheStoredFilterIsTheDefaultAndIsNeverRewritten) {
    WriteFile(m_home / "Linkvet.INI", "[Settings]\nFilter=000000011110000001000\n");
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(Status(404)));
    const CScriptedServer moved("127.0.0.12", 80, CScriptedServer::Reply(Status(301)));
    WritePage("a.htm", "<A HREF=\"http://h1.test/x.htm\">X</A><A HREF=\"http://h2.test/\">Y</A>");
    const CProgramResult result = Run({"-q", Site() + "/a.htm"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(Lines(result.out).size(), 2u) << "the 301 is filtered out: " << result.out;

    const std::string stored = m_home /
        "registry/HKEY_LOCAL_MACHINE/software/orvell software/linkvet/settings/filter.val";
    WriteFile(stored, std::string("0111\0", 5));
    const CProgramResult reset = Run({"-q", Site() + "/a.htm"});
    EXPECT_EQ(reset.exitCode, 1);
    EXPECT_EQ(Lines(reset.out).size(), 3u) << "the safe default reports the 301 as well";
    EXPECT_EQ(ReadFile(stored), std::string("0111\0", 5)) << "the console writes no setting";
}

TEST_F(Check, TheHtmlScannerReportsExactlyTheBrokenLocalLinksAndFragments) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(Status(404)));
    WritePage("index.html",
              "<p id=\"top-para\"><a href=\"guide/intro.html#setup\">Setup</a>\n"
              "<a href=\"guide/intro.html#nosuch\">Missing <em>section</em></a>\n"
              "<a href=\"guide/\">Guide</a> <a href=\"gone.html\">Gone</a>\n"
              "<a href=\"mailto:me@h1.test\">Mail</a> <a href=\"#top-para\">Up</a>\n"
              "<a href=\"http://h1.test/x.htm\">Remote</a>\n");
    MakeDirectory(Site() + "/guide");
    WritePage(
        "guide/index.html",
        "<a href=\"../index.html#top-para\">Home</a> <a href=\"../../outside.html\">Out</a>\n"
        "<a href=\"intro.html#install\">Install</a> <a href=\"/guide/intro.html#usage\">U</a>\n"
        "<a href=\"../../elsewhere/\">Elsewhere</a>\n");
    WritePage("guide/intro.html",
              "<h2 id=\"setup\">S</h2><a name=\"usage\"></a><a href=\"pics/\">Pics</a>"
              "<a href=\"index.html#\">Index</a>");
    WriteFile(m_scratch / "outside.html", "");

    const CProgramResult result = Run({"-t", "5", "--scan", "html", "-r", Site()});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.out,
              "FILE: " + Site() +
                  "/index.html\n"
                  "guide/intro.html#nosuch\tFragment Not Found in Target Page\tMissing section\n"
                  "gone.html\tLocal File Not Found\tGone\n"
                  "http://h1.test/x.htm\tHTTP Code 404 Not Found\tRemote\n\n"
                  "FILE: " +
                  Site() +
                  "/guide/index.html\n"
                  "intro.html#install\tFragment Not Found in Target Page\tInstall\n"
                  "../../elsewhere/\tLocal File Not Found\tElsewhere\n\n"
                  "FILE: " +
                  Site() +
                  "/guide/intro.html\n"
                  "pics/\tLocal File Not Found\tPics\n");
    const std::vector<std::string> log = Lines(result.err);
    ASSERT_EQ(log.size(), 13u) << result.err;
    EXPECT_EQ(log[2], "Testing: " + Site() + "/index.html");
    EXPECT_EQ(log[3], "Links skipped (mailto:, javascript: and other schemes): 1");
    EXPECT_EQ(log[4], "Results for " + Site() + "/index.html: URLs tested: 6. URL errors: 3.");
    EXPECT_EQ(log[6], "Testing: " + Site() + "/guide/index.html");
    EXPECT_EQ(log[7],
              "Results for " + Site() + "/guide/index.html: URLs tested: 5. URL errors: 2.");
    EXPECT_EQ(log[10],
              "Results for " + Site() + "/guide/intro.html: URLs tested: 2. URL errors: 1.");

    const CProgramResult classic = Run({"-q", "-t", "5", "-r", Site()});
    EXPECT_EQ(
        classic.out,
        "FILE: " + Site() + "/index.html\nhttp://h1.test/x.htm\tHTTP Code 404 Not Found\tRemote\n")
        << "the classic scanner stays the default";
}

TEST_F(Check, WritesAnEscapedHtmlReportToAFile) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(Status(404)));
    WritePage("a.htm", "<A HREF=\"http://h1.test/x.htm?a=1&b=2\"><B>bold</B></A>");
    const std::string report = m_scratch / "report.html";
    const CProgramResult result = Run({"-q", "--format=html", "-o", report, Site() + "/a.htm"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    const std::string html = ReadFile(report);
    EXPECT_NE(html.find("<li><a href=\"http://h1.test/x.htm?a=1&amp;b=2\">&lt;B&gt;bold&lt;/B&gt;"
                        "</a> HTTP Code 404 Not Found"),
              std::string::npos)
        << html;
    const CProgramResult unwritable =
        Run({"-q", "-o", m_scratch / "no/such/dir/r.txt", Site() + "/a.htm"});
    EXPECT_EQ(unwritable.exitCode, 2);
    EXPECT_EQ(unwritable.err, "file write error\n");
}

TEST_F(Check, AFileThatCannotBeOpenedStopsTheRunWithStatusTwo) {
    WritePage("a.htm", "<A HREF=\"http:///x\">X</A>");
    ASSERT_EQ(::symlink("gone.htm", (Site() + "/b.htm").c_str()), 0);
    const CProgramResult result = Run({"-a", Site()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Error: Cannot open file:\n\n" + Site() + "/b.htm\nProcessing has stopped\n"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.out, "FILE: " + Site() + "/a.htm\nhttp:///x\tRequest for Invalid Port or Name\tX\n");
}

TEST_F(Check, CtrlCStopsTheRunAndStillWritesTheReport) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(Status(404)));
    const CScriptedServer silent("127.0.0.12", 80, CScriptedServer::Silent());
    WritePage("a.htm", "<A HREF=\"http://h1.test/x.htm\">X</A><A HREF=\"http://h2.test/y.htm\">Y</A>");
    // The second link waits for its reply once the first has been answered.
    const CProgramResult result =
        InterruptWhenConnected(LINKVET_CHECK, {"-t", "60", Site() + "/a.htm"}, m_home.Path(), silent);
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_NE(result.err.find("Testing Stopped by User\n"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("End of test"), std::string::npos);
    EXPECT_EQ(result.out,
              "FILE: " + Site() + "/a.htm\nhttp://h1.test/x.htm\tHTTP Code 404 Not Found\tX\n");
}

// A real peer: Debian's nginx serving a small site with real answers.
class RealServer : public Check {
protected:
    bool StartNginx() {
        const std::string prefix = m_scratch / "nginx";
        MakeDirectory(prefix);
        MakeDirectory(prefix + "/www");
        MakeDirectory(prefix + "/www/private");
        WriteFile(prefix + "/www/index.html", "<html>home</html>");
        WriteFile(prefix + "/www/private/x.htm", "secret");
        WriteFile(prefix + "/nginx.conf",
                  "daemon off;\nmaster_process off;\nerror_log " + prefix + "/error.log;\n"
                  "pid " + prefix + "/nginx.pid;\nevents {}\nhttp {\n  access_log off;\n"
                  "  client_body_temp_path " + prefix + "/body;\n"
                  "  proxy_temp_path " + prefix + "/proxy;\n"
                  "  fastcgi_temp_path " + prefix + "/fastcgi;\n"
                  "  uwsgi_temp_path " + prefix + "/uwsgi;\n"
                  "  scgi_temp_path " + prefix + "/scgi;\n"
                  "  server {\n    listen 127.0.0.31:80;\n    root " + prefix + "/www;\n"
                  "    location /moved { return 301 /index.html; }\n"
                  "    location /private/ { deny all; }\n  }\n}\n");
        m_nginx.start("/usr/sbin/nginx", {"-p", QString::fromStdString(prefix), "-e",
                                          QString::fromStdString(prefix + "/error.log"), "-c",
                                          QString::fromStdString(prefix + "/nginx.conf")});
        if (!m_nginx.waitForStarted()) {
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (!FileExists(prefix + "/nginx.pid") && clock.elapsed() < 10000) {
            QThread::msleep(20);
        }
        return FileExists(prefix + "/nginx.pid");
    }

    ~RealServer() override {
        m_nginx.terminate();
        m_nginx.waitForFinished(5000);
    }

    QProcess m_nginx;
};

TEST_F(RealServer, NginxAnswersAreReportedThroughTheFilter) {
    ASSERT_TRUE(StartNginx()) << "nginx is installed by scripts/dev";
    WritePage("a.htm",
              "<A HREF=\"http://h21.test/index.html\">home</A>"
              "<A HREF=\"http://h21.test/moved\">moved</A>"
              "<A HREF=\"http://h21.test/private/x.htm\">private</A>"
              "<A HREF=\"http://h21.test/missing.htm\">missing</A>");
    const CProgramResult result = Run({"-q", Site() + "/a.htm"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.out, "FILE: " + Site() + "/a.htm\n"
                          "http://h21.test/moved\tHTTP Code 301 Moved Permanently\tmoved\n"
                          "http://h21.test/private/x.htm\tHTTP Code 403 Forbidden\tprivate\n"
                          "http://h21.test/missing.htm\tHTTP Code 404 Not Found\tmissing\n");
}

}  // namespace
