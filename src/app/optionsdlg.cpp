#include "app/optionsdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/messagebox.h"
#include "run/testrun.h"

namespace {

QSpinBox* CountBox(int value, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(1, CTestRun::kMaxJobs);
    box->setValue(value);
    return box;
}

}  // namespace

COptionsDlg::COptionsDlg(const CWebOptions& options, QWidget* parent)
    : QDialog(parent),
      m_https(new QCheckBox(QStringLiteral("Check https links"), this)),
      m_jobs(CountBox(options.jobs, this)),
      m_perHost(CountBox(options.perHost, this)),
      m_scanner(new QComboBox(this)),
      m_redirects(new QCheckBox(QStringLiteral("Follow redirects"), this)),
      m_siteRoot(new QLineEdit(QFile::decodeName(QByteArray::fromStdString(options.siteRoot)),
                               this)),
      m_okButton(new QPushButton(QStringLiteral("OK"), this)),
      m_cancelButton(new QPushButton(QStringLiteral("Cancel"), this)),
      m_helpButton(new QPushButton(QStringLiteral("Help"), this)) {
    setWindowTitle(QStringLiteral("Web Options"));
    m_https->setChecked(options.https);
    m_jobs->setObjectName(QStringLiteral("jobs"));
    m_perHost->setObjectName(QStringLiteral("perHost"));
    m_scanner->addItem(QStringLiteral("Classic"));
    m_scanner->addItem(QStringLiteral("HTML"));
    // A stored value other than 1 reads as the classic scanner, as the run takes it.
    m_scanner->setCurrentIndex(options.scanner == 1 ? 1 : 0);
    m_redirects->setChecked(options.redirects == 1);
    m_siteRoot->setPlaceholderText(QStringLiteral("the folder the test starts on"));
    m_okButton->setDefault(true);
    BuildLayout();
    connect(m_okButton, &QPushButton::clicked, this, &COptionsDlg::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &COptionsDlg::reject);
    connect(m_helpButton, &QPushButton::clicked, this, &COptionsDlg::OnHelp);
}

void COptionsDlg::BuildLayout() {
    auto* form = new QFormLayout;
    form->addRow(m_https);
    form->addRow(QStringLiteral("Links to check at once:"), m_jobs);
    form->addRow(QStringLiteral("At most to one host:"), m_perHost);
    form->addRow(QStringLiteral("Scanner:"), m_scanner);
    form->addRow(QStringLiteral("Site root (for links that start with /):"), m_siteRoot);
    form->addRow(m_redirects);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_helpButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CWebOptions COptionsDlg::Options() const {
    return {m_https->isChecked(), m_jobs->value(), m_perHost->value(), m_scanner->currentIndex(),
            m_redirects->isChecked() ? 1 : 0, QFile::encodeName(m_siteRoot->text()).toStdString()};
}

void COptionsDlg::OnHelp() {
    platform::WinHelp(kHelpTopic);
}
