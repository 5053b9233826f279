// Feeds any bytes to CLinkScanner and checks what must hold whatever the file holds.
// The whole input is the file; its first byte also chooses where the file is cut in two, so
// that the window straddling two Feed calls is exercised at every position, and its second
// byte how small the work block of that scan is, so that block boundaries fall everywhere too.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzzsupport.h"
#include "platform/asciitext.h"
#include "model/linkscanner.h"

namespace {

struct ScanOutput {
    StringList urls;
    StringList anchorNames;
    std::string workText;
};

// The scanner's own notion of white space (C locale isspace).
bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// Two work files made once and emptied before each use: creating files on every execution
// would cost more than the scan.
std::FILE* WorkFile(int which) {
    static std::FILE* const files[2] = {std::tmpfile(), std::tmpfile()};
    std::FILE* file = files[which];
    Require(file != nullptr, "tmpfile() gives a work file");
    std::rewind(file);
    Require(::ftruncate(::fileno(file), 0) == 0, "the work file can be emptied");
    return file;
}

std::string ReadBack(std::FILE* file) {
    std::string text;
    Require(std::fflush(file) == 0, "the work file is flushed");
    std::rewind(file);
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        text.append(block, got);
    }
    return text;
}

// The first firstPiece bytes go in one Feed call and the rest in a second, unless byteByByte.
void Scan(std::string_view file, std::size_t firstPiece, bool byteByByte, std::size_t workBlock,
          std::FILE* work, ScanOutput& out, CScanOptions options = {}) {
    CLinkScanner scanner(out.urls, out.anchorNames, work, workBlock, options);
    if (byteByByte) {
        for (char c : file) {
            scanner.Feed(&c, 1);
        }
    } else {
        scanner.Feed(file.data(), firstPiece);
        scanner.Feed(file.data() + firstPiece, file.size() - firstPiece);
    }
    scanner.Finish();
    if (work != nullptr) {
        out.workText = ReadBack(work);
    }
}

void CheckLinks(const ScanOutput& out, bool https) {
    Require(out.urls.size() == out.anchorNames.size(), "one anchor name per URL");
    for (const std::string& url : out.urls) {
        Require(platform::StartsWithAsciiCaseless(url, "http://") || platform::StartsWithAsciiCaseless(url, "ftp://") ||
                    (https && platform::StartsWithAsciiCaseless(url, "https://")),
                "a URL starts at its scheme mark");
        Require(!HasLineBreak(url), "no URL holds a CR or LF");
        Require(!IsWhiteSpace(url.back()), "no URL ends in white space");
    }
    for (const std::string& name : out.anchorNames) {
        Require(!HasLineBreak(name), "no anchor name holds a CR or LF");
    }
}

// The file's own CR and LF are dropped; the only ones left are the CR LF pairs that start
// the segments.
void CheckWorkText(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            Require(i + 1 < text.size() && text[i + 1] == '\n', "a CR in the work file ends a pair");
        } else if (text[i] == '\n') {
            Require(i > 0 && text[i - 1] == '\r', "an LF in the work file ends a pair");
        }
    }
}

// Beyond this, feeding one byte at a time only slows the fuzzer down.
constexpr std::size_t kByteByByteLimit = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size == 0 ? 0 : size * data[0] / 255;
    const std::size_t smallBlock = size < 2 ? 2 : 2 + data[1] % 64;

    ScanOutput whole;
    Scan(file, size, false, CLinkScanner::kDefaultWorkBlock, WorkFile(0), whole);
    CheckLinks(whole, false);
    CheckWorkText(whole.workText);

    // Seeking https:// links as well changes what pass 2 takes, never the segments.
    ScanOutput https;
    Scan(file, cut, false, smallBlock, WorkFile(1), https, CScanOptions{true});
    CheckLinks(https, true);
    Require(https.workText == whole.workText, "seeking https:// changes no segment");

    ScanOutput halves;
    Scan(file, cut, false, smallBlock, WorkFile(1), halves);
    Require(halves.urls == whole.urls, "cutting the file in two changes no URL");
    Require(halves.anchorNames == whole.anchorNames, "cutting the file changes no anchor name");
    Require(halves.workText == whole.workText, "cutting the file changes no segment");

    if (size <= kByteByByteLimit) {
        // Without a work file too: writing the segments must not change what is found.
        ScanOutput bytes;
        Scan(file, 0, true, CLinkScanner::kDefaultWorkBlock, nullptr, bytes);
        Require(bytes.urls == whole.urls, "feeding byte by byte changes no URL");
        Require(bytes.anchorNames == whole.anchorNames,
                "feeding byte by byte changes no anchor name");
    }
    return 0;
}
