#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "model/stringlist.h"

// The anchor name of a link whose anchor text is empty.
inline constexpr const char* kSuppliedAnchorName = "Linkvet supplied this anchor name";

// What the scanner collects beyond http:// and ftp:// links.
struct CScanOptions {
    // https:// links too, sought beside http:// by the same rules: the earlier of the two in a
    // chunk wins, and ftp:// only counts when neither occurs.
    bool https = false;
};

// The scanner's two passes, run as one stream so that memory stays small whatever the file's
// size:
//   pass 1 drops every CR and LF, slides a two-character window over the rest and starts a
//   segment at each "<A" or "<a" (the pair itself is replaced by CR LF; nothing before the
//   first pair is kept, nor the very last character, which is still in the window at the end);
//   pass 2 reads the segments back as a text-mode fgets with a 1000-byte buffer would: chunks
//   of at most 999 characters, a line's CR LF read as its one "\n", and takes at most one link
//   out of each chunk.
// Pass 1's output is gathered in a block of workBlock bytes and written to the work file a
// block at a time; pass 2 takes each line of it from the block as soon as the line is
// complete, instead of reading the file back.
class CLinkScanner {
public:
    static constexpr std::size_t kDefaultWorkBlock = std::size_t{1} << 20;

    // workFile may be null: the segments are then not written anywhere. Tests pass a small
    // workBlock to cross its boundaries often; it is at least 2, room for a segment's CR LF.
    CLinkScanner(StringList& urls, StringList& anchorNames, std::FILE* workFile,
                 std::size_t workBlock = kDefaultWorkBlock, CScanOptions options = {});

    // Feeds the next bytes of the file; any bytes at all, NUL included.
    void Feed(const char* data, std::size_t size);
    // The file has ended: the rest of the segments are written and the last, unfinished chunk
    // is examined.
    void Finish();

private:
    // Pass 1's window: whether its first character, the last one taken, still waits for a
    // second one, and whether that character is a "<". While segments are being copied, it is
    // already the block's last byte.
    enum class Held { Nothing, Character, Less };

    const char* TakeRun(const char* begin, const char* end);
    void AppendText(const char* data, std::size_t size);
    void StartSegment();
    void WriteWork();

    void EndLine();
    const char* TakeWholeChunks(const char* begin, const char* end);
    void Examine(std::string_view chunk);

    StringList& m_urls;
    StringList& m_anchorNames;
    std::FILE* m_workFile;
    CScanOptions m_options;
    // Pass 1.
    bool m_copying = false;
    Held m_held = Held::Nothing;
    std::size_t m_workCapacity;
    std::size_t m_workSize = 0;
    std::unique_ptr<char[]> m_work;
    // Pass 2: where the current line's unexamined text starts in the block, and the start of
    // a chunk that continues from the previous block.
    std::size_t m_lineStart = 0;
    std::string m_chunk;
};

// Where a link that starts text ends: before the first double quote (the end of text when there
// is none), less the white space in front of it. Every byte before that belongs to the link.
std::size_t LinkLength(std::string_view text);

// Pass 2 on one chunk: the first http:// link (with options.https, the first http:// or
// https:// link; else the first ftp:// link) that is followed by a double quote, a ">" and an
// anchor end. False when the chunk yields nothing.
bool ExtractLink(std::string_view chunk, std::string& url, std::string& anchorName,
                 CScanOptions options = {});

enum class ScanResult { Scanned, InputUnreadable, WorkFileUnwritable };

// Scans one file, appending its links to the two parallel lists and writing the segments to
// workFile. Only a regular file is read: a directory or a device does not open.
ScanResult ScanLinks(const std::string& path, const std::string& workFile, StringList& urls,
                     StringList& anchorNames, CScanOptions options = {});
