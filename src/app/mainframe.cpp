#include "mainframe.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QWhatsThis>

#include "app/linkvetapp.h"
#include "app/optionsdlg.h"
#include "app/preferencesdlg.h"
#include "platform/messagebox.h"
#include "platform/profile.h"
#include "repair/repairwalk.h"
#include "settings/regsettings.h"

namespace {

// The status panes are as wide as their resource strings, trailing blanks included, and
// show those strings at first.
const QString kConnectionPane = QStringLiteral("Connection Status") + QString(41, QLatin1Char(' '));
const QString kMethodPane = QStringLiteral("HTTP Method Status") + QString(17, QLatin1Char(' '));

// How long the window must stay put before its placement is written.
constexpr int kPlacementSettleMillis = 500;

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

}  // namespace

CMainFrame::CMainFrame(CLinkvetApp& app) : m_app(app) {
    setWindowTitle(QStringLiteral("Linkvet"));
    setWindowIcon(QApplication::windowIcon());
    PlaceWindow();
    OnCreateClient();
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    m_view->SetCommandStateListener([this] { UpdateCommandUi(); });
    setAcceptDrops(true);
    // Export and Repair follow the grid's row count, whoever adds or deletes the rows.
    CResultsModel& rows = m_doc.Results();
    connect(&rows, &QAbstractItemModel::rowsInserted, this, [this] { UpdateCommandUi(); });
    connect(&rows, &QAbstractItemModel::rowsRemoved, this, [this] { UpdateCommandUi(); });
    connect(&rows, &QAbstractItemModel::modelReset, this, [this] { UpdateCommandUi(); });
    UpdateCommandUi();
    m_placementTimer.setSingleShot(true);
    m_placementTimer.setInterval(kPlacementSettleMillis);
    connect(&m_placementTimer, &QTimer::timeout, this, [this] { SavePlacement(); });
    m_placed = true;
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_initialUpdateDone) {
        m_initialUpdateDone = true;
        OnInitialUpdate();
    }
}

void CMainFrame::OnInitialUpdate() {
    const int height = m_wndSplitter->height() - m_wndSplitter->handleWidth();
    const int upper = UpperRowHeight(platform::GetProfileInt("Screen", "High", 0), height);
    m_wndSplitter->setSizes({upper, height - upper});
    m_view->resize(m_wndSplitter->width(), upper);
    m_view->OnInitialUpdate();
}

CMainFrame::~CMainFrame() = default;

// The stored placement, or three quarters of the work area, centred and written back.
void CMainFrame::PlaceWindow() {
    CRegSettings& settings = m_app.Settings();
    CWindowPlacement placement{settings.GetInt("Screen", "x", 0), settings.GetInt("Screen", "y", 0),
                               settings.GetInt("Screen", "cx", 0),
                               settings.GetInt("Screen", "cy", 0)};
    const QRect work = QApplication::primaryScreen()->availableGeometry();
    if (!IsUsablePlacement(placement, work.width(), work.height())) {
        placement = FirstStartPlacement();
        settings.SetInt("Screen", "x", placement.x);
        settings.SetInt("Screen", "y", placement.y);
        settings.SetInt("Screen", "cx", placement.cx);
        settings.SetInt("Screen", "cy", placement.cy);
    }
    move(placement.x, placement.y);
    resize(placement.cx, placement.cy);
}

CWindowPlacement CMainFrame::FirstStartPlacement() {
    const QRect work = QApplication::primaryScreen()->availableGeometry();
    return CentredPlacement(
        work.width(), work.height(),
        ReadableWindowWidth(QFontMetrics(QApplication::font()).averageCharWidth()));
}

void CMainFrame::OnCreateClient() {
    m_wndSplitter = new QSplitter(Qt::Vertical, this);
    m_wndSplitter->setChildrenCollapsible(false);
    m_logPane = new QPlainTextEdit(m_wndSplitter);
    m_logPane->setDocument(&m_doc.Log());
    // The log takes no focus and no input, but stays readable (a disabled widget would grey
    // its text out).
    m_logPane->setReadOnly(true);
    m_logPane->setFocusPolicy(Qt::NoFocus);
    m_logPane->setTextInteractionFlags(Qt::NoTextInteraction);
    m_view = new CLinkvetView(m_doc.Results(), *m_logPane, *this, m_app.Settings(), m_wndSplitter);
    m_wndSplitter->insertWidget(0, m_view);
    setCentralWidget(m_wndSplitter);
    m_view->setFocus();
}

QAction* CMainFrame::AddAction(CCommandId id, const QString& text, const QKeySequence& key,
                               const QString& prompt, const QString& tip,
                               std::function<void()> handler) {
    auto* action = new QAction(text, this);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setStatusTip(prompt);
    action->setToolTip(tip);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    addAction(action);
    m_actions[id] = action;
    return action;
}

