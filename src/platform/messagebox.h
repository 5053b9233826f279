#pragma once

#include <deque>
#include <string>
#include <vector>

namespace platform {

// Message box styles and answers, with the values AfxMessageBox uses.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbIconStop = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbButtonsMask = 0xF;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Where message boxes, beeps, the wait cursor, the shell and the help go: the desktop in the
// window program, stderr in the console, a script in tests. One is current at a time.
class CUserInterface {
public:
    virtual ~CUserInterface() = default;
    virtual int MessageBox(const std::string& text, unsigned style) = 0;
    virtual void MessageBeep(unsigned sound) = 0;
    virtual void SetWaitCursor(bool waiting) = 0;
    // Opens a document, address or mail target with the user's default handler.
    virtual bool OpenUrl(const std::string& target) = 0;
    // Opens the program's help at a topic's context number.
    virtual void WinHelp(unsigned topic) = 0;
};

// Makes ui current and returns the one it replaces; null restores the console default.
CUserInterface* SetUserInterface(CUserInterface* ui);

int MessageBox(const std::string& text, unsigned style = kMbOk);
void MessageBeep(unsigned sound);
bool OpenUrl(const std::string& target);
void WinHelp(unsigned topic);

// Shows the wait cursor for as long as it lives.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// Writes each message to stderr; a question gets its first button's answer.
class CConsoleUserInterface : public CUserInterface {
public:
    int MessageBox(const std::string& text, unsigned style) override;
    void MessageBeep(unsigned sound) override;
    void SetWaitCursor(bool) override {}
    bool OpenUrl(const std::string&) override { return false; }
    void WinHelp(unsigned) override {}
};

// The test answerer: records every message, beep, opened target and help topic, and answers
// questions from a script (Yes/No boxes take the next scripted answer, kIdNo when the script
// has run out).
class CScriptedUserInterface : public CUserInterface {
public:
    CScriptedUserInterface();
    ~CScriptedUserInterface() override;

    int MessageBox(const std::string& text, unsigned style) override;
    void MessageBeep(unsigned sound) override { m_beeps.push_back(sound); }
    void SetWaitCursor(bool waiting) override { m_waitCursorShown |= waiting; }
    bool OpenUrl(const std::string& target) override {
        m_openedUrls.push_back(target);
        return m_openSucceeds;
    }
    void WinHelp(unsigned topic) override { m_helpTopics.push_back(topic); }

    std::vector<std::string> m_messages;
    std::vector<unsigned> m_beeps;
    std::deque<int> m_answers;
    bool m_waitCursorShown = false;
    std::vector<std::string> m_openedUrls;
    bool m_openSucceeds = true;
    std::vector<unsigned> m_helpTopics;

private:
    CUserInterface* m_previous;
};

}  // namespace platform
