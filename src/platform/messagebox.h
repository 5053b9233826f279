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

// Where message boxes, beeps and the wait cursor go: a dialog in the window program, stderr in
// the console, a script in tests. One is current at a time.
class CUserInterface {
public:
    virtual ~CUserInterface() = default;
    virtual int MessageBox(const std::string& text, unsigned style) = 0;
    virtual void MessageBeep(unsigned sound) = 0;
    virtual void SetWaitCursor(bool waiting) = 0;
};

// Makes ui current and returns the one it replaces; null restores the console default.
CUserInterface* SetUserInterface(CUserInterface* ui);

int MessageBox(const std::string& text, unsigned style = kMbOk);
void MessageBeep(unsigned sound);

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
};

// The test answerer: records every message and beep, and answers questions from a script
// (Yes/No boxes take the next scripted answer, kIdNo when the script has run out).
class CScriptedUserInterface : public CUserInterface {
public:
    CScriptedUserInterface();
    ~CScriptedUserInterface() override;

    int MessageBox(const std::string& text, unsigned style) override;
    void MessageBeep(unsigned sound) override { m_beeps.push_back(sound); }
    void SetWaitCursor(bool waiting) override { m_waitCursorShown |= waiting; }

    std::vector<std::string> m_messages;
    std::vector<unsigned> m_beeps;
    std::deque<int> m_answers;
    bool m_waitCursorShown = false;

private:
    CUserInterface* m_previous;
};

}  // namespace platform
