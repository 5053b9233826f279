// The probe against scripted hosts on loopback, in a private network namespace.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "e2e/scriptedserver.h"
#include "e2e/testauthority.h"
#include "platform/messagebox.h"
#include "platform/timerhost.h"
#include "run/recordingrun.h"
#include "settings/regsettings.h"
#include "support/temphome.h"

namespace {

const std::string kUnknown = "--------------> UNKNOWN REASON !!!!!";

std::string Status(int code, const std::string& text) {
    return "HTTP/1.0 " + std::to_string(code) + " " + text +
           "\r\nContent-Type: text/html\r\n\r\n<html></html>";
}

class Probe : public CTempHomeTest {
protected:
    Probe() : m_run(m_settings) { m_run.SetTimeoutSeconds(1); }

    // Writes a page with one anchor per link, named after its position, and runs it.
    void RunPage(const std::vector<std::string>& links, int timeoutMillis = 30000) {
        std::string page = "<HTML><BODY>\n";
        for (std::size_t i = 0; i < links.size(); ++i) {
            page += "<A HREF=\"" + links[i] + "\">link " + std::to_string(i) + "</A>\n";
        }
        WriteFile(m_scratch / "page.htm", page);
        m_clock.start();
        m_run.m_endedCount = 0;
        m_run.StartTest(m_scratch / "page.htm", false, false, false);
        ASSERT_TRUE(m_run.RunToEnd(timeoutMillis));
        m_elapsed = m_clock.elapsed();
    }

    // The rows as "URL | reason".
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int i = 0; i < m_run.m_rows.RowCount(); ++i) {
            rows.push_back(m_run.m_rows.CellText(i, 0) + " | " + m_run.m_rows.CellText(i, 1));
        }
        return rows;
    }

    bool StatusShown(int pane, const std::string& text) const {
        const auto found = m_run.m_status.find(pane);
        return found != m_run.m_status.end() &&
               std::find(found->second.begin(), found->second.end(), text) != found->second.end();
    }

    CRegSettings m_settings;
    platform::CScriptedUserInterface m_ui;
    CRecordingRun m_run;
    QElapsedTimer m_clock;
    qint64 m_elapsed = 0;
};

TEST_F(Probe, StatusLinesBecomeVerdictsThroughTheFilter) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(Status(404, "Not Found")));
    const CScriptedServer ok("127.0.0.12", 80, CScriptedServer::Reply(Status(200, "OK")));
    const CScriptedServer moved("127.0.0.13", 80, CScriptedServer::Reply(Status(302, "Found")));
    const CScriptedServer partial("127.0.0.14", 80, CScriptedServer::Reply(Status(206, "Partial")));
    const CScriptedServer tableCode("127.0.0.15", 80,
                                    CScriptedServer::Reply("HTTP/1.0 10002 Odd\r\n\r\n"));
    ASSERT_TRUE(notFound.Listening());
    RunPage({"http://h1.test/missing.htm", "http://h2.test/", "HTTP://h3.test/old",
             "http://h4.test/part.htm", "http://h5.test/x.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "http://h1.test/missing.htm | HTTP Code 404 Not Found",
                          "HTTP://h3.test/old | HTTP Code 302 Moved Temporarily",
                          "http://h4.test/part.htm | " + kUnknown,
                          "http://h5.test/x.htm | Can't Find Named Host"}));
    EXPECT_EQ(m_run.m_rows.CellText(0, 2), "link 0");
    EXPECT_EQ(m_run.m_rows.CellText(0, 3), m_scratch / "page.htm");
    EXPECT_EQ(moved.Connections(), 1) << "a redirection is a verdict, not followed";
    EXPECT_TRUE(m_run.m_unknownErrorSeen);
    EXPECT_FALSE(m_run.m_linkTimerActive) << "the last verdict stops the time-out";
    EXPECT_TRUE(StatusShown(2, "Host Reply Received"));
    EXPECT_TRUE(StatusShown(1, "No connection"));
    EXPECT_EQ(m_run.m_status[1].back(), "Search Complete");
    EXPECT_EQ(m_run.m_urlBar.Pos(), 5) << "the link bar steps once per verdict";
}

