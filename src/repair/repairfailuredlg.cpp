#include "repairfailuredlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/dialogdata.h"
#include "platform/displaytext.h"

namespace {

constexpr int kTemplateWidth = 217;

// Reads an edit box back into its bytes. Text the user left alone keeps its bytes, also
// those that UTF-8 cannot show.
void ReadBack(const QLineEdit& edit, std::string& bytes) {
    if (edit.text() != platform::DisplayText(bytes)) {
        bytes = edit.text().toUtf8().toStdString();
    }
}

}  // namespace

CRepairFailureDlg::CRepairFailureDlg(QWidget* parent)
    : QDialog(parent),
      m_failedFileEdit(new QLineEdit),
      m_failedUrlEdit(new QLineEdit),
      m_ignoreButton(new QCheckBox(QStringLiteral(
          "Please ignore this instance of this URL \nfor the remainder of this session."))) {
    setWindowTitle(QStringLiteral("Repair Failure"));
    setMinimumWidth(platform::CDialogUnits(font()).X(kTemplateWidth));

    auto* advice =
        new QLabel(QStringLiteral("Please examine/correct the file and try to re-run the Repair.\n"
                                  "(Your original file was saved with extension .REP)"));
    advice->setWordWrap(true);
    auto* okButton = new QPushButton(QStringLiteral("OK"));
    okButton->setDefault(true);
    m_failedFileEdit->setWhatsThis(QStringLiteral("The page where the repair stopped."));
    m_failedUrlEdit->setWhatsThis(QStringLiteral("The link near which it stopped."));
    m_ignoreButton->setWhatsThis(
        QStringLiteral("Drops this row from the grid, so the next repair passes it by."));
    okButton->setWhatsThis(QStringLiteral("Closes the window."));
    platform::SetDialogHelp(*this, kHelpTopic);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The URL Repair failed in file:")));
    layout->addWidget(m_failedFileEdit);
    layout->addWidget(new QLabel(QStringLiteral("Possibly near URL:")));
    layout->addWidget(m_failedUrlEdit);
    layout->addWidget(advice);
    layout->addWidget(m_ignoreButton);
    layout->addLayout(buttons);

    connect(okButton, &QPushButton::clicked, this, &CRepairFailureDlg::accept);
}

void CRepairFailureDlg::OnInitDialog() {
    UpdateData(false);
}

int CRepairFailureDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CRepairFailureDlg::accept() {
    UpdateData(true);
    QDialog::accept();
}

void CRepairFailureDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_ignore = m_ignoreButton->isChecked() ? 1 : 0;
        ReadBack(*m_failedUrlEdit, m_failedUrl);
        ReadBack(*m_failedFileEdit, m_failedFile);
        return;
    }
    m_ignoreButton->setChecked(m_ignore != 0);
    m_failedUrlEdit->setText(platform::DisplayText(m_failedUrl));
    m_failedFileEdit->setText(platform::DisplayText(m_failedFile));
}
