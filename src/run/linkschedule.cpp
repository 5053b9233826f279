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
    const Place at = m_taken + m_queue.size();
    if (const auto known = m_verdicts.find(url); known != m_verdicts.end()) {
        entry.verdict = known->second;
    } else {
        m_undecided[url].push_back(at);
        if (m_inFlight.count(url) == 0) {
            ++m_waitingCount;
            ++m_waitingByUrl[url];
            HostLine& line = m_hosts[entry.hostKey];
            line.waiting.push_back(at);
            MarkReady(entry.hostKey, line);
        }
    }
    m_queue.push_back(std::move(entry));
    ++m_queuedLinks;
}

bool CLinkSchedule::IsWaiting(const Entry& entry) const {
    return !entry.isFile && !entry.verdict && m_inFlight.count(entry.url) == 0;
}

bool CLinkSchedule::IsWaitingAt(Place place) const {
    return place >= m_taken && IsWaiting(m_queue[place - m_taken]);
}

int CLinkSchedule::InFlightTo(const std::string& host) const {
    const auto found = m_hosts.find(HostKey(host));
    return found != m_hosts.end() ? found->second.inFlight : 0;
}

bool CLinkSchedule::CleanFront(HostLine& line) {
    while (!line.waiting.empty() && !IsWaitingAt(line.waiting.front())) {
        line.waiting.pop_front();
    }
    return !line.waiting.empty();
}

// A ready host is keyed by the front of its line, and only starting a link changes that front,
// so marking a host that is already ready changes nothing.
void CLinkSchedule::MarkReady(const std::string& hostKey, HostLine& line) {
    if (!line.waiting.empty() && line.inFlight < m_perHost) {
        m_readyHosts.emplace(line.waiting.front(), hostKey);
    }
}

std::optional<CLinkSchedule::Start> CLinkSchedule::NextToStart() {
    if (InFlight() >= m_jobs) {
        return std::nullopt;
    }
    while (!m_readyHosts.empty()) {
        const auto [place, hostKey] = *m_readyHosts.begin();
        m_readyHosts.erase(m_readyHosts.begin());
        HostLine& line = m_hosts[hostKey];
        if (!CleanFront(line)) {
            continue;
        }
        // The front went stale: the host is filed again under its earliest link still waiting,
        // which another host's link may precede.
        if (line.waiting.front() != place) {
            MarkReady(hostKey, line);
            continue;
        }
        line.waiting.pop_front();
        StartProbe(place, line);
        MarkReady(hostKey, line);
        const Entry& entry = At(place);
        return Start{entry.url, entry.scheme};
    }
    return std::nullopt;
}

void CLinkSchedule::StartProbe(Place place, HostLine& line) {
    const Entry& entry = At(place);
    ++line.inFlight;
    m_inFlight[entry.url] = entry.hostKey;
    if (const auto waiting = m_waitingByUrl.find(entry.url); waiting != m_waitingByUrl.end()) {
        m_waitingCount -= waiting->second;
        m_waitingByUrl.erase(waiting);
    }
}

void CLinkSchedule::Decide(const std::string& url, const CVerdict& verdict) {
    m_verdicts[url] = verdict;
    if (const auto probing = m_inFlight.find(url); probing != m_inFlight.end()) {
        const std::string hostKey = probing->second;
        m_inFlight.erase(probing);
        HostLine& line = m_hosts[hostKey];
        --line.inFlight;
        MarkReady(hostKey, line);
    }
    if (const auto waiting = m_waitingByUrl.find(url); waiting != m_waitingByUrl.end()) {
        m_waitingCount -= waiting->second;
        m_waitingByUrl.erase(waiting);
    }
    if (const auto open = m_undecided.find(url); open != m_undecided.end()) {
        for (const Place place : open->second) {
            if (place >= m_taken) {
                At(place).verdict = verdict;
            }
        }
        m_undecided.erase(open);
    }
}

void CLinkSchedule::Requeue(const std::string& url) {
    const auto probing = m_inFlight.find(url);
    const auto open = m_undecided.find(url);
    if (probing == m_inFlight.end() || open == m_undecided.end()) {
        return;
    }
    const std::string hostKey = probing->second;
    m_inFlight.erase(probing);
    const auto count = static_cast<int>(open->second.size());
    m_waitingByUrl[url] = count;
    m_waitingCount += count;
    // The URL started from its earliest link, the front of its host's line then; every link
    // still in the line came later, so the line stays in scan order.
    HostLine& line = m_hosts[hostKey];
    --line.inFlight;
    if (!line.waiting.empty()) {
        m_readyHosts.erase({line.waiting.front(), hostKey});
    }
    line.waiting.push_front(open->second.front());
    MarkReady(hostKey, line);
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
    ++m_taken;
    return front;
}
