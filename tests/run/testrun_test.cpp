#include "run/testrun.h"

#include <unistd.h>

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/messagebox.h"
#include "platform/systemdir.h"
#include "run/recordingrun.h"
#include "settings/regsettings.h"
#include "support/temphome.h"

namespace {

using CProbeRun = CRecordingRun;

// Counts the ticks that reach the run instead of handling them.
class CTickCountingRun : public CRecordingRun {
public:
    using CRecordingRun::CRecordingRun;

    // Both timers running, as in the middle of a link; 1 ms, so that a tick comes at once.
    void StartBothTimers() {
        SetTimer(kRunTimer, 1);
        m_runTimerActive = true;
        SetTimer(kLinkTimer, 1);
        m_linkTimerActive = true;
    }

    // The ticks that arrive within millis.
    int TicksWithin(int millis) {
        const int before = m_ticks;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < millis) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        return m_ticks - before;
    }

protected:
    void OnTimer(int) override { ++m_ticks; }

private:
    int m_ticks = 0;
};

class TestRun : public CTempHomeTest {
protected:
    TestRun() { OpenSettingsAtStartup(m_settings); }

    CRegSettings m_settings;
    platform::CScriptedUserInterface m_ui;
};

TEST_F(TestRun, ConstructionHoldsTheDefaults) {
    const CProbeRun run(m_settings);
    EXPECT_EQ(run.m_reasonText[0], "HTTP Code 200 OK");
    EXPECT_EQ(run.m_reasonText[20], "Host Took Too Long to Respond");
    EXPECT_EQ(run.m_filter, "011111111111111111111");
    EXPECT_EQ(run.m_timeoutSeconds, 15);
    EXPECT_EQ(run.m_timeoutMillis, 15000);
    EXPECT_FALSE(run.m_htmlScan) << "the classic scanner is the default";
    EXPECT_EQ(run.m_tempBase, "urltmp~");
    EXPECT_EQ(run.m_jobs, 1);
    EXPECT_EQ(run.m_perHost, 6);
    EXPECT_FALSE(run.m_runEnded);
    EXPECT_FALSE(run.m_runTimerActive);
    EXPECT_TRUE(run.m_fileList.empty());
    EXPECT_TRUE(m_ui.m_messages.empty());
}

TEST_F(TestRun, StoredPreferencesReplaceTheDefaults) {
    m_settings.SetString("Settings", "Filter", "000000011110000001000");
    m_settings.SetInt("Settings", "Timeout", 2000);
    m_settings.SetInt("Settings", "Scanner", 1);
    m_settings.SetInt("Settings", "Redirects", 1);
    const CProbeRun run(m_settings);
    EXPECT_TRUE(run.m_htmlScan);
    EXPECT_TRUE(run.m_followRedirects);
    EXPECT_EQ(run.m_filter, "000000011110000001000");
    EXPECT_EQ(run.m_timeoutSeconds, 2000) << "a stored time-out is used without a range check";
    EXPECT_EQ(run.m_timeoutMillis, 2000000);

    m_settings.SetInt("Settings", "Scanner", 2);
    EXPECT_FALSE(CProbeRun(m_settings).m_htmlScan) << "as Web Options shows it: classic";
}

TEST_F(TestRun, AStoredFilterOfTheWrongLengthIsResetAfterAWarning) {
    m_settings.SetString("Settings", "Filter", "0111");
    const CProbeRun run(m_settings);
    EXPECT_EQ(m_ui.m_messages, (std::vector<std::string>{"Setting Filter Codes to Safe Default"}));
    EXPECT_EQ(run.m_filter, "011111111111111111111");
    EXPECT_EQ(m_settings.GetString("Settings", "Filter", ""), "011111111111111111111");
}

TEST_F(TestRun, UnknownCodesGetTheWarningTextABeepAndMarkTheRun) {
    CProbeRun run(m_settings);
    EXPECT_EQ(run.GetReasonText(404), "HTTP Code 404 Not Found");
    EXPECT_FALSE(run.m_unknownErrorSeen);
    EXPECT_TRUE(m_ui.m_beeps.empty());
    for (ResultCode code : {206u, 505u}) {
        EXPECT_EQ(run.IsReportable(code), 1);
        EXPECT_EQ(run.GetReasonText(code), "--------------> UNKNOWN REASON !!!!!");
    }
    EXPECT_TRUE(run.m_unknownErrorSeen);
    EXPECT_EQ(m_ui.m_beeps,
              (std::vector<unsigned>{platform::kMbIconExclamation, platform::kMbIconExclamation}));
}

