#pragma once

#include <array>
#include <string>

#include "model/fileselect.h"
#include "model/stringlist.h"
#include "platform/timerhost.h"
#include "probe/resultcodes.h"

class CRegSettings;

// The state of a test run and the operations on it, without any widget: the window's results
// view and the console front end both derive from it, so they cannot disagree about a verdict.
// Everything runs on the one thread of the event loop; the flags below are the only guard
// against re-entry.
class CTestRun {
public:
    static constexpr int kRunTimer = 103;
    static constexpr int kLinkTimer = 105;

    explicit CTestRun(CRegSettings& settings);
    virtual ~CTestRun();
    CTestRun(const CTestRun&) = delete;
    CTestRun& operator=(const CTestRun&) = delete;

    // 1 when a verdict with this code is to be reported, 0 when the filter drops it.
    int IsReportable(ResultCode code) const;
    // The reason text of a code. A code outside the table is not an error: it gets a fixed
    // warning text, a warning beep, and marks the run (m_unknownErrorSeen).
    std::string GetReasonText(ResultCode code);

    // Appends the links of one file to m_urlList and m_anchorNameList and sets m_urlCount;
    // 1 on success. On 0 the timers are stopped and the user has been told.
    int ScanFile(std::string path);

    // The existence checks a choice must pass before a run starts; shows the reason when not.
    bool ValidateChoice(const CFileChoice& choice) const;

    // Loads "Settings"/"Filter" and "Settings"/"Timeout" over the construction defaults.
    void LoadPreferences();

    // Empties the lists and sets m_runEnded; the timers are the caller's.
    void ResetRun(bool updateStatus);

    // The scanner's work file, in the system directory.
    std::string WorkFilePath() const;

    // The run state. Links wait in two parallel lists: entry i of m_urlList is a link of
    // m_currentFile and entry i of m_anchorNameList its anchor name.
    StringList m_fileList;
    int m_fileCount = 0;
    std::string m_currentFile;
    StringList m_urlList;
    StringList m_anchorNameList;
    int m_urlCount = 0;
    // Reportable failures of m_currentFile so far; -1 until a run takes up its first file.
    int m_errorCount = 0;
    int m_scheme = 0;
    bool m_awaitingReply = false;
    bool m_runTimerActive = false;
    bool m_linkTimerActive = false;
    bool m_runEnded = false;
    bool m_unknownErrorSeen = false;
    std::string m_tempBase = "urltmp~";
    std::array<std::string, kResultCodeCount> m_reasonText;
    std::string m_filter{kWatchLikeAHawkFilter};
    int m_timeoutSeconds = 15;
    int m_timeoutMillis = 15000;

protected:
    CRegSettings& Settings() const { return m_settings; }

    // Stops timers 103 and 105 if they run, clearing their flags in the same step.
    void StopRunTimers();
    virtual void OnTimer(int id);

    // Status pane texts: pane 1 the connection, pane 2 the HTTP exchange.
    virtual void SetStatusText(int pane, const std::string& text) = 0;

private:
    void RemoveWorkFiles() const;

    CRegSettings& m_settings;
    platform::CTimerHost m_timers;
};
