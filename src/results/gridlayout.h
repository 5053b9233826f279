#pragma once

#include <array>

// The arithmetic of the window's layout, apart from widgets so it is tested without a display.

// Column widths: stored widths are kept only when every one is positive (a negative width is
// as unusable as zero), none is wider than
// the grid and together they fit; otherwise four columns of width * 9 / 40 fill 90% of it.
std::array<int, 4> ColumnWidths(const std::array<int, 4>& stored, int gridWidth);
int DefaultColumnWidth(int gridWidth);

// Printing in 0.01-inch units: the line pitch is the text height plus 5, the drawing area
// starts two pitches down, and a page holds |area height| / pitch rows.
struct CPrintLayout {
    int pitch = 0;
    int linesPerPage = 0;
    // Pages to print: at least one, also for no rows.
    int pages = 0;
    // The row drawn on a page's line, or -1 past the last row.
    int RowAt(int page, int line, int rowCount) const;
    int LineY(int line) const { return line * pitch + 2 * pitch; }
    // The pages printed for a range chosen in the print dialog, cut to the pages there are;
    // fromPage 0 means every page. Empty (first > last) when the range holds no page.
    struct CPageSpan {
        int first = 1;
        int last = 0;
    };
    CPageSpan PagesToPrint(int fromPage, int toPage) const;
};
CPrintLayout LayOutPrint(int textHeight, int pageHeight, int rowCount);
