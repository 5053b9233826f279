#include "repairdlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/dialogdata.h"
#include "platform/messagebox.h"
#include "repair/repairtext.h"

namespace {

constexpr int kTemplateWidth = 262;

// A row set in under the label of the radio buttons above it.
QHBoxLayout* Indented(QWidget* widget, const QWidget& dialog) {
    auto* row = new QHBoxLayout;
    row->addSpacing(dialog.style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                    dialog.style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing));
    row->addWidget(widget);
    return row;
}

QLabel* WrappedLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

}  // namespace

CRepairDlg::CRepairDlg(QWidget* parent)
    : QDialog(parent),
      m_saveBadUrlsButton(new QCheckBox(QStringLiteral("Save the bad URLs in a separate file."))),
      m_reviewButton(new QCheckBox(QStringLiteral("Show the changes for review before writing them."))),
      m_methodGroup(new QButtonGroup(this)) {
    setWindowTitle(QStringLiteral("URL Link Disable and File Repair"));
    setMinimumWidth(platform::CDialogUnits(font()).X(kTemplateWidth));

    auto* group = new QGroupBox(
        QStringLiteral("When Linkvet finds the offending URL in the file do the following:"));
    auto* methods = new QVBoxLayout(group);
    const auto addMethod = [&](int method, const char* text, const char* whatsThis) {
        auto* button = new QRadioButton(QString::fromLatin1(text));
        button->setWhatsThis(QString::fromLatin1(whatsThis));
        m_methodGroup->addButton(button, method);
        methods->addWidget(button);
    };
    addMethod(kRepairDisable, "Disable the entire line of text containing the URL.",
              "Turns the whole line that holds the link into an HTML comment; nothing is lost.");
    methods->addLayout(Indented(
        WrappedLabel(
            QStringLiteral("No text is deleted. The bad URL is preserved as an HTML comment.")),
        *this));
    addMethod(kRepairReplace, "Replace the URL text with the name of the file it is in.",
              "Puts the page's own name in place of the link and keeps the old address in a "
              "comment.");
    addMethod(kRepairRemove, "Remove the entire line of text containing the URL.",
              "Drops the whole line that holds the link.");
    m_saveBadUrlsButton->setWhatsThis(
        QStringLiteral("After the repair, writes the bad links to a report file you name."));
    methods->addLayout(Indented(m_saveBadUrlsButton, *this));
    m_saveBadUrlsButton->setEnabled(false);
    addMethod(kRepairUpdate, "Update the URL to where it moved for good.",
              "Writes the new address of a link reported as Moved Permanently in place of the "
              "old one; other rows, and moves to a front or sign-in page, are left as they are.");
    m_reviewButton->setWhatsThis(QStringLiteral(
        "Lists every change first; only the rows left ticked are written."));

    auto* okButton = new QPushButton(QStringLiteral("OK"));
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"));
    auto* helpButton = new QPushButton(QStringLiteral("Help"));
    okButton->setDefault(true);
    okButton->setWhatsThis(QStringLiteral("Repairs the pages of the grid's rows."));
    cancelButton->setWhatsThis(QStringLiteral("Closes the window without changing a file."));
    helpButton->setWhatsThis(QStringLiteral("Opens the help on repairing."));
    platform::SetDialogHelp(*this, kHelpTopic);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    buttons->addWidget(helpButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(m_reviewButton);
    layout->addWidget(WrappedLabel(QStringLiteral(
        "For any option, your original files are backed-up with the extension .REP")));
    layout->addLayout(buttons);

    connect(m_methodGroup, &QButtonGroup::idClicked, this, [this] { UpdateSaveOption(); });
    connect(okButton, &QPushButton::clicked, this, &CRepairDlg::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CRepairDlg::reject);
    connect(helpButton, &QPushButton::clicked, this, &CRepairDlg::OnHelp);
}

void CRepairDlg::OnInitDialog() {
    UpdateData(false);
    UpdateSaveOption();
}

int CRepairDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CRepairDlg::accept() {
    UpdateData(true);
    QDialog::accept();
}

void CRepairDlg::UpdateSaveOption() {
    UpdateData(true);
    m_saveBadUrlsButton->setEnabled(m_method == kRepairRemove);
}

void CRepairDlg::OnHelp() {
    platform::WinHelp(kHelpTopic);
}

void CRepairDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_method = m_methodGroup->checkedId();
        m_saveBadUrls = m_saveBadUrlsButton->isChecked() ? 1 : 0;
        m_review = m_reviewButton->isChecked() ? 1 : 0;
        return;
    }
    // An exclusive group never lets its last checked button go.
    m_methodGroup->setExclusive(false);
    for (QAbstractButton* button : m_methodGroup->buttons()) {
        button->setChecked(m_methodGroup->id(button) == m_method);
    }
    m_methodGroup->setExclusive(true);
    m_saveBadUrlsButton->setChecked(m_saveBadUrls != 0);
    m_reviewButton->setChecked(m_review != 0);
}
