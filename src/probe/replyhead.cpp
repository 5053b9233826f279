#include "replyhead.h"

#include <algorithm>
#include <vector>

#include "probe/replyline.h"

namespace {

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

// The status as the probe reads it without following: the first line, leading LFs skipped.
ResultCode StatusOf(std::string_view head) {
    std::vector<char> line(head.begin(), head.end());
    line.push_back('\0');
    return ReadStatusCode(CutFirstLine(line.data(), line.size()));
}

}  // namespace

std::size_t ReplyHeadEnd(std::string_view bytes) {
    const std::size_t start = bytes.find_first_not_of('\n');
    if (start == std::string_view::npos) {
        return std::string_view::npos;
    }
    for (std::size_t at = bytes.find('\n', start); at != std::string_view::npos;
         at = bytes.find('\n', at + 1)) {
        if (at + 1 < bytes.size() && bytes[at + 1] == '\n') {
            return at + 2;
        }
        if (at + 2 < bytes.size() && bytes[at + 1] == '\r' && bytes[at + 2] == '\n') {
            return at + 3;
        }
    }
    return std::string_view::npos;
}

bool FirstLineComplete(std::string_view bytes) {
    const std::size_t start = bytes.find_first_not_of('\n');
    return start != std::string_view::npos && bytes.find('\n', start) != std::string_view::npos;
}

CReplyHead ReadReplyHead(std::string_view head) {
    CReplyHead read;
    read.status = StatusOf(head);
    std::size_t lineStart = head.find('\n', head.find_first_not_of('\n'));
    while (lineStart != std::string_view::npos) {
        ++lineStart;
        const std::size_t lineEnd = head.find('\n', lineStart);
        const std::string_view line =
            head.substr(lineStart, lineEnd == std::string_view::npos ? head.npos
                                                                     : lineEnd - lineStart);
        if (TrimBlanks(line).empty()) {
            break;
        }
        const std::size_t colon = line.find(':');
        // A header cut off by the limit has no whole value to trust.
        if (colon != std::string_view::npos && lineEnd != std::string_view::npos &&
            SameLetters(line.substr(0, colon), "location")) {
            read.location = std::string(TrimBlanks(line.substr(colon + 1)));
            break;
        }
        lineStart = lineEnd;
    }
    return read;
}