TEST_F(TestRun, TlsFailuresHaveTheirOwnTextsWithoutTheUnknownWarning) {
    CProbeRun run(m_settings);
    run.m_filter = std::string(kResultCodeCount, '0');
    EXPECT_EQ(run.IsReportable(kTlsHandshakeFailed), 1);
    EXPECT_EQ(run.GetReasonText(kTlsHandshakeFailed), "Secure Connection (TLS) Failed");
    EXPECT_EQ(run.GetReasonText(kCertificateNotTrusted), "Certificate Not Trusted");
    EXPECT_EQ(run.GetReasonText(kCertificateForAnotherName),
              "Certificate Is for Another Host Name");
    EXPECT_EQ(run.GetReasonText(kCertificateExpired), "Certificate Expired or Not Yet Valid");
    EXPECT_FALSE(run.m_unknownErrorSeen);
    EXPECT_TRUE(m_ui.m_beeps.empty());
}

TEST_F(TestRun, EveryCodeOfTheTableHasItsOwnReasonTextInFilterOrder) {
    const std::vector<std::pair<ResultCode, std::string>> table = {
        {200, "HTTP Code 200 OK"},
        {201, "HTTP Code 201 Created"},
        {202, "HTTP Code 202 Accepted"},
        {204, "HTTP Code 204 No Content"},
        {301, "HTTP Code 301 Moved Permanently"},
        {302, "HTTP Code 302 Moved Temporarily"},
        {304, "HTTP Code 304 Not Modified"},
        {400, "HTTP Code 400 Bad Request"},
        {401, "HTTP Code 401 Unauthorized"},
        {403, "HTTP Code 403 Forbidden"},
        {404, "HTTP Code 404 Not Found"},
        {500, "HTTP Code 500 Internal Server Error"},
        {501, "HTTP Code 501 Not Implemented"},
        {502, "HTTP Code 502 Bad Gateway"},
        {503, "HTTP Code 503 Service Unavailable"},
        {10000, "Unspecified Socket Error"},
        {10001, "Request for Invalid Port or Name"},
        {10002, "Can't Find Named Host"},
        {10003, "Can't Establish Socket"},
        {10004, "Can't Connect to Host"},
        {10005, "Host Took Too Long to Respond"},
    };
    ASSERT_EQ(table.size(), kResultCodeCount);
    CProbeRun run(m_settings);
    for (std::size_t index = 0; index < table.size(); ++index) {
        const auto& [code, text] = table[index];
        EXPECT_EQ(run.GetReasonText(code), text) << code;
        EXPECT_EQ(run.m_reasonText[index], text) << code;
        // The code's flag in the filter is the one at its row of this table.
        run.m_filter = std::string(kResultCodeCount, '0');
        run.m_filter[index] = '1';
        EXPECT_EQ(run.IsReportable(code), 1) << code;
    }
    EXPECT_FALSE(run.m_unknownErrorSeen);
    EXPECT_TRUE(m_ui.m_beeps.empty());
}

TEST_F(TestRun, HttpsIsOffUnlessTheSettingSaysOtherwise) {
    WriteFile(m_scratch / "a.htm", "<A HREF=\"https://h/1\">s</A><A HREF=\"http://h/2\">p</A>");
    CProbeRun off(m_settings);
    EXPECT_FALSE(off.m_https);
    EXPECT_EQ(off.ScanFile(m_scratch / "a.htm"), 1);
    EXPECT_EQ(off.m_urlList, (StringList{"http://h/2"}));
    m_settings.SetInt("Settings", "Https", 1);
    CProbeRun on(m_settings);
    EXPECT_TRUE(on.m_https);
    EXPECT_EQ(on.ScanFile(m_scratch / "a.htm"), 1);
    EXPECT_EQ(on.m_urlList, (StringList{"https://h/1", "http://h/2"}));
}

TEST_F(TestRun, IsReportableReadsTheFilterOnEveryCall) {
    CProbeRun run(m_settings);
    EXPECT_EQ(run.IsReportable(200), 0);
    run.m_filter = "100000000000000000000";
    EXPECT_EQ(run.IsReportable(200), 1);
    EXPECT_EQ(run.IsReportable(404), 0);
}

