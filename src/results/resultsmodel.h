#pragma once

#include <QAbstractTableModel>
#include <QString>

#include "platform/displaytext.h"
#include "results/resulttable.h"

// The grid shows its bytes as every window does; the bytes themselves stay untouched for
// export and repair.
using platform::DisplayText;

// A cell as the grid shows it, and as its copies take it: DisplayText, with a tab or line break
// shown as a blank, so that every row stays one line, and every other control character (C0,
// DEL, C1) as \xHH, so that nothing from a web page reaches a terminal the text is pasted in.
QString GridText(const std::string& cell);

// The grid's rows for the window: the results table behind a Qt model. Adding a row costs the
// same at row 100,000 as at row 1; rows are never sorted.
class CResultsModel : public QAbstractTableModel, public CEditableRows {
public:
    static constexpr int kTagRole = Qt::UserRole;
    static constexpr int kBytesRole = Qt::UserRole + 1;
    static constexpr int kCodeRole = Qt::UserRole + 2;

    explicit CResultsModel(QObject* parent = nullptr);

    // Builds a row in three parts, as CResultTable does, telling the views as it goes.
    void AddResult(const std::string& text, int part, const std::string& currentFile,
                   std::uint32_t code = 0);
    void AddResultPlace(const CLinkPlace& place) { m_table.AddResultPlace(place); }
    void AddResultMove(const std::string& movedTo) { m_table.AddResultMove(movedTo); }
    void Clear();

    // CEditableRows.
    int RowCount() const override { return m_table.RowCount(); }
    const std::string& CellText(int row, int column) const override {
        return m_table.CellText(row, column);
    }
    std::uint32_t Code(int row) const override { return m_table.Code(row); }
    const std::string& WrittenLink(int row) const override { return m_table.WrittenLink(row); }
    const CLinkPlace& LinkPlace(int row) const override { return m_table.LinkPlace(row); }
    const std::string& MovedTo(int row) const override { return m_table.MovedTo(row); }
    std::uint32_t Tag(int row) const override { return m_table.Tag(row); }
    void SetTag(int row, std::uint32_t tag) override;
    void DeleteRow(int row) override;
    void SetLinkPlace(int row, const CLinkPlace& place) override {
        m_table.SetLinkPlace(row, place);
    }

    // QAbstractTableModel.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    CResultTable m_table;
};
