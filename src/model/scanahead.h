#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "model/htmlscanner.h"
#include "model/localcheck.h"

// Scans the files of a run with the HTML scanner on worker threads, ahead of the run, and
// hands the pages over in file order. The run's thread waits only when the file it needs
// is still being parsed. With a fragment cache, the pages are scanned through it, with the
// options it was made with, and their local links checked.
class CHtmlScanAhead {
public:
    // nullopt in a page's place: the file could not be read.
    using CResult = std::optional<CHtmlPage>;

    // window: how many pages may wait, parsed, before the run takes them.
    CHtmlScanAhead(std::vector<std::string> files, CHtmlScanOptions options, CFragmentCache* cache,
                   unsigned threads = DefaultThreads(), std::size_t window = 32);
    ~CHtmlScanAhead();
    CHtmlScanAhead(const CHtmlScanAhead&) = delete;
    CHtmlScanAhead& operator=(const CHtmlScanAhead&) = delete;

    // The next file's page, in the order of the list, waiting for it if need be. Not to be
    // called past the list's end.
    CResult TakeNext();
    // Whether TakeNext would return at once. When it would wait, the function given to
    // NotifyWhenReady is called once the page is there, from the worker that made it so: an
    // event loop need not wait for a page, nor poll for it.
    bool NextReady();
    void NotifyWhenReady(std::function<void()> onReady);

    static unsigned DefaultThreads();

private:
    void Work();
    CResult ScanOne(const std::string& path) const;

    const std::vector<std::string> m_files;
    const CHtmlScanOptions m_options;
    CFragmentCache* const m_cache;
    const std::size_t m_window;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_nextToScan = 0;
    std::size_t m_nextToTake = 0;
    // Set under the mutex; read without it by a worker checking a page's links.
    std::atomic<bool> m_stopping = false;
    bool m_readyWanted = false;
    std::function<void()> m_onReady;
    // Ring of m_window slots: file i waits in slot i % m_window.
    std::vector<std::optional<CResult>> m_slots;
    std::vector<std::jthread> m_workers;
};
