#pragma once

#include <QDialog>

#include "run/testrun.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Web Options": shows the options it is given and hands back what the controls hold; saving
// is the caller's, after OK.
class COptionsDlg : public QDialog {
public:
    static constexpr unsigned kHelpTopic = 0x2008B;

    explicit COptionsDlg(const CWebOptions& options, QWidget* parent = nullptr);

    CWebOptions Options() const;
    void OnHelp();

    QCheckBox* m_https;
    QSpinBox* m_jobs;
    QSpinBox* m_perHost;
    QComboBox* m_scanner;
    QCheckBox* m_redirects;
    QLineEdit* m_siteRoot;

private:
    void BuildLayout();

    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
    QPushButton* m_helpButton;
};
