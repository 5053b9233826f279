#pragma once

#include <array>
#include <deque>
#include <memory>
#include <string>

#include "model/fileselect.h"
#include "model/htmlscanner.h"
#include "model/stringlist.h"
#include "platform/timerhost.h"
#include "probe/resultcodes.h"
#include "probe/socketwnd.h"
#include "run/runprogress.h"

class CFragmentCache;
class CHtmlScanAhead;
class CRegSettings;

// The state of a test run and the operations on it, without any widget: the window's results
// view and the console front end both derive from it, so they cannot disagree about a verdict.
// A front end supplies the few hooks at the bottom. Everything runs on the one thread of the
// event loop; the flags below are the only guard against re-entry.
class CTestRun : public CSocketNotifySink {
public:
    static constexpr int kRunTimer = 103;
    static constexpr int kLinkTimer = 105;
    static constexpr int kRunTickMillis = 100;
    static constexpr std::size_t kReplyBufferSize = 514;

    explicit CTestRun(CRegSettings& settings);
    virtual ~CTestRun();
    CTestRun(const CTestRun&) = delete;
    CTestRun& operator=(const CTestRun&) = delete;

    // Result codes and the report filter.
    int IsReportable(ResultCode code) const;
    // The reason text of a code. A code outside the table is not an error: it gets a fixed
    // warning text, a warning beep, and marks the run (m_unknownErrorSeen).
    std::string GetReasonText(ResultCode code);

    // Appends the links of one file to m_urlList and m_anchorNameList and sets m_urlCount;
    // 1 on success. On 0 the timers are stopped and the user has been told.
    int ScanFile(std::string path);

    // The existence checks a choice must pass before a run starts; shows the reason when not.
    bool ValidateChoice(const CFileChoice& choice) const;
    // Loads "Settings"/"Filter", "Settings"/"Timeout" and "Settings"/"Scanner" over the
    // construction defaults.
    void LoadPreferences();
    // Sets the per-link time-out; the timer period is computed without overflow and is never
    // below 1 ms, whatever a stored value says.
    void SetTimeoutSeconds(int seconds);

    // The run driver.
    void StartTest(const std::string& path, bool recurse, bool allFiles, bool htmlOnly);
    void OnRunTick();
    void EndTest();
    void OnStopTest();
    // Tears a run down: closes the connection, empties the lists, destroys the progress
    // window and sets m_runEnded. The timers are the caller's.
    void ResetRun(bool updateStatus);

    // The probe.
    void ProbeNext();
    ResultCode ConnectAndSend(const std::string& link);
    long OnSocketNotify(int socket, unsigned long eventWord) override;
    void HandleReply();
    void FailLink(ResultCode code);
    void OpenConnection();
    void CloseConnection();

    // The scanner's work file, in the system directory.
    std::string WorkFilePath() const;

    // The run state. Links wait in two parallel lists: entry i of m_urlList is a link of
    // m_currentFile and entry i of m_anchorNameList its anchor name.
    StringList m_fileList;
    int m_fileCount = 0;
    std::string m_currentFile;
    StringList m_urlList;
    StringList m_anchorNameList;
    int m_urlCount = 0;
    // Reportable failures of m_currentFile so far; -1 until a run takes up its first file.
    int m_errorCount = 0;
    int m_scheme = 0;
    bool m_awaitingReply = false;
    std::unique_ptr<CSocketWnd> m_socket;
    std::array<char, kReplyBufferSize> m_replyBuffer{};
    std::unique_ptr<CRunProgress> m_progressDlg;
    bool m_runTimerActive = false;
    bool m_linkTimerActive = false;
    bool m_runEnded = false;
    bool m_unknownErrorSeen = false;
    // The run ended because a file could not be scanned.
    bool m_scanFailed = false;
    std::string m_tempBase = "urltmp~";
    std::array<std::string, kResultCodeCount> m_reasonText;
    std::string m_filter{kWatchLikeAHawkFilter};
    int m_timeoutSeconds = 15;
    int m_timeoutMillis = 15000;
    // Pages are read with the HTML scanner: links are hrefs, and local links are checked on
    // the file system.
    bool m_htmlScan = false;
    // With the HTML scanner, the links of m_urlList in full, parallel to it; empty otherwise.
    std::deque<CHtmlLink> m_htmlLinkList;
    // Links of m_currentFile that the HTML scanner skipped (mailto:, javascript:, ...).
    int m_skippedCount = 0;

protected:
    CRegSettings& Settings() const { return m_settings; }

    virtual void OnTimer(int id);
    // Stops timers 103 and 105 if they run, clearing their flags in the same step.
    void StopRunTimers();
    void SetTimer(int id, int periodMillis);

    // The front end's side. A grid row is built in three calls, part=0, 1 and 2 (the last
    // also fills the file name from m_currentFile); any other part does nothing.
    virtual void AddResult(const std::string& text, int part) = 0;
    // Appends the text and a CR LF to the log.
    virtual void AppendLog(const std::string& text) = 0;
    // Empties the log and deletes every grid row.
    virtual void ClearResults() = 0;
    // Pane 1 shows the connection, pane 2 the HTTP exchange.
    virtual void SetStatusText(int pane, const std::string& text) = 0;
    virtual std::unique_ptr<CRunProgress> CreateProgressDlg() = 0;
    // Called when a run has ended or been stopped.
    virtual void OnRunEnded() {}
    // With the HTML scanner: the bytes of the last row's link as the file holds them.
    virtual void AddResultWritten(const std::string&) {}

private:
    int ScanHtmlPage(const std::string& path);
    void StartScanAhead();
    void LogSkippedLinks();
    bool GiveLocalVerdicts();
    void AddWrittenLink();
    void TakeUpNextFile();
    void AppendResultsLine();
    void SendRequest(const std::string& host, const std::string& path);
    void DrainReply();
    void FinishVerdict();
    void RemoveWorkFiles() const;

    CRegSettings& m_settings;
    platform::CTimerHost m_timers;
    std::string m_siteRoot;
    std::unique_ptr<CFragmentCache> m_fragmentCache;
    std::unique_ptr<CHtmlScanAhead> m_scanAhead;
};
