#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;

// The settings of the web beyond the Preferences: https links, how many links at once and to
// one host, and which scanner reads the pages.
struct CWebOptions {
    bool https = false;
    int jobs = 1;
    int perHost = 6;
    // 0 the classic scanner, 1 the HTML scanner.
    int scanner = 0;

    bool operator==(const CWebOptions&) const = default;
};

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

private:
    void BuildLayout();

    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
    QPushButton* m_helpButton;
};