TEST_F(Probe, AFirstLineWithoutANumberIsAnUnknownReason) {
    const CScriptedServer garbage("127.0.0.11", 80, CScriptedServer::Reply("Hello there\r\n\r\n"));
    const CScriptedServer split("127.0.0.12", 80,
                                CScriptedServer::Reply("HTTP/1.0\n404 Not Found\r\n\r\n"));
    const CScriptedServer empty("127.0.0.13", 80, CScriptedServer::Reply("\n\n\n"));
    RunPage({"http://h1.test/a.htm", "http://h2.test/b.htm", "http://h3.test/c.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"http://h1.test/a.htm | " + kUnknown,
                                                "http://h2.test/b.htm | " + kUnknown,
                                                "http://h3.test/c.htm | " + kUnknown}));
}

TEST_F(Probe, OnlyTheFirstPieceOfAReplyCounts) {
    const CScriptedServer whole(
        "127.0.0.11", 80,
        CScriptedServer::ReplyInPieces({"HTTP/1.0 404 Not Found\r\n", "Server: x\r\n\r\nbody"},
                                       300));
    const CScriptedServer cut("127.0.0.12", 80,
                              CScriptedServer::ReplyInPieces({"HTTP/1.0 4", "04 Not Found\r\n"}, 300));
    RunPage({"http://h1.test/a.htm", "http://h2.test/b.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"http://h1.test/a.htm | HTTP Code 404 Not Found",
                                                "http://h2.test/b.htm | " + kUnknown}));
}

TEST_F(Probe, FailuresBeforeAnyReplyGetTheirCodesAtOnce) {
    RunPage({"http:///no-host.htm", "http://nowhere.test/", "http://h8.test/refused.htm",
             "http://1h.test/digit.htm", "ftp://nowhere.test/f.zip", "http://  h8.test/x.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "http:///no-host.htm | Request for Invalid Port or Name",
                          "http://nowhere.test/ | Can't Find Named Host",
                          "http://h8.test/refused.htm | Can't Connect to Host",
                          "http://1h.test/digit.htm | Can't Connect to Host",
                          "ftp://nowhere.test/f.zip | Can't Find Named Host",
                          "http://  h8.test/x.htm | Can't Connect to Host"}));
    EXPECT_LT(m_elapsed, 5000) << "none of these waits for the time-out";
}

