#include "linkscanner.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/textfile.h"
#include "platform/unixfile.h"

namespace {

// fgets with a 1000-byte buffer returns at most this many characters.
constexpr std::size_t kChunkSize = 999;
constexpr std::size_t kReadBlock = 1 << 20;

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// 'A' and 'a' differ only in the case bit, and no other byte maps to 'a' when it is set.
bool IsLetterA(char c) {
    return (c | 0x20) == 'a';
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

#if defined(__SSE2__)
// Marks the CRs, LFs and "<A"/"<a" pairs among the 16 bytes at at, which must be followed by
// a 17th: each byte is compared together with the byte after it.
int StopMask(const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    const __m128i opening =
        _mm_and_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')),
                      _mm_cmpeq_epi8(_mm_or_si128(next, _mm_set1_epi8(0x20)), _mm_set1_epi8('a')));
    const __m128i lineBreak = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                                           _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
    return _mm_movemask_epi8(_mm_or_si128(opening, lineBreak));
}
#endif

// The first CR, LF or "<A"/"<a" in [at, end). A "<" in the last byte is no stop: what pairs
// with it is in the next block, or beyond a line break.
const char* FindStop(const char* at, const char* end) {
#if defined(__SSE2__)
    // Runs are often hundreds of bytes long: 32 bytes per test halves the branches.
    for (; end - at >= 33; at += 32) {
        const unsigned mask =
            static_cast<unsigned>(StopMask(at)) | static_cast<unsigned>(StopMask(at + 16)) << 16;
        if (mask != 0) {
            return at + __builtin_ctz(mask);
        }
    }
    if (end - at >= 17) {
        if (const int mask = StopMask(at); mask != 0) {
            return at + __builtin_ctz(static_cast<unsigned>(mask));
        }
        at += 16;
    }
#endif
    for (; at != end; ++at) {
        if (IsLineBreak(*at) || (*at == '<' && at + 1 != end && IsLetterA(at[1]))) {
            return at;
        }
    }
    return end;
}

// Where pattern first occurs in text at or after from. Chunks are searched end to end for
// "</A" and "://", so this compares 16 places at once.
template <std::size_t N>
std::size_t Find(std::string_view text, std::size_t from, const char (&pattern)[N]) {
    constexpr std::size_t kLength = N - 1;
#if defined(__SSE2__)
    for (; from + 15 + kLength <= text.size(); from += 16) {
        const char* const at = text.data() + from;
        __m128i found = _mm_set1_epi8(-1);
        for (std::size_t i = 0; i < kLength; ++i) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
            found = _mm_and_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(pattern[i])));
        }
        if (const int mask = _mm_movemask_epi8(found); mask != 0) {
            return from + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
    }
#endif
    return text.find(std::string_view(pattern, kLength), from);
}

bool EqualsUpper(std::string_view text, std::string_view upper) {
    return std::equal(text.begin(), text.end(), upper.begin(), upper.end(), [](char c, char u) {
        return (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == u;
    });
}

bool HasSchemeBefore(std::string_view chunk, std::size_t mark, std::string_view scheme) {
    return mark >= scheme.size() &&
           EqualsUpper(chunk.substr(mark - scheme.size(), scheme.size()), scheme);
}

// Where the first "HTTP://" (with https, the first "HTTP://" or "HTTPS://") starts without
// regard to case, else the first "FTP://". All end in "://", so one walk over the "://" marks
// finds any of them, the earliest first.
std::size_t FindLinkStart(std::string_view chunk, bool https) {
    std::size_t ftp = std::string_view::npos;
    for (std::size_t mark = Find(chunk, 0, "://"); mark != std::string_view::npos;
         mark = Find(chunk, mark + 1, "://")) {
        if (HasSchemeBefore(chunk, mark, "HTTP")) {
            return mark - 4;
        }
        if (https && HasSchemeBefore(chunk, mark, "HTTPS")) {
            return mark - 5;
        }
        if (ftp == std::string_view::npos && HasSchemeBefore(chunk, mark, "FTP")) {
            ftp = mark - 3;
        }
    }
    return ftp;
}

// The first "</A", else the first "</a", else the first "<".
std::size_t FindAnchorEnd(std::string_view chunk, std::size_t from) {
    const std::size_t firstLess = chunk.find('<', from);
    if (firstLess == std::string_view::npos) {
        return firstLess;
    }
    if (const std::size_t upper = Find(chunk, firstLess, "</A"); upper != std::string_view::npos) {
        return upper;
    }
    const std::size_t lower = Find(chunk, firstLess, "</a");
    return lower != std::string_view::npos ? lower : firstLess;
}

// Trimming first is the same as trimming after the tabs became spaces: both are white space.
// The tabs are replaced on the way into the name rather than by reading back what was just
// copied.
std::string AnchorName(std::string_view text) {
    if (text.empty()) {
        return kSuppliedAnchorName;
    }
    const std::string_view trimmed = TrimLeft(TrimRight(text));
    std::string name(trimmed.size(), ' ');
    std::transform(trimmed.begin(), trimmed.end(), name.begin(),
                   [](char c) { return c == '\t' ? ' ' : c; });
    return name;
}

}  // namespace

