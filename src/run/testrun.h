#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/fileselect.h"
#include "model/htmlscanner.h"
#include "model/stringlist.h"
#include "platform/timerhost.h"
#include "probe/hostcache.h"
#include "probe/resultcodes.h"
#include "probe/socketwnd.h"
#include "run/descriptorbudget.h"
#include "run/linkexcludes.h"
#include "run/linkprobe.h"
#include "run/linkschedule.h"
#include "run/runprogress.h"

class CFragmentCache;
class CHtmlScanAhead;
class CRegSettings;

// The settings of the web beyond the Preferences: https links, how many links at once and to
// one host, which scanner reads the pages, and whether redirects are followed.
struct CWebOptions {
    bool https = false;
    int jobs = 1;
    int perHost = 6;
    // 0 the classic scanner, 1 the HTML scanner.
    int scanner = 0;
    // 0 a redirect is a verdict like any other answer, 1 redirects are followed.
    int redirects = 0;
    // The folder links starting with "/" resolve under; empty: the folder the test starts on.
    std::string siteRoot = {};

    bool operator==(const CWebOptions&) const = default;
};

// The web options as stored under "Settings", each with its default; a scanner other than 1
// reads as the classic one, the default.
CWebOptions ReadWebOptions(const CRegSettings& settings);
void WriteWebOptions(CRegSettings& settings, const CWebOptions& options);

// The state of a test run and the operations on it, without any widget: the window's results
// view and the console front end both derive from it, so they cannot disagree about a verdict.
// A front end supplies the few hooks at the bottom. Everything runs on the one thread of the
// event loop; the flags below are the only guard against re-entry.
class CTestRun : public CSocketNotifySink, private CLinkProbe::COwner {
public:
    static constexpr int kRunTimer = 103;
    static constexpr int kLinkTimer = 105;
    static constexpr int kRunTickMillis = 100;
    static constexpr int kMaxJobs = 256;

    explicit CTestRun(CRegSettings& settings);
    virtual ~CTestRun();
    CTestRun(const CTestRun&) = delete;
    CTestRun& operator=(const CTestRun&) = delete;

    // Result codes and the report filter.
    int IsReportable(ResultCode code) const;
    // The reason text of a code. A code outside the table is not an error: it gets a fixed
    // warning text, a warning beep, and marks the run (m_unknownErrorSeen).
    std::string GetReasonText(ResultCode code);

    // Appends the links of one file to m_urlList and m_anchorNameList, but for those that
    // m_excludes matches (counted in m_excludedCount), and sets m_urlCount; 1 on success. On 0
    // the timers are stopped and the user has been told.
    int ScanFile(std::string path);

    // The existence checks a choice must pass before a run starts; shows the reason when not.
    bool ValidateChoice(const CFileChoice& choice) const;
    // Loads "Settings"/"Filter", "Settings"/"Timeout", "Settings"/"Https", "Settings"/"Jobs",
    // "Settings"/"PerHost", "Settings"/"Scanner", "Settings"/"Redirects" and
    // "Settings"/"SiteRoot" over the construction defaults.
    void LoadPreferences();
    // Takes the web options for the next file and the next run.
    void ApplyWebOptions(const CWebOptions& options);
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
    // Starts the link's time-out and its host's lookup; the rest follows the answer.
    void ProbeNext();
    // Connects to the address the lookup gave (or fails with its code) and sends the request.
    ResultCode ConnectAndSend(const std::string& link, ResultCode lookedUp, std::uint32_t address);
    long OnSocketNotify(int socket, unsigned long eventWord) override;
    void HandleReply();
    void FailLink(ResultCode code);
    void OpenConnection();
    void CloseConnection();

    // The scanner's work file, in the system directory.
    std::string WorkFilePath() const;
    // Where the last run looked for a link that starts with "/".
    const std::string& SiteRoot() const { return m_siteRoot; }

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
    // https:// links are collected and probed over TLS.
    bool m_https = false;
    // Links the run leaves alone, and how many of them the last scanned file held.
    CLinkExcludes m_excludes;
    int m_excludedCount = 0;
    // Many links at once: up to m_jobs connections open together, at most m_perHost to one
    // host (each 1 to 256). With 1 the run probes one link per tick. Read when a run starts.
    int m_jobs = 1;
    int m_perHost = 6;
    // Pages are read with the HTML scanner: links are hrefs, and local links are checked on
    // the file system.
    bool m_htmlScan = false;
    // Redirects are followed, each link's chain to its end (CRedirectChain). Such a run takes
    // the many-at-once engine even for one link at a time, as only it reads whole heads.
    bool m_followRedirects = false;
    // The folder the HTML scanner looks for links that start with "/" under; empty: the folder
    // the run is started on.
    std::string m_chosenSiteRoot;
    // With the HTML scanner, the links of m_urlList in full, parallel to it; empty otherwise.
    std::deque<CHtmlLink> m_htmlLinkList;
    // Links of m_currentFile that the HTML scanner skipped (mailto:, javascript:, ...).
    CSkippedLinks m_skipped;

protected:
    CRegSettings& Settings() const { return m_settings; }

    virtual void OnTimer(int id);
    // Stops timers 103 and 105 if they run, clearing their flags in the same step.
    void StopRunTimers();
    void SetTimer(int id, int periodMillis);