TEST_F(Probe, AHostThatClosesWithoutAWordTakesTheFullTimeOut) {
    const CScriptedServer closer("127.0.0.11", 80, CScriptedServer::CloseAtOnce());
    RunPage({"http://h1.test/a.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"http://h1.test/a.htm | Host Took Too Long to Respond"}));
    EXPECT_GE(m_elapsed, 1000);
    EXPECT_TRUE(StatusShown(1, "Connection Closed by Host"));
}

TEST_F(Probe, ASilentHostIsGivenUpAfterTheTimeOut) {
    const CScriptedServer silent("127.0.0.11", 80, CScriptedServer::Silent());
    const CScriptedServer next("127.0.0.12", 80, CScriptedServer::Reply(Status(404, "Not Found")));
    RunPage({"http://h1.test/a.htm", "http://h2.test/b.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"http://h1.test/a.htm | Host Took Too Long to Respond",
                                                "http://h2.test/b.htm | HTTP Code 404 Not Found"}));
    EXPECT_GE(m_elapsed, 1000);
    EXPECT_LT(m_elapsed, 5000);
}

sockaddr_in LoopbackAddress(const char* address, int port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    where.sin_addr.s_addr = ::inet_addr(address);
    return where;
}

// A listener on port 80 that never accepts, its queue full: further handshakes are dropped,
// as a firewall that drops SYNs would.
class CHandshakeDropper {
public:
    explicit CHandshakeDropper(const char* address)
        : m_listener(::socket(AF_INET, SOCK_STREAM, 0)) {
        const sockaddr_in where = LoopbackAddress(address, 80);
        m_ready =
            ::bind(m_listener, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0 &&
            ::listen(m_listener, 0) == 0;
        for (int i = 0; i < 3; ++i) {
            m_fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(m_fillers.back(), reinterpret_cast<const sockaddr*>(&where), sizeof where);
        }
        ::usleep(200000);
    }
    ~CHandshakeDropper() {
        for (int fd : m_fillers) {
            ::close(fd);
        }
        ::close(m_listener);
    }
    CHandshakeDropper(const CHandshakeDropper&) = delete;
    CHandshakeDropper& operator=(const CHandshakeDropper&) = delete;
    bool Ready() const { return m_ready; }

private:
    int m_listener;
    bool m_ready = false;
    std::vector<int> m_fillers;
};

TEST_F(Probe, AConnectToAHostThatDropsTheHandshakeIsBoundedByTheTimeOut) {
    const CHandshakeDropper dropper("127.0.0.11");
    ASSERT_TRUE(dropper.Ready());
    RunPage({"http://h1.test/a.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"http://h1.test/a.htm | Can't Connect to Host"}));
    EXPECT_GE(m_elapsed, 1000);
    EXPECT_LT(m_elapsed, 10000);
}

TEST_F(Probe, ResolvingAndConnectingShareTheOneTimeOut) {
    const CHandshakeDropper dropper("127.0.0.66");
    const CSlowNameServer names("127.0.0.66", 3000);
    ASSERT_TRUE(dropper.Ready());
    ASSERT_TRUE(names.Ready());
    m_run.SetTimeoutSeconds(5);
    RunPage({"http://slow.test/x"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"http://slow.test/x | Can't Connect to Host"}));
    EXPECT_EQ(names.Queries(), 1);
    EXPECT_GE(m_elapsed, 3000) << "the name came from the slow name server";
    EXPECT_LT(m_elapsed, 6500) << "the connect gets only what resolving left of the time-out";
}

TEST_F(Probe, EachHostIsLookedUpOnceARunInAnyLetterCaseOneAtATimeOrManyAtOnce) {
    const CScriptedServer ok("127.0.0.66", 80, CScriptedServer::Reply(Status(404, "Not Found")), 16,
                             true);
    const CSlowNameServer names("127.0.0.66", 50);
    ASSERT_TRUE(names.Ready());
    const std::vector<std::string> links = {"http://named.test/1", "http://named.test/2",
                                            "http://NAMED.Test/3", "http://named.test/1"};
    RunPage(links);
    EXPECT_EQ(Rows().size(), 4u);
    EXPECT_EQ(names.Queries(), 1);
    m_run.m_jobs = 8;
    RunPage(links);
    EXPECT_EQ(Rows().size(), 4u);
    EXPECT_EQ(names.Queries(), 2) << "a run asks anew, once";
    EXPECT_EQ(ok.Connections(), 4 + 3);
}

TEST_F(Probe, ALookupSlowerThanTheTimeOutIsAHostTooSlowOneAtATimeAndManyAtOnce) {
    const CSlowNameServer names("127.0.0.66", 5000);
    ASSERT_TRUE(names.Ready());
    for (const int jobs : {1, 8}) {
        m_run.m_jobs = jobs;
        RunPage({"http://slow.test/x", "http://h1.test/y"});
        EXPECT_EQ(Rows(),
                  (std::vector<std::string>{"http://slow.test/x | Host Took Too Long to Respond",
                                            "http://h1.test/y | Can't Connect to Host"}))
            << jobs;
        EXPECT_LT(m_elapsed, 3000) << jobs;
    }
}

TEST_F(Probe, AnEndlessBodyIsDrainedOnlySoFar) {
    const CScriptedServer endless("127.0.0.11", 80,
                                  CScriptedServer::EndlessBody("HTTP/1.0 500 Oops\r\n\r\n"));
    RunPage({"http://h1.test/big.htm", "http://h1.test/big2.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "http://h1.test/big.htm | HTTP Code 500 Internal Server Error",
                          "http://h1.test/big2.htm | HTTP Code 500 Internal Server Error"}));
}

TEST_F(Probe, AnFtpGreetingPassesTheLinkWhateverItSays) {
    const CScriptedServer ftp("127.0.0.11", 21, CScriptedServer::Greeting("421 Go away\r\n"));
    RunPage({"ftp://h1.test/pub/file.zip", "FTP://h1.test/other"});
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(ftp.Connections(), 2);
    EXPECT_TRUE(ftp.Requests().empty()) << "nothing is sent to an ftp host";
}

TEST_F(Probe, TheRequestGoesOutByteForByte) {
    const CScriptedServer server("127.0.0.11", 80, CScriptedServer::Reply(Status(200, "OK")));
    RunPage({"http://h1.test/dir#part", "http://h1.test"});
    const std::string headers =
        " HTTP/1.0\nAccept: */*\nAccept-Language: en-au\nAccept-Encoding: gzip, deflate\n"
        "User-Agent: Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)\nHost: h1.test\n"
        "Connection: Keep-Alive\r\n\r\n";
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[0], "GET /dir/" + headers);
    EXPECT_EQ(server.Requests()[1], "GET /" + headers);
    EXPECT_EQ(server.Requests()[1].size(), 174u + std::string("h1.test").size());
}

TEST_F(Probe, StoppingWhileAReplyIsAwaitedTearsTheRunDown) {
    const CScriptedServer notFound("127.0.0.11", 80, CScriptedServer::Reply(Status(404, "Gone")));
    const CScriptedServer silent("127.0.0.12", 80, CScriptedServer::Silent());
    WriteFile(m_scratch / "page.htm",
              "<A HREF=\"http://h1.test/a.htm\">a</A><A HREF=\"http://h2.test/b.htm\">b</A>");
    m_run.SetTimeoutSeconds(30);
    m_run.StartTest(m_scratch / "page.htm", false, false, false);
    QElapsedTimer clock;
    clock.start();
    while (!(m_run.m_awaitingReply && m_run.m_urlList.size() == 1) && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    ASSERT_TRUE(m_run.m_awaitingReply);
    m_run.OnStopTest();
    EXPECT_FALSE(m_run.m_socket);
    EXPECT_FALSE(m_run.m_progressDlg);
    EXPECT_EQ(m_run.m_progressDestroyed, 1);
    EXPECT_FALSE(m_run.m_awaitingReply);
    EXPECT_TRUE(m_run.m_runEnded);
    EXPECT_FALSE(m_run.m_runTimerActive);
    EXPECT_FALSE(m_run.m_linkTimerActive);
    EXPECT_TRUE(m_run.m_urlList.empty());
    // The file's results line and the end line are never written.
    ASSERT_EQ(m_run.m_log.size(), 3u);
    EXPECT_EQ(m_run.m_log[0].rfind("Start of test ", 0), 0u) << m_run.m_log[0];
    EXPECT_EQ(m_run.m_log[1], "Testing: " + m_scratch / "page.htm");
    EXPECT_EQ(m_run.m_log[2], "Testing Stopped by User");
    EXPECT_EQ(Rows(), (std::vector<std::string>{"http://h1.test/a.htm | HTTP Code 404 Not Found"}));
    EXPECT_EQ(m_run.m_status[1].back(), "Connection Status");
    EXPECT_EQ(m_run.m_status[2].back(), "HTTP Method Status");
    EXPECT_EQ(CSocketWnd::LiveCount(), 0);
}

// https links against TLS hosts whose certificates come from the test's own authority.
class HttpsProbe : public Probe {
protected:
    HttpsProbe() { m_run.m_https = true; }

    static CTlsIdentity Identity(const std::string& name,
                                 CTestPki::Kind kind = CTestPki::Kind::Valid) {
        return CTestPki::Get().Identity(name, kind);
    }
};

TEST_F(HttpsProbe, StatusLinesOverTlsBecomeVerdictsAsOverHttp) {
    ASSERT_TRUE(CTestPki::Get().Ready());
    const CScriptedServer notFound("127.0.0.11", 443, Identity("h1.test"),
                                   CScriptedServer::Reply(Status(404, "Not Found")));
    const CScriptedServer ok("127.0.0.12", 443, Identity("h2.test"),
                             CScriptedServer::Reply(Status(200, "OK")));
    const CScriptedServer moved("127.0.0.13", 443, Identity("h3.test"),
                                CScriptedServer::Reply(Status(302, "Found")));
    const CScriptedServer partial("127.0.0.14", 443, Identity("h4.test"),
                                  CScriptedServer::Reply(Status(206, "Partial")));
    const CScriptedServer plain("127.0.0.15", 80, CScriptedServer::Reply(Status(500, "Oops")));
    ASSERT_TRUE(notFound.Listening());
    RunPage({"https://h1.test/missing.htm", "https://h2.test/", "HTTPS://h3.test/old",
             "https://h4.test/part.htm", "http://h5.test/x.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "https://h1.test/missing.htm | HTTP Code 404 Not Found",
                          "HTTPS://h3.test/old | HTTP Code 302 Moved Temporarily",
                          "https://h4.test/part.htm | " + kUnknown,
                          "http://h5.test/x.htm | HTTP Code 500 Internal Server Error"}));
    EXPECT_EQ(notFound.ServerNames(), (std::vector<std::string>{"h1.test"}));
    EXPECT_EQ(moved.Handshakes(), 1);
    EXPECT_TRUE(StatusShown(2, "Host Reply Received"));
    EXPECT_FALSE(m_run.m_linkTimerActive);
    EXPECT_LT(m_elapsed, 5000) << "no verdict waits for the time-out";
}

TEST_F(HttpsProbe, TheRequestGoesOutByteForByteInsideTls) {
    const CScriptedServer server("127.0.0.11", 443, Identity("h1.test"),
                                 CScriptedServer::Reply(Status(200, "OK")));
    RunPage({"https://h1.test/dir#part", "https://h1.test:8443"});
    const std::string headers =
        " HTTP/1.0\nAccept: */*\nAccept-Language: en-au\nAccept-Encoding: gzip, deflate\n"
        "User-Agent: Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)\nHost: h1.test\n"
        "Connection: Keep-Alive\r\n\r\n";
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[0], "GET /dir/" + headers);
    EXPECT_EQ(server.Requests()[1], "GET /" + headers) << "a port in the link is not used";
    EXPECT_TRUE(Rows().empty());
}

