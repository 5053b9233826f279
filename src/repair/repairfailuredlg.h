#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;

// Tells where a repair stopped and lets the user drop that row from the grid. It has only an
// OK button; Escape and the close box end it as Cancel, and then the ignore box counts for
// nothing. The members go into the controls when it opens and come back on OK.
class CRepairFailureDlg : public QDialog {
public:
    static constexpr unsigned kHelpTopic = 0x2008A;

    explicit CRepairFailureDlg(QWidget* parent = nullptr);

    // Puts the members into the controls; exec() runs it before the dialog shows.
    void OnInitDialog();
    int exec() override;
    void accept() override;

    int m_ignore = 0;
    std::string m_failedUrl;
    std::string m_failedFile;

private:
    void UpdateData(bool saveAndValidate);

    QLineEdit* m_failedFileEdit;
    QLineEdit* m_failedUrlEdit;
    QCheckBox* m_ignoreButton;
};
