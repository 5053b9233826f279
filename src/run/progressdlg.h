#pragma once

#include <QDialog>

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

    // Only the run takes the window down; Escape does not.
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // A field of the template: left-aligned, one line, cut by its width however long the text.
    QLabel* AddField(const char* name, int widthUnits);
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
};
