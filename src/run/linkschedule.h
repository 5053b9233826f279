#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/htmlscanner.h"
#include "model/linkplace.h"
#include "probe/resultcodes.h"

// The outcome of one probe. A reply's code is reported only for http links (any answer passes
// an ftp link); a failure's code is reported whatever the scheme.
struct CVerdict {
    ResultCode code = 0;
    bool fromReply = false;
    // For a link that moved for good (followed redirects): its new address.
    std::string movedTo = {};

    bool operator==(const CVerdict&) const = default;
};

// The order of a run with many links in flight: files and their links wait in scan order, each
// link with an empty verdict slot; a verdict fills the slot of every waiting link with the same
// URL and is kept for the links of that URL found later, so each URL is probed once. Only the
// head of the queue is ever reported, so what the run shows never depends on which host
// answered first. Also keeps the limits: at most `jobs` probes at once, `perHost` to one host.
class CLinkSchedule {
public:
    struct Entry {
        // A file entry starts the links that follow it; scanned is false when it could not be
        // read, and then nothing follows it.
        bool isFile = false;
        std::string file;
        bool scanned = false;
        int linkCount = 0;
        // Links of the file that the run's excludes left out, and that the HTML scanner
        // skipped (other schemes).
        int excludedCount = 0;
        CSkippedLinks skipped;
        // A link entry.
        std::string url;
        std::string anchorName;
        int scheme = 0;
        std::optional<CVerdict> verdict;
        // A link inside the site, decided at scan time: reported when its code is not 0.
        bool local = false;
        // Where the HTML scanner found the link in its file.
        CLinkPlace place;
        // What the per-host limit counts it under: its host in lower case.
        std::string hostKey;
    };

    // What to probe next.
    struct Start {
        std::string url;
        int scheme = 0;
    };

    CLinkSchedule(int jobs, int perHost);

    void AddFile(const std::string& path, bool scanned, int linkCount, int excludedCount = 0,
                 CSkippedLinks skipped = {});
    // host is the name that the per-host limit counts (letter case does not matter).
    void AddLink(const std::string& url, const std::string& anchorName, const std::string& host,
                 int scheme, const CLinkPlace& place = {});
    // A link inside the site, whose code (0 when it was found) is known at once: it waits only
    // for its turn to be reported and shares nothing with links probed by URL.
    void AddLocalLink(const std::string& url, const std::string& anchorName,
                      const CLinkPlace& place, ResultCode code);

    // The earliest waiting link whose URL is neither decided nor being probed and whose host
    // is below its limit, while fewer than `jobs` probes run; it now counts as being probed.
    std::optional<Start> NextToStart();
    // Fills every slot of the URL, now and later, and frees its probe's place.
    void Decide(const std::string& url, const CVerdict& verdict);
    // A probe that could not start after all: its URL waits again in its place, ahead of the
    // links after it, and its probe's place is free.
    void Requeue(const std::string& url);

    bool Empty() const { return m_queue.empty(); }
    const Entry& Front() const { return m_queue.front(); }
    // True when the head can be reported now: a file, or a link with its verdict.
    bool HeadReady() const;
    // Removes the head and hands it over.
    Entry TakeFront();

    int InFlight() const { return static_cast<int>(m_inFlight.size()); }
    int InFlightTo(const std::string& host) const;
    // Links waiting with neither a verdict nor a probe of their URL.
    int Waiting() const { return m_waitingCount; }
    std::size_t QueuedLinks() const { return m_queuedLinks; }

private:
    // Entries are found by their place in the whole run: the queue's index plus how many
    // entries have left its front, so a place stays valid while the head is reported.
    using Place = std::size_t;
    // The links of one host that may wait for a probe, in scan order. Entries whose URL was
    // started or decided meanwhile stay until they reach the front, where they are dropped.
    struct HostLine {
        std::deque<Place> waiting;
        int inFlight = 0;
    };

    static std::string HostKey(const std::string& host);
    bool IsWaiting(const Entry& entry) const;
    Entry& At(Place place) { return m_queue[place - m_taken]; }
    bool IsWaitingAt(Place place) const;
    // Drops the front entries of the host's line that no longer wait; true when one waits.
    bool CleanFront(HostLine& line);
    // A host is ready when it has a waiting link and room below its limit; the ready hosts are
    // ordered by their earliest waiting link, so the next start is found without a scan.
    void MarkReady(const std::string& hostKey, HostLine& line);
    void StartProbe(Place place, HostLine& line);

    int m_jobs;
    int m_perHost;
    std::deque<Entry> m_queue;
    Place m_taken = 0;
    std::unordered_map<std::string, CVerdict> m_verdicts;
    // URL being probed -> its host key.
    std::unordered_map<std::string, std::string> m_inFlight;
    std::unordered_map<std::string, HostLine> m_hosts;
    std::set<std::pair<Place, std::string>> m_readyHosts;
    // Links without a verdict by URL, so that a verdict fills them without a walk of the queue.
    std::unordered_map<std::string, std::vector<Place>> m_undecided;
    // Waiting links by URL.
    std::unordered_map<std::string, int> m_waitingByUrl;
    int m_waitingCount = 0;
    std::size_t m_queuedLinks = 0;
};
