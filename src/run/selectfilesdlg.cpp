#include "run/selectfilesdlg.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "settings/regsettings.h"

std::string BrowseInitialName(const std::string& starter) {
    if (starter.empty()) {
        return "*.*";
    }
    std::string folder = starter;
    const std::size_t lastSlash = folder.rfind('/');
    if (folder.find('/') != lastSlash) {
        folder.erase(lastSlash);
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder + "*.*";
}

CSelectFilesDlg::CSelectFilesDlg(CRegSettings& settings, QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_pathEdit(new platform::CFileNameEdit(kPathLimit, this)),
      m_allFilesBox(new QCheckBox(QStringLiteral("Test other files in this directory"), this)),
      m_recurseBox(
          new QCheckBox(QStringLiteral("Test in this directory and all sub-directories"), this)),
      m_htmlOnlyBox(new QCheckBox(
          QStringLiteral("Only test files with extensions like \"htm\" or similar"), this)),
      m_browseButton(new QPushButton(QStringLiteral("Browse..."), this)),
      m_okButton(new QPushButton(QStringLiteral("OK"), this)),
      m_cancelButton(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowTitle(QStringLiteral("Select File(s) to Test"));
    m_pathEdit->setObjectName(QStringLiteral("path"));
    m_okButton->setDefault(true);
    BuildLayout();
    SetWhatsThisTexts();
    platform::SetDialogHelp(*this, kHelpTopic);

    connect(m_recurseBox, &QCheckBox::clicked, this, &CSelectFilesDlg::OnClickRecurse);
    connect(m_allFilesBox, &QCheckBox::clicked, this, &CSelectFilesDlg::OnClickAllFiles);
    connect(m_browseButton, &QPushButton::clicked, this, &CSelectFilesDlg::OnBrowse);
    connect(m_okButton, &QPushButton::clicked, this, &CSelectFilesDlg::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &CSelectFilesDlg::reject);
}

// Template 130, 347 x 73 units: the path and Browse on top, the three boxes below on the left,
// OK and Cancel at the bottom right.
void CSelectFilesDlg::BuildLayout() {
    platform::LayOutPathDialog(*this, *m_pathEdit, *m_browseButton,
                               {m_allFilesBox, m_recurseBox, m_htmlOnlyBox}, *m_okButton,
                               *m_cancelButton);
}

void CSelectFilesDlg::SetWhatsThisTexts() {
    m_pathEdit->setWhatsThis(QStringLiteral(
        "The file to test or, with \"Test other files in this directory\" ticked, the folder."));
    m_browseButton->setWhatsThis(QStringLiteral("Picks the file, or the folder, from a list."));
    m_allFilesBox->setWhatsThis(
        QStringLiteral("Tests every file of the folder named above instead of one file."));
    m_recurseBox->setWhatsThis(
        QStringLiteral("Also tests the files of every sub-folder, at any depth."));
    m_htmlOnlyBox->setWhatsThis(
        QStringLiteral("In a folder, tests only web pages: files whose names hold .htm, .html, "
                       ".asp and the like."));
    m_okButton->setWhatsThis(QStringLiteral("Starts the test."));
    m_cancelButton->setWhatsThis(QStringLiteral("Closes the window without testing."));
}

bool CSelectFilesDlg::UpdateData(bool saveAndValidate) {
    if (!saveAndValidate) {
        m_pathEdit->SetFileName(m_path);
        m_recurseBox->setChecked(m_recurse);
        m_allFilesBox->setChecked(m_allFiles);
        m_htmlOnlyBox->setChecked(m_htmlOnly);
        return true;
    }
    if (!m_pathEdit->IsWithinLimit()) {
        platform::FailField(*m_pathEdit, platform::TooLongMessage(kPathLimit));
        return false;
    }
    m_path = m_pathEdit->FileName();
    m_recurse = m_recurseBox->isChecked();
    m_allFiles = m_allFilesBox->isChecked();
    m_htmlOnly = m_htmlOnlyBox->isChecked();
    return true;
}

void CSelectFilesDlg::OnClickRecurse() {
    if (!UpdateData(true)) {
        return;
    }
    if (m_recurse) {
        m_allFiles = true;
    }
    UpdateData(false);
}

void CSelectFilesDlg::OnClickAllFiles() {
    if (!UpdateData(true)) {
        return;
    }
    if (!m_allFiles) {
        m_recurse = false;
    }
    UpdateData(false);
}

void CSelectFilesDlg::OnBrowse() {
    if (!UpdateData(true)) {
        return;
    }
    // A directory run starts from a folder, a single-file run from the folder of the file last
    // tested; the edit field plays no part in either.
    const std::optional<std::string> picked =
        m_allFiles ? PickFolder("Folder to Test")
                   : PickFile(BrowseInitialName(m_settings.GetString("FileSel", "Starter", "")));
    if (picked) {
        m_path = *picked;
        UpdateData(false);
    }
    m_okButton->setFocus();
}

std::optional<std::string> CSelectFilesDlg::PickFolder(const std::string& title) {
    const QString folder =
        QFileDialog::getExistingDirectory(this, QString::fromUtf8(title), QString());
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(folder).toStdString();
}

std::optional<std::string> CSelectFilesDlg::PickFile(const std::string& initialName) {
    const QString file = QFileDialog::getOpenFileName(
        this, QString(), QFile::decodeName(QByteArray::fromStdString(initialName)));
    if (file.isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(file).toStdString();
}

void CSelectFilesDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        UpdateData(false);
    }
    QDialog::showEvent(event);
}

void CSelectFilesDlg::accept() {
    if (UpdateData(true)) {
        QDialog::accept();
    }
}
