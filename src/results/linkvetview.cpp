#include "linkvetview.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>

#include "platform/messagebox.h"
#include "platform/profile.h"
#include "platform/textfile.h"
#include "repair/dialogrepairhost.h"
#include "repair/repairwalk.h"
#include "results/exportdlg.h"
#include "results/reportwriter.h"
#include "run/progressdlg.h"
#include "run/selectfilesdlg.h"
#include "settings/regsettings.h"

namespace {

const std::array<const char*, 4> kColumnSettings = {"col0", "col1", "col2", "col3"};

// The repair walk's dialogs, and the Export command it runs afterwards.
class CViewRepairHost : public CDialogRepairHost {
public:
    explicit CViewRepairHost(CLinkvetView& view) : CDialogRepairHost(&view), m_view(view) {}
    // The save flag's export follows every walk, also one whose ignored row was the last.
    void ExportResults() override { m_view.ExportResults(); }

private:
    CLinkvetView& m_view;
};

// The log pane ends lines with CR LF; the text widget with "\n".
QString LogText(const std::string& text) {
    QString shown = DisplayText(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return shown;
}

}  // namespace

CLinkvetView::CLinkvetView(CResultsModel& rows, QPlainTextEdit& logPane, CStatusPanes& panes,
                           CRegSettings& settings, QWidget* parent)
    : QTableView(parent), CTestRun(settings), m_rows(rows), m_logPane(logPane), m_panes(panes) {
    setModel(&m_rows);
    setSortingEnabled(false);
    setShowGrid(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The file name takes whatever room the other columns leave.
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionsMovable(false);
    m_logPane.document()->setUndoRedoEnabled(false);
    connect(this, &QAbstractItemView::activated, this, [this] { OnOpenLink(); });
}

void CLinkvetView::OnInitialUpdate() {
    const int width = viewport()->width();
    const int fallback = DefaultColumnWidth(width);
    std::array<int, 4> stored{};
    for (std::size_t i = 0; i < stored.size(); ++i) {
        stored[i] = Settings().GetInt("Grid", kColumnSettings[i], fallback);
    }
    const std::array<int, 4> widths = ColumnWidths(stored, width);
    for (std::size_t i = 0; i < widths.size(); ++i) {
        setColumnWidth(static_cast<int>(i), widths[i]);
    }
    m_logPane.setFont(font());
    m_columnsReady = true;
}

void CLinkvetView::SaveColumnWidths() {
    for (std::size_t i = 0; i < kColumnSettings.size(); ++i) {
        Settings().SetInt("Grid", kColumnSettings[i], horizontalHeader()->sectionSize(static_cast<int>(i)));
    }
}

// Every resize after the initial update keeps the grid's height for the next start, whether
// the splitter bar was dragged or the whole window resized. The event is the viewport's, so
// the height is the whole pane's, as the splitter counts it.
void CLinkvetView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    if (m_columnsReady) {
        platform::WriteProfileInt("Screen", "High", height());
    }
}

void CLinkvetView::AddResult(const std::string& text, int part, ResultCode code) {
    m_rows.AddResult(text, part, m_currentFile, code);
}

void CLinkvetView::AppendLog(const std::string& text) {
    QTextCursor end(m_logPane.document());
    end.movePosition(QTextCursor::End);
    end.insertText(LogText(text) + QLatin1Char('\n'));
    m_logPane.verticalScrollBar()->setValue(m_logPane.verticalScrollBar()->maximum());
}

void CLinkvetView::ClearResults() {
    m_logPane.clear();
    m_rows.Clear();
}

void CLinkvetView::SetStatusText(int pane, const std::string& text) {
    m_panes.SetPaneText(pane, DisplayText(text));
}

std::unique_ptr<CRunProgress> CLinkvetView::CreateProgressDlg() {
    auto progress = std::make_unique<CProgressDlg>(this);
    progress->SetEscapeHandler([this] {
        if (OnUpdateStopTest()) {
            OnStopTest();
        }
    });
    progress->show();
    return progress;
}

void CLinkvetView::OnSelectFiles() {
    SelectFiles(std::nullopt);
}

void CLinkvetView::OnDropFiles(const CDroppedPath& dropped) {
    SelectFiles(dropped);
}

void CLinkvetView::SelectFiles(const std::optional<CDroppedPath>& dropped) {
    if (!OnUpdateSelectFiles()) {
        return;
    }
    CRegSettings& settings = Settings();
    CSelectFilesDlg dialog(settings, this);
    dialog.m_path = settings.GetString("FileSel", "Starter", "");
    dialog.m_recurse = settings.GetInt("FileSel", "Recurse", 0) != 0;
    dialog.m_allFiles = settings.GetInt("FileSel", "AllFiles", 0) != 0;
    dialog.m_htmlOnly = settings.GetInt("FileSel", "Filter", 0) != 0;
    if (dialog.m_recurse && !dialog.m_allFiles) {
        dialog.m_recurse = false;
        settings.SetInt("FileSel", "Recurse", 0);
    }
    if (dropped) {
        dialog.m_path = dropped->path;
        dialog.m_allFiles = dropped->folder;
        dialog.m_recurse = dialog.m_recurse && dropped->folder;
    }
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    settings.SetInt("FileSel", "Recurse", dialog.m_recurse ? 1 : 0);
    settings.SetInt("FileSel", "AllFiles", dialog.m_allFiles ? 1 : 0);
    settings.SetInt("FileSel", "Filter", dialog.m_htmlOnly ? 1 : 0);
    const CFileChoice choice{dialog.m_path, dialog.m_recurse, dialog.m_allFiles, dialog.m_htmlOnly};
    if (!ValidateChoice(choice)) {
        return;
    }
    settings.SetString("FileSel", "Starter", choice.path);
    StartTest(choice.path, choice.recurse, choice.allFiles, choice.htmlOnly);
    CommandsChanged();
}

void CLinkvetView::OnExportResults() {
    if (OnUpdateExportResults()) {
        ExportResults();
    }
}

void CLinkvetView::ExportResults() {
    CRegSettings& settings = Settings();
    CExportDlg dialog(this);
    dialog.m_fileName = settings.GetString("XportSel", "Starter", "results.txt");
    dialog.m_format = settings.GetInt("XportSel", "Text", 0);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    if (platform::OpenFile(dialog.m_fileName, "rb") &&
        platform::MessageBox(dialog.m_fileName + "\nThis file already exists\n\nReplace existing file?",
                             platform::kMbYesNo) != platform::kIdYes) {
        return;
    }
    settings.SetString("XportSel", "Starter", dialog.m_fileName);
    settings.SetInt("XportSel", "Text", dialog.m_format);
    const CReportFormat format = dialog.m_format == 0 ? CReportFormat::Text : CReportFormat::Html;
    if (!WriteReportFile(dialog.m_fileName, format)) {
        platform::MessageBox("file write error");
    }
}

bool CLinkvetView::WriteReportFile(const std::string& path, CReportFormat format) const {
    platform::CFilePtr file = platform::OpenFile(path, "wb");
    const platform::CWaitCursor wait;
    return file && WriteReport(file.get(), format, m_rows) && std::fclose(file.release()) == 0;
}

void CLinkvetView::OnRepairLinks() {
    if (!OnUpdateRepairLinks()) {
        return;
    }
    if (m_unknownErrorSeen &&
        platform::MessageBox(kUnknownErrorQuestion, platform::kMbYesNo) != platform::kIdYes) {
        return;
    }
    RepairLinks();
}

void CLinkvetView::RepairLinks() {
    CViewRepairHost host(*this);
    CRepairWalk(m_rows, Settings(), host).RepairLinks();
    CommandsChanged();
}

std::vector<int> CLinkvetView::SelectedRowNumbers() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CLinkvetView::OpenTarget(const std::string& target) {
    if (!platform::OpenUrl(target)) {
        platform::MessageBeep(0);
    }
}

void CLinkvetView::OnOpenLink() {
    if (!currentIndex().isValid()) {
        return;
    }
    const int row = currentIndex().row();
    const std::string& link = m_rows.CellText(row, kColumnUrl);
    const ResultCode code = m_rows.Code(row);
    if (code != kLocalFileMissing && code != kFragmentMissing) {
        OpenTarget(BrowserTarget(link));
        return;
    }
    // A link inside the site is relative to its page, not to the program's folder.
    const auto target = LocalLinkTarget(m_rows.CellText(row, kColumnFile), link, SiteRoot());
    if (target) {
        OpenTarget(*target);
    } else {
        platform::MessageBeep(0);
    }
}

void CLinkvetView::OnOpenFile() {
    if (currentIndex().isValid()) {
        OpenTarget(FileTarget(m_rows.CellText(currentIndex().row(), kColumnFile)));
    }
}

void CLinkvetView::OnCopyLink() {
    QGuiApplication::clipboard()->setText(CopiedLinks(m_rows, SelectedRowNumbers()));
}

void CLinkvetView::OnCopyRow() {
    QGuiApplication::clipboard()->setText(CopiedRows(m_rows, SelectedRowNumbers()));
}

std::unique_ptr<QMenu> CLinkvetView::CreateContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    const bool current = currentIndex().isValid();
    const bool selected = selectionModel()->hasSelection();
    menu->addAction(QStringLiteral("Open Link"), this, [this] { OnOpenLink(); })
        ->setEnabled(current);
    menu->addAction(QStringLiteral("Open File"), this, [this] { OnOpenFile(); })
        ->setEnabled(current);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Copy Link"), this, [this] { OnCopyLink(); })
        ->setEnabled(selected);
    menu->addAction(QStringLiteral("Copy Row"), this, [this] { OnCopyRow(); })
        ->setEnabled(selected);
    return menu;
}

