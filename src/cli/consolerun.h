#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/messagebox.h"
#include "results/machinereport.h"
#include "results/resulttable.h"
#include "run/testrun.h"

// Standard error as the console's log pane, progress window and message boxes: log lines and
// messages as they come, and, on a terminal, one progress line redrawn in place beneath them.
// On a terminal, control bytes in what is written are escaped; into a file or a pipe every
// byte is written as it is.
class CConsoleScreen : public platform::CConsoleUserInterface {
public:
    CConsoleScreen(std::FILE* stream, bool quiet, bool terminal);

    void Log(const std::string& text);
    void ShowProgress(const std::string& line);
    void ClearProgress();
    bool ShowsProgress() const { return m_showProgress; }

    int MessageBox(const std::string& text, unsigned style) override;

private:
    std::string Shown(const std::string& text) const;

    std::FILE* m_stream;
    bool m_quiet;
    bool m_terminal;
    bool m_showProgress;
    bool m_progressShown = false;
};

// The run as the console drives it. Rows go to a table for the report written after the run,
// every verdict to the run's record; log lines and progress go to the screen; the status
// panes are not shown.
class CConsoleRun : public CTestRun {
public:
    CConsoleRun(CRegSettings& settings, CConsoleScreen& screen);

    const CResultTable& Results() const { return m_results; }
    // The rows as a repair after the run marks them.
    CResultTable& Results() { return m_results; }
    CRunRecord& Record() { return m_record; }
    // Only the machine reports list every link tested; the others need only the rows.
    void RecordEveryLink(bool record) { m_recordEveryLink = record; }

protected:
    void AddResult(const std::string& text, int part, ResultCode code) override;
    void AddResultPlace(const CLinkPlace& place) override { m_results.AddResultPlace(place); }
    void AddResultMove(const std::string& movedTo) override { m_results.AddResultMove(movedTo); }
    void AppendLog(const std::string& text) override;
    void ClearResults() override { m_results.Clear(); }
    void SetStatusText(int, const std::string&) override {}
    std::unique_ptr<CRunProgress> CreateProgressDlg() override;
    void OnRunEnded() override;
    void OnFileRead() override;
    void OnLinkTested(const std::string& url, const std::string& anchorName, ResultCode code,
                      bool reported) override;

private:
    using CClock = std::chrono::steady_clock;

    // The seconds since the last call (or since the clock was set), and the clock reset.
    static double Lap(CClock::time_point& since);
    // Closes the record of the file taken up last with the time it took.
    void EndFileRecord();

    CConsoleScreen& m_screen;
    CResultTable m_results;
    CRunRecord m_record;
    bool m_recordEveryLink = true;
    CClock::time_point m_fileStarted;
    CClock::time_point m_lastVerdict;
};

// The progress line: "File i of n, link j of m: URL", its control bytes escaped, cut to fit
// in width terminal columns less the last.
std::string ProgressLine(const CRunProgress& progress, std::size_t width);
