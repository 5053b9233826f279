#include "results/gridlayout.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(ColumnWidths, FirstStartFillsNinetyPercentInFourEqualColumns) {
    EXPECT_EQ(ColumnWidths({180, 180, 180, 180}, 800), (std::array<int, 4>{180, 180, 180, 180}));
    EXPECT_EQ(DefaultColumnWidth(800), 180);
    EXPECT_EQ(DefaultColumnWidth(790), 177) << "790 * 9 / 40 = 177.75, truncated";
}

TEST(ColumnWidths, StoredWidthsAreKeptOnlyWhenTheyFit) {
    EXPECT_EQ(ColumnWidths({200, 200, 200, 250}, 850), (std::array<int, 4>{200, 200, 200, 250}))
        << "the sum may equal the width";
    EXPECT_EQ(ColumnWidths({200, 200, 200, 250}, 790), (std::array<int, 4>{177, 177, 177, 177}));
    EXPECT_EQ(ColumnWidths({0, 100, 100, 100}, 800), (std::array<int, 4>{180, 180, 180, 180}));
    EXPECT_EQ(ColumnWidths({801, 0, 0, 0}, 800), (std::array<int, 4>{180, 180, 180, 180}));
    EXPECT_EQ(ColumnWidths({-50, 100, 100, 100}, 800), (std::array<int, 4>{180, 180, 180, 180}));
}

TEST(PrintLayout, PagesFollowTheRowCount) {
    // Text 15 units high: pitch 20; a page of 1000 units leaves 960 for rows, 48 rows a page.
    const CPrintLayout empty = LayOutPrint(15, -1000, 0);
    EXPECT_EQ(empty.pitch, 20);
    EXPECT_EQ(empty.linesPerPage, 48);
    EXPECT_EQ(empty.pages, 1) << "no rows still print one empty page";
    EXPECT_EQ(empty.RowAt(1, 0, 0), -1);
    EXPECT_EQ(LayOutPrint(15, 1000, 48).pages, 1);
    const CPrintLayout oneMore = LayOutPrint(15, 1000, 49);
    EXPECT_EQ(oneMore.pages, 2);
    EXPECT_EQ(oneMore.RowAt(2, 0, 49), 48);
    EXPECT_EQ(oneMore.RowAt(2, 1, 49), -1);
    EXPECT_EQ(oneMore.LineY(0), 40) << "rows start two pitches down";
    EXPECT_EQ(oneMore.LineY(3), 100);
}

TEST(PrintLayout, ARangeChosenInThePrintDialogIsCutToThePagesThereAre) {
    const CPrintLayout layout = LayOutPrint(15, 1000, 48 * 4 + 1);
    ASSERT_EQ(layout.pages, 5);
    const auto pages = [&](int from, int to) {
        const CPrintLayout::CPageSpan span = layout.PagesToPrint(from, to);
        return std::pair{span.first, span.last};
    };
    EXPECT_EQ(pages(0, 0), std::pair(1, 5)) << "every page";
    EXPECT_EQ(pages(2, 3), std::pair(2, 3));
    EXPECT_EQ(pages(4, 9), std::pair(4, 5));
    EXPECT_EQ(pages(3, 0), std::pair(3, 5));
    const auto [first, last] = pages(7, 9);
    EXPECT_GT(first, last) << "a range past the end prints nothing";
}

TEST(PrintLayout, APageTooSmallForALineStillEnds) {
    const CPrintLayout tiny = LayOutPrint(15, 30, 3);
    EXPECT_EQ(tiny.linesPerPage, 1);
    EXPECT_EQ(tiny.pages, 3);
}

}  // namespace
