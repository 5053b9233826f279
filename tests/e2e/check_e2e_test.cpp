// linkvet-check from end to end: scripted hosts and a real nginx, in a private network namespace.


#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <memory>
#include <map>
#include <set>

#include "e2e/scriptedserver.h"
#include "e2e/testauthority.h"
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

TEST_F(Check, HttpsLinksAreCheckedOnlyWithTheOption) {
    CTestPki& pki = CTestPki::Get();
    const CScriptedServer notFound("127.0.0.11", 443, pki.Identity("h1.test"),
                                   CScriptedServer::Reply(Status(404)));
    const CScriptedServer wrongName("127.0.0.12", 443, pki.Identity("h1.test"),
                                    CScriptedServer::Reply(Status(200)));
    ASSERT_TRUE(notFound.Listening() && wrongName.Listening());
    WritePage("a.htm", "<A HREF=\"https://h1.test/x.htm\">X</A><A HREF=\"https://h2.test/\">Y</A>");
    const CProgramResult off = Run({"-q", Site() + "/a.htm"});
    EXPECT_EQ(off.exitCode, 0) << off.err;
    EXPECT_EQ(off.out, "");
    EXPECT_EQ(notFound.Connections(), 0);
    const CProgramResult on = Run({"-q", "--https", Site() + "/a.htm"});
    EXPECT_EQ(on.exitCode, 1) << on.err;
    EXPECT_EQ(on.out, "FILE: " + Site() +
                          "/a.htm\n"
                          "https://h1.test/x.htm\tHTTP Code 404 Not Found\tX\n"
                          "https://h2.test/\tCertificate Is for Another Host Name\tY\n");
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

    // Many links at once give local links their place in the same order.
    const CProgramResult many = Run({"-t", "5", "-j", "8", "--scan", "html", "-r", Site()});
    EXPECT_EQ(many.out, result.out);
    const std::vector<std::string> manyLog = Lines(many.err);
    ASSERT_EQ(manyLog.size(), log.size()) << many.err;
    for (std::size_t i = 1; i + 1 < log.size(); ++i) {
        EXPECT_EQ(manyLog[i], log[i]) << "the times aside, the log is the same";
    }

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

TEST_F(Check, MachineReportsCarryEachVerdictsCodeAndSkipExcludedLinks) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(Status(404)));
    const CScriptedServer odd("127.0.0.12", 80, CScriptedServer::Reply(Status(405)));
    WritePage("a.htm",
              "<A HREF=\"http://h1.test/x\">X</A><A HREF=\"http://h2.test/y\">Y</A>"
              "<A HREF=\"http://h1.test/skip/z\">Z</A><A HREF=\"http://h9.test/\">W</A>");
    const CProgramResult result =
        Run({"--format", "json", "--exclude", "/skip/", "--exclude=h9", Site() + "/a.htm"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("/a.htm\nURLs excluded: 2.\nResults for " + Site() + "/a.htm: URLs tested: 2. URL errors: 2.\n"),
              std::string::npos)
        << result.err;
    QJsonParseError error{};
    const QJsonObject report =
        QJsonDocument::fromJson(QByteArray::fromStdString(result.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << result.out;
    const QJsonObject run = report["run"].toObject();
    EXPECT_EQ(run["files_read"].toInt(), 1);
    EXPECT_EQ(run["links_found"].toInt(), 4);
    EXPECT_EQ(run["links_excluded"].toInt(), 2);
    EXPECT_EQ(run["links_tested"].toInt(), 2);
    EXPECT_EQ(run["rows_reported"].toInt(), 2);
    const QJsonArray rows = report["rows"].toArray();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].toObject()["code"].toInt(), 404);
    EXPECT_EQ(rows[1].toObject()["code"].toInt(), 405)
        << "a code outside the table keeps its number";
    EXPECT_EQ(rows[1].toObject()["reason"].toString(), "--------------> UNKNOWN REASON !!!!!");
    EXPECT_EQ(rows[1].toObject()["link"].toString(), "http://h2.test/y");
    EXPECT_EQ(rows[1].toObject()["anchor"].toString(), "Y");
    EXPECT_EQ(rows[1].toObject()["file"].toString(), QString::fromStdString(Site() + "/a.htm"));

    const CProgramResult junit = Run({"-q", "--format=junit", Site() + "/a.htm"});
    EXPECT_EQ(junit.exitCode, 1);
    EXPECT_NE(junit.out.find("<testsuites name=\"linkvet-check\" tests=\"4\" failures=\"4\""),
              std::string::npos)
        << junit.out;
    EXPECT_NE(junit.out.find("<failure message=\"--------------&gt; UNKNOWN REASON !!!!!\" "
                             "type=\"405\">"),
              std::string::npos)
        << junit.out;
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
    const CProgramResult json = InterruptWhenConnected(
        LINKVET_CHECK, {"-t", "60", "--format=json", Site() + "/a.htm"}, m_home.Path(), silent);
    EXPECT_EQ(json.exitCode, 130);
    EXPECT_NE(json.out.find("\"finished\": false"), std::string::npos) << json.out;
}

