#include "localcheck.h"

#include <sys/stat.h>

#include <utility>

#include "model/fileselect.h"
#include "platform/asciitext.h"

namespace {

using CFileKind = CFragmentCache::CFileKind;

CFileKind StatKind(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return CFileKind::Missing;
    }
    return S_ISDIR(info.st_mode) ? CFileKind::Folder : CFileKind::File;
}

// The page a folder link shows: its index page when it has one, else none (empty).
std::string IndexPageOf(const std::string& folder, CFragmentCache& cache) {
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const char* name : {"index.html", "index.htm"}) {
        if (cache.KindOf(prefix + name) == CFileKind::File) {
            return prefix + name;
        }
    }
    return {};
}

// Judged by the file's own name, not by the folders it lies in.
bool IsWebPage(const std::string& path) {
    return HasWebPageExtension(path.substr(path.rfind('/') + 1));
}

// An empty fragment and "top" lead to the top of any page, as browsers take them.
bool IsTopOfPage(const std::string& fragment) {
    return fragment.empty() || platform::EqualsAsciiCaseless(fragment, "top");
}

// What a kept page holds on the heap, near enough to bound them all.
std::size_t ApproximateBytes(const CHtmlPage& page) {
    std::size_t bytes = page.links.capacity() * sizeof(CHtmlLink);
    for (const CHtmlLink& link : page.links) {
        bytes += link.url.capacity() + link.anchorName.capacity() + link.place.written.capacity() +
                 link.place.startTagText.capacity() + link.place.endTagText.capacity() +
                 link.path.capacity() + link.fragment.capacity() + link.fragmentInUrl.capacity();
    }
    for (const std::string& target : page.targets) {
        bytes += sizeof(std::string) + target.capacity();
    }
    return bytes;
}

}  // namespace

CFragmentCache::CFragmentCache(CHtmlScanOptions options, std::vector<std::string> runPages,
                               std::size_t keptBytes)
    : m_options(std::move(options)),
      m_runPages(std::make_move_iterator(runPages.begin()),
                 std::make_move_iterator(runPages.end())),
      m_keptLimit(keptBytes) {}

std::shared_ptr<CFragmentCache::CEntry> CFragmentCache::Entry(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    std::shared_ptr<CEntry>& entry = m_entries[path];
    if (!entry) {
        entry = std::make_shared<CEntry>();
    }
    return entry;
}

void CFragmentCache::Keep(const std::string& path, CEntry& entry, CHtmlPage page) {
    if (!m_runPages.contains(path)) {
        return;
    }
    const std::size_t bytes = ApproximateBytes(page);
    const std::lock_guard lock(m_mutex);
    if (m_keptBytes + bytes <= m_keptLimit) {
        m_keptBytes += bytes;
        entry.early = std::move(page);
    }
}

std::optional<CHtmlPage> CFragmentCache::TakeEarly(CEntry& entry) {
    const std::lock_guard lock(m_mutex);
    std::optional<CHtmlPage> page = std::exchange(entry.early, std::nullopt);
    if (page) {
        m_keptBytes -= ApproximateBytes(*page);
    }
    return page;
}

bool CFragmentCache::HasTarget(const std::string& path, const std::string& fragment) {
    const std::shared_ptr<CEntry> entry = Entry(path);
    std::call_once(entry->once, [&] {
        if (std::optional<CHtmlPage> page = ScanHtmlFile(path, m_options)) {
            entry->targets.insert(page->targets.begin(), page->targets.end());
            Keep(path, *entry, std::move(*page));
        }
    });
    return entry->targets.contains(fragment);
}

std::optional<CHtmlPage> CFragmentCache::ScanPage(const std::string& path) {
    const std::shared_ptr<CEntry> entry = Entry(path);
    std::optional<CHtmlPage> page;
    bool parsed = false;
    std::call_once(entry->once, [&] {
        page = ScanHtmlFile(path, m_options);
        parsed = true;
        if (page) {
            entry->targets.insert(page->targets.begin(), page->targets.end());
        }
    });
    if (parsed) {
        return page;
    }
    page = TakeEarly(*entry);
    // Not kept (over the limit, or unreadable then): parsed again.
    return page ? std::move(page) : ScanHtmlFile(path, m_options);
}

CFileKind CFragmentCache::KindOf(const std::string& path) {
    {
        const std::lock_guard lock(m_kindsMutex);
        if (const auto known = m_kinds.find(path); known != m_kinds.end()) {
            return known->second;
        }
    }
    const CFileKind kind = StatKind(path);
    const std::lock_guard lock(m_kindsMutex);
    m_kinds.emplace(path, kind);
    return kind;
}

CLocalVerdict CheckLocalLink(const CHtmlLink& link, CFragmentCache& cache) {
    if (link.path.empty()) {
        return CLocalVerdict::FileMissing;
    }
    std::string page = link.path;
    switch (cache.KindOf(link.path)) {
        case CFileKind::Missing:
            return CLocalVerdict::FileMissing;
        case CFileKind::Folder:
            page = IndexPageOf(link.path, cache);
            break;
        case CFileKind::File:
            break;
    }
    // A fragment of a folder listing, a picture or a PDF is the viewer's business.
    if (IsTopOfPage(link.fragment) || page.empty() || !IsWebPage(page)) {
        return CLocalVerdict::Found;
    }
    // A browser tries the fragment as the URL holds it first: "#a%20b" finds id="a%20b".
    return cache.HasTarget(page, link.fragmentInUrl) || cache.HasTarget(page, link.fragment)
               ? CLocalVerdict::Found
               : CLocalVerdict::FragmentMissing;
}

void CheckLocalLinks(CHtmlPage& page, CFragmentCache& cache, const std::atomic<bool>* stop) {
    for (CHtmlLink& link : page.links) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return;
        }
        if (link.kind == CLinkKind::Local) {
            link.verdict = CheckLocalLink(link, cache);
        }
    }
}