TEST_F(TestRun, ScanFileAppendsToBothListsAndCountsTheLinks) {
    CProbeRun run(m_settings);
    WriteFile(m_scratch / "a.htm", "<A HREF=\"http://h/1\">one</A><A HREF=\"ftp://h/2\"></A>");
    EXPECT_EQ(run.ScanFile(m_scratch / "a.htm"), 1);
    EXPECT_EQ(run.m_urlList, (StringList{"http://h/1", "ftp://h/2"}));
    EXPECT_EQ(run.m_anchorNameList, (StringList{"one", "Linkvet supplied this anchor name"}));
    EXPECT_EQ(run.m_urlCount, 2);
    EXPECT_TRUE(FileExists(platform::SystemFilePath("urltmp~2")));
}

TEST_F(TestRun, ScanFileWithTheHtmlScannerChecksLocalLinksAndWritesNoWorkFile) {
    CProbeRun run(m_settings);
    run.m_htmlScan = true;
    WriteFile(m_scratch / "a.htm",
              "<A HREF=\"http://h/1\">one</A><a href=\"a.htm#x\" id=\"x\">me</a>"
              "<a href=\"b.htm\">b</a><a href=\"a.htm#y\">y</a>");
    EXPECT_EQ(run.ScanFile(m_scratch / "a.htm"), 1);
    EXPECT_EQ(run.m_urlList, (StringList{"http://h/1", "a.htm#x", "b.htm", "a.htm#y"}));
    EXPECT_EQ(run.m_anchorNameList, (StringList{"one", "me", "b", "y"}));
    ASSERT_EQ(run.m_htmlLinkList.size(), 4u);
    EXPECT_EQ(run.m_htmlLinkList[1].verdict, CLocalVerdict::Found);
    EXPECT_EQ(run.m_htmlLinkList[2].verdict, CLocalVerdict::FileMissing);
    EXPECT_EQ(run.m_htmlLinkList[3].verdict, CLocalVerdict::FragmentMissing);
    EXPECT_EQ(run.m_urlCount, 4);
    EXPECT_FALSE(FileExists(platform::SystemFilePath("urltmp~2")));
}

TEST_F(TestRun, AFileThatCannotBeOpenedStopsTheTimersAndSaysSoOnce) {
    CTickCountingRun run(m_settings);
    run.m_urlCount = 5;
    run.StartBothTimers();
    ASSERT_GT(run.TicksWithin(100), 0) << "the timers run before the scan";
    EXPECT_EQ(run.ScanFile(m_scratch / "gone.htm"), 0);
    EXPECT_EQ(m_ui.m_messages, (std::vector<std::string>{"Error: Cannot open file:\n\n" +
                                                         (m_scratch / "gone.htm")}));
    EXPECT_EQ(run.m_urlCount, 5) << "the count is left as it was";
    EXPECT_FALSE(run.m_runTimerActive);
    EXPECT_FALSE(run.m_linkTimerActive);
    EXPECT_EQ(run.TicksWithin(100), 0) << "the timers themselves are stopped";
}

TEST_F(TestRun, AWorkFileThatCannotBeCreatedGivesTheSameMessage) {
    WriteFile(m_scratch / "a.htm", "<A HREF=\"http://h/1\">one</A>");
    MakeDirectory(platform::SystemFilePath("urltmp~2"));
    CProbeRun run(m_settings);
    EXPECT_EQ(run.ScanFile(m_scratch / "a.htm"), 0);
    EXPECT_EQ(m_ui.m_messages,
              (std::vector<std::string>{"Error: Cannot open file:\n\n" + (m_scratch / "a.htm")}));
    EXPECT_TRUE(run.m_urlList.empty());
}

TEST_F(TestRun, AWorkFileNameThatIsALinkIsNotWrittenThrough) {
    WriteFile(m_scratch / "a.htm", "<A HREF=\"http://h/1\">one</A>");
    WriteFile(m_scratch / "victim", "precious");
    ASSERT_EQ(
        ::symlink((m_scratch / "victim").c_str(), platform::SystemFilePath("urltmp~2").c_str()), 0);
    CProbeRun run(m_settings);
    EXPECT_EQ(run.ScanFile(m_scratch / "a.htm"), 0);
    EXPECT_EQ(m_ui.m_messages,
              (std::vector<std::string>{"Error: Cannot open file:\n\n" + (m_scratch / "a.htm")}));
    EXPECT_EQ(ReadFile(m_scratch / "victim"), "precious");
}

