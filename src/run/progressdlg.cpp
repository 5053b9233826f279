#include "run/progressdlg.h"

#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/dialogdata.h"

CProgressCtrl::CProgressCtrl(QProgressBar& bar) : m_bar(bar) {
    Changed();
}

void CProgressCtrl::Changed() {
    // An empty range would make Qt's bar run its busy animation; Windows shows an empty bar.
    m_bar.setRange(Low(), std::max(High(), Low() + 1));
    m_bar.setValue(Pos());
}

namespace {

QProgressBar* MakeBar(const char* name, QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QLatin1String(name));
    bar->setTextVisible(false);
    return bar;
}

QString Text(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

CProgressDlg::CProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_fileTextLabel(AddField("fileText", 185)),
      m_fileIndexLabel(AddField("fileIndex", 15)),
      m_fileTotalLabel(AddField("fileTotal", 15)),
      m_urlTextLabel(AddField("urlText", 185)),
      m_anchorTextLabel(AddField("anchorText", 185)),
      m_urlIndexLabel(AddField("urlIndex", 20)),
      m_urlTotalLabel(AddField("urlTotal", 20)),
      m_fileBarCtrl(MakeBar("fileBar", this)),
      m_urlBarCtrl(MakeBar("urlBar", this)),
      m_fileBar(*m_fileBarCtrl),
      m_urlBar(*m_urlBarCtrl) {
    setWindowTitle(QStringLiteral("Testing Progress"));
    setModal(false);
    BuildLayout();
}

QLabel* CProgressDlg::AddField(const char* name, int widthUnits) {
    auto* field = new QLabel(this);
    field->setObjectName(QLatin1String(name));
    field->setTextFormat(Qt::PlainText);
    field->setWordWrap(false);
    // A fixed width: the text never widens the window, it is cut at the field's edge instead.
    field->setFixedWidth(platform::CDialogUnits(font()).X(widthUnits));
    return field;
}

// Template 134, 257 x 126 units: the file's lines and bar above, the link's below, labels in a
// column on the left.
void CProgressDlg::BuildLayout() {
    const platform::CDialogUnits units(font());
    const auto label = [this](const char* text) { return new QLabel(QLatin1String(text), this); };
    const auto numberLine = [&](const char* name, QLabel* index, QLabel* total, int ofWidth) {
        auto* line = new QHBoxLayout;
        line->setSpacing(0);
        QLabel* nameLabel = label(name);
        nameLabel->setFixedWidth(units.X(20));
        QLabel* of = label("of");
        of->setAlignment(Qt::AlignCenter);
        of->setFixedWidth(units.X(ofWidth));
        line->addWidget(nameLabel);
        line->addWidget(index);
        line->addWidget(of);
        line->addWidget(total);
        line->addStretch(1);
        return line;
    };
    for (QProgressBar* bar : {m_fileBarCtrl, m_urlBarCtrl}) {
        bar->setMinimumSize(units.Size(235, 15));
    }

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(units.Y(3));
    grid->setColumnMinimumWidth(0, units.X(50));
    grid->addWidget(label("Current File:"), 0, 0);
    grid->addWidget(m_fileTextLabel, 0, 1);
    grid->addLayout(numberLine("File:", m_fileIndexLabel, m_fileTotalLabel, 20), 1, 0, 1, 2);
    grid->addWidget(m_fileBarCtrl, 2, 0, 1, 2);
    grid->setRowMinimumHeight(3, units.Y(10));
    grid->addWidget(label("Current URL:"), 4, 0);
    grid->addWidget(m_urlTextLabel, 4, 1);
    grid->addWidget(m_anchorTextLabel, 5, 1);
    grid->addLayout(numberLine("URL:", m_urlIndexLabel, m_urlTotalLabel, 25), 6, 0, 1, 2);
    grid->addWidget(m_urlBarCtrl, 7, 0, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(units.X(10), units.Y(10), units.X(12), units.Y(11));
    layout->addLayout(grid);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CProgressDlg::UpdateData() {
    m_fileTextLabel->setText(QFile::decodeName(QByteArray::fromStdString(m_fileText)));
    m_fileIndexLabel->setText(Text(m_fileIndex));
    m_fileTotalLabel->setText(Text(m_fileTotal));
    m_urlTextLabel->setText(Text(m_urlText));
    m_anchorTextLabel->setText(Text(m_anchorText));
    m_urlIndexLabel->setText(Text(m_urlIndex));
    m_urlTotalLabel->setText(Text(m_urlTotal));
}

// QDialog itself centres the window over its parent's window the first time it is shown.
void CProgressDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        UpdateData();
    }
    QDialog::showEvent(event);
}

void CProgressDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}
