#include "repairreviewdlg.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/displaytext.h"

namespace {

constexpr int kRowRole = Qt::UserRole;

}  // namespace

CRepairReviewDlg::CRepairReviewDlg(const CResultRows& rows, const CRepairPreview& preview,
                                   QWidget* parent)
    : QDialog(parent), m_changes(new QTreeWidget(this)) {
    setWindowTitle(QStringLiteral("Review the Repair"));
    m_changes->setColumnCount(2);
    m_changes->setHeaderLabels({QStringLiteral("Link"), QStringLiteral("File")});
    m_changes->setRootIsDecorated(false);
    for (const CRepairPreview::CPageChange& change : preview.Changes()) {
        for (const int row : change.rows) {
            auto* item = new QTreeWidgetItem(
                m_changes, {platform::DisplayText(rows.CellText(row, kColumnUrl)),
                            platform::DisplayText(rows.CellText(row, kColumnFile))});
            item->setCheckState(0, Qt::Checked);
            item->setData(0, kRowRole, row);
        }
    }
    m_changes->header()->setSectionResizeMode(0, QHeaderView::Stretch);

    auto* diff = new QPlainTextEdit(this);
    diff->setReadOnly(true);
    diff->setLineWrapMode(QPlainTextEdit::NoWrap);
    diff->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    diff->setPlainText(platform::DisplayText(preview.UnifiedDiff()));

    auto* write = new QPushButton(QStringLiteral("Write Changes"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    write->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(write);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral(
        "These changes will be written. Untick a link to leave it as it is."), this));
    layout->addWidget(m_changes, 1);
    layout->addWidget(diff, 2);
    layout->addLayout(buttons);
    resize(760, 560);
    connect(write, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::vector<int> CRepairReviewDlg::LeftOut() const {
    std::vector<int> leftOut;
    for (int i = 0; i < m_changes->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_changes->topLevelItem(i);
        if (item->checkState(0) != Qt::Checked) {
            leftOut.push_back(item->data(0, kRowRole).toInt());
        }
    }
    return leftOut;
}