TEST_F(HttpsProbe, OnlyTheFirstPieceOfAReplyCountsAndAnEndlessBodyIsCutShort) {
    const CScriptedServer cut(
        "127.0.0.11", 443, Identity("h1.test"),
        CScriptedServer::ReplyInPieces({"HTTP/1.0 4", "04 Not Found\r\n"}, 300));
    const CScriptedServer endless("127.0.0.12", 443, Identity("h2.test"),
                                  CScriptedServer::EndlessBody("HTTP/1.0 500 Oops\r\n\r\n"));
    RunPage({"https://h1.test/a.htm", "https://h2.test/big.htm", "https://h2.test/big2.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "https://h1.test/a.htm | " + kUnknown,
                          "https://h2.test/big.htm | HTTP Code 500 Internal Server Error",
                          "https://h2.test/big2.htm | HTTP Code 500 Internal Server Error"}));
    EXPECT_EQ(endless.Handshakes(), 2);
}

TEST_F(HttpsProbe, TlsFailuresGetCodesOfTheirOwnAlwaysReported) {
    const CScriptedServer wrongName("127.0.0.11", 443, Identity("other.test"),
                                    CScriptedServer::Reply(Status(200, "OK")));
    const CScriptedServer expired("127.0.0.12", 443, Identity("h2.test", CTestPki::Kind::Expired),
                                  CScriptedServer::Reply(Status(200, "OK")));
    const CScriptedServer untrusted("127.0.0.13", 443,
                                    Identity("h3.test", CTestPki::Kind::Untrusted),
                                    CScriptedServer::Reply(Status(200, "OK")));
    // A plain http server answers the greeting it cannot read with a plain reply.
    const CScriptedServer plainHttp("127.0.0.14", 443,
                                    CScriptedServer::Greeting(Status(400, "Bad Request")));
    const CScriptedServer closer("127.0.0.15", 443, CScriptedServer::CloseAtOnce());
    ASSERT_TRUE(wrongName.Listening() && expired.Listening() && untrusted.Listening());
    // Even a filter that reports nothing of the 21 codes.
    m_run.m_filter = std::string(kResultCodeCount, '0');
    RunPage({"https://h1.test/a.htm", "https://h2.test/b.htm", "https://h3.test/c.htm",
             "https://h4.test/d.htm", "https://h5.test/e.htm", "https://nowhere.test/"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "https://h1.test/a.htm | Certificate Is for Another Host Name",
                          "https://h2.test/b.htm | Certificate Expired or Not Yet Valid",
                          "https://h3.test/c.htm | Certificate Not Trusted",
                          "https://h4.test/d.htm | Secure Connection (TLS) Failed",
                          "https://h5.test/e.htm | Secure Connection (TLS) Failed"}));
    EXPECT_EQ(wrongName.Handshakes() + expired.Handshakes() + untrusted.Handshakes(), 0)
        << "the probe refuses the certificate before the handshake ends";
    EXPECT_EQ(plainHttp.Connections(), 1);
    EXPECT_FALSE(m_run.m_unknownErrorSeen);
    EXPECT_EQ(m_ui.m_beeps, (std::vector<unsigned>{0})) << "only the end of the run beeps";
    EXPECT_LT(m_elapsed, 5000) << "a failed handshake is a verdict at once";
    EXPECT_EQ(CSocketWnd::LiveCount(), 0);
}