TEST_F(TestRun, DestructionRemovesTheFourWorkFileNamesAndNothingElse) {
    const std::string dir = *platform::SystemDirectory();
    for (const char* name : {"urltmp~", "urltmp~1", "urltmp~2", "urltmp~3", "urltmp~4", "keep"}) {
        WriteFile(dir + "/" + name, "x");
    }
    { const CProbeRun run(m_settings); }
    for (const char* name : {"urltmp~", "urltmp~1", "urltmp~2", "urltmp~3"}) {
        EXPECT_FALSE(FileExists(dir + "/" + name)) << name;
    }
    EXPECT_TRUE(FileExists(dir + "/urltmp~4"));
    EXPECT_TRUE(FileExists(dir + "/keep"));
}

TEST_F(TestRun, ChoicesAreCheckedForExistenceByMode) {
    const CProbeRun run(m_settings);
    WriteFile(m_scratch / "page.htm", "x");
    const std::string directoryMessage =
        "The chosen directory does not exist\n\n(Your \"Test Other Files\" choice means you "
        "should\nspecify a valid directory path, NOT a file path)";
    const std::string fileMessage = "The specified file does not exist";
    EXPECT_TRUE(run.ValidateChoice({m_scratch / "page.htm", false, false, false}));
    EXPECT_TRUE(run.ValidateChoice({m_scratch.Path(), false, true, false}));
    EXPECT_TRUE(m_ui.m_messages.empty());
    EXPECT_FALSE(run.ValidateChoice({m_scratch.Path(), false, false, false}));
    EXPECT_FALSE(run.ValidateChoice({"", false, false, false}));
    EXPECT_FALSE(run.ValidateChoice({m_scratch / "page.htm", false, true, false}));
    EXPECT_FALSE(run.ValidateChoice({"", true, true, false}));
    EXPECT_EQ(m_ui.m_messages, (std::vector<std::string>{fileMessage, fileMessage, directoryMessage,
                                                         directoryMessage}));
}

}  // namespace

namespace {

// Links whose host is empty fail at once with 10001, so these runs need no network.
const std::string kFailingLink = "<A HREF=\"http:///x.htm\">x</A>";

class RunDriver : public TestRun {
protected:
    RunDriver() : m_run(m_settings) {}

    bool StartsWith(const std::string& text, const std::string& prefix) {
        return text.rfind(prefix, 0) == 0;
    }

