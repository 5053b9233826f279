#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/linkplace.h"

// The grid's four columns.
enum CResultColumn : int {
    kColumnUrl = 0,
    kColumnReason = 1,
    kColumnSiteName = 2,
    kColumnFile = 3
};
inline constexpr int kResultColumnCount = 4;

// One row of results: its four cells as the bytes the scanner found, its tag, whose low
// 16 bits are the repaired mark and high 16 bits the file-done mark, and the result code of
// its verdict (whether or not the code table knows it).
struct CResultRow {
    std::array<std::string, kResultColumnCount> cells;
    std::uint32_t tag = 0;
    std::uint32_t code = 0;
    // Where the HTML scanner found the link in its file; unknown for the classic scanner.
    CLinkPlace place;
    // Where a link that moved for good went; empty for every other row.
    std::string movedTo = {};
};

// What report writers and the repair walk read of the results.
class CResultRows {
public:
    virtual ~CResultRows() = default;
    virtual int RowCount() const = 0;
    virtual const std::string& CellText(int row, int column) const = 0;
    virtual std::uint32_t Code(int row) const = 0;
    // What repair seeks in the row's file: the link as written there.
    virtual const std::string& WrittenLink(int row) const { return CellText(row, kColumnUrl); }
    // Where the HTML scanner found the row's link; unknown for a link of the classic scanner.
    virtual const CLinkPlace& LinkPlace(int /*row*/) const {
        static const CLinkPlace unknown;
        return unknown;
    }
    // The new address of a link that moved for good; empty for any other row.
    virtual const std::string& MovedTo(int /*row*/) const {
        static const std::string none;
        return none;
    }
};

// The rows as the repair walk and the quit check change them: tags and deletions.
class CEditableRows : public CResultRows {
public:
    virtual std::uint32_t Tag(int row) const = 0;
    virtual void SetTag(int row, std::uint32_t tag) = 0;
    virtual void DeleteRow(int row) = 0;
    // Where the row's link stands now, after other links of its file were rewritten.
    virtual void SetLinkPlace(int row, const CLinkPlace& place) = 0;
};

// The results as plain data, the only store of them. Rows are appended at the end and never
// reordered; appending costs the same at row 100,000 as at row 1.
class CResultTable : public CEditableRows {
public:
    // Builds a row in three calls: part=0 appends a row with the link and the verdict's code,
    // part=1 sets the reason of the last row, part=2 its anchor name and file name; any other
    // part does nothing, and the last two do nothing while there is no row.
    void AddResult(const std::string& text, int part, const std::string& currentFile,
                   std::uint32_t code = 0);
    // Keeps beside the last row where its link stands in its file.
    void AddResultPlace(const CLinkPlace& place);
    // Keeps beside the last row the new address of its link.
    void AddResultMove(const std::string& movedTo);

    int RowCount() const override { return static_cast<int>(m_rows.size()); }
    const std::string& CellText(int row, int column) const override {
        return m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)];
    }
    std::uint32_t Code(int row) const override {
        return m_rows[static_cast<std::size_t>(row)].code;
    }
    const std::string& WrittenLink(int row) const override {
        const CResultRow& found = m_rows[static_cast<std::size_t>(row)];
        return found.place.Known() ? found.place.written : found.cells[kColumnUrl];
    }
    const CLinkPlace& LinkPlace(int row) const override {
        return m_rows[static_cast<std::size_t>(row)].place;
    }
    const std::string& MovedTo(int row) const override {
        return m_rows[static_cast<std::size_t>(row)].movedTo;
    }
    const CResultRow& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    std::uint32_t Tag(int row) const override { return m_rows[static_cast<std::size_t>(row)].tag; }
    void SetTag(int row, std::uint32_t tag) override {
        m_rows[static_cast<std::size_t>(row)].tag = tag;
    }
    void DeleteRow(int row) override { m_rows.erase(m_rows.begin() + row); }
    void SetLinkPlace(int row, const CLinkPlace& place) override {
        m_rows[static_cast<std::size_t>(row)].place = place;
    }
    void Clear() { m_rows.clear(); }

private:
    std::vector<CResultRow> m_rows;
};
