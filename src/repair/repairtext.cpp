#include "repairtext.h"

#include <sys/types.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "model/fileselect.h"
#include "model/linkscanner.h"
#include "platform/direnum.h"

namespace {

// Text and line end apart: the line end is "\r\n", "\n", or, for a last line or a cut of a
// long one, the line end to be added.
std::pair<std::string, std::string> SplitLineEnd(const std::string& text,
                                                 const std::string& addedLineEnd) {
    const std::size_t length = text.ends_with("\r\n") ? 2 : text.ends_with('\n') ? 1 : 0;
    const std::size_t cut = text.size() - length;
    return {text.substr(0, cut), length != 0 ? text.substr(cut) : addedLineEnd};
}

std::size_t NameStart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string_view NameStem(std::string_view name) {
    return name.substr(0, name.rfind('.'));
}

// Whether other, a file beside the one named name, could claim the usual backup name of
// name too: it shares the stem, or its whole name with ".rep" is that backup name.
bool ClaimsUsualName(const std::string& other, const std::string& name, std::string_view stem) {
    return other != name && !IsRepairFileName(other) && (other == stem || NameStem(other) == stem);
}

std::vector<std::string> FileNames(const std::vector<platform::CDirEntry>& entries) {
    std::vector<std::string> names;
    for (const platform::CDirEntry& entry : entries) {
        if ((entry.attributes & platform::kAttributeDirectory) == 0) {
            names.push_back(entry.name);
        }
    }
    return names;
}

// What peek finds reading on in file, which is then left where it was.
template <typename Peek>
bool PeekAhead(std::FILE* file, Peek peek) {
    const off_t start = ::ftello(file);
    const bool found = peek();
    ::fseeko(file, start, SEEK_SET);
    return found;
}

// Whether a link that reaches the end of its piece goes on in the bytes still to be read from
// file, which is then left where it was. The scanner drops every line end before it reads
// links, and takes a link only up to a double quote: the link goes on when text comes before
// the next quote, past line ends. It reads at most 999 characters at once, so no link reaches
// further than that.
bool LinkGoesOnInFile(std::FILE* file) {
    constexpr int kScanChunk = 999;
    return PeekAhead(file, [file] {
        bool text = false;
        int c = 0;
        for (int read = 0; read < kScanChunk && (c = std::getc(file)) != EOF; ++read) {
            const char byte = static_cast<char>(c);
            if (byte == '"') {
                return text;
            }
            text = text || LinkLength(std::string_view(&byte, 1)) != 0;
        }
        return false;
    });
}

}  // namespace

std::string RepairStem(const std::string& path) {
    const std::size_t nameStart = NameStart(path);
    return path.substr(0, nameStart + NameStem(std::string_view(path).substr(nameStart)).size());
}

std::string UsualBackupName(const std::string& path) {
    return RepairStem(path) + kBackupSuffix;
}

std::string BackupName(const std::string& path,
                       const std::optional<std::vector<std::string>>& folderFiles) {
    const std::string name = path.substr(NameStart(path));
    const std::string_view stem = NameStem(name);
    const bool shared = !folderFiles || std::any_of(folderFiles->begin(), folderFiles->end(),
                                                    [&name, stem](const std::string& other) {
                                                        return ClaimsUsualName(other, name, stem);
                                                    });
    return shared ? path + kBackupSuffix : UsualBackupName(path);
}

std::optional<std::vector<std::string>> FolderFileNames(const std::string& path) {
    const std::size_t nameStart = NameStart(path);
    const std::string folder = nameStart == 0 ? "." : path.substr(0, nameStart);
    const auto entries = platform::ListDirectory(folder);
    return entries ? std::optional(FileNames(*entries)) : std::nullopt;
}

std::string BackupName(const std::string& path) {
    return BackupName(path, FolderFileNames(path));
}

std::string RepairFileName(const std::string& path) {
    return path.substr(NameStart(path));
}

std::string LineEndAhead(std::FILE* file) {
    bool crLf = false;
    PeekAhead(file, [file, &crLf] {
        int previous = EOF;
        for (int c = std::getc(file); c != EOF; previous = c, c = std::getc(file)) {
            if (c == '\n') {
                crLf = previous == '\r';
                break;
            }
        }
        return crLf;
    });
    return crLf ? "\r\n" : "\n";
}

bool ReadPiece(std::FILE* file, std::string& piece) {
    piece.clear();
    while (piece.size() < kRepairPieceSize) {
        const int c = std::getc(file);
        if (c == EOF) {
            break;
        }
        piece += static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    if (piece.size() == kRepairPieceSize && piece.back() == '\r') {
        const int next = std::getc(file);
        if (next == '\n') {
            piece += '\n';
        } else if (next != EOF) {
            std::ungetc(next, file);
        }
    }
    return !piece.empty();
}

std::size_t FindWholeLink(const std::string& piece, const std::string& url, std::FILE* file) {
    const std::string_view text(piece);
    for (std::size_t at = text.find(url); at != std::string_view::npos;
         at = text.find(url, at + 1)) {
        const std::string_view from = text.substr(at);
        if (LinkLength(from) > url.size()) {
            continue;
        }
        if (from.find('"') != std::string_view::npos || !LinkGoesOnInFile(file)) {
            return at;
        }
    }
    return std::string::npos;
}

std::string RewritePiece(const std::string& piece, std::size_t at, const std::string& url,
                         const std::string& newText, int method, const std::string& addedLineEnd) {
    if (method == kRepairDisable) {
        const auto [text, lineEnd] = SplitLineEnd(piece, addedLineEnd);
        return "<!--" + text + "-->" + lineEnd;
    }
    if (method == kRepairReplace) {
        const auto [after, lineEnd] = SplitLineEnd(piece.substr(at + url.size()), addedLineEnd);
        return piece.substr(0, at) + newText + after + "<!--" + url + "-->" + lineEnd;
    }
    if (method == kRepairUpdate) {
        return piece.substr(0, at) + newText + piece.substr(at + url.size());
    }
    return "";
}
