#include "linkscanner.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/textfile.h"
#include "platform/unixfile.h"

namespace {

// fgets with a 1000-byte buffer returns at most this many characters.
constexpr std::size_t kChunkSize = 999;
constexpr std::size_t kReadBlock = 1 << 20;

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsWhiteSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsWhiteSpace(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

bool IsAnchorOpening(char first, char second) {
    return first == '<' && (second == 'A' || second == 'a');
}

bool EqualsUpper(std::string_view text, std::string_view upper) {
    return std::equal(text.begin(), text.end(), upper.begin(), upper.end(), [](char c, char u) {
        return (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == u;
    });
}

// Where "<SCHEME>://" first occurs without regard to case. Every occurrence ends in "://",
// so it is enough to try each "://" in turn and look at the letters before it.
std::size_t FindSchemeMark(std::string_view chunk, std::string_view scheme) {
    for (std::size_t mark = chunk.find("://"); mark != std::string_view::npos;
         mark = chunk.find("://", mark + 1)) {
        if (mark >= scheme.size() && EqualsUpper(chunk.substr(mark - scheme.size(), scheme.size()),
                                                 scheme)) {
            return mark - scheme.size();
        }
    }
    return std::string_view::npos;
}

std::size_t FindAnchorEnd(std::string_view chunk, std::size_t from) {
    for (std::string_view end : {"</A", "</a", "<"}) {
        if (const std::size_t at = chunk.find(end, from); at != std::string_view::npos) {
            return at;
        }
    }
    return std::string_view::npos;
}

std::string AnchorName(std::string_view text) {
    if (text.empty()) {
        return kSuppliedAnchorName;
    }
    std::string name(text);
    std::replace(name.begin(), name.end(), '\t', ' ');
    return std::string(TrimLeft(TrimRight(name)));
}

}  // namespace

bool ExtractLink(std::string_view chunk, std::string& url, std::string& anchorName) {
    std::size_t start = FindSchemeMark(chunk, "HTTP");
    if (start == std::string_view::npos) {
        start = FindSchemeMark(chunk, "FTP");
    }
    if (start == std::string_view::npos || start == 0) {
        return false;
    }
    const std::size_t quote = chunk.find('"', start);
    if (quote == std::string_view::npos) {
        return false;
    }
    const std::size_t close = chunk.find('>', quote);
    if (close == std::string_view::npos) {
        return false;
    }
    const std::size_t end = FindAnchorEnd(chunk, close);
    if (end == std::string_view::npos) {
        return false;
    }
    url = std::string(TrimRight(chunk.substr(start, quote - start)));
    anchorName = AnchorName(chunk.substr(close + 1, end - close - 1));
    return true;
}

CLinkScanner::CLinkScanner(StringList& urls, StringList& anchorNames, std::FILE* workFile)
    : m_urls(urls), m_anchorNames(anchorNames), m_workFile(workFile) {
    m_chunk.reserve(kChunkSize);
}

void CLinkScanner::Feed(const char* data, std::size_t size) {
    m_filtered.resize(size);
    char* kept = m_filtered.data();
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        *kept = c;
        kept += (c != '\r' && c != '\n');
    }
    FeedWithoutLineBreaks(m_filtered.data(), static_cast<std::size_t>(kept - m_filtered.data()));
}

// The window is (data[i], data[i + 1]). Only a "<" can open a segment, so the text up to the
// next "<" is copied (or skipped) in one go. A window that straddles two calls keeps its first
// character in m_windowFirst.
void CLinkScanner::FeedWithoutLineBreaks(const char* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    std::size_t i = 0;
    if (m_haveWindowFirst) {
        m_haveWindowFirst = false;
        if (IsAnchorOpening(m_windowFirst, data[0])) {
            StartSegment();
            i = 1;
        } else if (m_copying) {
            CopySegmentText(&m_windowFirst, 1);
        }
    }
    while (i + 1 < size) {
        const void* found = std::memchr(data + i, '<', size - 1 - i);
        const std::size_t next =
            found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - data)
                             : size - 1;
        if (m_copying) {
            CopySegmentText(data + i, next - i);
        }
        i = next;
        if (found == nullptr) {
            break;
        }
        if (IsAnchorOpening(data[i], data[i + 1])) {
            StartSegment();
            i += 2;
        } else {
            if (m_copying) {
                CopySegmentText(data + i, 1);
            }
            ++i;
        }
    }
    if (i + 1 == size) {
        m_haveWindowFirst = true;
        m_windowFirst = data[i];
    }
}

void CLinkScanner::CopySegmentText(const char* data, std::size_t size) {
    if (m_workFile != nullptr) {
        std::fwrite(data, 1, size, m_workFile);
    }
    while (size > 0) {
        const std::size_t take = std::min(size, kChunkSize - m_chunk.size());
        m_chunk.append(data, take);
        data += take;
        size -= take;
        if (m_chunk.size() == kChunkSize) {
            TakeChunk();
        }
    }
}

void CLinkScanner::StartSegment() {
    m_copying = true;
    if (m_workFile != nullptr) {
        std::fwrite("\r\n", 1, 2, m_workFile);
    }
    // Read back in text mode, the CR LF is the one character "\n" that ends the line; a full
    // chunk was already taken, so there is always room for it.
    m_chunk += '\n';
    TakeChunk();
}

void CLinkScanner::TakeChunk() {
    std::string url;
    std::string anchorName;
    if (ExtractLink(m_chunk, url, anchorName)) {
        m_urls.push_back(std::move(url));
        m_anchorNames.push_back(std::move(anchorName));
    }
    m_chunk.clear();
}

void CLinkScanner::Finish() {
    m_haveWindowFirst = false;
    if (!m_chunk.empty()) {
        TakeChunk();
    }
}

ScanResult ScanLinks(const std::string& path, const std::string& workFile, StringList& urls,
                     StringList& anchorNames) {
    // O_NONBLOCK keeps a FIFO from hanging the open; only regular files are read at all.
    platform::CUnixFile input(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!input || ::fstat(input.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return ScanResult::InputUnreadable;
    }
    // The stream's buffer is declared first so that it outlives the stream's final flush.
    std::vector<char> workBuffer(kReadBlock);
    const platform::CFilePtr work = platform::CreateRegularFile(workFile);
    if (!work) {
        return ScanResult::WorkFileUnwritable;
    }
    std::setvbuf(work.get(), workBuffer.data(), _IOFBF, workBuffer.size());

    CLinkScanner scanner(urls, anchorNames, work.get());
    std::vector<char> block(kReadBlock);
    for (;;) {
        const ssize_t got = ::read(input.Get(), block.data(), block.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        scanner.Feed(block.data(), static_cast<std::size_t>(got));
    }
    scanner.Finish();
    return ScanResult::Scanned;
}
