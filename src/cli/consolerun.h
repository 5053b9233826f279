#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "results/resulttable.h"
#include "run/testrun.h"

// Standard error as the console's log pane and progress window: log lines as they come, and,
// on a terminal, one progress line redrawn in place beneath them.
class CConsoleScreen {
public:
    CConsoleScreen(std::FILE* stream, bool quiet, bool showProgress);

    void Log(const std::string& text);
    void ShowProgress(const std::string& line);
    void ClearProgress();
    bool ShowsProgress() const { return m_showProgress; }

private:
    std::FILE* m_stream;
    bool m_quiet;
    bool m_showProgress;
    bool m_progressShown = false;
};

// The run as the console drives it. Rows go to a table for the report written after the run;
// log lines and progress go to the screen; the status panes are not shown.
class CConsoleRun : public CTestRun {
public:
    CConsoleRun(CRegSettings& settings, CConsoleScreen& screen);

    const CResultTable& Results() const { return m_results; }
    // The rows as a repair after the run marks them.
    CResultTable& Results() { return m_results; }

protected:
    void AddResult(const std::string& text, int part) override;
    void AddResultWritten(const std::string& written) override {
        m_results.AddResultWritten(written);
    }
    void AppendLog(const std::string& text) override;
    void ClearResults() override { m_results.Clear(); }
    void SetStatusText(int, const std::string&) override {}
    std::unique_ptr<CRunProgress> CreateProgressDlg() override;
    void OnRunEnded() override;

private:
    CConsoleScreen& m_screen;
    CResultTable m_results;
};

// The progress line: "File i of n, link j of m: URL".
std::string ProgressLine(const CRunProgress& progress, std::size_t width);
