#include "consolerepair.h"

#include <cstdio>

bool CConsoleRepairHost::ShowRepairOptions(int& method, int& saveBadUrls) {
    method = m_method;
    saveBadUrls = 0;
    return true;
}

bool CConsoleRepairHost::ShowRepairFailure(const std::string& file, const std::string& url) {
    const std::string text =
        "The URL Repair failed in file:\n" + file + "\nPossibly near URL:\n" + url + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    return false;
}
