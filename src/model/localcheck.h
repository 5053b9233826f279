#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/htmlscanner.h"

// The fragments each target page offers, parsed at most once per run. Shared by the threads
// that scan ahead, so every call is safe from any thread.
class CFragmentCache {
public:
    // Whether the page at path offers the fragment; the page is read and parsed the first
    // time it is asked about, unless its own scan has already told its targets.
    bool HasTarget(const std::string& path, const std::string& fragment);
    // The targets of a page just scanned, so that links to it need not parse it again.
    void Publish(const std::string& path, std::vector<std::string> targets);

private:
    struct CEntry {
        std::once_flag once;
        std::unordered_set<std::string> targets;
    };
    std::shared_ptr<CEntry> Entry(const std::string& path);

    std::mutex m_mutex;
    std::unordered_map<std::string, std::shared_ptr<CEntry>> m_entries;
};

// Looks a local link up on the file system: the file or folder exists (a folder that holds
// index.html or index.htm stands for that page), and the fragment, when the target is a web
// page, names an element id or an a name in it.
CLocalVerdict CheckLocalLink(const CHtmlLink& link, CFragmentCache& cache);

// Tells the cache the targets of the page just scanned at path, and gives each of its local
// links its verdict.
void CheckLocalLinks(const std::string& path, CHtmlPage& page, CFragmentCache& cache);