// Lines added to the namespace's own hosts file for one test, taken out again at its end.
class CHostsLines {
public:
    explicit CHostsLines(const std::string& lines) : m_before(ReadFile("/etc/hosts")) {
        WriteFile("/etc/hosts", m_before + lines);
    }
    ~CHostsLines() { WriteFile("/etc/hosts", m_before); }
    CHostsLines(const CHostsLines&) = delete;
    CHostsLines& operator=(const CHostsLines&) = delete;

private:
    std::string m_before;
};

TEST_F(Check, OneAtATimeAndManyAtOnceResolveAlike) {
    // Debian's own lines for the IPv6 loopback, an IPv4-mapped entry, and a name server that
    // answers long after the time-out.
    const CHostsLines hosts("::1 ip6-localhost ip6-loopback\n::ffff:127.0.0.12 mapped.test\n");
    const CScriptedServer loopback("127.0.0.1", 80, CScriptedServer::Reply(Status(404)), 16, true);
    const CScriptedServer mapped("127.0.0.12", 80, CScriptedServer::Reply(Status(500)), 16, true);
    const CSlowNameServer names("127.0.0.13", 9000);
    ASSERT_TRUE(names.Ready());
    WritePage("a.htm",
              "<A HREF=\"http://ip6-localhost/a\">a</A><A HREF=\"http://mapped.test/b\">b</A>"
              "<A HREF=\"http://slow.test/c\">c</A><A HREF=\"http://IP6-LOOPBACK/d\">d</A>");
    QElapsedTimer clock;
    clock.start();
    const CProgramResult one = Run({"-t", "5", Site() + "/a.htm"});
    ASSERT_EQ(one.exitCode, 1) << one.err;
    EXPECT_LT(clock.elapsed(), 7500) << "the lookup ended with the link's time-out";
    const CProgramResult many = Run({"-t", "5", "-j", "8", Site() + "/a.htm"});
    EXPECT_EQ(one.out, "FILE: " + Site() +
                           "/a.htm\n"
                           "http://ip6-localhost/a\tHTTP Code 404 Not Found\ta\n"
                           "http://mapped.test/b\tHTTP Code 500 Internal Server Error\tb\n"
                           "http://slow.test/c\tHost Took Too Long to Respond\tc\n"
                           "http://IP6-LOOPBACK/d\tHTTP Code 404 Not Found\td\n");
    EXPECT_EQ(many.out, one.out);
    EXPECT_EQ(many.exitCode, one.exitCode);
}

