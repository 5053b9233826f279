#include "resultsmodel.h"

#include <QByteArray>
#include <array>

QString GridText(const std::string& cell) {
    const QString text = DisplayText(cell);
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit == u'\t' || unit == u'\n' || unit == u'\r') {
            shown += QLatin1Char(' ');
        } else if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0)) {
            shown += QStringLiteral("\\x%1").arg(unit, 2, 16, QLatin1Char('0'));
        } else {
            shown += c;
        }
    }
    return shown;
}

CResultsModel::CResultsModel(QObject* parent) : QAbstractTableModel(parent) {}

void CResultsModel::AddResult(const std::string& text, int part, const std::string& currentFile,
                              std::uint32_t code) {
    const int last = m_table.RowCount() - 1;
    if (part == 0) {
        beginInsertRows(QModelIndex(), last + 1, last + 1);
        m_table.AddResult(text, part, currentFile, code);
        endInsertRows();
        return;
    }
    m_table.AddResult(text, part, currentFile);
    if ((part == 1 || part == 2) && last >= 0) {
        emit dataChanged(index(last, part == 1 ? kColumnReason : kColumnSiteName),
                         index(last, kColumnFile));
    }
}

void CResultsModel::Clear() {
    beginResetModel();
    m_table.Clear();
    endResetModel();
}

void CResultsModel::SetTag(int row, std::uint32_t tag) {
    m_table.SetTag(row, tag);
}

void CResultsModel::DeleteRow(int row) {
    beginRemoveRows(QModelIndex(), row, row);
    m_table.DeleteRow(row);
    endRemoveRows();
}

int CResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_table.RowCount();
}

int CResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kResultColumnCount;
}

QVariant CResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_table.RowCount()) {
        return {};
    }
    const std::string& cell = m_table.CellText(index.row(), index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return GridText(cell);
        case kBytesRole:
            return QByteArray(cell.data(), static_cast<qsizetype>(cell.size()));
        case kTagRole:
            return static_cast<uint>(m_table.Tag(index.row()));
        case kCodeRole:
            return static_cast<uint>(m_table.Code(index.row()));
        default:
            return {};
    }
}

QVariant CResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const std::array<const char*, kResultColumnCount> kHeadings = {"URL", "Reason",
                                                                          "Site Name", "File Name"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kResultColumnCount) {
        return {};
    }
    return QString::fromLatin1(kHeadings[static_cast<std::size_t>(section)]);
}
