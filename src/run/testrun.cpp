#include "testrun.h"

#include "model/linkscanner.h"
#include "platform/fileops.h"
#include "platform/messagebox.h"
#include "platform/systemdir.h"
#include "platform/textfile.h"
#include "settings/regsettings.h"

CTestRun::CTestRun(CRegSettings& settings)
    : m_settings(settings), m_timers([this](int id) { OnTimer(id); }) {
    for (std::size_t index = 0; index < kResultCodeCount; ++index) {
        m_reasonText[index] = std::string(kResultCodes[index].reasonText);
    }
    m_timeoutMillis = m_timeoutSeconds * 1000;
    LoadPreferences();
}

CTestRun::~CTestRun() {
    StopRunTimers();
    ResetRun(false);
    RemoveWorkFiles();
}

int CTestRun::IsReportable(ResultCode code) const {
    return FilterReports(m_filter, code) ? 1 : 0;
}

std::string CTestRun::GetReasonText(ResultCode code) {
    if (const auto index = ResultCodeIndex(code)) {
        return m_reasonText[*index];
    }
    m_unknownErrorSeen = true;
    platform::MessageBeep(platform::kMbIconExclamation);
    return std::string(kUnknownReasonText);
}

std::string CTestRun::WorkFilePath() const {
    return platform::JoinPath(platform::SystemDirectory(), m_tempBase + "2");
}

int CTestRun::ScanFile(std::string path) {
    StringList urls;
    StringList anchorNames;
    if (ScanLinks(path, WorkFilePath(), urls, anchorNames) != ScanResult::Scanned) {
        // The timers stop before the box opens, so no tick arrives while it is shown.
        StopRunTimers();
        platform::MessageBox("Error: Cannot open file:\n\n" + path);
        return 0;
    }
    for (std::size_t i = 0; i < urls.size(); ++i) {
        m_urlList.push_back(std::move(urls[i]));
        m_anchorNameList.push_back(std::move(anchorNames[i]));
    }
    m_urlCount = static_cast<int>(m_urlList.size());
    return 1;
}

bool CTestRun::ValidateChoice(const CFileChoice& choice) const {
    if (choice.allFiles) {
        if (!platform::IsEnterableDirectory(choice.path)) {
            platform::MessageBox(
                "The chosen directory does not exist\n\n(Your \"Test Other Files\" choice means "
                "you should\nspecify a valid directory path, NOT a file path)");
            return false;
        }
        return true;
    }
    // A directory opens for reading on Linux; only a regular file that opens is a file here.
    if (!platform::IsRegularFile(choice.path) || !platform::OpenFile(choice.path, "rb")) {
        platform::MessageBox("The specified file does not exist");
        return false;
    }
    return true;
}

void CTestRun::LoadPreferences() {
    m_filter = m_settings.GetString("Settings", "Filter", std::string(kWatchLikeAHawkFilter));
    if (m_filter.size() != kResultCodeCount) {
        platform::MessageBox("Setting Filter Codes to Safe Default");
        m_filter = kWatchLikeAHawkFilter;
        m_settings.SetString("Settings", "Filter", m_filter);
    }
    m_timeoutSeconds = m_settings.GetInt("Settings", "Timeout", 15);
    m_timeoutMillis = m_timeoutSeconds * 1000;
}

void CTestRun::ResetRun(bool updateStatus) {
    m_fileList.clear();
    m_urlList.clear();
    m_anchorNameList.clear();
    m_runEnded = true;
    m_awaitingReply = false;
    if (updateStatus) {
        SetStatusText(1, "Connection Status");
        SetStatusText(2, "HTTP Method Status");
    }
}

void CTestRun::StopRunTimers() {
    if (m_runTimerActive) {
        m_timers.KillTimer(kRunTimer);
        m_runTimerActive = false;
    }
    if (m_linkTimerActive) {
        m_timers.KillTimer(kLinkTimer);
        m_linkTimerActive = false;
    }
}

void CTestRun::OnTimer(int) {}

void CTestRun::RemoveWorkFiles() const {
    const std::string directory = platform::SystemDirectory();
    for (const char* suffix : {"", "1", "2", "3"}) {
        const std::string path = platform::JoinPath(directory, m_tempBase + suffix);
        if (platform::OpenFile(path, "r")) {
            platform::DeleteFile(path);
        }
    }
}
