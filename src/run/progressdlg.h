#pragma once

#include <QDialog>
#include <functional>

#include "run/runprogress.h"

class QLabel;
class QProgressBar;

// A run's bar on the screen: every change of the run's bar is shown at once.
class CProgressCtrl : public CProgressBar {
public:
    explicit CProgressCtrl(QProgressBar& bar);

protected:
    void Changed() override;

private:
    QProgressBar& m_bar;
};

// "Testing Progress": the modeless window over the main window for the length of a run. It
// has no buttons and no way to close it; the run fills its fields and moves its bars, and
// destroys it when the run ends or is stopped.
class CProgressDlg : public QDialog, public CRunProgress {
public:
    explicit CProgressDlg(QWidget* parent);

    void UpdateData() override;
    CProgressBar& FileBar() override { return m_fileBar; }
    CProgressBar& UrlBar() override { return m_urlBar; }

    // Esc pressed here is the main window's Esc: it goes to the handler, after the key event is
    // done, since stopping the run destroys this window. The window itself stays.
    void SetEscapeHandler(std::function<void()> handler) { m_onEscape = std::move(handler); }
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // A field of the template: left-aligned, one line, cut by its width however long the text.
    QLabel* AddField(const char* name, int widthUnits);
    // A number field: the template's width, or six of the font's digits when that is wider.
    QLabel* AddNumberField(const char* name, int widthUnits);
    void BuildLayout();

    QLabel* m_fileTextLabel;
    QLabel* m_fileIndexLabel;
    QLabel* m_fileTotalLabel;
    QLabel* m_urlTextLabel;
    QLabel* m_anchorTextLabel;
    QLabel* m_urlIndexLabel;
    QLabel* m_urlTotalLabel;
    QProgressBar* m_fileBarCtrl;
    QProgressBar* m_urlBarCtrl;
    CProgressCtrl m_fileBar;
    CProgressCtrl m_urlBar;
    std::function<void()> m_onEscape;
};
