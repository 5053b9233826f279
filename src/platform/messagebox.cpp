#include "messagebox.h"

#include <cstdio>

namespace platform {
namespace {

CConsoleUserInterface g_console;
CUserInterface* g_current = &g_console;

}  // namespace

CUserInterface* SetUserInterface(CUserInterface* ui) {
    CUserInterface* previous = g_current;
    g_current = ui != nullptr ? ui : &g_console;
    return previous;
}

int MessageBox(const std::string& text, unsigned style) {
    return g_current->MessageBox(text, style);
}

void MessageBeep(unsigned sound) {
    g_current->MessageBeep(sound);
}

bool OpenUrl(const std::string& target) {
    return g_current->OpenUrl(target);
}

void WinHelp(unsigned topic) {
    g_current->WinHelp(topic);
}

CWaitCursor::CWaitCursor() {
    g_current->SetWaitCursor(true);
}

CWaitCursor::~CWaitCursor() {
    g_current->SetWaitCursor(false);
}

int CConsoleUserInterface::MessageBox(const std::string& text, unsigned style) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    return (style & kMbButtonsMask) == kMbYesNo ? kIdYes : kIdOk;
}

void CConsoleUserInterface::MessageBeep(unsigned) {}

CScriptedUserInterface::CScriptedUserInterface() : m_previous(SetUserInterface(this)) {}

CScriptedUserInterface::~CScriptedUserInterface() {
    SetUserInterface(m_previous);
}

int CScriptedUserInterface::MessageBox(const std::string& text, unsigned style) {
    m_messages.push_back(text);
    if ((style & kMbButtonsMask) != kMbYesNo) {
        return kIdOk;
    }
    if (m_answers.empty()) {
        return kIdNo;
    }
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

}  // namespace platform
