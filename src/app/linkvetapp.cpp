#include "linkvetapp.h"

#include <QPageSetupDialog>
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

void CLinkvetApp::OnFilePrintSetup(QWidget* parent) {
    QPageSetupDialog dialog(&Printer(), parent);
    dialog.exec();
}
