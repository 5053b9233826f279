#include "run/progressdlg.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/dialogdata.h"
#include "platform/displaytext.h"

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

// A number field holds up to six digits; it is sized by the font's own digits, so a count in
// the thousands is not cut off by a font wider than the template's.
constexpr int kNumberDigits = 6;

int NumberWidth(const QFontMetrics& metrics) {
    int widest = 0;
    for (char digit = '0'; digit <= '9'; ++digit) {
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(digit)));
    }
    return kNumberDigits * widest;
}

}  // namespace

CProgressDlg::CProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_fileTextLabel(AddField("fileText", 185)),
      m_fileIndexLabel(AddNumberField("fileIndex", 15)),
      m_fileTotalLabel(AddNumberField("fileTotal", 15)),
      m_urlTextLabel(AddField("urlText", 185)),
      m_anchorTextLabel(AddField("anchorText", 185)),
      m_urlIndexLabel(AddNumberField("urlIndex", 20)),
      m_urlTotalLabel(AddNumberField("urlTotal", 20)),
      m_fileBarCtrl(MakeBar("fileBar", this)),
      m_urlBarCtrl(MakeBar("urlBar", this)),
      m_fileBar(*m_fileBarCtrl),
      m_urlBar(*m_urlBarCtrl) {
    setWindowTitle(QStringLiteral("Testing Progress"));
    setModal(false);
    // The main window keeps the focus, so Esc there stops the run whatever the user clicks.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
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

QLabel* CProgressDlg::AddNumberField(const char* name, int widthUnits) {
    QLabel* field = AddField(name, widthUnits);
    field->setFixedWidth(std::max(field->width(), NumberWidth(field->fontMetrics())));
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
    m_fileTextLabel->setText(platform::DisplayText(m_fileText));
    m_fileIndexLabel->setText(platform::DisplayText(m_fileIndex));
    m_fileTotalLabel->setText(platform::DisplayText(m_fileTotal));
    m_urlTextLabel->setText(platform::DisplayText(m_urlText));
    m_anchorTextLabel->setText(platform::DisplayText(m_anchorText));
    m_urlIndexLabel->setText(platform::DisplayText(m_urlIndex));
    m_urlTotalLabel->setText(platform::DisplayText(m_urlTotal));
}

// QDialog itself centres the window over its parent's window the first time it is shown.
void CProgressDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        UpdateData();
    }
    QDialog::showEvent(event);
}

void CProgressDlg::reject() {
    if (m_onEscape) {
        QTimer::singleShot(0, parentWidget(), m_onEscape);
    }
}

void CProgressDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}
