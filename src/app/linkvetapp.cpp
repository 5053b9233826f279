#include "linkvetapp.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPrinter>

#include "app/aboutdlg.h"
#include "app/mainframe.h"

CLinkvetApp::CLinkvetApp() = default;

CLinkvetApp::~CLinkvetApp() {
    ExitInstance();
}

bool CLinkvetApp::InitInstance() {
    m_pSettings = std::make_unique<CRegSettings>();
    OpenSettingsAtStartup(*m_pSettings);
    m_mainFrame = std::make_unique<CMainFrame>(*this);
    m_mainFrame->show();
    return true;
}

// The window goes first: its view ends any run and removes its work files while the
// settings are still there.
void CLinkvetApp::ExitInstance() {
    m_mainFrame.reset();
    m_pSettings.reset();
}

QPrinter& CLinkvetApp::Printer() {
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    return *m_printer;
}

void CLinkvetApp::OnAppAbout(QWidget* parent) {
    CAboutDlg dialog(&m_mailLinkVisited, &m_homeLinkVisited, parent);
    dialog.exec();
}

// The printer and the paper, kept for the next Print without printing now.
void CLinkvetApp::OnFilePrintSetup(QWidget* parent) {
    QPrintDialog dialog(&Printer(), parent);
    dialog.setWindowTitle(QStringLiteral("Print Setup"));
    // No pages or copies: those belong to one print.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    // The dialog's own button says Print; here it only keeps the choice.
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
        for (QAbstractButton* button : buttons->buttons()) {
            if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) {
                button->setText(QStringLiteral("OK"));
            }
        }
    }
    dialog.exec();
}