TEST_F(HttpsProbe, CertificatesAreJudgedAsBrowsersJudgeThem) {
    const auto reply = CScriptedServer::Reply(Status(404, "Not Found"));
    const CScriptedServer commonNameOnly(
        "127.0.0.11", 443, Identity("h1.test", CTestPki::Kind::CommonNameOnly), reply);
    const CScriptedServer issuedByNoCa("127.0.0.12", 443,
                                       Identity("h2.test", CTestPki::Kind::IssuedByNoCa), reply);
    const CScriptedServer forClients("127.0.0.13", 443,
                                     Identity("h3.test", CTestPki::Kind::ForClientsOnly), reply);
    const CScriptedServer weakKey("127.0.0.14", 443, Identity("h4.test", CTestPki::Kind::WeakKey),
                                  reply);
    const CScriptedServer wantsClient("127.0.0.15", 443, Identity("h5.test"), reply, true);
    ASSERT_TRUE(commonNameOnly.Listening() && issuedByNoCa.Listening() && forClients.Listening() &&
                weakKey.Listening() && wantsClient.Listening());
    m_run.SetTimeoutSeconds(10);
    for (const int jobs : {1, 8}) {
        m_run.m_jobs = jobs;
        RunPage({"https://h1.test/a", "https://h2.test/b", "https://h3.test/c", "https://h4.test/d",
                 "https://h5.test/e"});
        EXPECT_EQ(Rows(), (std::vector<std::string>{
                              "https://h1.test/a | Certificate Is for Another Host Name",
                              "https://h2.test/b | Certificate Not Trusted",
                              "https://h3.test/c | Certificate Not Trusted",
                              "https://h4.test/d | Certificate Not Trusted",
                              "https://h5.test/e | Secure Connection (TLS) Failed"}))
            << jobs;
        EXPECT_LT(m_elapsed, 5000) << "a host that wants a client certificate fails at once";
    }
}

