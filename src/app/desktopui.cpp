#include "desktopui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "app/commands.h"
#include "results/resultsmodel.h"

namespace {

QMessageBox::Icon IconOf(unsigned style) {
    switch (style & 0xF0) {
        case platform::kMbIconStop:
            return QMessageBox::Critical;
        case platform::kMbIconQuestion:
            return QMessageBox::Question;
        case platform::kMbIconExclamation:
            return QMessageBox::Warning;
        case platform::kMbIconInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

CDesktopUserInterface::CDesktopUserInterface() : m_previous(platform::SetUserInterface(this)) {}

CDesktopUserInterface::~CDesktopUserInterface() {
    platform::SetUserInterface(m_previous);
}

int CDesktopUserInterface::MessageBox(const std::string& text, unsigned style) {
    const bool question = (style & platform::kMbButtonsMask) == platform::kMbYesNo;
    QMessageBox box(IconOf(style), QStringLiteral("Linkvet"), DisplayText(text),
                    question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    QApplication::activeWindow());
    const int answer = box.exec();
    if (!question) {
        return platform::kIdOk;
    }
    return answer == QMessageBox::Yes ? platform::kIdYes : platform::kIdNo;
}

void CDesktopUserInterface::MessageBeep(unsigned) {
    QApplication::beep();
}

void CDesktopUserInterface::SetWaitCursor(bool waiting) {
    if (waiting) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

bool CDesktopUserInterface::OpenUrl(const std::string& target) {
    return QDesktopServices::openUrl(QUrl(QString::fromUtf8(target.data(),
                                                            static_cast<qsizetype>(target.size()))));
}

void CDesktopUserInterface::WinHelp(unsigned topic) {
    const QString page = QDir(QString::fromStdString(HelpDirectory())).filePath(QStringLiteral("index.html"));
    QUrl url = QUrl::fromLocalFile(page);
    url.setFragment(QString::fromStdString(HelpAnchor(topic)));
    if (!QDesktopServices::openUrl(url)) {
        QApplication::beep();
    }
}

std::string HelpAnchor(unsigned topic) {
    switch (topic) {
        case kHelpSelectFiles:
            return "select-files";
        case kHelpExport:
            return "export";
        case kHelpPreferences:
            return "preferences";
        case kHelpRepair:
            return "repair";
        case kHelpRepairFailure:
            return "repair-failure";
        case kHelpWebOptions:
            return "web-options";
        case kHelpAbout:
            return "about";
        default:
            return "contents";
    }
}

std::string HelpDirectory() {
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/linkvet/help"));
    if (QFileInfo::exists(installed + QStringLiteral("/index.html"))) {
        return QDir::cleanPath(installed).toStdString();
    }
    return LINKVET_SOURCE_HELP_DIR;
}
