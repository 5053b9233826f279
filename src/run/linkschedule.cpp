#include "linkschedule.h"

#include <algorithm>

#include "platform/asciitext.h"

CLinkSchedule::CLinkSchedule(int jobs, int perHost)
    : m_jobs(std::max(1, jobs)), m_perHost(std::max(1, perHost)) {}

std::string CLinkSchedule::HostKey(const std::string& host) {
    return platform::AsciiLower(host);
}

void CLinkSchedule::AddFile(const std::string& path, bool scanned, int linkCount, int excludedCount,
                            CSkippedLinks skipped) {
    Entry entry;
    entry.isFile = true;
    entry.file = path;
    entry.scanned = scanned;
    entry.linkCount = linkCount;
    entry.excludedCount = excludedCount;
    entry.skipped = skipped;
    m_queue.push_back(std::move(entry));
}

void CLinkSchedule::AddLocalLink(const std::string& url, const std::string& anchorName,
                                 const CLinkPlace& place, ResultCode code) {
    Entry entry;
    entry.url = url;
    entry.anchorName = anchorName;
    entry.place = place;
    entry.local = true;
    entry.verdict = CVerdict{code, false};
    m_queue.push_back(std::move(entry));
    ++m_queuedLinks;
}

void CLinkSchedule::AddLink(const std::string& url, const std::string& anchorName,
                            const std::string& host, int scheme, const CLinkPlace& place) {
    Entry entry;
    entry.url = url;
    entry.anchorName = anchorName;
    entry.scheme = scheme;
    entry.place = place;
    entry.hostKey = HostKey(host);
    if (const auto known = m_verdicts.find(url); known != m_verdicts.end()) {
        entry.verdict = known->second;
    } else if (m_inFlight.count(url) == 0) {
        ++m_waitingCount;
        ++m_waitingByUrl[url];
    }
    m_queue.push_back(std::move(entry));
    ++m_queuedLinks;
}

bool CLinkSchedule::IsWaiting(const Entry& entry) const {
    return !entry.isFile && !entry.verdict && m_inFlight.count(entry.url) == 0;
}

int CLinkSchedule::InFlightTo(const std::string& host) const {
    const auto found = m_perHostCount.find(HostKey(host));
    return found != m_perHostCount.end() ? found->second : 0;
}

std::optional<CLinkSchedule::Start> CLinkSchedule::NextToStart() {
    if (InFlight() >= m_jobs) {
        return std::nullopt;
    }
    while (m_firstWaiting < m_queue.size() && !IsWaiting(m_queue[m_firstWaiting])) {
        ++m_firstWaiting;
    }
    for (std::size_t i = m_firstWaiting; i < m_queue.size(); ++i) {
        const Entry& entry = m_queue[i];
        if (!IsWaiting(entry)) {
            continue;
        }
        int& toHost = m_perHostCount[entry.hostKey];
        if (toHost >= m_perHost) {
            continue;
        }
        ++toHost;
        m_inFlight[entry.url] = entry.hostKey;
        if (const auto waiting = m_waitingByUrl.find(entry.url); waiting != m_waitingByUrl.end()) {
            m_waitingCount -= waiting->second;
            m_waitingByUrl.erase(waiting);
        }
        return Start{entry.url, entry.scheme};
    }
    return std::nullopt;
}

void CLinkSchedule::Decide(const std::string& url, const CVerdict& verdict) {
    m_verdicts[url] = verdict;
    if (const auto probing = m_inFlight.find(url); probing != m_inFlight.end()) {
        if (--m_perHostCount[probing->second] == 0) {
            m_perHostCount.erase(probing->second);
        }
        m_inFlight.erase(probing);
    }
    if (const auto waiting = m_waitingByUrl.find(url); waiting != m_waitingByUrl.end()) {
        m_waitingCount -= waiting->second;
        m_waitingByUrl.erase(waiting);
    }
    for (Entry& entry : m_queue) {
        if (!entry.isFile && !entry.verdict && entry.url == url) {
            entry.verdict = verdict;
        }
    }
}

bool CLinkSchedule::HeadReady() const {
    return !m_queue.empty() && (m_queue.front().isFile || m_queue.front().verdict.has_value());
}

CLinkSchedule::Entry CLinkSchedule::TakeFront() {
    Entry front = std::move(m_queue.front());
    if (!front.isFile) {
        --m_queuedLinks;
    }
    m_queue.pop_front();
    if (m_firstWaiting > 0) {
        --m_firstWaiting;
    }
    return front;
}
