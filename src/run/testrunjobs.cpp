// The run with many links in flight at once, on the same event loop as the run of one link
// per tick: the same files, the same log lines and rows, in the same order.
#include <QMetaObject>
#include <algorithm>
#include <chrono>

#include "model/localcheck.h"
#include "model/scanahead.h"
#include "probe/urlsplit.h"
#include "run/testrun.h"

namespace {

// Files are scanned ahead while fewer than this many links per job wait for a probe, and
// while the queue holds fewer links than the cap, so a long tree is not read whole at once.
constexpr int kLookAheadPerJob = 4;
constexpr std::size_t kMaxQueuedLinks = 20000;
// How long one pump may hold the event loop. Local links need no probe, so without it a pump
// would go through a site of them whole while the window, Stop and Ctrl+C wait.
constexpr auto kPumpSlice = std::chrono::milliseconds(20);

}  // namespace

void CTestRun::StartJobs() {
    m_schedule = std::make_unique<CLinkSchedule>(std::clamp(m_jobs, 1, kMaxJobs),
                                                 std::clamp(m_perHost, 1, kMaxJobs));
    m_descriptors = std::make_unique<CDescriptorBudget>();
    m_filesScanned = 0;
    m_scanStopped = false;
    m_scanScheme = m_scheme;
    m_linksFound = 0;
    m_linksDone = 0;
    PostPump();
}

// Closes every connection at once; no verdict is reported for the links in flight.
void CTestRun::EndJobs() {
    m_probes.clear();
    m_doneProbes.clear();
    m_schedule.reset();
    m_descriptors.reset();
}

void CTestRun::PostPump() {
    if (m_pumpPosted) {
        return;
    }
    m_pumpPosted = true;
    QMetaObject::invokeMethod(
        &m_timers, [this] { PumpJobs(); }, Qt::QueuedConnection);
}

// Runs from the event loop, never from inside a probe: it may end the run and so delete them.
void CTestRun::PumpJobs() {
    m_pumpPosted = false;
    if (!m_schedule || m_pumping) {
        return;
    }
    m_pumping = true;
    m_doneProbes.clear();
    const auto sliceEnd = std::chrono::steady_clock::now() + kPumpSlice;
    bool moved = true;
    while (moved && m_schedule) {
        if (std::chrono::steady_clock::now() >= sliceEnd) {
            PostPump();
            break;
        }
        moved = ScanAhead(sliceEnd);
        moved = StartProbes() || moved;
        moved = ReportFromHead() || moved;
    }
    m_pumping = false;
    if (!m_schedule) {
        return;
    }
    if (m_schedule->Empty() && m_fileList.empty()) {
        EndTest();
        return;
    }
    ShowJobsProgress();
}

// Pages without links to probe never fill the look-ahead, so the slice bounds the scan too.
bool CTestRun::ScanAhead(std::chrono::steady_clock::time_point sliceEnd) {
    bool scanned = false;
    const int lookAhead = kLookAheadPerJob * std::clamp(m_jobs, 1, kMaxJobs);
    while (!m_scanStopped && m_filesScanned < m_fileList.size() &&
           m_schedule->Waiting() < lookAhead && m_schedule->QueuedLinks() < kMaxQueuedLinks &&
           std::chrono::steady_clock::now() < sliceEnd) {
        if (m_scanAhead && !m_scanAhead->NextReady()) {
            break;
        }
        const std::string path = m_fileList[m_filesScanned++];
        scanned = true;
        if (m_htmlScan || m_scanAhead) {
            if (!QueueHtmlPage(path)) {
                m_scanStopped = true;
                break;
            }
            continue;
        }
        StringList urls;
        StringList anchorNames;
        int excluded = 0;
        const bool read = ReadLinks(path, urls, anchorNames, excluded);
        m_schedule->AddFile(path, read, static_cast<int>(urls.size()), excluded);
        if (!read) {
            // Nothing after a file that cannot be read is tested.
            m_scanStopped = true;
            break;
        }
        for (std::size_t i = 0; i < urls.size(); ++i) {
            m_scanScheme = SchemeOf(urls[i], m_scanScheme);
            m_schedule->AddLink(urls[i], anchorNames[i], SplitHost(urls[i], m_scanScheme),
                                m_scanScheme);
        }
        m_linksFound += static_cast<int>(urls.size());
    }
    return scanned;
}

