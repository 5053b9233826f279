#pragma once

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

// The help page and anchor that explain a topic.
std::string HelpAnchor(unsigned topic);
// Where the help pages are: installed beside the program, else in the source tree.
std::string HelpDirectory();