void CMainFrame::CreateActions() {
    CLinkvetView& view = *m_view;
    AddAction(ID_SELECT_FILES, tr("&Select File(s)..."), QKeySequence(Qt::CTRL | Qt::Key_O),
              tr("Select file(s) to test"), tr("Test File(s)"), [&view] { view.OnSelectFiles(); })
        ->setIcon(ThemeIcon("document-open", QStyle::SP_DialogOpenButton));
    AddAction(ID_EXPORT_RESULTS, tr("&Export Results..."), QKeySequence(Qt::CTRL | Qt::Key_S),
              tr("Export Test Results after choosing format"), tr("Export"),
              [&view] { view.OnExportResults(); })
        ->setIcon(ThemeIcon("document-save-as", QStyle::SP_DialogSaveButton));
    AddAction(ID_REPAIR_LINKS, tr("Repair Failed &Links..."), QKeySequence(Qt::Key_F5),
              tr("Repair bad links in source file"), tr("Repair"),
              [&view] { view.OnRepairLinks(); })
        ->setIcon(ThemeIcon("tools-check-spelling", QStyle::SP_DialogApplyButton));
    AddAction(ID_FILE_PRINT, tr("&Print..."), QKeySequence(Qt::CTRL | Qt::Key_P),
              tr("Print the active document"), tr("Print"), [this] { OnFilePrint(); })
        ->setIcon(ThemeIcon("document-print", QStyle::SP_FileDialogDetailedView));
    AddAction(ID_FILE_PRINT_PREVIEW, tr("Print Pre&view"), QKeySequence(),
              tr("Display full pages"), tr("Print Preview"), [this] { OnFilePrintPreview(); });
    AddAction(ID_FILE_PRINT_SETUP, tr("P&rint Setup..."), QKeySequence(),
              tr("Change the printer and printing options"), tr("Print Setup"),
              [this] { m_app.OnFilePrintSetup(this); });
    AddAction(ID_APP_EXIT, tr("E&xit"), QKeySequence(),
              tr("Quit the application; prompts to save documents"), tr("Exit"),
              [this] { close(); });
    AddAction(ID_VIEW_TOOLBAR, tr("&Toolbar"), QKeySequence(), tr("Show or hide the toolbar"),
              tr("Toggle ToolBar"), [this] { m_wndToolBar->setVisible(!m_wndToolBar->isVisible()); });
    AddAction(ID_VIEW_STATUS_BAR, tr("&Status Bar"), QKeySequence(),
              tr("Show or hide the status bar"), tr("Toggle StatusBar"),
              [this] { statusBar()->setVisible(!statusBar()->isVisible()); });
    AddAction(ID_PREFERENCES, tr("&Preferences..."), QKeySequence(Qt::Key_F2),
              tr("Linkvet Preferences"), tr("Preferences"), [this] { OnPreferences(); })
        ->setIcon(ThemeIcon("preferences-system", QStyle::SP_FileDialogInfoView));
    AddAction(ID_WEB_OPTIONS, tr("&Web Options..."), QKeySequence(),
              tr("Https links, links at once, scanner"), tr("Web Options"),
              [this] { OnWebOptions(); });
    AddAction(ID_STOP_TEST, tr("&Stop Test"), QKeySequence(Qt::Key_Escape), tr("Stop"), tr("Stop"),
              [&view] { view.OnStopTest(); })
        ->setIcon(ThemeIcon("process-stop", QStyle::SP_BrowserStop));
    AddAction(ID_HELP_FINDER, tr("&Help Topics"), QKeySequence(), tr("List Help topics"),
              tr("Help Topics"), [] { platform::WinHelp(kHelpContents); });
    AddAction(ID_APP_ABOUT, tr("&About Linkvet..."), QKeySequence(),
              tr("Display program information, version number and copyright"), tr("About"),
              [this] { m_app.OnAppAbout(this); })
        ->setIcon(ThemeIcon("help-about", QStyle::SP_MessageBoxInformation));
    AddAction(ID_HELP, tr("Help"), QKeySequence(Qt::Key_F1), tr("Display help for current task or command"),
              tr("Help"), [] { platform::WinHelp(kHelpMainWindow); });
    AddAction(ID_CONTEXT_HELP, tr("Context Help"), QKeySequence(Qt::SHIFT | Qt::Key_F1),
              tr("Display help for clicked on buttons, menus and windows"), tr("Help"),
              [] { QWhatsThis::enterWhatsThisMode(); });
    AddAction(ID_NEXT_PANE, tr("Next Pane"), QKeySequence(Qt::Key_F6),
              tr("Switch to the next window pane"), tr("Next Pane"), [this] { FocusOtherPane(); });
    AddAction(ID_PREV_PANE, tr("Previous Pane"), QKeySequence(Qt::SHIFT | Qt::Key_F6),
              tr("Switch back to the previous window pane"), tr("Previous Pane"),
              [this] { FocusOtherPane(); });
    Action(ID_VIEW_TOOLBAR)->setCheckable(true);
    Action(ID_VIEW_STATUS_BAR)->setCheckable(true);
    SetWhatsThisTexts();
}

