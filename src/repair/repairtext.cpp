#include "repairtext.h"

#include <utility>

namespace {

// Text and line end apart: the line end is "\r\n", "\n", or, for a last line or a cut of a
// long one, "\n" to be added.
std::pair<std::string, std::string> SplitLineEnd(const std::string& text) {
    const std::size_t length = text.ends_with("\r\n") ? 2 : text.ends_with('\n') ? 1 : 0;
    const std::size_t cut = text.size() - length;
    return {text.substr(0, cut), length != 0 ? text.substr(cut) : "\n"};
}

}  // namespace

std::string RepairStem(const std::string& path) {
    return path.substr(0, path.rfind('.'));
}

std::string BackupName(const std::string& path) {
    return RepairStem(path) + ".rep";
}

std::string WorkName(const std::string& path) {
    return RepairStem(path) + ".t~p";
}

std::string RepairFileName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
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
    return !piece.empty();
}

std::string RewritePiece(const std::string& piece, std::size_t at, const std::string& url,
                         const std::string& fileName, int method) {
    if (method == kRepairDisable) {
        const auto [text, lineEnd] = SplitLineEnd(piece);
        return "<!--" + text + "-->" + lineEnd;
    }
    if (method == kRepairReplace) {
        const auto [after, lineEnd] = SplitLineEnd(piece.substr(at + url.size()));
        return piece.substr(0, at) + fileName + after + "<!--" + url + "-->" + lineEnd;
    }
    return "";
}