    // The front end's side. A grid row is built in three calls, part=0, 1 and 2 (the first
    // also keeps the verdict's code, the last fills the file name from m_currentFile); any
    // other part does nothing.
    virtual void AddResult(const std::string& text, int part, ResultCode code) = 0;
    // Appends the text and a CR LF to the log.
    virtual void AppendLog(const std::string& text) = 0;
    // Empties the log and deletes every grid row.
    virtual void ClearResults() = 0;
    // Pane 1 shows the connection, pane 2 the HTTP exchange.
    virtual void SetStatusText(int pane, const std::string& text) = 0;
    virtual std::unique_ptr<CRunProgress> CreateProgressDlg() = 0;
    // Called when a run has ended or been stopped.
    virtual void OnRunEnded() {}
    // Called when m_currentFile has been scanned, before any verdict on its links.
    virtual void OnFileRead() {}
    // Called for every verdict of m_currentFile, reported or not, in link order; a reported
    // one after its row.
    virtual void OnLinkTested(const std::string& /*url*/, const std::string& /*anchorName*/,
                              ResultCode /*code*/, bool /*reported*/) {}
    // With the HTML scanner: where the last row's link stands in its file.
    virtual void AddResultPlace(const CLinkPlace&) {}
    // For a link that moved for good: the last row's new address.
    virtual void AddResultMove(const std::string& /*movedTo*/) {}

private:
    int ScanHtmlPage(const std::string& path);
    // The code of a local link's verdict; 0 when its target was found.
    static ResultCode LocalResultCode(CLocalVerdict verdict);
    std::optional<CHtmlPage> TakeHtmlPage(const std::string& path);
    CHtmlScanOptions HtmlScanOptions() const;
    void DropExcludedLinks(CHtmlPage& page);
    // With many links at once: queues a page read by the HTML scanner, its local links with
    // their verdicts already given; false when it cannot be read.
    bool QueueHtmlPage(const std::string& path);
    void StartScanAhead();
    void LogSkippedLinks();
    bool GiveLocalVerdicts();
    const CLinkPlace& FrontLinkPlace() const;
    void ReportLink(const std::string& url, const std::string& anchorName, const CLinkPlace& place,
                    ResultCode code, bool judged, const std::string& movedTo = {});
    // The reason cell of a link that moved for good: where to, and why the pages must not be
    // updated to it when they must not.
    std::string MovedReason(const std::string& url, const std::string& movedTo);
    void TakeUpNextFile();
    // The links of one file that the excludes leave, as the run scans them whether it scans
    // ahead or not, and how many the excludes took; false when the file or the work file
    // cannot be opened.
    bool ReadLinks(const std::string& path, StringList& urls, StringList& anchorNames,
                   int& excluded) const;
    // The first half of taking up the head of m_fileList: the results line of the file
    // before, the progress window, a fresh error count.
    void BeginFile();
    // What the user is told when a file of the run cannot be scanned; the timers stop first.
    void ReportUnreadableFile(const std::string& path);
    void StopAfterScanFailure();
    void AppendResultsLine();
    void SendRequest(const std::string& host, const std::string& path);
    void OnHostLookedUp(ResultCode code, std::uint32_t address);
    void CancelLookup();
    void FinishVerdict();
    void RemoveWorkFiles() const;

    // Many links at once (m_jobs above 1). The same files, log lines and rows in the same
    // order as one link at a time: files are scanned ahead and links probed as places free
    // up, but a link is reported only once every link before it has been.
    void StartJobs();
    void PostPump();
    void PumpJobs();
    bool ScanAhead(std::chrono::steady_clock::time_point sliceEnd);
    bool StartProbes();
    bool ReportFromHead();
    bool TakeUpQueuedFile(const CLinkSchedule::Entry& entry);
    void ReportVerdict(const CLinkSchedule::Entry& entry);
    void ShowJobsProgress();
    void OnProbeDone(CLinkProbe& probe, const CVerdict& verdict) override;
    void OnProbeWaitsForDescriptor(CLinkProbe& probe) override;
    // Lets a probe go once it has reported: it is destroyed at the next pump.
    void ReleaseProbe(const std::string& url);
    void EndJobs();

    CRegSettings& m_settings;
    platform::CTimerHost m_timers;

    // The hosts looked up in this run, one at a time or many at once.
    std::unique_ptr<CHostCache> m_hostCache;
    // One link at a time: the lookup of the link in flight (0 when none), and when its
    // time-out ends, which bounds the connect after the lookup too.
    unsigned long m_lookup = 0;
    std::chrono::steady_clock::time_point m_linkDeadline;
    std::unique_ptr<CLinkSchedule> m_schedule;
    std::unique_ptr<CDescriptorBudget> m_descriptors;
    // The probes in flight by URL, and those done since the last pump (a probe reports its
    // verdict as its last act, so it is let go only afterwards).
    std::map<std::string, std::unique_ptr<CLinkProbe>> m_probes;
    std::vector<std::unique_ptr<CLinkProbe>> m_doneProbes;
    // Entries at the front of m_fileList that are already scanned.
    std::size_t m_filesScanned = 0;
    bool m_scanStopped = false;
    int m_scanScheme = 0;
    int m_linksFound = 0;
    int m_linksDone = 0;
    bool m_pumpPosted = false;
    bool m_pumping = false;
    std::string m_siteRoot;
    std::unique_ptr<CFragmentCache> m_fragmentCache;
    std::unique_ptr<CHtmlScanAhead> m_scanAhead;
};