// What Shift+F1 and a click tell about the toolbar's buttons, the grid and the log.
void CMainFrame::SetWhatsThisTexts() {
    const std::pair<CCommandId, const char*> texts[] = {
        {ID_SELECT_FILES, "Chooses a file or a folder and tests its links."},
        {ID_EXPORT_RESULTS, "Writes the grid's rows as a text or HTML report."},
        {ID_REPAIR_LINKS,
         "Rewrites the pages around the links in the grid, keeping a backup of each page."},
        {ID_FILE_PRINT, "Prints the grid, one line for each row."},
        {ID_PREFERENCES, "Sets how long to wait for hosts and which results to list."},
        {ID_STOP_TEST, "Stops the running test at once; the rows found so far stay."},
        {ID_APP_ABOUT, "Shows the version of Linkvet and its links."},
    };
    for (const auto& [id, text] : texts) {
        Action(id)->setWhatsThis(tr(text));
    }
    m_view->setWhatsThis(
        tr("The links that failed: the link, the reason, the link's text on the page and the file "
           "it stands in."));
    m_logPane->setWhatsThis(
        tr("The log of the test: when it started, each file tested with its "
           "count of links and errors, and when it ended."));
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    for (CCommandId id : {ID_SELECT_FILES, ID_EXPORT_RESULTS, ID_REPAIR_LINKS}) {
        file->addAction(Action(id));
    }
    file->addSeparator();
    for (CCommandId id : {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP}) {
        file->addAction(Action(id));
    }
    file->addSeparator();
    file->addAction(Action(ID_APP_EXIT));
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(Action(ID_VIEW_TOOLBAR));
    view->addAction(Action(ID_VIEW_STATUS_BAR));
    connect(view, &QMenu::aboutToShow, this, [this] {
        Action(ID_VIEW_TOOLBAR)->setChecked(m_wndToolBar->isVisible());
        Action(ID_VIEW_STATUS_BAR)->setChecked(statusBar()->isVisible());
    });
    QMenu* options = menuBar()->addMenu(tr("&Options"));
    options->addAction(Action(ID_PREFERENCES));
    options->addAction(Action(ID_STOP_TEST));
    options->addSeparator();
    options->addAction(Action(ID_WEB_OPTIONS));
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(Action(ID_HELP_FINDER));
    help->addSeparator();
    help->addAction(Action(ID_APP_ABOUT));
}

void CMainFrame::CreateToolBar() {
    m_wndToolBar = addToolBar(tr("Toolbar"));
    m_wndToolBar->setObjectName(QStringLiteral("toolbar"));
    m_wndToolBar->setIconSize(QSize(16, 15) * 1.5);
    m_wndToolBar->addAction(Action(ID_SELECT_FILES));
    m_wndToolBar->addAction(Action(ID_EXPORT_RESULTS));
    m_wndToolBar->addAction(Action(ID_REPAIR_LINKS));
    m_wndToolBar->addSeparator();
    m_wndToolBar->addAction(Action(ID_FILE_PRINT));
    m_wndToolBar->addSeparator();
    m_wndToolBar->addAction(Action(ID_PREFERENCES));
    m_wndToolBar->addAction(Action(ID_STOP_TEST));
    m_wndToolBar->addSeparator();
    m_wndToolBar->addAction(Action(ID_APP_ABOUT));
}

