#include "testrun.h"

#include <QMetaObject>
#include <algorithm>
#include <climits>
#include <ctime>
#include <optional>

#include "model/linkscanner.h"
#include "model/localcheck.h"
#include "model/scanahead.h"
#include "platform/clock.h"
#include "platform/fileops.h"
#include "platform/messagebox.h"
#include "platform/systemdir.h"
#include "platform/textfile.h"
#include "probe/movesafety.h"
#include "probe/replyline.h"
#include "probe/urlsplit.h"
#include "settings/regsettings.h"

namespace {

constexpr unsigned kFdReadClose = kFdRead | kFdClose;

std::string Now() {
    return platform::LongDateTime(std::time(nullptr));
}

}  // namespace

CTestRun::CTestRun(CRegSettings& settings)
    : m_settings(settings), m_timers([this](int id) { OnTimer(id); }) {
    for (std::size_t index = 0; index < kResultCodeCount; ++index) {
        m_reasonText[index] = std::string(kResultCodes[index].reasonText);
    }
    SetTimeoutSeconds(15);
    LoadPreferences();
}

CTestRun::~CTestRun() {
    StopRunTimers();
    ResetRun(false);
    RemoveWorkFiles();
}

// ---------------------------------------------------------------- result codes and filter

int CTestRun::IsReportable(ResultCode code) const {
    return FilterReports(m_filter, code) ? 1 : 0;
}

std::string CTestRun::GetReasonText(ResultCode code) {
    if (const auto index = ResultCodeIndex(code)) {
        return m_reasonText[*index];
    }
    if (const auto extended = ExtendedReasonText(code)) {
        return std::string(*extended);
    }
    m_unknownErrorSeen = true;
    platform::MessageBeep(platform::kMbIconExclamation);
    return std::string(kUnknownReasonText);
}

// ---------------------------------------------------------------- scanner and choice

std::string CTestRun::WorkFilePath() const {
    return platform::SystemFilePath(m_tempBase + "2");
}

int CTestRun::ScanFile(std::string path) {
    // A run started with the HTML scanner keeps it, whatever the preferences say meanwhile.
    if (m_htmlScan || m_scanAhead) {
        return ScanHtmlPage(path);
    }
    if (!ReadLinks(path, m_urlList, m_anchorNameList, m_excludedCount)) {
        ReportUnreadableFile(path);
        return 0;
    }
    m_urlCount = static_cast<int>(m_urlList.size());
    return 1;
}

bool CTestRun::ReadLinks(const std::string& path, StringList& urls, StringList& anchorNames,
                         int& excluded) const {
    excluded = 0;
    StringList found;
    StringList foundNames;
    if (ScanLinks(path, WorkFilePath(), found, foundNames, CScanOptions{m_https}) !=
        ScanResult::Scanned) {
        return false;
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (m_excludes.Matches(found[i])) {
            ++excluded;
            continue;
        }
        urls.push_back(std::move(found[i]));
        anchorNames.push_back(std::move(foundNames[i]));
    }
    return true;
}

void CTestRun::ReportUnreadableFile(const std::string& path) {
    // The timers stop before the box opens, so no tick arrives while it is shown.
    StopRunTimers();
    platform::MessageBox("Error: Cannot open file:\n\n" + path);
}

// The page comes from the workers that scan ahead during a run, else it is scanned and its
// local links checked here.
std::optional<CHtmlPage> CTestRun::TakeHtmlPage(const std::string& path) {
    if (m_scanAhead) {
        return m_scanAhead->TakeNext();
    }
    if (!m_fragmentCache) {
        m_fragmentCache = std::make_unique<CFragmentCache>(HtmlScanOptions());
    }
    std::optional<CHtmlPage> page = m_fragmentCache->ScanPage(path);
    if (page) {
        CheckLocalLinks(*page, *m_fragmentCache);
    }
    return page;
}

CHtmlScanOptions CTestRun::HtmlScanOptions() const {
    return CHtmlScanOptions{.https = m_https, .siteRoot = m_siteRoot};
}

// Drops the links the run's excludes match, counting them in m_excludedCount.
void CTestRun::DropExcludedLinks(CHtmlPage& page) {
    m_excludedCount = 0;
    std::erase_if(page.links, [this](const CHtmlLink& link) {
        const bool excluded = m_excludes.Matches(link.url);
        m_excludedCount += excluded ? 1 : 0;
        return excluded;
    });
}

