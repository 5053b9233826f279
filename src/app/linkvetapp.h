#pragma once

#include <QApplication>
#include <memory>

#include "settings/regsettings.h"

class CMainFrame;
class QPrinter;
class QWidget;

// The application: the settings store, which outlives the main window, the printer the print
// commands share, and the about box's visited links.
class CLinkvetApp {
public:
    CLinkvetApp();
    ~CLinkvetApp();
    CLinkvetApp(const CLinkvetApp&) = delete;
    CLinkvetApp& operator=(const CLinkvetApp&) = delete;

    // The settings root (and the legacy import on the first start), then the main window.
    bool InitInstance();
    void ExitInstance();

    CRegSettings& Settings() { return *m_pSettings; }
    CMainFrame* MainFrame() { return m_mainFrame.get(); }
    QPrinter& Printer();

    void OnAppAbout(QWidget* parent);
    void OnFilePrintSetup(QWidget* parent);

    int m_mailLinkVisited = 0;
    int m_homeLinkVisited = 0;

private:
    std::unique_ptr<CRegSettings> m_pSettings;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<CMainFrame> m_mainFrame;
};