void CMainFrame::CreateStatusBar() {
    m_idlePane = new QLabel(tr("For Help, press F1"), this);
    statusBar()->addWidget(m_idlePane, 1);
    for (const auto& [pane, text] : {std::pair{1, kConnectionPane}, std::pair{2, kMethodPane}}) {
        auto* label = new QLabel(text, this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setFixedWidth(label->fontMetrics().horizontalAdvance(text) + 8);
        statusBar()->addPermanentWidget(label);
        m_panes[pane] = label;
    }
}

void CMainFrame::SetPaneText(int pane, const QString& text) {
    const auto found = m_panes.find(pane);
    if (found != m_panes.end()) {
        found->second->setText(text);
    }
}

QString CMainFrame::PaneText(int pane) const {
    const auto found = m_panes.find(pane);
    return found != m_panes.end() ? found->second->text() : QString();
}

void CMainFrame::UpdateCommandUi() {
    Action(ID_SELECT_FILES)->setEnabled(m_view->OnUpdateSelectFiles());
    Action(ID_STOP_TEST)->setEnabled(m_view->OnUpdateStopTest());
    Action(ID_EXPORT_RESULTS)->setEnabled(m_view->OnUpdateExportResults());
    Action(ID_REPAIR_LINKS)->setEnabled(m_view->OnUpdateRepairLinks());
}

void CMainFrame::FocusOtherPane() {
    QWidget* other = m_view->hasFocus() ? static_cast<QWidget*>(m_logPane) : m_view;
    if (other->focusPolicy() != Qt::NoFocus) {
        other->setFocus();
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (m_view->OnUpdateSelectFiles() && DroppedPath(*event->mimeData())) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const std::optional<CDroppedPath> dropped = DroppedPath(*event->mimeData());
    if (!dropped || !m_view->OnUpdateSelectFiles()) {
        return;
    }
    event->acceptProposedAction();
    // The dialog opens once the drop is over, so the program it came from is not kept waiting.
    QMetaObject::invokeMethod(
        this, [this, path = *dropped] { m_view->OnDropFiles(path); }, Qt::QueuedConnection);
}

bool CMainFrame::QueryQuit() {
    CResultsModel& rows = m_doc.Results();
    if (rows.RowCount() == 0) {
        return true;
    }
    DropRepairedRows();
    if (rows.RowCount() == 0) {
        return true;
    }
    if (platform::MessageBox("Not all of the bad URLs have been repaired\n\nDo you want to quit?",
                             platform::kMbYesNo | platform::kMbIconQuestion) != platform::kIdYes) {
        return false;
    }
    rows.Clear();
    return true;
}

// The wait cursor shows while the rows go, not over the question that may follow.
void CMainFrame::DropRepairedRows() {
    const platform::CWaitCursor wait;
    CResultsModel& rows = m_doc.Results();
    for (int row = rows.RowCount() - 1; row >= 0; --row) {
        if (HasMark(rows.Tag(row), kRepairedMark)) {
            rows.DeleteRow(row);
        }
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!QueryQuit()) {
        event->ignore();
        return;
    }
    m_view->SaveColumnWidths();
    SavePlacement();
    event->accept();
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    OnWindowPosChanged();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    OnWindowPosChanged();
}

// Every move and resize is kept, but not while minimised and not before the window is
// placed. The last one is written when the window has settled, or when it closes.
void CMainFrame::OnWindowPosChanged() {
    if (!m_placed || isMinimized()) {
        return;
    }
    m_pendingPlacement = CWindowPlacement{std::max(0, x()), std::max(0, y()), width(), height()};
    m_placementTimer.start();
}

void CMainFrame::SavePlacement() {
    m_placementTimer.stop();
    if (!m_pendingPlacement) {
        return;
    }
    CRegSettings& settings = m_app.Settings();
    settings.SetInt("Screen", "x", m_pendingPlacement->x);
    settings.SetInt("Screen", "y", m_pendingPlacement->y);
    settings.SetInt("Screen", "cx", m_pendingPlacement->cx);
    settings.SetInt("Screen", "cy", m_pendingPlacement->cy);
    m_pendingPlacement.reset();
}

void CMainFrame::OnPreferences() {
    CLinkvetView& view = *m_view;
    CPreferencesDlg dialog(view.m_filter, view.m_reasonText, this);
    dialog.m_timeout = view.m_timeoutSeconds;
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    m_app.Settings().SetInt("Settings", "Timeout", dialog.m_timeout);
    m_app.Settings().SetString("Settings", "Filter", view.m_filter);
    view.SetTimeoutSeconds(dialog.m_timeout);
}

void CMainFrame::OnWebOptions() {
    COptionsDlg dialog(ReadWebOptions(m_app.Settings()), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const CWebOptions chosen = dialog.Options();
    WriteWebOptions(m_app.Settings(), chosen);
    m_view->ApplyWebOptions(chosen);
}

// Each print offers every page first; a range chosen applies to that print only.
void CMainFrame::OnFilePrint() {
    QPrinter& printer = m_app.Printer();
    printer.setPrintRange(QPrinter::AllPages);
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    dialog.setMinMax(1, m_view->PrintLayoutFor(printer).pages);
    if (dialog.exec() == QDialog::Accepted) {
        m_view->PrintRows(printer);
    }
}

void CMainFrame::OnFilePrintPreview() {
    m_app.Printer().setPrintRange(QPrinter::AllPages);
    QPrintPreviewDialog preview(&m_app.Printer(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { m_view->PrintRows(*printer); });
    preview.exec();
}
