#pragma once

#include <QDialog>

class QButtonGroup;
class QCheckBox;

// The Repair command's options: how the line of a found link is rewritten, and whether the
// bad links are exported afterwards. The members go into the controls when the dialog opens
// and come back on OK.
class CRepairDlg : public QDialog {
public:
    // The help topic of the dialog: 0x20000 plus its template number.
    static constexpr unsigned kHelpTopic = 0x20089;

    explicit CRepairDlg(QWidget* parent = nullptr);

    // Puts the members into the controls; exec() runs it before the dialog shows.
    void OnInitDialog();
    int exec() override;
    void accept() override;

    // Reads the controls and lets the save box change only for the remove method; a box
    // greyed out keeps its tick.
    void UpdateSaveOption();
    void OnHelp();

    // 0 disable, 1 replace, 2 remove, 3 update; any other value selects no method.
    int m_method = -1;
    int m_saveBadUrls = 0;
    // The changes are shown for review before any is written; off whenever the dialog opens.
    int m_review = 0;
    QCheckBox* m_saveBadUrlsButton;
    QCheckBox* m_reviewButton;

private:
    void UpdateData(bool saveAndValidate);

    QButtonGroup* m_methodGroup;
};
