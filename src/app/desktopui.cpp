#include "desktopui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "app/commands.h"
#include "results/resultsmodel.h"

// A box that names no icon gets the one the framework gave it: the question mark for a
// question, the exclamation mark for a notice.
QMessageBox::Icon MessageBoxIcon(unsigned style) {
    unsigned icon = style & 0xF0;
    if (icon == 0) {
        const bool question = (style & platform::kMbButtonsMask) == platform::kMbYesNo;
        icon = question ? platform::kMbIconQuestion : platform::kMbIconExclamation;
    }
    switch (icon) {
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

CDesktopUserInterface::CDesktopUserInterface() : m_previous(platform::SetUserInterface(this)) {}

CDesktopUserInterface::~CDesktopUserInterface() {
    platform::SetUserInterface(m_previous);
}

int CDesktopUserInterface::MessageBox(const std::string& text, unsigned style) {
    const bool question = (style & platform::kMbButtonsMask) == platform::kMbYesNo;
    QMessageBox box(MessageBoxIcon(style), QStringLiteral("Linkvet"), DisplayText(text),
                    question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    QApplication::activeWindow());
    // The box is answered with the mouse: the arrow, whatever cursor the caller shows.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    QApplication::restoreOverrideCursor();
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
    if (!QDesktopServices::openUrl(HelpUrl(topic))) {
        QApplication::beep();
    }
}

std::string HelpPage(unsigned topic) {
    const std::string anchor = HelpAnchor(topic);
    return anchor == "contents" ? "index.html" : "topic-" + anchor + ".html";
}

QUrl HelpUrl(unsigned topic) {
    const QDir help(QString::fromStdString(HelpDirectory()));
    return QUrl::fromLocalFile(help.filePath(QString::fromStdString(HelpPage(topic))));
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
        case kHelpMainWindow:
            return "main-window";
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
