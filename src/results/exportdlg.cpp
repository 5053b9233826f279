#include "results/exportdlg.h"

#include <QButtonGroup>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <string_view>

namespace {

// Replaces the last `count` characters, whatever they are, by `extension`.
std::string ReplaceTail(const std::string& name, std::size_t count, std::string_view extension) {
    return name.substr(0, name.size() - count).append(extension);
}

bool ContainsAfterStart(const std::string& name, std::string_view part) {
    const std::size_t at = name.find(part);
    return at != std::string::npos && at > 0;
}

}  // namespace

std::string SwapReportExtension(const std::string& fileName, int format) {
    std::string name = fileName;
    if (format == CExportDlg::kHtmlFormat && ContainsAfterStart(name, ".txt")) {
        name = ReplaceTail(name, 4, ".html");
    }
    if (format == CExportDlg::kTextFormat && ContainsAfterStart(name, ".html")) {
        name = ReplaceTail(name, 5, ".txt");
    }
    return name;
}

CExportDlg::CExportDlg(QWidget* parent)
    : QDialog(parent),
      m_fileNameEdit(new platform::CFileNameEdit(kFileNameLimit, this)),
      m_browseButton(new QPushButton(QStringLiteral("Browse..."), this)),
      m_textButton(new QRadioButton(QStringLiteral("Export as Text file"), this)),
      m_htmlButton(new QRadioButton(QStringLiteral("Export as HTML file"), this)),
      m_formatGroup(new QButtonGroup(this)),
      m_okButton(new QPushButton(QStringLiteral("OK"), this)),
      m_cancelButton(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowTitle(QStringLiteral("Export Bad URLs"));
    m_fileNameEdit->setObjectName(QStringLiteral("fileName"));
    m_formatGroup->addButton(m_textButton, kTextFormat);
    m_formatGroup->addButton(m_htmlButton, kHtmlFormat);
    m_okButton->setDefault(true);
    BuildLayout();
    SetWhatsThisTexts();
    platform::SetDialogHelp(*this, kHelpTopic);

    connect(m_browseButton, &QPushButton::clicked, this, &CExportDlg::OnBrowse);
    connect(m_formatGroup, &QButtonGroup::idClicked, this, &CExportDlg::OnFormatChanged);
    connect(m_okButton, &QPushButton::clicked, this, &CExportDlg::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &CExportDlg::reject);
}

// Template 135, 347 x 61 units: the path and Browse on top, the two formats below on the left,
// OK and Cancel at the bottom right.
void CExportDlg::BuildLayout() {
    platform::LayOutPathDialog(*this, *m_fileNameEdit, *m_browseButton,
                               {m_textButton, m_htmlButton}, *m_okButton, *m_cancelButton);
}

void CExportDlg::SetWhatsThisTexts() {
    m_fileNameEdit->setWhatsThis(QStringLiteral("The file the report is written to."));
    m_browseButton->setWhatsThis(QStringLiteral("Picks the report file from a list."));
    m_textButton->setWhatsThis(QStringLiteral(
        "A plain text report: each file's failed links with their reason and text, separated by "
        "tabs."));
    m_htmlButton->setWhatsThis(
        QStringLiteral("A web page that lists each file's failed links as links you can click."));
    m_okButton->setWhatsThis(
        QStringLiteral("Writes the report; asks first when the file already exists."));
    m_cancelButton->setWhatsThis(QStringLiteral("Closes the window without writing a report."));
}

bool CExportDlg::UpdateData(bool saveAndValidate) {
    if (!saveAndValidate) {
        m_fileNameEdit->SetFileName(m_fileName);
        // An exclusive group cannot show "neither" on its own.
        m_formatGroup->setExclusive(false);
        m_textButton->setChecked(m_format == kTextFormat);
        m_htmlButton->setChecked(m_format == kHtmlFormat);
        m_formatGroup->setExclusive(true);
        return true;
    }
    if (!m_fileNameEdit->IsWithinLimit()) {
        platform::FailField(*m_fileNameEdit, platform::TooLongMessage(kFileNameLimit));
        return false;
    }
    m_fileName = m_fileNameEdit->FileName();
    m_format = m_formatGroup->checkedId();
    return true;
}

void CExportDlg::OnBrowse() {
    if (!UpdateData(true)) {
        return;
    }
    const bool text = m_format == kTextFormat;
    const std::optional<std::string> picked = PickSaveFile(
        m_fileName,
        text ? "Text Files (*.txt);;All Files (*)" : "HTML Files (*.html);;All Files (*)",
        text ? "txt" : "html");
    if (!picked) {
        return;
    }
    m_fileName = *picked;
    UpdateData(false);
    m_okButton->setFocus();
}

void CExportDlg::OnFormatChanged() {
    if (!UpdateData(true)) {
        return;
    }
    m_fileName = SwapReportExtension(m_fileName, m_format);
    UpdateData(false);
}

std::optional<std::string> CExportDlg::PickSaveFile(const std::string& initialName,
                                                    const std::string& nameFilter,
                                                    const std::string& defaultSuffix) {
    QFileDialog picker(this, QString(), QFile::decodeName(QByteArray::fromStdString(initialName)),
                       QString::fromUtf8(nameFilter));
    picker.setAcceptMode(QFileDialog::AcceptSave);
    picker.setDefaultSuffix(QString::fromUtf8(defaultSuffix));
    // The Export command asks before replacing a file.
    picker.setOption(QFileDialog::DontConfirmOverwrite);
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(picker.selectedFiles().constFirst()).toStdString();
}

void CExportDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        UpdateData(false);
    }
    QDialog::showEvent(event);
}

void CExportDlg::accept() {
    if (UpdateData(true)) {
        QDialog::accept();
    }
}
