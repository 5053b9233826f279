#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "platform/dialogdata.h"

class QCheckBox;
class QPushButton;
class CRegSettings;

// "Select File(s) to Test": one file, or a directory with or without its sub-directories, and
// whether only web pages count. The Select command fills the members, shows the dialog and
// checks the path after OK; the dialog only keeps the two directory options consistent.
class CSelectFilesDlg : public QDialog {
public:
    static constexpr int kPathLimit = 1000;
    static constexpr unsigned kHelpTopic = 0x20082;

    CSelectFilesDlg(CRegSettings& settings, QWidget* parent = nullptr);

    void OnClickRecurse();
    void OnClickAllFiles();
    void OnBrowse();

    std::string m_path;
    bool m_allFiles = false;
    bool m_recurse = false;
    bool m_htmlOnly = false;

protected:
    // Members to controls (false) or back, with the edit's limit checked (true); false when a
    // control's value was refused.
    bool UpdateData(bool saveAndValidate);

    // The pickers; nullopt when the user cancels or picks nothing with a path.
    virtual std::optional<std::string> PickFolder(const std::string& title);
    virtual std::optional<std::string> PickFile(const std::string& initialName);

    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    void BuildLayout();
    void SetWhatsThisTexts();

    CRegSettings& m_settings;
    platform::CFileNameEdit* m_pathEdit;
    QCheckBox* m_allFilesBox;
    QCheckBox* m_recurseBox;
    QCheckBox* m_htmlOnlyBox;
    QPushButton* m_browseButton;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};

// Where the file picker opens in file mode, from the path last tested: its folder (the name
// after the last slash dropped, unless that slash is the only one) with "*.*" appended.
std::string BrowseInitialName(const std::string& starter);
