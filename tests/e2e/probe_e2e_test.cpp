// The probe against scripted hosts on loopback, in a private network namespace.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>

#include "e2e/scriptedserver.h"
#include "platform/messagebox.h"
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

TEST_F(Probe, AConnectToAHostThatDropsTheHandshakeIsBoundedByTheTimeOut) {
    // A listener that never accepts, its queue full: further handshakes are dropped, as a
    // firewall that drops SYNs would.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in where = LoopbackAddress("127.0.0.11", 80);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&where), sizeof where), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(fillers.back(), reinterpret_cast<const sockaddr*>(&where), sizeof where);
    }
    ::usleep(200000);
    RunPage({"http://h1.test/a.htm"});
    for (int fd : fillers) {
        ::close(fd);
    }
    ::close(listener);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"http://h1.test/a.htm | Can't Connect to Host"}));
    EXPECT_GE(m_elapsed, 1000);
    EXPECT_LT(m_elapsed, 10000);
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

}  // namespace