int CTestRun::ScanHtmlPage(const std::string& path) {
    std::optional<CHtmlPage> page = TakeHtmlPage(path);
    if (!page) {
        ReportUnreadableFile(path);
        return 0;
    }
    DropExcludedLinks(*page);
    for (CHtmlLink& link : page->links) {
        m_urlList.push_back(link.url);
        m_anchorNameList.push_back(link.anchorName);
        m_htmlLinkList.push_back(std::move(link));
    }
    m_skipped = page->skipped;
    m_urlCount = static_cast<int>(m_urlList.size());
    return 1;
}

void CTestRun::StartScanAhead() {
    std::vector<std::string> files(m_fileList.begin(), m_fileList.end());
    m_fragmentCache = std::make_unique<CFragmentCache>(HtmlScanOptions(), files);
    m_scanAhead = std::make_unique<CHtmlScanAhead>(std::move(files), HtmlScanOptions(),
                                                   m_fragmentCache.get());
    // Many at once, the run does not wait for a page: the worker that finishes the page it
    // waits for brings it back through the event loop.
    m_scanAhead->NotifyWhenReady([this] {
        QMetaObject::invokeMethod(
            &m_timers, [this] { PostPump(); }, Qt::QueuedConnection);
    });
}

void CTestRun::LogSkippedLinks() {
    if (m_skipped.otherSchemes > 0) {
        AppendLog("Links skipped (mailto:, javascript: and other schemes): " +
                  std::to_string(m_skipped.otherSchemes));
    }
    if (m_skipped.https > 0) {
        AppendLog("https links not tested: " + std::to_string(m_skipped.https));
    }
}

ResultCode CTestRun::LocalResultCode(CLocalVerdict verdict) {
    switch (verdict) {
        case CLocalVerdict::FileMissing:
            return kLocalFileMissing;
        case CLocalVerdict::FragmentMissing:
            return kFragmentMissing;
        case CLocalVerdict::Found:
            break;
    }
    return 0;
}

// Local links at the head of the list get their verdict at once, without a tick or a
// connection. True when no link is left to probe.
bool CTestRun::GiveLocalVerdicts() {
    while (!m_htmlLinkList.empty() && m_htmlLinkList.front().kind == CLinkKind::Local) {
        const ResultCode code = LocalResultCode(m_htmlLinkList.front().verdict);
        ReportLink(m_urlList.front(), m_anchorNameList.front(), FrontLinkPlace(), code, code != 0);
        FinishVerdict();
    }
    return m_urlList.empty();
}

const CLinkPlace& CTestRun::FrontLinkPlace() const {
    static const CLinkPlace none;
    return m_htmlLinkList.empty() ? none : m_htmlLinkList.front().place;
}

// A verdict's row, when the code was judged and the filter reports it; the front end hears of
// every verdict either way.
void CTestRun::ReportLink(const std::string& url, const std::string& anchorName,
                          const CLinkPlace& place, ResultCode code, bool judged,
                          const std::string& movedTo) {
    const bool reported = judged && IsReportable(code) == 1;
    if (reported) {
        const std::string reason = movedTo.empty() ? GetReasonText(code) : MovedReason(url, movedTo);
        AddResult(url, 0, code);
        AddResult(reason, 1, code);
        AddResult(anchorName, 2, code);
        if (place.Known()) {
            AddResultPlace(place);
        }
        if (!movedTo.empty()) {
            AddResultMove(movedTo);
        }
        ++m_errorCount;
    }
    OnLinkTested(url, anchorName, code, reported);
}

std::string CTestRun::MovedReason(const std::string& url, const std::string& movedTo) {
    std::string reason = GetReasonText(kMovedPermanently) + " to " + movedTo;
    if (const std::optional<std::string> unsafe = UnsafeMoveReason(url, movedTo)) {
        reason += " (no update: " + *unsafe + ")";
    }
    return reason;
}

