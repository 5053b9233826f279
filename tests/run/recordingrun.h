#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <map>
#include <string>
#include <vector>

#include "results/resulttable.h"
#include "run/testrun.h"

// A front end that writes down everything the run shows it.
class CRecordingRun : public CTestRun {
public:
    class CRecordingProgress : public CRunProgress {
    public:
        explicit CRecordingProgress(CRecordingRun& run) : m_run(run) {}
        ~CRecordingProgress() override { ++m_run.m_progressDestroyed; }
        void UpdateData() override {
            m_run.m_progressShown.push_back("file " + m_fileIndex + "/" + m_fileTotal + " " +
                                            m_fileText + " | url " + m_urlIndex + "/" +
                                            m_urlTotal + " " + m_urlText + " | " + m_anchorText);
        }
        CProgressBar& FileBar() override { return m_run.m_fileBar; }
        CProgressBar& UrlBar() override { return m_run.m_urlBar; }

    private:
        CRecordingRun& m_run;
    };

    // Counts the steps of a bar.
    class CCountingBar : public CProgressBar {
    public:
        int m_changes = 0;

    protected:
        void Changed() override { ++m_changes; }
    };

    using CTestRun::CTestRun;
    using CTestRun::OnTimer;
    using CTestRun::StopRunTimers;

    // Runs the event loop until the run has ended, or the time is up.
    bool RunToEnd(int timeoutMillis) {
        QElapsedTimer clock;
        clock.start();
        while (m_endedCount == 0 && clock.elapsed() < timeoutMillis) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return m_endedCount > 0;
    }

    CResultTable m_rows;
    std::vector<std::string> m_log;
    std::map<int, std::vector<std::string>> m_status;
    std::vector<std::string> m_progressShown;
    CCountingBar m_fileBar;
    CCountingBar m_urlBar;
    int m_progressDestroyed = 0;
    int m_clears = 0;
    int m_endedCount = 0;

protected:
    void AddResult(const std::string& text, int part, ResultCode code) override {
        m_rows.AddResult(text, part, m_currentFile, code);
    }
    void AddResultPlace(const CLinkPlace& place) override { m_rows.AddResultPlace(place); }
    void AppendLog(const std::string& text) override { m_log.push_back(text); }
    void ClearResults() override {
        ++m_clears;
        m_rows.Clear();
        m_log.clear();
    }
    void SetStatusText(int pane, const std::string& text) override {
        m_status[pane].push_back(text);
    }
    std::unique_ptr<CRunProgress> CreateProgressDlg() override {
        return std::make_unique<CRecordingProgress>(*this);
    }
    void OnRunEnded() override { ++m_endedCount; }
};
