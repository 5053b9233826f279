#pragma once

#include <QMessageBox>
#include <QUrl>

#include "platform/messagebox.h"

class QWidget;

// Message boxes, beeps, the wait cursor, the shell and the help as the window program shows
// them: dialogs captioned "Linkvet" over the main window.
class CDesktopUserInterface : public platform::CUserInterface {
public:
    CDesktopUserInterface();
    ~CDesktopUserInterface() override;
    CDesktopUserInterface(const CDesktopUserInterface&) = delete;
    CDesktopUserInterface& operator=(const CDesktopUserInterface&) = delete;

    int MessageBox(const std::string& text, unsigned style) override;
    void MessageBeep(unsigned sound) override;
    void SetWaitCursor(bool waiting) override;
    bool OpenUrl(const std::string& target) override;
    void WinHelp(unsigned topic) override;

private:
    platform::CUserInterface* m_previous;
};

// The icon a message box of this style shows.
QMessageBox::Icon MessageBoxIcon(unsigned style);

// The anchor in the help's index that explains a topic; "contents" for the index's top.
std::string HelpAnchor(unsigned topic);
// The page a topic opens: a page of its own that leads on to its anchor, because the desktop's
// openers drop the "#anchor" of a file address; the index itself for the contents.
std::string HelpPage(unsigned topic);
QUrl HelpUrl(unsigned topic);
// Where the help pages are: installed beside the program, else in the source tree.
std::string HelpDirectory();
