#pragma once

#include <QMainWindow>
#include <QTimer>
#include <map>
#include <optional>

#include "app/commands.h"
#include "app/linkvetdoc.h"
#include "app/placement.h"
#include "results/linkvetview.h"

class CLinkvetApp;
class QLabel;
class QPlainTextEdit;
class QSplitter;
class QToolBar;

// The main window: toolbar, menus, the grid above the log pane, and a status bar whose panes
// 1 and 2 show the connection and the HTTP exchange.
class CMainFrame : public QMainWindow, public CStatusPanes {
public:
    explicit CMainFrame(CLinkvetApp& app);
    ~CMainFrame() override;

    CLinkvetView& View() { return *m_view; }
    CLinkvetDoc& Doc() { return m_doc; }
    QAction* Action(CCommandId id) const { return m_actions.at(id); }
    QString PaneText(int pane) const;
    // Where a first start (or one over an unusable stored placement) opens the window: three
    // quarters of the primary screen's work area, centred, but no narrower than the grid's
    // columns need to be read in the grid's font, as far as the work area allows.
    static CWindowPlacement FirstStartPlacement();

    void SetPaneText(int pane, const QString& text) override;
    // Enables each command by its availability rule.
    void UpdateCommandUi();
    // Drops the repaired rows, then asks before unrepaired ones are thrown away.
    bool QueryQuit();

    void OnPreferences();
    // Web Options: OK writes the four settings and the run takes Jobs and PerHost at once.
    void OnWebOptions();
    void OnFilePrint();
    void OnFilePrintPreview();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // A file or folder dropped on the window opens Select File(s) with its path filled in.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void PlaceWindow();
    void OnCreateClient();
    // Once the window is laid out: the splitter's rows, then the grid's columns.
    void OnInitialUpdate();
    void CreateActions();
    void SetWhatsThisTexts();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    QAction* AddAction(CCommandId id, const QString& text, const QKeySequence& key,
                       const QString& prompt, const QString& tip, std::function<void()> handler);
    void OnWindowPosChanged();
    // Writes the placement the last move or resize left, if it is not written yet.
    void SavePlacement();
    void FocusOtherPane();
    void DropRepairedRows();

    CLinkvetApp& m_app;
    CLinkvetDoc m_doc;
    QSplitter* m_wndSplitter = nullptr;
    QPlainTextEdit* m_logPane = nullptr;
    CLinkvetView* m_view = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    QLabel* m_idlePane = nullptr;
    std::map<int, QLabel*> m_panes;
    std::map<int, QAction*> m_actions;
    bool m_placed = false;
    // A drag moves the window many times a second; the placement is written once it settles.
    std::optional<CWindowPlacement> m_pendingPlacement;
    QTimer m_placementTimer;
    bool m_initialUpdateDone = false;
};
