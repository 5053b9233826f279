#include "gridlayout.h"

#include <algorithm>
#include <cstdlib>

int DefaultColumnWidth(int gridWidth) {
    return gridWidth * 9 / 40;
}

std::array<int, 4> ColumnWidths(const std::array<int, 4>& stored, int gridWidth) {
    long long sum = 0;
    bool usable = true;
    for (int width : stored) {
        usable = usable && width > 0 && width <= gridWidth;
        sum += width;
    }
    if (usable && sum <= gridWidth) {
        return stored;
    }
    const int width = DefaultColumnWidth(gridWidth);
    return {width, width, width, width};
}

int CPrintLayout::RowAt(int page, int line, int rowCount) const {
    const long long row = static_cast<long long>(page - 1) * linesPerPage + line;
    return row < rowCount ? static_cast<int>(row) : -1;
}

CPrintLayout::CPageSpan CPrintLayout::PagesToPrint(int fromPage, int toPage) const {
    if (fromPage <= 0) {
        return {1, pages};
    }
    return {fromPage, toPage <= 0 ? pages : std::min(toPage, pages)};
}

CPrintLayout LayOutPrint(int textHeight, int pageHeight, int rowCount) {
    CPrintLayout layout;
    layout.pitch = textHeight + 5;
    const int drawable = std::abs(pageHeight) - 2 * layout.pitch;
    layout.linesPerPage = drawable > 0 ? drawable / layout.pitch : 0;
    // A page too small for one line would print forever; it prints one row per page instead.
    if (layout.linesPerPage < 1) {
        layout.linesPerPage = 1;
    }
    layout.pages = rowCount / layout.linesPerPage + (rowCount % layout.linesPerPage != 0 ? 1 : 0);
    if (layout.pages == 0) {
        layout.pages = 1;
    }
    return layout;
}