void CLinkvetView::contextMenuEvent(QContextMenuEvent* event) {
    if (m_rows.RowCount() == 0) {
        return;
    }
    CreateContextMenu()->exec(event->globalPos());
}

void CLinkvetView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        OnCopyRow();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CLinkvetView::OnRunEnded() {
    CommandsChanged();
}

void CLinkvetView::CommandsChanged() const {
    if (m_commandsChanged) {
        m_commandsChanged();
    }
}

std::string CLinkvetView::FormatRowLine(int row) const {
    return m_rows.CellText(row, kColumnUrl) + " - " + m_rows.CellText(row, kColumnReason) +
           " - " + m_rows.CellText(row, kColumnSiteName) + " - " +
           m_rows.CellText(row, kColumnFile);
}

// The grid's font, sized in 0.01-inch units for the printed page.
QFont CLinkvetView::PrintFont() const {
    QFont printFont = font();
    printFont.setPixelSize(qMax(1, qRound(QFontInfo(font()).pointSizeF() * 100.0 / 72.0)));
    return printFont;
}

CPrintLayout CLinkvetView::PrintLayoutFor(QPrinter& printer) const {
    const int textHeight = QFontMetrics(PrintFont()).boundingRect(QStringLiteral("Fg")).height();
    const double pageHeight = printer.pageRect(QPrinter::DevicePixel).height() * 100.0 /
                              printer.logicalDpiY();
    return LayOutPrint(textHeight, static_cast<int>(pageHeight), m_rows.RowCount());
}

