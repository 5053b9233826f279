#include "consolerepair.h"

#include "platform/messagebox.h"

bool CConsoleRepairHost::ShowRepairOptions(int& method, int& saveBadUrls) {
    method = m_method;
    saveBadUrls = 0;
    return true;
}

bool CConsoleRepairHost::ShowRepairFailure(const std::string& file, const std::string& url) {
    // Through the message box, so that a link's control bytes are escaped on a terminal.
    platform::MessageBox("The URL Repair failed in file:\n" + file + "\nPossibly near URL:\n" +
                         url);
    return false;
}