    CRecordingRun m_run;
};

TEST_F(RunDriver, ARunOverThreeFilesLogsEachFileAndItsResults) {
    MakeDirectory(m_scratch / "site");
    WriteFile(m_scratch / "site/a.htm", kFailingLink + kFailingLink);
    WriteFile(m_scratch / "site/b.htm", "no links here");
    WriteFile(m_scratch / "site/c.htm", kFailingLink);
    const std::string site = m_scratch / "site";
    m_run.StartTest(site, false, true, false);
    ASSERT_TRUE(m_run.RunToEnd(10000));
    ASSERT_EQ(m_run.m_log.size(), 8u);
    EXPECT_TRUE(StartsWith(m_run.m_log[0], "Start of test "));
    EXPECT_EQ(m_run.m_log[0].substr(m_run.m_log[0].size() - 2), "\r\n");
    EXPECT_EQ(std::vector<std::string>(m_run.m_log.begin() + 1, m_run.m_log.end() - 1),
              (std::vector<std::string>{
                  "Testing: " + site + "/a.htm",
                  "Results for " + site + "/a.htm: URLs tested: 2. URL errors: 2.\r\n",
                  "Testing: " + site + "/b.htm",
                  "Results for " + site + "/b.htm: URLs tested: 0. URL errors: 0.\r\n",
                  "Testing: " + site + "/c.htm",
                  "Results for " + site + "/c.htm: URLs tested: 1. URL errors: 1.\r\n"}));
    EXPECT_TRUE(StartsWith(m_run.m_log[7], "End of test: "));
    EXPECT_EQ(m_run.m_rows.RowCount(), 3);
    EXPECT_EQ(m_run.m_rows.CellText(2, 1), "Request for Invalid Port or Name");
    EXPECT_EQ(m_run.m_rows.CellText(2, 3), site + "/c.htm");
    EXPECT_EQ(m_run.m_fileBar.Pos(), 2) << "the file bar steps for every file but the first";
    EXPECT_EQ(m_run.m_status[1].back(), "Search Complete");
    EXPECT_EQ(m_run.m_status[2].back(), "");
    EXPECT_TRUE(m_run.m_runEnded);
    EXPECT_FALSE(m_run.m_runTimerActive);
    EXPECT_EQ(m_run.m_progressDestroyed, 1);
    EXPECT_EQ(m_ui.m_beeps.back(), 0u) << "the end of a run beeps";
}

TEST_F(RunDriver, ExcludedLinksAreNeitherProbedNorReportedAndTheLogCountsThem) {
    WriteFile(m_scratch / "one.htm", "<A HREF=\"http:///skip/a\">a</A>" + kFailingLink +
                                         "<A HREF=\"http:///b/SKIP\">b</A>");
    ASSERT_TRUE(m_run.m_excludes.Add("skip|SKIP$"));
    m_run.StartTest(m_scratch / "one.htm", false, false, false);
    ASSERT_TRUE(m_run.RunToEnd(10000));
    ASSERT_EQ(m_run.m_rows.RowCount(), 1);
    EXPECT_EQ(m_run.m_rows.CellText(0, 0), "http:///x.htm");
    EXPECT_EQ(m_run.m_rows.Code(0), kInvalidPortOrName) << "the row keeps its verdict's code";
    ASSERT_EQ(m_run.m_log.size(), 5u);
    EXPECT_EQ(m_run.m_log[2], "URLs excluded: 2.");
    EXPECT_EQ(m_run.m_log[3],
              "Results for " + m_scratch / "one.htm" + ": URLs tested: 1. URL errors: 1.\r\n");
}

TEST(LinkExcludes, ExpressionsReadAsECMAScriptWouldAndSearchAnyLinkWithoutRunningOutOfStack) {
    struct CCase {
        std::string expression;
        std::string link;
        bool matches;
    };
    const std::string longLink = "http://h/" + std::string(30000, 'a') + "/end";
    const std::vector<CCase> cases = {
        {"\\u0041", "http://h/A", true},
        {"a$", "http://h/a\n", false},
        {"(a)|\\1b", "http://h/b", true},
        {"\\xff", "http://h/\xff", true},
        {"^http://h/(a|b)*/end$", longLink, true},
        {"(a|b)*c", longLink, false},
    };
    for (const CCase& c : cases) {
        CLinkExcludes excludes;
        ASSERT_TRUE(excludes.Add(c.expression)) << c.expression;
        EXPECT_EQ(excludes.Matches(c.link), c.matches) << c.expression;
    }
    EXPECT_FALSE(CLinkExcludes().Add("")) << "an empty expression would exclude every link";
    EXPECT_FALSE(CLinkExcludes().Add("("));
}

TEST_F(RunDriver, TheProgressWindowShowsFileAndLinkNumbers) {
    WriteFile(m_scratch / "one.htm", kFailingLink + "<A HREF=\"http:///y\">why</A>");
    m_run.StartTest(m_scratch / "one.htm", false, false, false);
    ASSERT_TRUE(m_run.RunToEnd(10000));
    const std::string file = m_scratch / "one.htm";
    EXPECT_EQ(m_run.m_progressShown,
              (std::vector<std::string>{"file 1/1 " + file + " | url /  | ",
                                        "file 1/1 " + file + " | url 1/2 http:///x.htm | x",
                                        "file 1/1 " + file + " | url 2/2 http:///y | why"}));
    EXPECT_EQ(m_run.m_fileBar.Pos(), 0) << "a run of one file never steps the file bar";
    EXPECT_EQ(m_run.m_urlBar.Pos(), 2);
}

TEST_F(RunDriver, AFileThatCannotBeOpenedEndsTheRunThere) {
    MakeDirectory(m_scratch / "site");
    WriteFile(m_scratch / "site/a.htm", kFailingLink);
    ASSERT_EQ(::symlink("gone.htm", (m_scratch / "site/b.htm").c_str()), 0);
    WriteFile(m_scratch / "site/c.htm", kFailingLink);
    const std::string site = m_scratch / "site";
    m_run.StartTest(site, false, true, false);
    ASSERT_TRUE(m_run.RunToEnd(10000));
    EXPECT_EQ(m_ui.m_messages,
              (std::vector<std::string>{"Error: Cannot open file:\n\n" + site + "/b.htm",
                                        "Processing has stopped"}));
    EXPECT_TRUE(m_run.m_scanFailed);
    EXPECT_EQ(m_run.m_log.size(), 5u);
    EXPECT_EQ(m_run.m_log[3], "Results for " + site + "/b.htm: URLs tested: 1. URL errors: 0.\r\n");
    EXPECT_EQ(m_run.m_rows.RowCount(), 1) << "c.htm is not tested";
    EXPECT_EQ(m_run.m_status[1].back(), "Search Complete");
}

TEST_F(RunDriver, NoFilesFoundStartsNothingAndKeepsTheResults) {
    MakeDirectory(m_scratch / "empty");
    WriteFile(m_scratch / "empty/notes.txt", "");
    m_run.StartTest(m_scratch / "empty", false, true, true);
    EXPECT_EQ(
        m_ui.m_messages,
        (std::vector<std::string>{"No files found.\n\nWas your filter option set correctly?"}));
    EXPECT_FALSE(m_run.m_runTimerActive);
    EXPECT_FALSE(m_run.m_progressDlg);
    EXPECT_EQ(m_run.m_clears, 0);
}

TEST_F(RunDriver, ResetRunIsSafeTwiceAndLeavesTheStatusAloneWhenAsked) {
    m_run.m_fileList = {"a", "b"};
    m_run.m_urlList = {"u"};
    m_run.m_anchorNameList = {"n"};
    m_run.m_awaitingReply = true;
    m_run.ResetRun(false);
    m_run.ResetRun(false);
    EXPECT_TRUE(m_run.m_fileList.empty());
    EXPECT_TRUE(m_run.m_urlList.empty());
    EXPECT_TRUE(m_run.m_anchorNameList.empty());
    EXPECT_FALSE(m_run.m_awaitingReply);
    EXPECT_TRUE(m_run.m_runEnded);
    EXPECT_TRUE(m_run.m_status.empty());
    m_run.ResetRun(true);
    EXPECT_EQ(m_run.m_status[1], (std::vector<std::string>{"Connection Status"}));
    EXPECT_EQ(m_run.m_status[2], (std::vector<std::string>{"HTTP Method Status"}));
}

TEST_F(RunDriver, TheLinkTimerPeriodNeverOverflowsNorFallsBelowOneMillisecond) {
    m_run.SetTimeoutSeconds(5);
    EXPECT_EQ(m_run.m_timeoutMillis, 5000);
    m_run.SetTimeoutSeconds(3000000);
    EXPECT_EQ(m_run.m_timeoutMillis, 2147483647);
    m_run.SetTimeoutSeconds(0);
    EXPECT_EQ(m_run.m_timeoutMillis, 1);
    m_run.SetTimeoutSeconds(-20);
    EXPECT_EQ(m_run.m_timeoutMillis, 1);
    EXPECT_EQ(m_run.m_timeoutSeconds, -20) << "the stored value itself is kept";
}

TEST_F(RunDriver, ANewRunClearsTheResultsOfTheLastOne) {
    WriteFile(m_scratch / "one.htm", kFailingLink);
    m_run.StartTest(m_scratch / "one.htm", false, false, false);
    ASSERT_TRUE(m_run.RunToEnd(10000));
    m_run.m_unknownErrorSeen = true;
    m_run.m_endedCount = 0;
    m_run.StartTest(m_scratch / "one.htm", false, false, false);
    EXPECT_FALSE(m_run.m_runEnded);
    EXPECT_FALSE(m_run.m_unknownErrorSeen);
    EXPECT_EQ(m_run.m_errorCount, -1);
    EXPECT_EQ(m_run.m_rows.RowCount(), 0);
    ASSERT_TRUE(m_run.RunToEnd(10000));
    EXPECT_EQ(m_run.m_rows.RowCount(), 1);
}

// What a run showed, its dates left out.
struct CRunOutcome {
    std::vector<std::string> log;
    std::vector<std::string> rows;
    std::vector<std::string> messages;
    bool scanFailed = false;

