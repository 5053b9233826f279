#include "consolerun.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>

#include "cli/consoletext.h"
#include "results/bytetext.h"

namespace {

std::size_t TerminalWidth(std::FILE* stream) {
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

// What the progress window shows, as one line; the bars need no drawing of their own.
class CConsoleProgress : public CRunProgress {
public:
    explicit CConsoleProgress(CConsoleScreen& screen) : m_screen(screen) {}
    ~CConsoleProgress() override { m_screen.ClearProgress(); }

    void UpdateData() override {
        m_screen.ShowProgress(ProgressLine(*this, TerminalWidth(stderr)));
    }
    CProgressBar& FileBar() override { return m_fileBar; }
    CProgressBar& UrlBar() override { return m_urlBar; }

private:
    CConsoleScreen& m_screen;
    CProgressBar m_fileBar;
    CProgressBar m_urlBar;
};

}  // namespace

std::string ProgressLine(const CRunProgress& progress, std::size_t width) {
    std::string line = "File " + progress.m_fileIndex + " of " + progress.m_fileTotal;
    if (!progress.m_urlText.empty()) {
        line += ", link " + progress.m_urlIndex + " of " + progress.m_urlTotal + ": " +
                EscapeControls(progress.m_urlText);
    }
    // The last column stays free, or the terminal would wrap and break the redraw.
    return width > 1 ? FitColumns(line, width - 1) : line;
}

CConsoleScreen::CConsoleScreen(std::FILE* stream, bool quiet, bool terminal)
    : m_stream(stream), m_quiet(quiet), m_terminal(terminal), m_showProgress(terminal && !quiet) {}

std::string CConsoleScreen::Shown(const std::string& text) const {
    return m_terminal ? TerminalLines(text) : text;
}

// As the console's message box: the text on its own line, and a question answered with its
// first button.
int CConsoleScreen::MessageBox(const std::string& text, unsigned style) {
    ClearProgress();
    const std::string shown = Shown(text) + "\n";
    std::fwrite(shown.data(), 1, shown.size(), m_stream);
    std::fflush(m_stream);
    return (style & platform::kMbButtonsMask) == platform::kMbYesNo ? platform::kIdYes
                                                                    : platform::kIdOk;
}

void CConsoleScreen::Log(const std::string& text) {
    if (m_quiet) {
        return;
    }
    ClearProgress();
    const std::string shown = Shown(text);
    std::fwrite(shown.data(), 1, shown.size(), m_stream);
    std::fflush(m_stream);
}

void CConsoleScreen::ShowProgress(const std::string& line) {
    if (!m_showProgress) {
        return;
    }
    std::fprintf(m_stream, "\r\033[K%s", line.c_str());
    std::fflush(m_stream);
    m_progressShown = true;
}

void CConsoleScreen::ClearProgress() {
    if (m_progressShown) {
        std::fputs("\r\033[K", m_stream);
        m_progressShown = false;
    }
}

CConsoleRun::CConsoleRun(CRegSettings& settings, CConsoleScreen& screen)
    : CTestRun(settings), m_screen(screen) {}

void CConsoleRun::AddResult(const std::string& text, int part, ResultCode code) {
    m_results.AddResult(text, part, m_currentFile, code);
}

double CConsoleRun::Lap(CClock::time_point& since) {
    const CClock::time_point now = CClock::now();
    const double seconds = std::chrono::duration<double>(now - since).count();
    since = now;
    return seconds;
}

void CConsoleRun::EndFileRecord() {
    if (!m_record.files.empty()) {
        m_record.files.back().seconds = Lap(m_fileStarted);
    }
}

void CConsoleRun::OnFileRead() {
    EndFileRecord();
    CReadFile& file = m_record.files.emplace_back();
    file.path = m_currentFile;
    file.started = std::time(nullptr);
    file.excluded = m_excludedCount;
    m_record.linksFound += m_urlCount + m_excludedCount;
    m_record.linksExcluded += m_excludedCount;
    m_fileStarted = m_lastVerdict = CClock::now();
}

void CConsoleRun::OnLinkTested(const std::string& url, const std::string& anchorName,
                               ResultCode code, bool reported) {
    if (!m_recordEveryLink) {
        return;
    }
    const int last = m_results.RowCount() - 1;
    m_record.files.back().links.push_back(
        CTestedLink{url, anchorName, code, reported,
                    reported ? m_results.CellText(last, kColumnReason) : "", Lap(m_lastVerdict)});
}

// The log pane ends every line with CR LF; the console ends it with "\n".
void CConsoleRun::AppendLog(const std::string& text) {
    std::string line;
    line.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        line += text[i];
    }
    m_screen.Log(line + "\n");
}

std::unique_ptr<CRunProgress> CConsoleRun::CreateProgressDlg() {
    return std::make_unique<CConsoleProgress>(m_screen);
}

void CConsoleRun::OnRunEnded() {
    EndFileRecord();
    if (m_scanFailed) {
        CReadFile& file = m_record.files.emplace_back();
        file.path = m_currentFile;
        file.started = std::time(nullptr);
        file.unreadable = true;
    }
    QCoreApplication::exit(0);
}