TEST_F(HttpsProbe, AnAbsoluteNameIsTheNameItsCertificateIsFor) {
    const CSlowNameServer names("127.0.0.11", 0);
    const CScriptedServer server("127.0.0.11", 443, Identity("chain.test"),
                                 CScriptedServer::Reply(Status(404, "Not Found")));
    ASSERT_TRUE(names.Ready() && server.Listening());
    RunPage({"https://chain.test./a"});
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"https://chain.test./a | HTTP Code 404 Not Found"}));
    EXPECT_EQ(server.ServerNames(), (std::vector<std::string>{"chain.test"}));
}

TEST_F(HttpsProbe, TheHandshakeAndTheReplyBothCountAgainstTheTimeOut) {
    const CScriptedServer silentAfterHandshake("127.0.0.11", 443, Identity("h1.test"),
                                               CScriptedServer::Silent());
    const CScriptedServer neverHandshakes("127.0.0.12", 443, CScriptedServer::Silent());
    const CScriptedServer next("127.0.0.13", 443, Identity("h3.test"),
                               CScriptedServer::Reply(Status(404, "Not Found")));
    RunPage({"https://h1.test/a.htm", "https://h2.test/b.htm", "https://h3.test/c.htm"});
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"https://h1.test/a.htm | Host Took Too Long to Respond",
                                        "https://h2.test/b.htm | Host Took Too Long to Respond",
                                        "https://h3.test/c.htm | HTTP Code 404 Not Found"}));
    EXPECT_EQ(silentAfterHandshake.Handshakes(), 1);
    EXPECT_EQ(neverHandshakes.Connections(), 1);
    EXPECT_GE(m_elapsed, 2000);
    EXPECT_LT(m_elapsed, 8000);
}

TEST_F(HttpsProbe, StoppingDuringTheHandshakeTearsTheConnectionDown) {
    const CScriptedServer neverHandshakes("127.0.0.11", 443, CScriptedServer::Silent());
    WriteFile(m_scratch / "page.htm", "<A HREF=\"https://h1.test/a.htm\">a</A>");
    m_run.SetTimeoutSeconds(30);
    m_run.StartTest(m_scratch / "page.htm", false, false, false);
    QElapsedTimer clock;
    clock.start();
    while (!m_run.m_awaitingReply && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    ASSERT_TRUE(m_run.m_awaitingReply);
    m_run.OnStopTest();
    EXPECT_FALSE(m_run.m_socket);
    EXPECT_EQ(CSocketWnd::LiveCount(), 0);
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(m_run.m_log.back(), "Testing Stopped by User");
}

TEST_F(Probe, ByDefaultHttpsLinksAreNeitherCollectedNorProbed) {
    const CScriptedServer tls("127.0.0.11", 443, CTestPki::Get().Identity("h1.test"),
                              CScriptedServer::Reply(Status(404, "Not Found")));
    const CScriptedServer plain("127.0.0.12", 80, CScriptedServer::Reply(Status(404, "Not Found")));
    RunPage({"https://h1.test/a.htm", "http://h2.test/b.htm"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"http://h2.test/b.htm | HTTP Code 404 Not Found"}));
    EXPECT_EQ(tls.Connections(), 0);
    EXPECT_EQ(m_run.m_urlCount, 1);
}

