#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "model/stringlist.h"

// The anchor name of a link whose anchor text is empty.
inline constexpr const char* kSuppliedAnchorName = "Linkvet supplied this anchor name";

// The scanner's two passes, run as one stream so that memory stays small whatever the file's
// size:
//   pass 1 drops every CR and LF, slides a two-character window over the rest and starts a
//   segment at each "<A" or "<a" (the pair itself is replaced by CR LF; nothing before the
//   first pair is kept, nor the very last character, which is still in the window at the end);
//   pass 2 reads the segments back as a text-mode fgets with a 1000-byte buffer would: chunks
//   of at most 999 characters, a line's CR LF read as its one "\n", and takes at most one link
//   out of each chunk.
// Pass 1's output is written to the work file exactly as it would be read back, and pass 2 is
// handed each chunk as soon as it is complete instead of reading the file again.
class CLinkScanner {
public:
    // workFile may be null: the segments are then not written anywhere.
    CLinkScanner(StringList& urls, StringList& anchorNames, std::FILE* workFile);

    // Feeds the next bytes of the file; any bytes at all, NUL included.
    void Feed(const char* data, std::size_t size);
    // The file has ended: the last, unfinished chunk is examined.
    void Finish();

private:
    void FeedWithoutLineBreaks(const char* data, std::size_t size);
    void CopySegmentText(const char* data, std::size_t size);
    void StartSegment();
    void TakeChunk();

    StringList& m_urls;
    StringList& m_anchorNames;
    std::FILE* m_workFile;
    std::string m_filtered;
    std::string m_chunk;
    bool m_copying = false;
    bool m_haveWindowFirst = false;
    char m_windowFirst = 0;
};

// Pass 2 on one chunk: the first http:// link (else the first ftp:// link) that is followed
// by a double quote, a ">" and an anchor end. False when the chunk yields nothing.
bool ExtractLink(std::string_view chunk, std::string& url, std::string& anchorName);

enum class ScanResult { Scanned, InputUnreadable, WorkFileUnwritable };

// Scans one file, appending its links to the two parallel lists and writing the segments to
// workFile. Only a regular file is read: a directory or a device does not open.
ScanResult ScanLinks(const std::string& path, const std::string& workFile, StringList& urls,
                     StringList& anchorNames);