bool CTestRun::ValidateChoice(const CFileChoice& choice) const {
    if (choice.allFiles) {
        if (!platform::IsEnterableDirectory(choice.path)) {
            platform::MessageBox(
                "The chosen directory does not exist\n\n(Your \"Test Other Files\" choice means "
                "you should\nspecify a valid directory path, NOT a file path)");
            return false;
        }
        return true;
    }
    // A directory opens for reading on Linux; only a regular file that opens is a file here.
    if (!platform::IsRegularFile(choice.path) || !platform::OpenFile(choice.path, "rb")) {
        platform::MessageBox("The specified file does not exist");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- preferences

void CTestRun::LoadPreferences() {
    m_filter = m_settings.GetString("Settings", "Filter", std::string(kWatchLikeAHawkFilter));
    if (m_filter.size() != kResultCodeCount) {
        platform::MessageBox("Setting Filter Codes to Safe Default");
        m_filter = kWatchLikeAHawkFilter;
        m_settings.SetString("Settings", "Filter", m_filter);
    }
    SetTimeoutSeconds(m_settings.GetInt("Settings", "Timeout", 15));
    ApplyWebOptions(ReadWebOptions(m_settings));
}

void CTestRun::ApplyWebOptions(const CWebOptions& options) {
    m_https = options.https;
    m_jobs = options.jobs;
    m_perHost = options.perHost;
    m_htmlScan = options.scanner == 1;
    m_followRedirects = options.redirects == 1;
    m_chosenSiteRoot = options.siteRoot;
}

CWebOptions ReadWebOptions(const CRegSettings& settings) {
    return CWebOptions{
        settings.GetInt("Settings", "Https", 0) != 0, settings.GetInt("Settings", "Jobs", 1),
        settings.GetInt("Settings", "PerHost", 6), settings.GetInt("Settings", "Scanner", 0),
        settings.GetInt("Settings", "Redirects", 0), settings.GetString("Settings", "SiteRoot", "")};
}

void WriteWebOptions(CRegSettings& settings, const CWebOptions& options) {
    settings.SetInt("Settings", "Https", options.https ? 1 : 0);
    settings.SetInt("Settings", "Jobs", options.jobs);
    settings.SetInt("Settings", "PerHost", options.perHost);
    settings.SetInt("Settings", "Scanner", options.scanner);
    settings.SetInt("Settings", "Redirects", options.redirects);
    settings.SetString("Settings", "SiteRoot", options.siteRoot);
}

void CTestRun::SetTimeoutSeconds(int seconds) {
    m_timeoutSeconds = seconds;
    m_timeoutMillis = static_cast<int>(std::clamp<long long>(seconds * 1000LL, 1, INT_MAX));
}

// ---------------------------------------------------------------- timers

void CTestRun::SetTimer(int id, int periodMillis) {
    m_timers.SetTimer(id, periodMillis);
}

void CTestRun::StopRunTimers() {
    if (m_runTimerActive) {
        m_timers.KillTimer(kRunTimer);
        m_runTimerActive = false;
    }
    if (m_linkTimerActive) {
        m_timers.KillTimer(kLinkTimer);
        m_linkTimerActive = false;
    }
}

void CTestRun::OnTimer(int id) {
    if (id == kRunTimer) {
        OnRunTick();
    } else if (id == kLinkTimer) {
        m_timers.KillTimer(kLinkTimer);
        m_linkTimerActive = false;
        FailLink(kHostTooSlow);
    }
}

// ---------------------------------------------------------------- run driver

void CTestRun::StartTest(const std::string& path, bool recurse, bool allFiles, bool htmlOnly) {
    m_fileList = SelectFiles(CFileChoice{path, recurse, allFiles, htmlOnly});
    m_fileCount = static_cast<int>(m_fileList.size());
    if (m_fileCount == 0) {
        platform::MessageBox("No files found.\n\nWas your filter option set correctly?");
        return;
    }
    m_siteRoot = SiteRootFor(path, allFiles, m_chosenSiteRoot);
    if (m_htmlScan) {
        StartScanAhead();
    }
    m_progressDlg = CreateProgressDlg();
    m_progressDlg->FileBar().SetRange(0, m_fileCount);
    m_progressDlg->FileBar().SetStep(1);
    m_errorCount = -1;
    m_runEnded = false;
    m_unknownErrorSeen = false;
    m_scanFailed = false;
    m_skipped = {};
    // A first file that cannot be scanned must not report the links of an earlier run.
    m_urlCount = 0;
    m_excludedCount = 0;
    ClearResults();
    AppendLog("Start of test " + Now() + "\r\n");
    SetTimer(kRunTimer, kRunTickMillis);
    m_runTimerActive = true;
    m_hostCache = std::make_unique<CHostCache>();
    if (std::clamp(m_jobs, 1, kMaxJobs) > 1 || m_followRedirects) {
        StartJobs();
    }
}

void CTestRun::OnRunTick() {
    if (m_schedule) {
        PumpJobs();
        return;
    }
    if (m_socket || m_awaitingReply || m_lookup != 0) {
        return;
    }
    if (m_fileList.empty() && m_urlList.empty()) {
        EndTest();
    } else if (!m_urlList.empty()) {
        ProbeNext();
    } else {
        TakeUpNextFile();
    }
}

void CTestRun::AppendResultsLine() {
    // Only a run with excludes says so, so that the log of any other run stays as it was.
    if (!m_excludes.Empty()) {
        AppendLog("URLs excluded: " + std::to_string(m_excludedCount) + ".");
    }
    AppendLog("Results for " + m_currentFile + ": URLs tested: " + std::to_string(m_urlCount) +
              ". URL errors: " + std::to_string(m_errorCount) + ".\r\n");
}

void CTestRun::TakeUpNextFile() {
    BeginFile();
    if (ScanFile(m_currentFile) == 0) {
        StopAfterScanFailure();
        return;
    }
    OnFileRead();
    AppendLog("Testing: " + m_currentFile);
    LogSkippedLinks();
    m_fileList.pop_front();
    if (!m_urlList.empty()) {
        m_progressDlg->UrlBar().SetRange(0, static_cast<int>(m_urlList.size()));
        m_progressDlg->UrlBar().SetStep(1);
        ProbeNext();
    }
}

void CTestRun::BeginFile() {
    if (m_errorCount != -1) {
        AppendResultsLine();
    }
    m_currentFile = m_fileList.front();
    m_progressDlg->m_fileText = m_currentFile;
    m_progressDlg->m_fileIndex =
        std::to_string(m_fileCount - static_cast<int>(m_fileList.size()) + 1);
    m_progressDlg->m_fileTotal = std::to_string(m_fileCount);
    m_progressDlg->UpdateData();
    if (m_errorCount != -1) {
        m_progressDlg->FileBar().StepIt();
        m_progressDlg->UrlBar().SetPos(0);
    }
    m_errorCount = 0;
}

void CTestRun::StopAfterScanFailure() {
    m_scanFailed = true;
    platform::MessageBox("Processing has stopped");
    m_fileList.clear();
    EndTest();
}

void CTestRun::EndTest() {
    StopRunTimers();
    ResetRun(true);
    AppendResultsLine();
    AppendLog("End of test: " + Now());
    SetStatusText(1, "Search Complete");
    SetStatusText(2, "");
    platform::MessageBeep(0);
    OnRunEnded();
}

void CTestRun::ResetRun(bool updateStatus) {
    if (m_socket) {
        m_socket->Close();
        m_socket.reset();
    }
    EndJobs();
    m_lookup = 0;
    m_hostCache.reset();
    m_fileList.clear();
    m_urlList.clear();
    m_anchorNameList.clear();
    m_htmlLinkList.clear();
    m_scanAhead.reset();
    m_fragmentCache.reset();
    m_progressDlg.reset();
    m_runEnded = true;
    m_awaitingReply = false;
    if (updateStatus) {
        SetStatusText(1, "Connection Status");
        SetStatusText(2, "HTTP Method Status");
    }
}

void CTestRun::OnStopTest() {
    StopRunTimers();
    ResetRun(true);
    AppendLog("Testing Stopped by User");
    OnRunEnded();
}

// ---------------------------------------------------------------- probe

void CTestRun::ProbeNext() {
    if (!m_htmlLinkList.empty() && GiveLocalVerdicts()) {
        return;
    }
    const std::string link = m_urlList.front();
    m_scheme = SchemeOf(link, m_scheme);
    m_progressDlg->m_urlText = link;
    m_progressDlg->m_anchorText = m_anchorNameList.front();
    m_progressDlg->m_urlIndex = std::to_string(m_urlCount - static_cast<int>(m_urlList.size()) + 1);
    m_progressDlg->m_urlTotal = std::to_string(m_urlCount);
    m_progressDlg->UpdateData();
    m_linkTimerActive = true;
    SetTimer(kLinkTimer, m_timeoutMillis);
    m_linkDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMillis);
    const std::string host = SplitHost(link, m_scheme);
    SetStatusText(1, "Connecting to " + host);
    SetStatusText(2, "");
    // A name the hosts file or this run's earlier links give is connected to at once, as a
    // failure known at once is reported at once. A name server is asked on the event loop, so
    // that Stop and Ctrl+C are heard meanwhile and timer 105 bounds the lookup as the reply.
    if (const std::optional<CHostAnswer> known = m_hostCache->AnswerAtOnce(host)) {
        OnHostLookedUp(known->code, known->address);
        return;
    }
    m_lookup = m_hostCache->Resolve(
        host, [this](ResultCode code, std::uint32_t address) { OnHostLookedUp(code, address); });
}

void CTestRun::OnHostLookedUp(ResultCode code, std::uint32_t address) {
    m_lookup = 0;
    const ResultCode result = ConnectAndSend(m_urlList.front(), code, address);
    if (result >= kUnspecifiedSocketError) {
        FailLink(result);
    } else {
        m_awaitingReply = true;
    }
}

void CTestRun::CancelLookup() {
    if (m_lookup != 0 && m_hostCache) {
        m_hostCache->Cancel(m_lookup);
    }
    m_lookup = 0;
}

ResultCode CTestRun::ConnectAndSend(const std::string& link, ResultCode lookedUp,
                                    std::uint32_t address) {
    const std::string host = SplitHost(link, m_scheme);
    const std::string path = SplitPath(link, m_scheme);
    if (m_socket) {
        CloseConnection();
    }
    OpenConnection();
    m_socket->SetTls(m_scheme == kSchemeHttps);
    ResultCode connected = lookedUp;
    if (connected == 0) {
        const platform::CWaitCursor wait;
        connected =
            m_socket->Connect(address, PortFor(m_scheme), ConnectName(host), m_linkDeadline);
    }
    SetStatusText(1, "Connected to " + host);
    if (connected >= kUnspecifiedSocketError) {
        CloseConnection();
        return connected;
    }
    m_socket->AsyncSelect(kFdReadClose);
    if (!m_socket) {
        return kUnspecifiedSocketError;
    }
    if (SpeaksHttp(m_scheme)) {
        SendRequest(host, path);
        SetStatusText(2, "GET method sent to host");
    } else {
        SetStatusText(2, "");
    }
    return 0;
}

void CTestRun::SendRequest(const std::string& host, const std::string& path) {
    SendHttpRequest(*m_socket, host, path);
}

long CTestRun::OnSocketNotify(int, unsigned long eventWord) {
    switch (eventWord & 0xFFFF) {
        case kFdRead:
            SetStatusText(2, "Host Reply Received");
            if (m_socket) {
                ReceiveFirstChunk(*m_socket, m_replyBuffer.data(), kReplyBufferSize);
            } else {
                m_replyBuffer.fill('\0');
            }
            HandleReply();
            break;
        case kFdOob:
            platform::MessageBox("OOB");
            break;
        case kFdAccept:
            platform::MessageBox("ACCEPT");
            break;
        case kFdClose:
            if (const ResultCode tlsFailure = TlsFailureOf(eventWord);
                tlsFailure != 0 && m_awaitingReply) {
                FailLink(tlsFailure);
                break;
            }
            // The verdict is left to the time-out: a host that closes without a word is slow.
            if (m_socket) {
                CloseConnection();
            }
            SetStatusText(1, "Connection Closed by Host");
            break;
        default:
            break;
    }
    return 0;
}

void CTestRun::HandleReply() {
    if (!m_awaitingReply) {
        return;
    }
    m_awaitingReply = false;
    const ResultCode code = ReadStatusCode(CutFirstLine(m_replyBuffer.data(), kReplyBufferSize));
    ReportLink(m_urlList.front(), m_anchorNameList.front(), FrontLinkPlace(), code,
               SpeaksHttp(m_scheme));
    FinishVerdict();
}

void CTestRun::FailLink(ResultCode code) {
    ReportLink(m_urlList.front(), m_anchorNameList.front(), FrontLinkPlace(), code, true);
    FinishVerdict();
    m_awaitingReply = false;
}

// What every verdict does after its row: the link leaves both lists, the link bar steps, the
// connection closes and the time-out stops.
void CTestRun::FinishVerdict() {
    m_urlList.pop_front();
    m_anchorNameList.pop_front();
    if (!m_htmlLinkList.empty()) {
        m_htmlLinkList.pop_front();
    }
    m_progressDlg->UrlBar().StepIt();
    CancelLookup();
    if (m_socket) {
        CloseConnection();
    }
    if (m_linkTimerActive) {
        m_timers.KillTimer(kLinkTimer);
        m_linkTimerActive = false;
    }
}

void CTestRun::OpenConnection() {
    m_socket = std::make_unique<CSocketWnd>(*this);
}

void CTestRun::CloseConnection() {
    m_socket->Close();
    m_socket.reset();
    SetStatusText(1, "No connection");
}

// ---------------------------------------------------------------- work files

void CTestRun::RemoveWorkFiles() const {
    const std::optional<std::string> directory = platform::SystemDirectory();
    if (!directory) {
        return;
    }
    for (const char* suffix : {"", "1", "2", "3"}) {
        const std::string path = platform::JoinPath(*directory, m_tempBase + suffix);
        if (platform::OpenFile(path, "r")) {
            platform::DeleteFile(path);
        }
    }
}
