#include "scanahead.h"

#include <algorithm>

CHtmlScanAhead::CHtmlScanAhead(std::vector<std::string> files, CHtmlScanOptions options,
                               CFragmentCache* cache, unsigned threads, std::size_t window)
    : m_files(std::move(files)),
      m_options(std::move(options)),
      m_cache(cache),
      m_window(std::max<std::size_t>(window, 1)),
      m_slots(m_window) {
    const std::size_t count = std::min<std::size_t>(std::max(threads, 1U), m_files.size());
    for (std::size_t i = 0; i < count; ++i) {
        m_workers.emplace_back([this] { Work(); });
    }
}

CHtmlScanAhead::~CHtmlScanAhead() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_workers.clear();
}

unsigned CHtmlScanAhead::DefaultThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1U, 8U);
}

void CHtmlScanAhead::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] {
            return m_stopping || m_nextToScan >= m_files.size() ||
                   m_nextToScan < m_nextToTake + m_window;
        });
        if (m_stopping || m_nextToScan >= m_files.size()) {
            return;
        }
        const std::size_t index = m_nextToScan++;
        lock.unlock();
        CResult result = ScanOne(m_files[index]);
        lock.lock();
        m_slots[index % m_window] = std::move(result);
        m_changed.notify_all();
        if (m_readyWanted && index == m_nextToTake) {
            m_readyWanted = false;
            const std::function<void()> onReady = m_onReady;
            lock.unlock();
            if (onReady) {
                onReady();
            }
            lock.lock();
        }
    }
}

bool CHtmlScanAhead::NextReady() {
    const std::lock_guard lock(m_mutex);
    const bool ready = m_slots[m_nextToTake % m_window].has_value();
    m_readyWanted = !ready;
    return ready;
}

void CHtmlScanAhead::NotifyWhenReady(std::function<void()> onReady) {
    const std::lock_guard lock(m_mutex);
    m_onReady = std::move(onReady);
}

CHtmlScanAhead::CResult CHtmlScanAhead::ScanOne(const std::string& path) const {
    if (m_cache == nullptr) {
        return ScanHtmlFile(path, m_options);
    }
    CResult page = m_cache->ScanPage(path);
    if (page) {
        CheckLocalLinks(*page, *m_cache, &m_stopping);
    }
    return page;
}

CHtmlScanAhead::CResult CHtmlScanAhead::TakeNext() {
    std::unique_lock lock(m_mutex);
    std::optional<CResult>& slot = m_slots[m_nextToTake % m_window];
    m_changed.wait(lock, [&] { return slot.has_value(); });
    CResult result = std::move(*slot);
    slot.reset();
    ++m_nextToTake;
    m_changed.notify_all();
    return result;
}