    bool operator==(const CRunOutcome&) const = default;
};

class ManyAtOnce : public TestRun {
protected:
    CRunOutcome RunWith(int jobs, const std::string& path) {
        CRecordingRun run(m_settings);
        run.m_jobs = jobs;
        m_ui.m_messages.clear();
        run.StartTest(path, false, true, false);
        EXPECT_TRUE(run.RunToEnd(10000));
        CRunOutcome outcome;
        outcome.log.assign(run.m_log.begin() + 1, run.m_log.end() - 1);
        for (int row = 0; row < run.m_rows.RowCount(); ++row) {
            outcome.rows.push_back(run.m_rows.CellText(row, 0) + " | " +
                                   run.m_rows.CellText(row, 2) + " | " +
                                   run.m_rows.CellText(row, 3));
        }
        outcome.messages = m_ui.m_messages;
        outcome.scanFailed = run.m_scanFailed;
        EXPECT_EQ(run.m_endedCount, 1);
        EXPECT_FALSE(run.m_runTimerActive);
        return outcome;
    }
};

TEST_F(ManyAtOnce, TheRunShowsWhatOneAtATimeShowsUpToAnUnreadableFile) {
    MakeDirectory(m_scratch / "site");
    WriteFile(m_scratch / "site/a.htm",
              kFailingLink + "<A HREF=\"http:///y\">y</A>" + kFailingLink);
    WriteFile(m_scratch / "site/b.htm", "no links here");
    WriteFile(m_scratch / "site/c.htm", "<A HREF=\"http:///y\">again</A>");
    ASSERT_EQ(::symlink("gone.htm", (m_scratch / "site/d.htm").c_str()), 0);
    WriteFile(m_scratch / "site/e.htm", kFailingLink);
    const std::string site = m_scratch / "site";
    const CRunOutcome one = RunWith(1, site);
    const CRunOutcome many = RunWith(4, site);
    EXPECT_EQ(many, one);
    EXPECT_TRUE(many.scanFailed);
    EXPECT_EQ(many.rows, (std::vector<std::string>{"http:///x.htm | x | " + site + "/a.htm",
                                                   "http:///y | y | " + site + "/a.htm",
                                                   "http:///x.htm | x | " + site + "/a.htm",
                                                   "http:///y | again | " + site + "/c.htm"}))
        << "e.htm, after the file that cannot be read, is not tested";
    EXPECT_EQ(many.messages,
              (std::vector<std::string>{"Error: Cannot open file:\n\n" + site + "/d.htm",
                                        "Processing has stopped"}));
    EXPECT_EQ(many.log.back(), "Results for " + site + "/d.htm: URLs tested: 1. URL errors: 0.\r\n")
        << "the count still belongs to the file before, as one at a time has it";
}

// A front end slow to take each verdict, so that the pages are parsed before the run needs
// them and only the run's own turns let the event loop in.
class CSlowFrontEnd : public CRecordingRun {
public:
    using CRecordingRun::CRecordingRun;

protected:
    void OnLinkTested(const std::string&, const std::string&, ResultCode, bool) override {
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
};

TEST_F(ManyAtOnce, StopIsHeardWhileASiteOfLocalLinksIsChecked) {
    m_settings.SetInt("Settings", "Scanner", 1);
    MakeDirectory(m_scratch / "site");
    // No link here needs a probe, so nothing but the run itself gives the event loop a turn.
    constexpr int kPages = 300;
    for (int i = 0; i < kPages; ++i) {
        std::string page = "<p id=\"f\">";
        for (int link = 0; link < 100; ++link) {
            page += "<a href=\"p" + std::to_string((i + 1) % kPages) + ".html#f\">n</a>";
        }
        WriteFile(m_scratch / ("site/p" + std::to_string(i) + ".html"), page);
    }
    CSlowFrontEnd run(m_settings);
    run.m_jobs = 4;
    run.StartTest(m_scratch / "site", false, true, false);
    // Meanwhile the workers parse ahead: the first pages are there when the run takes them.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QTimer::singleShot(0, [&run] { run.OnStopTest(); });
    ASSERT_TRUE(run.RunToEnd(60000));
    EXPECT_EQ(run.m_log.back(), "Testing Stopped by User");
    const auto tested = std::count_if(run.m_log.begin(), run.m_log.end(), [](const auto& line) {
        return line.rfind("Testing: ", 0) == 0;
    });
    EXPECT_LT(tested, kPages);
    EXPECT_EQ(run.m_rows.RowCount(), 0);
}

TEST_F(ManyAtOnce, StopIsHeardWhileASiteOfPagesWithoutLinksIsScanned) {
    MakeDirectory(m_scratch / "site");
    // Pages without links never fill the look-ahead, so only the pump's slice ends the scan.
    constexpr int kPages = 3000;
    for (int i = 0; i < kPages; ++i) {
        WriteFile(m_scratch / ("site/p" + std::to_string(i) + ".htm"), "<P>no links</P>");
    }
    CRecordingRun run(m_settings);
    run.m_jobs = 4;
    run.StartTest(m_scratch / "site", false, true, false);
    QTimer::singleShot(0, [&run] { run.OnStopTest(); });
    ASSERT_TRUE(run.RunToEnd(60000));
    EXPECT_EQ(run.m_log.back(), "Testing Stopped by User");
    const auto tested = std::count_if(run.m_log.begin(), run.m_log.end(), [](const auto& line) {
        return line.rfind("Testing: ", 0) == 0;
    });
    EXPECT_GT(tested, 0);
    EXPECT_LT(tested, kPages);
}

TEST_F(ManyAtOnce, JobsAndPerHostAreReadFromTheSettings) {
    m_settings.SetInt("Settings", "Jobs", 32);
    m_settings.SetInt("Settings", "PerHost", 2);
    const CRecordingRun run(m_settings);
    EXPECT_EQ(run.m_jobs, 32);
    EXPECT_EQ(run.m_perHost, 2);
}

TEST_F(RunDriver, WithTheHtmlScannerLocalLinksGetTheirVerdictsInTheTickThatReachesThem) {
    m_settings.SetInt("Settings", "Scanner", 1);
    m_run.LoadPreferences();
    MakeDirectory(m_scratch / "site");
    WriteFile(m_scratch / "site/ok.html", "<h1 id=\"s\">S</h1>");
    WriteFile(m_scratch / "site/a.html",
              "<a href=\"gone.html?a&amp;b\">G</a> <a href=\"ok.html#s\">OK</a>\n"
              "<a href=\"mailto:me\">M</a> <a href=\"ok.html#nope\">N</a>"
              "<a href=\"https://h/s\">S</a><a href=\"https://h/t\">T</a>" +
                  kFailingLink + "<a href=\"gone2.html\">G2</a>");
    m_run.StartTest(m_scratch / "site/a.html", false, false, false);
    m_run.OnTimer(CTestRun::kRunTimer);
    ASSERT_EQ(m_run.m_rows.RowCount(), 3) << "the local links before the remote one, and it";
    EXPECT_EQ(m_run.m_rows.CellText(0, kColumnUrl), "gone.html?a&b");
    EXPECT_EQ(m_run.m_rows.WrittenLink(0), "gone.html?a&amp;b");
    EXPECT_EQ(m_run.m_rows.CellText(0, kColumnReason), "Local File Not Found");
    EXPECT_EQ(m_run.m_rows.CellText(1, kColumnUrl), "ok.html#nope");
    EXPECT_EQ(m_run.m_rows.CellText(1, kColumnReason), "Fragment Not Found in Target Page");
    EXPECT_EQ(m_run.m_rows.CellText(2, kColumnReason), "Request for Invalid Port or Name");
    EXPECT_EQ(m_run.m_urlList.size(), 1u);
    m_run.OnTimer(CTestRun::kRunTimer);
    ASSERT_EQ(m_run.m_rows.RowCount(), 4);
    EXPECT_EQ(m_run.m_rows.CellText(3, kColumnSiteName), "G2");
    EXPECT_TRUE(m_run.m_urlList.empty());
    EXPECT_TRUE(m_run.m_htmlLinkList.empty());
    ASSERT_TRUE(m_run.RunToEnd(10000));
    const std::string file = m_scratch / "site/a.html";
    ASSERT_EQ(m_run.m_log.size(), 6u);
    EXPECT_EQ(m_run.m_log[2], "Links skipped (mailto:, javascript: and other schemes): 1");
    EXPECT_EQ(m_run.m_log[3], "https links not tested: 2");
    EXPECT_EQ(m_run.m_log[4], "Results for " + file + ": URLs tested: 5. URL errors: 4.\r\n");
    EXPECT_FALSE(m_run.m_unknownErrorSeen) << "the local codes have reason texts";
}

}  // namespace