std::size_t LinkLength(std::string_view text) {
    return TrimRight(text.substr(0, text.find('"'))).size();
}

bool ExtractLink(std::string_view chunk, std::string& url, std::string& anchorName,
                 CScanOptions options) {
    const std::size_t start = FindLinkStart(chunk, options.https);
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
    url.assign(chunk.substr(start, LinkLength(chunk.substr(start))));
    anchorName = AnchorName(chunk.substr(close + 1, end - close - 1));
    return true;
}

CLinkScanner::CLinkScanner(StringList& urls, StringList& anchorNames, std::FILE* workFile,
                           std::size_t workBlock, CScanOptions options)
    : m_urls(urls),
      m_anchorNames(anchorNames),
      m_workFile(workFile),
      m_options(options),
      m_workCapacity(std::max<std::size_t>(workBlock, 2)),
      m_work(std::make_unique_for_overwrite<char[]>(m_workCapacity)) {
    m_chunk.reserve(kChunkSize);
}

// Pass 1 walks the raw bytes. Each step is at a line break, which is skipped; at the "A" of a
// pair whose "<" came before line breaks or in the previous call (m_held); at a "<A" wholly in
// this block; or at a run of text, which goes up to the next of these.
void CLinkScanner::Feed(const char* data, std::size_t size) {
    const char* at = data;
    const char* const end = data + size;
    while (at != end) {
        if (IsLineBreak(*at)) {
            ++at;
        } else if (m_held == Held::Less && IsLetterA(*at)) {
            // The "<" was copied as text when it came; it opens a segment after all.
            if (m_copying) {
                --m_workSize;
            }
            StartSegment();
            ++at;
        } else if (*at == '<' && at + 1 != end && IsLetterA(at[1])) {
            StartSegment();
            at += 2;
        } else {
            at = TakeRun(at, FindStop(at + 1, end));
        }
    }
}

// Each character is copied as soon as it comes and withdrawn if it turns out to be a pair's
// "<" or the file's last character: the block is written out only when more bytes must go
// in, so the withdrawn byte is still there.
const char* CLinkScanner::TakeRun(const char* begin, const char* end) {
    if (m_copying) {
        AppendText(begin, static_cast<std::size_t>(end - begin));
    }
    m_held = end[-1] == '<' ? Held::Less : Held::Character;
    return end;
}

void CLinkScanner::AppendText(const char* data, std::size_t size) {
    for (;;) {
        const std::size_t take = std::min(size, m_workCapacity - m_workSize);
        std::memcpy(m_work.get() + m_workSize, data, take);
        m_workSize += take;
        if (take == size) {
            return;
        }
        data += take;
        size -= take;
        WriteWork();
    }
}

void CLinkScanner::StartSegment() {
    EndLine();
    m_copying = true;
    m_held = Held::Nothing;
    // The CR LF goes in whole, so that the line after it starts in this block.
    if (m_workCapacity - m_workSize < 2) {
        WriteWork();
    }
    m_work[m_workSize++] = '\r';
    m_work[m_workSize++] = '\n';
    m_lineStart = m_workSize;
}