// The pages chosen in the print dialog, each laid out in 0.01-inch units.
void CLinkvetView::PrintRows(QPrinter& printer) const {
    const CPrintLayout layout = PrintLayoutFor(printer);
    const bool range = printer.printRange() == QPrinter::PageRange;
    const CPrintLayout::CPageSpan span =
        layout.PagesToPrint(range ? printer.fromPage() : 0, range ? printer.toPage() : 0);
    QPainter painter(&printer);
    painter.scale(printer.logicalDpiX() / 100.0, printer.logicalDpiY() / 100.0);
    const QSizeF page(
        printer.pageRect(QPrinter::DevicePixel).width() * 100.0 / printer.logicalDpiX(),
        printer.pageRect(QPrinter::DevicePixel).height() * 100.0 / printer.logicalDpiY());
    for (int number = span.first; number <= span.last; ++number) {
        if (number > span.first) {
            printer.newPage();
        }
        PrintPage(painter, layout, number, page);
    }
}

// Rows from the top with a 0.75-inch left margin and tab stops every inch, one line each: a
// row wider than the page is cut at the page's edge, never wrapped.
void CLinkvetView::PrintPage(QPainter& painter, const CPrintLayout& layout, int number,
                             const QSizeF& page) const {
    painter.save();
    painter.setFont(PrintFont());
    painter.setClipRect(QRectF(QPointF(0, 0), page));
    QTextOption line;
    line.setTabStopDistance(100);
    line.setWrapMode(QTextOption::NoWrap);
    const double left = 75;
    for (int i = 0; i < layout.linesPerPage; ++i) {
        const int row = layout.RowAt(number, i, m_rows.RowCount());
        if (row < 0) {
            break;
        }
        painter.drawText(QRectF(left, layout.LineY(i), page.width() - left, layout.pitch),
                         DisplayText(FormatRowLine(row)), line);
    }
    painter.restore();
}
