#pragma once

#include <QAbstractTableModel>
#include <QString>

#include "results/resulttable.h"

// Shows bytes whatever their encoding: UTF-8 when they are valid UTF-8, else Latin-1, so every
// byte shows as some character. The bytes themselves stay untouched for export and repair.
QString DisplayText(const std::string& bytes);

// The grid's rows for the window: the results table behind a Qt model. Adding a row costs the
// same at row 100,000 as at row 1; rows are never sorted.
class CResultsModel : public QAbstractTableModel, public CEditableRows {
public:
    static constexpr int kTagRole = Qt::UserRole;
    static constexpr int kBytesRole = Qt::UserRole + 1;

    explicit CResultsModel(QObject* parent = nullptr);

    // Builds a row in three parts, as CResultTable does, telling the views as it goes.
    void AddResult(const std::string& text, int part, const std::string& currentFile);
    void AddResultWritten(const std::string& written) { m_table.AddResultWritten(written); }
    void Clear();

    // CEditableRows.
    int RowCount() const override { return m_table.RowCount(); }
    const std::string& CellText(int row, int column) const override {
        return m_table.CellText(row, column);
    }
    const std::string& WrittenLink(int row) const override { return m_table.WrittenLink(row); }
    std::uint32_t Tag(int row) const override { return m_table.Tag(row); }
    void SetTag(int row, std::uint32_t tag) override;
    void DeleteRow(int row) override;

    // QAbstractTableModel.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    CResultTable m_table;
};