// The line goes on in the next block; its unfinished chunk is carried over in m_chunk.
void CLinkScanner::WriteWork() {
    const char* const end = m_work.get() + m_workSize;
    m_chunk.append(TakeWholeChunks(m_work.get() + m_lineStart, end), end);
    if (m_workFile != nullptr) {
        std::fwrite(m_work.get(), 1, m_workSize, m_workFile);
    }
    m_workSize = 0;
    m_lineStart = 0;
}

void CLinkScanner::Finish() {
    // The window's last character never moved out of it.
    if (m_held != Held::Nothing && m_copying) {
        --m_workSize;
    }
    m_held = Held::Nothing;
    EndLine();
    WriteWork();
}

// Pass 2 reads each line of the work text as its CR LF is written, or as the file ends.
// The line's last chunk is examined without the "\n" it would end in when read back:
// ExtractLink looks only for "://", '"', '>' and '<', and a last character that is none of
// them changes nothing it finds. A line that ends with a full chunk leaves "\n" alone, which
// yields nothing.
void CLinkScanner::EndLine() {
    const char* const end = m_work.get() + m_workSize;
    const char* const rest = TakeWholeChunks(m_work.get() + m_lineStart, end);
    // rest is empty when the last chunk began in an earlier block.
    Examine(m_chunk.empty() ? std::string_view(rest, static_cast<std::size_t>(end - rest))
                            : std::string_view(m_chunk));
    m_chunk.clear();
    m_lineStart = m_workSize;
}

// Examines the 999-character chunks of the line that are complete before end, each where it
// lies unless it began in an earlier block, and returns where the unfinished one starts.
const char* CLinkScanner::TakeWholeChunks(const char* begin, const char* end) {
    if (!m_chunk.empty()) {
        const std::size_t take =
            std::min(static_cast<std::size_t>(end - begin), kChunkSize - m_chunk.size());
        m_chunk.append(begin, take);
        begin += take;
        if (m_chunk.size() < kChunkSize) {
            return begin;
        }
        Examine(m_chunk);
        m_chunk.clear();
    }
    for (; static_cast<std::size_t>(end - begin) >= kChunkSize; begin += kChunkSize) {
        Examine(std::string_view(begin, kChunkSize));
    }
    return begin;
}

void CLinkScanner::Examine(std::string_view chunk) {
    std::string url;
    std::string anchorName;
    if (ExtractLink(chunk, url, anchorName, m_options)) {
        m_urls.push_back(std::move(url));
        m_anchorNames.push_back(std::move(anchorName));
    }
}

namespace {

// The work file is written over in place; what is left of a longer earlier one is cut off.
void CutWorkFile(std::FILE* work) {
    if (std::fflush(work) == 0) {
        [[maybe_unused]] const int cut = ::ftruncate(::fileno(work), ::ftello(work));
    }
}

}  // namespace

ScanResult ScanLinks(const std::string& path, const std::string& workFile, StringList& urls,
                     StringList& anchorNames, CScanOptions options) {
    const platform::CUnixFile input = platform::OpenRegularForReading(path);
    if (!input) {
        return ScanResult::InputUnreadable;
    }
    const platform::CFilePtr work = platform::OverwriteRegularFile(workFile);
    if (!work) {
        return ScanResult::WorkFileUnwritable;
    }

    CLinkScanner scanner(urls, anchorNames, work.get(), CLinkScanner::kDefaultWorkBlock, options);
    // Left uninitialised: a small page touches only the start of it.
    const std::unique_ptr<char[]> block = std::make_unique_for_overwrite<char[]>(kReadBlock);
    for (;;) {
        const ssize_t got = platform::ReadRetrying(input.Get(), block.get(), kReadBlock);
        if (got <= 0) {
            break;
        }
        scanner.Feed(block.get(), static_cast<std::size_t>(got));
    }
    scanner.Finish();
    CutWorkFile(work.get());
    return ScanResult::Scanned;
}