bool CTestRun::QueueHtmlPage(const std::string& path) {
    std::optional<CHtmlPage> page = TakeHtmlPage(path);
    if (!page) {
        m_schedule->AddFile(path, false, 0);
        return false;
    }
    DropExcludedLinks(*page);
    const auto count = static_cast<int>(page->links.size());
    m_schedule->AddFile(path, true, count, m_excludedCount, page->skipped);
    for (const CHtmlLink& link : page->links) {
        if (link.kind == CLinkKind::Local) {
            m_schedule->AddLocalLink(link.url, link.anchorName, link.place,
                                     LocalResultCode(link.verdict));
            continue;
        }
        m_scanScheme = SchemeOf(link.url, m_scanScheme);
        m_schedule->AddLink(link.url, link.anchorName, SplitHost(link.url, m_scanScheme),
                            m_scanScheme, link.place);
    }
    m_linksFound += count;
    return true;
}

bool CTestRun::StartProbes() {
    bool started = false;
    while (m_schedule->InFlight() < m_descriptors->Connections()) {
        const auto next = m_schedule->NextToStart();
        if (!next) {
            break;
        }
        CLinkProbe::COwner& owner = *this;
        auto probe = std::make_unique<CLinkProbe>(owner, *m_hostCache, next->url, next->scheme);
        CLinkProbe& starting = *probe;
        if (m_followRedirects) {
            starting.FollowRedirects(m_https);
        }
        m_probes[next->url] = std::move(probe);
        starting.Start(m_timeoutMillis);
        started = true;
    }
    return started;
}

void CTestRun::OnProbeDone(CLinkProbe& probe, const CVerdict& verdict) {
    const std::string url = probe.Url();
    ReleaseProbe(url);
    if (m_schedule) {
        m_schedule->Decide(url, verdict);
    }
    PostPump();
}

// Descriptors held elsewhere ran out before the budget did: the link starts again when another
// connection has ended, or at the next tick when none is open.
void CTestRun::OnProbeWaitsForDescriptor(CLinkProbe& probe) {
    const std::string url = probe.Url();
    ReleaseProbe(url);
    if (m_schedule) {
        m_schedule->Requeue(url);
        m_descriptors->ShrinkTo(m_schedule->InFlight());
    }
}

void CTestRun::ReleaseProbe(const std::string& url) {
    if (const auto found = m_probes.find(url); found != m_probes.end()) {
        m_doneProbes.push_back(std::move(found->second));
        m_probes.erase(found);
    }
}

bool CTestRun::ReportFromHead() {
    bool reported = false;
    while (m_schedule && m_schedule->HeadReady()) {
        const CLinkSchedule::Entry entry = m_schedule->TakeFront();
        reported = true;
        if (!entry.isFile) {
            ReportVerdict(entry);
        } else if (!TakeUpQueuedFile(entry)) {
            break;
        }
    }
    return reported;
}

// As TakeUpNextFile, with the scan already done.
bool CTestRun::TakeUpQueuedFile(const CLinkSchedule::Entry& entry) {
    BeginFile();
    if (!entry.scanned) {
        ReportUnreadableFile(m_currentFile);
        StopAfterScanFailure();
        return false;
    }
    m_urlCount = entry.linkCount;
    m_excludedCount = entry.excludedCount;
    m_skipped = entry.skipped;
    OnFileRead();
    AppendLog("Testing: " + m_currentFile);
    LogSkippedLinks();
    m_fileList.pop_front();
    --m_filesScanned;
    return true;
}

// As HandleReply and FailLink report a verdict.
void CTestRun::ReportVerdict(const CLinkSchedule::Entry& entry) {
    const CVerdict& verdict = *entry.verdict;
    const bool judged =
        entry.local ? verdict.code != 0 : !verdict.fromReply || SpeaksHttp(entry.scheme);
    ReportLink(entry.url, entry.anchorName, entry.place, verdict.code, judged, verdict.movedTo);
    ++m_linksDone;
}

// The progress window counts the links done of the links found so far in the whole run, and
// shows the link the report waits for.
void CTestRun::ShowJobsProgress() {
    if (!m_progressDlg) {
        return;
    }
    if (!m_schedule->Empty() && !m_schedule->Front().isFile) {
        m_progressDlg->m_urlText = m_schedule->Front().url;
        m_progressDlg->m_anchorText = m_schedule->Front().anchorName;
    }
    m_progressDlg->m_urlIndex = std::to_string(m_linksDone);
    m_progressDlg->m_urlTotal = std::to_string(m_linksFound);
    m_progressDlg->UrlBar().SetRange(0, m_linksFound);
    m_progressDlg->UrlBar().SetPos(m_linksDone);
    m_progressDlg->UpdateData();
}
