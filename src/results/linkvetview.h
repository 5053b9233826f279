#pragma once

#include <QTableView>
#include <array>
#include <functional>

#include "results/gridactions.h"
#include "results/gridlayout.h"
#include "results/reportwriter.h"
#include "results/resultsmodel.h"
#include "run/testrun.h"

class QMenu;
class QPainter;
class QPlainTextEdit;
class QPrinter;

// The main window's status panes as the view writes them: 1 the connection, 2 the HTTP
// exchange.
class CStatusPanes {
public:
    virtual ~CStatusPanes() = default;
    virtual void SetPaneText(int pane, const QString& text) = 0;
};

// The results grid: four columns of failed links above the log pane, and the test run that
// fills them. Several rows may be selected; rows are never sorted. A table view with rows of
// one fixed height: appending a row costs the same at row 100,000 as at row 1 (a tree view
// lays out all its rows again after every insertion).
class CLinkvetView : public QTableView, public CTestRun {
public:
    CLinkvetView(CResultsModel& rows, QPlainTextEdit& logPane, CStatusPanes& panes,
                 CRegSettings& settings, QWidget* parent = nullptr);

    // Once the splitter has sized the grid: the column widths, and the log pane's font.
    void OnInitialUpdate();
    // Writes the four column widths to "Grid"/col0..col3.
    void SaveColumnWidths();

    // Commands and their availability.
    void OnSelectFiles();
    // The Select File(s) command with a dropped file or folder filled in.
    void OnDropFiles(const CDroppedPath& dropped);
    bool OnUpdateSelectFiles() const { return !m_runTimerActive; }
    bool OnUpdateStopTest() const { return m_runTimerActive; }
    void OnExportResults();
    // The Export command's dialog and report, whether or not the grid has rows.
    void ExportResults();
    // Export is available whenever the grid has a row, also during a run.
    bool OnUpdateExportResults() const { return m_rows.RowCount() > 0; }
    // Asks first when a verdict of the last run had no reason text.
    void OnRepairLinks();
    // Repair is available once a run has ended and while the grid has rows.
    bool OnUpdateRepairLinks() const { return m_runEnded && m_rows.RowCount() > 0; }
    // The repair walk over the grid's rows, with the window's dialogs.
    void RepairLinks();

    // Printing: the rows as lines of "URL - Reason - Site Name - File Name".
    std::string FormatRowLine(int row) const;
    void PrintRows(QPrinter& printer) const;
    // Draws one page's rows on a painter that counts in 0.01-inch units.
    void PrintPage(QPainter& painter, const CPrintLayout& layout, int number,
                   const QSizeF& page) const;
    CPrintLayout PrintLayoutFor(QPrinter& printer) const;

    // The grid's own actions, from its context menu: Open Link and Open File act on the
    // current row (Open Link also on a double-click or Enter), the copies on every selected row.
    void OnOpenLink();
    void OnOpenFile();
    void OnCopyLink();
    void OnCopyRow();
    std::unique_ptr<QMenu> CreateContextMenu();

    CResultsModel& Rows() const { return m_rows; }
    bool ColumnsReady() const { return m_columnsReady; }
    // Called whenever the commands' availability may have changed.
    void SetCommandStateListener(std::function<void()> listener) { m_commandsChanged = std::move(listener); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Ctrl+C copies the selected rows as Copy Row does, not the current cell alone.
    void keyPressEvent(QKeyEvent* event) override;

    void AddResult(const std::string& text, int part, ResultCode code) override;
    void AddResultPlace(const CLinkPlace& place) override { m_rows.AddResultPlace(place); }
    void AddResultMove(const std::string& movedTo) override { m_rows.AddResultMove(movedTo); }
    void AppendLog(const std::string& text) override;
    void ClearResults() override;
    void SetStatusText(int pane, const std::string& text) override;
    std::unique_ptr<CRunProgress> CreateProgressDlg() override;
    void OnRunEnded() override;
    void CommandsChanged() const;

private:
    void SelectFiles(const std::optional<CDroppedPath>& dropped);
    // Hands a target to the desktop; a beep when nothing opens it.
    static void OpenTarget(const std::string& target);
    std::vector<int> SelectedRowNumbers() const;
    QFont PrintFont() const;
    // Writes the grid's rows as a report; false when the file could not be written whole.
    bool WriteReportFile(const std::string& path, CReportFormat format) const;

    CResultsModel& m_rows;
    QPlainTextEdit& m_logPane;
    CStatusPanes& m_panes;
    bool m_columnsReady = false;
    std::function<void()> m_commandsChanged;
};
