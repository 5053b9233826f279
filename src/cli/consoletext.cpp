#include "consoletext.h"

#include <algorithm>
#include <cwchar>

#include "results/bytetext.h"

namespace {

// A locale that does not know the character (the C locale knows only ASCII) gives -1; such a
// character most likely takes one column.
std::size_t Columns(wchar_t character) {
    const int width = ::wcwidth(character);
    return width < 0 ? 1 : static_cast<std::size_t>(width);
}

}  // namespace

std::string TerminalLines(const std::string& text) {
    std::string out;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        out += EscapeControls(text.substr(start, end - start)) + "\n";
    }
    return out + EscapeControls(text.substr(start));
}

std::string FitColumns(const std::string& text, std::size_t columns) {
    std::size_t used = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t valid = Utf8SequenceLength(text, at);
        const std::size_t length = std::max<std::size_t>(valid, 1);
        const std::size_t width =
            valid == 0 ? 1 : Columns(static_cast<wchar_t>(Utf8CodePoint(text, at, length)));
        if (used + width > columns) {
            break;
        }
        used += width;
        at += length;
    }
    return text.substr(0, at);
}

CResultTable TerminalRows(const CResultRows& rows) {
    CResultTable escaped;
    for (int row = 0; row < rows.RowCount(); ++row) {
        const std::string file = EscapeControls(rows.CellText(row, kColumnFile));
        escaped.AddResult(EscapeControls(rows.CellText(row, kColumnUrl)), 0, file, rows.Code(row));
        escaped.AddResult(EscapeControls(rows.CellText(row, kColumnReason)), 1, file);
        escaped.AddResult(EscapeControls(rows.CellText(row, kColumnSiteName)), 2, file);
    }
    return escaped;
}
