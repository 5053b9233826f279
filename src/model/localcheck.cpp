#include "localcheck.h"

#include <sys/stat.h>

#include "model/fileselect.h"

namespace {

enum class CFileKind { Missing, File, Folder };

CFileKind KindOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return CFileKind::Missing;
    }
    return S_ISDIR(info.st_mode) ? CFileKind::Folder : CFileKind::File;
}

// The page a folder link shows: its index page when it has one, else none (empty).
std::string IndexPageOf(const std::string& folder) {
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const char* name : {"index.html", "index.htm"}) {
        if (KindOf(prefix + name) == CFileKind::File) {
            return prefix + name;
        }
    }
    return {};
}

// Judged by the file's own name, not by the folders it lies in.
bool IsWebPage(const std::string& path) {
    return HasWebPageExtension(path.substr(path.rfind('/') + 1));
}

bool IsAsciiCaseEqual(const std::string& text, const char* lower) {
    std::size_t i = 0;
    for (; i < text.size() && lower[i] != '\0'; ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
        if (c != lower[i]) {
            return false;
        }
    }
    return i == text.size() && lower[i] == '\0';
}

// An empty fragment and "top" lead to the top of any page, as browsers take them.
bool IsTopOfPage(const std::string& fragment) {
    return fragment.empty() || IsAsciiCaseEqual(fragment, "top");
}

}  // namespace

std::shared_ptr<CFragmentCache::CEntry> CFragmentCache::Entry(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    std::shared_ptr<CEntry>& entry = m_entries[path];
    if (!entry) {
        entry = std::make_shared<CEntry>();
    }
    return entry;
}

bool CFragmentCache::HasTarget(const std::string& path, const std::string& fragment) {
    const std::shared_ptr<CEntry> entry = Entry(path);
    std::call_once(entry->once, [&] {
        if (const std::optional<CHtmlPage> page = ScanHtmlFile(path, CHtmlScanOptions{})) {
            entry->targets.insert(page->targets.begin(), page->targets.end());
        }
    });
    return entry->targets.contains(fragment);
}

void CFragmentCache::Publish(const std::string& path, std::vector<std::string> targets) {
    const std::shared_ptr<CEntry> entry = Entry(path);
    std::call_once(entry->once, [&] {
        entry->targets.insert(std::make_move_iterator(targets.begin()),
                              std::make_move_iterator(targets.end()));
    });
}

CLocalVerdict CheckLocalLink(const CHtmlLink& link, CFragmentCache& cache) {
    std::string page = link.path;
    switch (KindOf(link.path)) {
        case CFileKind::Missing:
            return CLocalVerdict::FileMissing;
        case CFileKind::Folder:
            page = IndexPageOf(link.path);
            break;
        case CFileKind::File:
            break;
    }
    // A fragment of a folder listing, a picture or a PDF is the viewer's business.
    if (IsTopOfPage(link.fragment) || page.empty() || !IsWebPage(page)) {
        return CLocalVerdict::Found;
    }
    return cache.HasTarget(page, link.fragment) ? CLocalVerdict::Found
                                                : CLocalVerdict::FragmentMissing;
}

void CheckLocalLinks(const std::string& path, CHtmlPage& page, CFragmentCache& cache) {
    cache.Publish(path, page.targets);
    for (CHtmlLink& link : page.links) {
        if (link.kind == CLinkKind::Local) {
            link.verdict = CheckLocalLink(link, cache);
        }
    }
}