TEST_F(Check, CtrlCStopsARunWhoseLinkWaitsForItsName) {
    const CSlowNameServer names("127.0.0.13", 60000);
    ASSERT_TRUE(names.Ready());
    WritePage("a.htm", "<A HREF=\"http://slow.test/x.htm\">X</A>");
    QElapsedTimer clock;
    clock.start();
    const CProgramResult result =
        InterruptWhen(LINKVET_CHECK, {"-t", "60", Site() + "/a.htm"}, m_home.Path(),
                      [&names] { return names.Queries() > 0; });
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_NE(result.err.find("Testing Stopped by User\n"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

// Many links at once: the same site must give the same report and log whatever the number.

// A host that answers by the request's path after its own delay: /ok 200, /missing 404,
// /error 500, /moved 301, /odd 206 (a code without a reason text), /slow... 404 after a further
// 300 ms, /silent never, /close closes without a word.
CScriptedServer::Behaviour AnswerByPath(int delayMillis) {
    return [delayMillis](int socket, CScriptedServer& server) {
        const std::string request = server.ReadRequest(socket);
        const std::size_t start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        const auto is = [&path](const char* prefix) { return path.rfind(prefix, 0) == 0; };
        if (is("/silent")) {
            server.WaitForPeerClose(socket);
            return;
        }
        if (is("/close")) {
            return;
        }
        const int code = is("/ok")      ? 200
                         : is("/error") ? 500
                         : is("/moved") ? 301
                         : is("/odd")   ? 206
                                        : 404;
        if (server.PeerClosesWithin(socket, delayMillis + (is("/slow") ? 300 : 0))) {
            return;
        }
        server.SendAll(socket, Status(code));
        server.WaitForPeerClose(socket);
    };
}

class ManyLinks : public Check {
protected:
    // Six hosts, h1.test .. h6.test, each answering after a delay of its own, and an ftp host.
    void StartHosts() {
        const int delays[] = {0, 20, 50, 80, 120, 10};
        for (int i = 0; i < 6; ++i) {
            m_hosts.push_back(std::make_unique<CScriptedServer>(
                "127.0.0." + std::to_string(11 + i), 80, AnswerByPath(delays[i]), 128, true));
            ASSERT_TRUE(m_hosts.back()->Listening());
        }
        m_hosts.push_back(std::make_unique<CScriptedServer>(
            "127.0.0.17", 21, CScriptedServer::Greeting("220 ready\r\n"), 128, true));
    }

    int Connections() const {
        int count = 0;
        for (const auto& host : m_hosts) {
            count += host->Connections();
        }
        return count;
    }

    // Ten pages of twenty links drawn from a pool of about ninety URLs, so many URLs stand in
    // several pages, with every kind of verdict among them, and a page without links.
    void WriteSite() {
        const char* kinds[] = {"ok", "ok", "ok", "missing", "error", "moved", "slow", "odd"};
        unsigned seed = 12345;
        const auto next = [&seed](unsigned range) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 16) % range;
        };
        const std::vector<std::string> specials = {"http://h1.test/silent",
                                                   "http://h2.test/close",
                                                   "http://nohost.test/x",
                                                   "http://h30.test/refused",
                                                   "http:///x",
                                                   "ftp://h7.test/",
                                                   "ftp://h31.test/",
                                                   "HTTP://H3.TEST/ok1"};
        for (int page = 0; page < 10; ++page) {
            std::string links;
            for (int link = 0; link < 20; ++link) {
                std::string url = "http://h" + std::to_string(1 + next(6)) + ".test/" +
                                  kinds[next(8)] + std::to_string(next(2)) + ".htm";
                if (link == 7 && page < static_cast<int>(specials.size())) {
                    url = specials[static_cast<std::size_t>(page)];
                }
                m_urls.insert(url);
                m_occurrencesServed += ReachesAHost(url) ? 1 : 0;
                links += "<A HREF=\"" + url + "\">page " + std::to_string(page) + " link " +
                         std::to_string(link) + "</A>\n";
            }
            WritePage("p" + std::to_string(page) + ".htm", links);
        }
        WritePage("p5a.htm", "<P>no links</P>");
    }

    // Whether probing the URL makes a connection to one of the hosts.
    static bool ReachesAHost(const std::string& url) {
        for (const char* unserved : {"h30.", "h31.", "nohost.", ":///"}) {
            if (url.find(unserved) != std::string::npos) {
                return false;
            }
        }
        return true;
    }

    // The log with the date and time of its first and last lines taken out.
    static std::vector<std::string> LogWithoutDates(const std::string& err) {
        std::vector<std::string> log = Lines(err);
        for (std::string& line : log) {
            for (const char* dated : {"Start of test ", "End of test: "}) {
                if (line.rfind(dated, 0) == 0) {
                    line = dated;
                }
            }
        }
        return log;
    }

    // a.htm: thirty links, all to h1.test, all answered 200 by a host that answers by path.
    void WriteThirtyLinksToOneHost() {
        std::string links;
        for (int i = 0; i < 30; ++i) {
            links += "<A HREF=\"http://h1.test/ok" + std::to_string(i) + ".htm\">" +
                     std::to_string(i) + "</A>";
        }
        WritePage("a.htm", links);
    }

    std::vector<std::unique_ptr<CScriptedServer>> m_hosts;
    std::set<std::string> m_urls;
    int m_occurrencesServed = 0;
};

TEST_F(ManyLinks, SixtyFourAtOnceGiveTheReportAndLogOfOneAtATime) {
    StartHosts();
    WriteSite();
    const CProgramResult one = Run({"-t", "5", "-a", Site()});
    const int probedByOne = Connections();
    const CProgramResult many = Run({"-t", "5", "--jobs", "64", "-a", Site()});
    const int probedByMany = Connections() - probedByOne;

    EXPECT_EQ(one.exitCode, 1) << one.err;
    EXPECT_EQ(many.exitCode, 1) << many.err;
    EXPECT_EQ(many.out, one.out);
    EXPECT_EQ(LogWithoutDates(many.err), LogWithoutDates(one.err));
    for (const char* reason :
         {"HTTP Code 404 Not Found", "HTTP Code 500 Internal Server Error",
          "HTTP Code 301 Moved Permanently", "--------------> UNKNOWN REASON !!!!!",
          "Can't Find Named Host", "Can't Connect to Host", "Host Took Too Long to Respond",
          "Request for Invalid Port or Name"}) {
        EXPECT_NE(one.out.find(reason), std::string::npos) << reason;
    }
    EXPECT_EQ(Lines(one.err).size(), 2u + 3u * 11u + 1u) << "every page is tested";
    EXPECT_EQ(probedByOne, m_occurrencesServed) << "one at a time asks for every link";
    EXPECT_EQ(probedByMany, std::count_if(m_urls.begin(), m_urls.end(), ReachesAHost))
        << "many at once ask for each URL once";
    EXPECT_LT(m_urls.size(), 120u) << "the pages share URLs";
}

// linkvet-check under a limit on open files: `ulimit -n N` sets the soft and the hard limit,
// `ulimit -Sn N` the soft one only.
CProgramResult RunWithOpenFileLimit(const std::string& limit,
                                    const std::vector<std::string>& arguments,
                                    const std::string& home) {
    std::vector<std::string> shell = {"-c", "ulimit " + limit + " && exec \"$0\" \"$@\"",
                                      LINKVET_CHECK};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    return RunProgram("/bin/sh", shell, home);
}

TEST_F(ManyLinks, AFewDescriptorsGiveTheReportAndLogOfOneAtATime) {
    StartHosts();
    WriteSite();
    const CProgramResult one = Run({"-t", "5", "-a", Site()});
    const CProgramResult many =
        RunWithOpenFileLimit("-n 24", {"-t", "5", "-j", "64", "-a", Site()}, m_home.Path());
    EXPECT_EQ(many.exitCode, one.exitCode) << many.err;
    EXPECT_EQ(many.out, one.out);
    EXPECT_EQ(LogWithoutDates(many.err), LogWithoutDates(one.err));
}

TEST_F(ManyLinks, AsManyAtOnceAsTheLimitOnOpenFilesGiveTheReportOfNoLimit) {
    StartHosts();
    std::string links;
    for (int i = 0; i < 300; ++i) {
        links += "<A HREF=\"http://h" + std::to_string(1 + i % 6) + ".test/missing" +
                 std::to_string(i) + ".htm\">" + std::to_string(i) + "</A>\n";
    }
    WritePage("a.htm", links);
    const std::vector<std::string> arguments = {
        "-t", "5", "-j", "256", "--per-host", "256", Site() + "/a.htm"};
    const CProgramResult unlimited = Run(arguments);
    const CProgramResult limited = RunWithOpenFileLimit("-n 256", arguments, m_home.Path());
    EXPECT_EQ(limited.exitCode, 1) << limited.err;
    EXPECT_EQ(limited.out, unlimited.out);
    EXPECT_EQ(std::count(unlimited.out.begin(), unlimited.out.end(), '\n'), 301);
    EXPECT_EQ(unlimited.out.find("Can't"), std::string::npos) << unlimited.out;
}

// Counts the connections a host serves at the same time, from the request until the answer.
class CCountingHost {
public:
    CCountingHost()
        : m_server(
              "127.0.0.11", 80,
              [this](int socket, CScriptedServer& server) {
                  server.ReadRequest(socket);
                  const int now = ++m_active;
                  int seen = m_most.load();
                  while (now > seen && !m_most.compare_exchange_weak(seen, now)) {
                  }
                  server.PeerClosesWithin(socket, 150);
                  --m_active;
                  server.SendAll(socket, Status(200));
                  server.WaitForPeerClose(socket);
              },
              128, true) {}

    int Most() const { return m_most; }
    int Connections() const { return m_server.Connections(); }

private:
    std::atomic<int> m_active{0};
    std::atomic<int> m_most{0};
    CScriptedServer m_server;
};

TEST_F(ManyLinks, NoHostEverGetsMoreConnectionsThanItsLimitNorTheRunMoreThanItsJobs) {
    WriteThirtyLinksToOneHost();
    {
        const CCountingHost host;
        const CProgramResult result = Run({"-q", "-j", "64", "--per-host", "3", Site() + "/a.htm"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(host.Connections(), 30);
        EXPECT_LE(host.Most(), 3);
        EXPECT_GE(host.Most(), 2) << "the links were asked for side by side";
    }
    {
        const CCountingHost host;
        const CProgramResult result = Run({"-q", "-j", "2", Site() + "/a.htm"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_LE(host.Most(), 2) << "the default of 6 to one host is above the 2 jobs";
    }
}

TEST_F(ManyLinks, ALowSoftLimitOnOpenFilesIsRaisedToTheHardOne) {
    WriteThirtyLinksToOneHost();
    const CCountingHost host;
    const CProgramResult result = RunWithOpenFileLimit(
        "-Sn 24", {"-q", "-j", "64", "--per-host", "64", Site() + "/a.htm"}, m_home.Path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(host.Connections(), 30);
    EXPECT_GT(host.Most(), 12) << "more connections at once than 24 descriptors would leave";
}

TEST_F(ManyLinks, CtrlCStopsARunWithManyInFlightAndStillWritesTheReport) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(Status(404)), 16, true);
    const CScriptedServer silent("127.0.0.12", 80, CScriptedServer::Silent(), 16, true);
    WritePage("a.htm",
              "<A HREF=\"http://h1.test/x.htm\">X</A><A HREF=\"http://h2.test/y.htm\">Y</A>"
              "<A HREF=\"http://h2.test/z.htm\">Z</A>");
    const CProgramResult result = InterruptWhenConnected(
        LINKVET_CHECK, {"-t", "60", "-j", "8", Site() + "/a.htm"}, m_home.Path(), silent);
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_NE(result.err.find("Testing Stopped by User\n"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("End of test"), std::string::npos);
    EXPECT_EQ(result.out,
              "FILE: " + Site() + "/a.htm\nhttp://h1.test/x.htm\tHTTP Code 404 Not Found\tX\n");
}

// A real peer: Debian's nginx serving a small site with real answers.
// Redirects followed: a host that answers by path with redirects of every kind. The time-out
// covers the whole chain: /slow1 and /slow2 each answer in 2.6 s, within a 5 s time-out alone.
CScriptedServer::Behaviour RedirectByPath() {
    return [](int socket, CScriptedServer& server) {
        const std::string request = server.ReadRequest(socket);
        const std::size_t start = request.find(' ') + 1;
        std::string path = request.substr(start, request.find(' ', start) - start);
        // The probe sends "/a/" for "/a", as it always has.
        if (path.size() > 1 && path.ends_with('/')) {
            path.pop_back();
        }
        const std::map<std::string, std::string> moves = {
            {"/a", "301 /b"},
            {"/b", "301 http://h2.test/c"},
            {"/t", "302 /ok"},
            {"/t7", "307 /missing"},
            {"/p8", "308 //h2.test/new"},
            {"/loop1", "301 /loop2"},
            {"/loop2", "301 ./loop1"},
            {"/front", "301 /"},
            {"/members", "301 /account/login?next=x"},
            {"/tls", "301 https://h1.test/tls"},
            {"/odd", std::string("301 /new page\x01\xe9")},
            {"/slow1", "301 /slow2"},
        };
        if (path.starts_with("/slow")) {
            if (server.PeerClosesWithin(socket, 2600)) {
                return;
            }
        }
        const auto move = moves.find(path);
        if (move != moves.end()) {
            const std::string code = move->second.substr(0, 3);
            server.SendAll(socket, "HTTP/1.1 " + code + " Elsewhere\r\nServer: s\r\nLocation: " +
                                       move->second.substr(4) + "\r\n\r\n");
        } else {
            const bool known = path == "/" || path == "/c" || path == "/new" || path == "/ok" ||
                               path == "/slow2" || path.starts_with("/account/login") ||
                               path == "/new%20page%01%E9";
            server.SendAll(socket, Status(known ? 200 : 404));
        }
        server.WaitForPeerClose(socket);
    };
}

class Redirects : public Check {
protected:
    void SetUp() override {
        Check::SetUp();
        for (const char* address : {"127.0.0.11", "127.0.0.12"}) {
            m_hosts.push_back(
                std::make_unique<CScriptedServer>(address, 80, RedirectByPath(), 64, true));
            ASSERT_TRUE(m_hosts.back()->Listening());
        }
        std::string links;
        for (const char* path : {"a", "t", "t7", "p8", "loop1", "front", "members", "tls", "odd",
                                 "slow1"}) {
            links += "<a href=\"http://h1.test/" + std::string(path) + "\">" + path + "</a>\n";
        }
        WritePage("page.htm", links);
    }

    std::vector<std::unique_ptr<CScriptedServer>> m_hosts;
};

TEST_F(Redirects, FollowedChainsEndInTheirLastAnswerOrAMoveAndAnyJobsAgree) {
    const std::string page = Site() + "/page.htm";
    const CProgramResult one = Run({"-t", "5", "--redirects", "follow", page});
    EXPECT_EQ(one.exitCode, 1) << one.err;
    EXPECT_EQ(one.out,
              "FILE: " + page + "\n"
              "http://h1.test/a\tMoved Permanently to http://h2.test/c\ta\n"
              "http://h1.test/t7\tHTTP Code 404 Not Found\tt7\n"
              "http://h1.test/p8\tMoved Permanently to http://h2.test/new\tp8\n"
              "http://h1.test/loop1\tToo Many Redirects\tloop1\n"
              "http://h1.test/front\tMoved Permanently to http://h1.test/ (no update: the new "
              "address is the site's front page)\tfront\n"
              "http://h1.test/members\tMoved Permanently to http://h1.test/account/login?next=x "
              "(no update: the new address is a sign-in page)\tmembers\n"
              "http://h1.test/tls\tHTTP Code 301 Moved Permanently\ttls\n"
              "http://h1.test/odd\tMoved Permanently to http://h1.test/new%20page%01%E9\todd\n"
              "http://h1.test/slow1\tHost Took Too Long to Respond\tslow1\n");
    const CProgramResult many = Run({"-t", "5", "--redirects", "follow", "-j", "8", page});
    EXPECT_EQ(many.out, one.out);

    const CProgramResult json =
        Run({"-t", "5", "--redirects", "follow", "-j", "8", "--format", "json", page});
    const QJsonArray rows =
        QJsonDocument::fromJson(QByteArray::fromStdString(json.out))["rows"].toArray();
    ASSERT_EQ(rows.size(), 9);
    EXPECT_EQ(rows[0]["moved_to"].toString(), "http://h2.test/c");
    EXPECT_EQ(rows[0]["code"].toInt(), 10013);
    EXPECT_TRUE(rows[1]["moved_to"].isUndefined());
}

// With --https a move to https is followed over TLS, and a move of the same host and path to
// https is always fit for an update.
TEST_F(Redirects, AMoveToHttpsIsFollowedOverTlsWithTheOption) {
    const CScriptedServer secure("127.0.0.11", 443, CTestPki::Get().Identity("h1.test"),
                                 CScriptedServer::Reply(Status(200)));
    ASSERT_TRUE(secure.Listening());
    WritePage("tls.htm", "<a href=\"http://h1.test/tls\">t</a>\n");
    const CProgramResult result =
        Run({"-t", "5", "--https", "--redirects", "follow", "--repair", "update",
             Site() + "/tls.htm"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.out, "FILE: " + Site() + "/tls.htm\n"
                          "http://h1.test/tls\tMoved Permanently to https://h1.test/tls\tt\n");
    EXPECT_EQ(secure.Handshakes(), 1);
    EXPECT_EQ(ReadFile(Site() + "/tls.htm"), "<a href=\"https://h1.test/tls\">t</a>\n");
}

TEST_F(Redirects, ByDefaultARedirectIsTheVerdictAndNothingMoreIsAsked) {
    const CProgramResult result = Run({"-t", "5", Site() + "/page.htm"});
    EXPECT_NE(result.out.find("http://h1.test/a\tHTTP Code 301 Moved Permanently\ta\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("Moved Permanently to"), std::string::npos);
    EXPECT_EQ(m_hosts[0]->Connections() + m_hosts[1]->Connections(), 10) << "one per link";
}

TEST_F(Redirects, UpdateRewritesSafeMovesAndADryRunOnlyShowsThem) {
    const std::string page = Site() + "/page.htm";
    const std::string before = ReadFile(page);
    const CProgramResult dry =
        Run({"-t", "5", "--redirects", "follow", "--repair", "update", "--dry-run", "-o",
             m_scratch / "report.txt", page});
    EXPECT_EQ(dry.exitCode, 1) << dry.err;
    EXPECT_EQ(ReadFile(page), before);
    EXPECT_FALSE(FileExists(Site() + "/page.rep"));
    EXPECT_NE(dry.out.find("-<a href=\"http://h1.test/a\">a</a>\n+<a href=\"http://h2.test/c\">a</a>\n"),
              std::string::npos)
        << dry.out;

    const CProgramResult update =
        Run({"-t", "5", "--redirects", "follow", "--repair", "update", page});
    EXPECT_EQ(update.exitCode, 1) << update.err;
    std::string expected = before;
    for (const auto& [from, to] :
         std::vector<std::pair<std::string, std::string>>{
             {"http://h1.test/a\"", "http://h2.test/c\""},
             {"http://h1.test/p8\"", "http://h2.test/new\""},
             {"http://h1.test/odd\"", "http://h1.test/new%20page%01%E9\""}}) {
        expected.replace(expected.find(from), from.size(), to);
    }
    EXPECT_EQ(ReadFile(page), expected);
    EXPECT_EQ(ReadFile(Site() + "/page.rep"), before);
    EXPECT_NE(update.err.find("links left as they were: 6"), std::string::npos) << update.err;
    for (const char* added : {"+<a href=\"http://h2.test/new\">p8</a>\n",
                              "+<a href=\"http://h1.test/new%20page%01%E9\">odd</a>\n"}) {
        EXPECT_NE(dry.out.find(added), std::string::npos) << added;
    }
}

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