TEST_F(Probe, ManyAtOnceGiveEachFailureTheCodeOfOneAtATime) {
    // h1 drops handshakes (its queue is full), h2 is silent, h3 closes without a word, h4 is
    // not there, nohost.test is not known, and a host that begins with a digit is an address.
    const CHandshakeDropper dropper("127.0.0.11");
    ASSERT_TRUE(dropper.Ready());
    const CScriptedServer silent("127.0.0.12", 80, CScriptedServer::Silent(), 16, true);
    const CScriptedServer closing("127.0.0.13", 80, CScriptedServer::CloseAtOnce(), 16, true);
    const CScriptedServer notFound("127.0.0.15", 80,
                                   CScriptedServer::Reply(Status(404, "Not Found")), 16, true);
    m_run.m_jobs = 8;
    RunPage({"http://h1.test/a.htm", "http://h2.test/b.htm", "http://h3.test/c.htm",
             "http://h4.test/d.htm", "http://nohost.test/e.htm", "http:///f.htm",
             "http://h5.test/g.htm", "http://h2.test/b.htm", "http://127.0.0.15/i.htm",
             "http://9host.test/j.htm"});
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"http://h1.test/a.htm | Can't Connect to Host",
                                        "http://h2.test/b.htm | Host Took Too Long to Respond",
                                        "http://h3.test/c.htm | Host Took Too Long to Respond",
                                        "http://h4.test/d.htm | Can't Connect to Host",
                                        "http://nohost.test/e.htm | Can't Find Named Host",
                                        "http:///f.htm | Request for Invalid Port or Name",
                                        "http://h5.test/g.htm | HTTP Code 404 Not Found",
                                        "http://h2.test/b.htm | Host Took Too Long to Respond",
                                        "http://127.0.0.15/i.htm | HTTP Code 404 Not Found",
                                        "http://9host.test/j.htm | Can't Connect to Host"}));
    EXPECT_EQ(silent.Connections(), 1) << "a URL is asked for once";
    const std::string waitingForTheFirst =
        "file 1/1 " + (m_scratch / "page.htm") + " | url 0/10 http://h1.test/a.htm | link 0";
    EXPECT_NE(
        std::find(m_run.m_progressShown.begin(), m_run.m_progressShown.end(), waitingForTheFirst),
        m_run.m_progressShown.end())
        << "the progress counts the links done of the links found";
    EXPECT_LT(m_elapsed, 5000) << "the time-outs ran side by side";
    EXPECT_EQ(CSocketWnd::LiveCount(), 0);
}

// Takes every descriptor the soft limit, lowered for the while, leaves.
class CDescriptorsTaken {
public:
    CDescriptorsTaken() {
        ::getrlimit(RLIMIT_NOFILE, &m_before);
        rlimit lowered = m_before;
        lowered.rlim_cur = 512;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd = ::open("/dev/null", O_RDONLY); fd >= 0; fd = ::open("/dev/null", O_RDONLY)) {
            m_taken.push_back(fd);
        }
    }
    ~CDescriptorsTaken() {
        for (const int fd : m_taken) {
            ::close(fd);
        }
        ::setrlimit(RLIMIT_NOFILE, &m_before);
    }
    CDescriptorsTaken(const CDescriptorsTaken&) = delete;
    CDescriptorsTaken& operator=(const CDescriptorsTaken&) = delete;

private:
    rlimit m_before{};
    std::vector<int> m_taken;
};

// Takes every descriptor once the first verdict is in, while the next probes look their hosts
// up and have no socket yet, and gives them back after a while. The first probe has brought
// every kind of object a probe uses into play by then: the sanitizer's check of a member
// access needs a descriptor of its own the first time it meets a type.
class CStarvedRun : public CRecordingRun {
public:
    explicit CStarvedRun(CRegSettings& settings) : CRecordingRun(settings) {
        m_release.setSingleShot(true);
        QObject::connect(&m_release, &QTimer::timeout, [&taken = m_taken] { taken.reset(); });
        LetATimerEventThrough();
    }

private:
    // The first verdict may come before the run's first tick, whose QTimerEvent the sanitizer
    // would then meet only while starved; one goes through the same timer host first.
    static void LetATimerEventThrough() {
        bool fired = false;
        platform::CTimerHost host([&fired](int) { fired = true; });
        host.SetTimer(1, 1);
        while (!fired) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        host.KillTimer(1);
    }

protected:
    void OnLinkTested(const std::string&, const std::string&, ResultCode, bool) override {
        if (m_starved) {
            return;
        }
        m_starved = true;
        std::unique_ptr<CDescriptorsTaken>& taken = m_taken;
        m_release.start(600);
        taken = std::make_unique<CDescriptorsTaken>();
    }

private:
    bool m_starved = false;
    std::unique_ptr<CDescriptorsTaken> m_taken;
    QTimer m_release;
};

