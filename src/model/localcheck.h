#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/htmlscanner.h"

// The fragments each target page offers, parsed at most once per run. Shared by the threads
// that scan ahead, so every call is safe from any thread.
//
// A link to a later page of the run makes that page parse early, for its targets. The parse is
// kept until the page's own turn, up to keptBytes of them, so that a site whose pages link
// ahead (a table of contents first) is parsed once and not twice.
class CFragmentCache {
public:
    static constexpr std::size_t kKeptBytes = std::size_t{64} << 20;

    // options: how the run scans its pages; runPages: the files it will scan.
    explicit CFragmentCache(CHtmlScanOptions options = {}, std::vector<std::string> runPages = {},
                            std::size_t keptBytes = kKeptBytes);

    // Whether the page at path offers the fragment; the page is read and parsed the first
    // time it is asked about, unless its own scan has already told its targets.
    bool HasTarget(const std::string& path, const std::string& fragment);
    // A page of the run, as ScanHtmlFile gives it: the parse a link to it made, or one now,
    // whose targets the cache then keeps.
    std::optional<CHtmlPage> ScanPage(const std::string& path);

    enum class CFileKind { Missing, File, Folder };
    // What the file system holds at path, asked once per run: the links of a site name the
    // same few files over and over.
    CFileKind KindOf(const std::string& path);

private:
    struct CEntry {
        std::once_flag once;
        std::unordered_set<std::string> targets;
        std::optional<CHtmlPage> early;
    };
    std::shared_ptr<CEntry> Entry(const std::string& path);
    void Keep(const std::string& path, CEntry& entry, CHtmlPage page);
    std::optional<CHtmlPage> TakeEarly(CEntry& entry);

    const CHtmlScanOptions m_options;
    const std::unordered_set<std::string> m_runPages;
    const std::size_t m_keptLimit;

    std::mutex m_mutex;
    std::unordered_map<std::string, std::shared_ptr<CEntry>> m_entries;
    std::size_t m_keptBytes = 0;

    std::mutex m_kindsMutex;
    std::unordered_map<std::string, CFileKind> m_kinds;
};

// Looks a local link up on the file system: the file or folder exists (a folder that holds
// index.html or index.htm stands for that page), and the fragment, when the target is a web
// page, names an element id or an a name in it.
CLocalVerdict CheckLocalLink(const CHtmlLink& link, CFragmentCache& cache);

// Gives each local link of a page its verdict. A link's target may have to be parsed first, so
// a page's links can take as long as the site; with stop, they end as soon as it turns true,
// the page's verdicts then unfinished.
void CheckLocalLinks(CHtmlPage& page, CFragmentCache& cache,
                     const std::atomic<bool>* stop = nullptr);