TEST_F(Probe, ManyAtOnceWaitForADescriptorRatherThanFailALink) {
    // The second link's answer comes late, so its connection holds its descriptor all through
    // the starving: none is freed for the links after it.
    const CScriptedServer notFound(
        "127.0.0.11", 80,
        [](int socket, CScriptedServer& server) {
            if (server.ReadRequest(socket).find("/late") != std::string::npos) {
                server.PeerClosesWithin(socket, 1500);
            }
            server.SendAll(socket, Status(404, "Not Found"));
            server.WaitForPeerClose(socket);
        },
        16, true);
    std::string page;
    for (const char* path : {"0", "late", "2", "3", "4", "5"}) {
        page += "<A HREF=\"http://127.0.0.11/" + std::string(path) + "\">x</A>";
    }
    WriteFile(m_scratch / "page.htm", page);
    CStarvedRun run(m_settings);
    run.m_jobs = 2;
    run.StartTest(m_scratch / "page.htm", false, false, false);
    ASSERT_TRUE(run.RunToEnd(30000));
    EXPECT_EQ(run.m_rows.RowCount(), 6);
    for (int row = 0; row < run.m_rows.RowCount(); ++row) {
        EXPECT_EQ(run.m_rows.CellText(row, 1), "HTTP Code 404 Not Found") << row;
    }
    EXPECT_EQ(notFound.Connections(), 6);
}

TEST_F(Probe, StoppingWithManyInFlightClosesEveryConnectionAtOnce) {
    std::atomic<int> closedByPeer{0};
    const auto countCloses = [&closedByPeer](int socket, CScriptedServer& server) {
        server.WaitForPeerClose(socket);
        if (!server.Stopping()) {
            ++closedByPeer;
        }
    };
    std::vector<std::unique_ptr<CScriptedServer>> hosts;
    std::string links = "<A HREF=\"http://h4.test/first.htm\">first</A>";
    hosts.push_back(std::make_unique<CScriptedServer>(
        "127.0.0.14", 80, CScriptedServer::Reply(Status(404, "Gone")), 16, true));
    for (int host = 1; host <= 3; ++host) {
        hosts.push_back(std::make_unique<CScriptedServer>("127.0.0." + std::to_string(10 + host),
                                                          80, countCloses, 16, true));
        for (int i = 0; i < 4; ++i) {
            links += "<A HREF=\"http://h" + std::to_string(host) + ".test/" + std::to_string(i) +
                     ".htm\">x</A>";
        }
    }
    const auto connected = [&hosts] {
        int count = 0;
        for (const auto& host : hosts) {
            count += host->Connections();
        }
        return count;
    };
    WriteFile(m_scratch / "page.htm", links);
    m_run.SetTimeoutSeconds(60);
    m_run.m_jobs = 16;
    m_run.m_perHost = 4;
    m_run.StartTest(m_scratch / "page.htm", false, false, false);
    QElapsedTimer clock;
    clock.start();
    while ((connected() < 13 || m_run.m_rows.RowCount() == 0) && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    ASSERT_EQ(connected(), 13);
    EXPECT_EQ(CSocketWnd::LiveCount(), 12);
    m_run.OnStopTest();
    EXPECT_EQ(CSocketWnd::LiveCount(), 0);
    while (closedByPeer < 12 && clock.elapsed() < 20000) {
        QThread::msleep(20);
    }
    EXPECT_EQ(closedByPeer, 12) << "every host saw its connections closed";
    EXPECT_EQ(m_run.m_log.back(), "Testing Stopped by User");
    EXPECT_EQ(
        std::count_if(m_run.m_log.begin(), m_run.m_log.end(),
                      [](const std::string& line) { return line.rfind("End of test", 0) == 0; }),
        0);
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"http://h4.test/first.htm | HTTP Code 404 Not Found"}));
    EXPECT_EQ(m_run.m_progressDestroyed, 1);
    EXPECT_TRUE(m_run.m_runEnded);
    EXPECT_FALSE(m_run.m_runTimerActive);
    EXPECT_EQ(m_run.m_status[1].back(), "Connection Status");
    QCoreApplication::processEvents();
    EXPECT_EQ(m_run.m_endedCount, 1) << "nothing of the stopped run comes back";
}

}  // namespace
