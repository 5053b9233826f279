#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "platform/dialogdata.h"

class QButtonGroup;
class QPushButton;
class QRadioButton;

// "Export Bad URLs": the report's path and its format. The Export command fills the members,
// asks before replacing a file and writes the report; the dialog only edits the two values and
// keeps the name's extension in step with the format.
class CExportDlg : public QDialog {
public:
    static constexpr int kFileNameLimit = 200;
    static constexpr int kTextFormat = 0;
    static constexpr int kHtmlFormat = 1;
    static constexpr unsigned kHelpTopic = 0x20087;

    explicit CExportDlg(QWidget* parent = nullptr);

    void OnBrowse();
    void OnFormatChanged();

    std::string m_fileName;
    // kTextFormat, kHtmlFormat, or -1 with neither button on.
    int m_format = -1;

protected:
    // Members to controls (false) or back, with the name's limit checked (true); false when
    // the name was refused.
    bool UpdateData(bool saveAndValidate);

    // The Save As picker; nullopt when the user cancels.
    virtual std::optional<std::string> PickSaveFile(const std::string& initialName,
                                                    const std::string& nameFilter,
                                                    const std::string& defaultSuffix);

    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    void BuildLayout();
    void SetWhatsThisTexts();

    platform::CFileNameEdit* m_fileNameEdit;
    QPushButton* m_browseButton;
    QRadioButton* m_textButton;
    QRadioButton* m_htmlButton;
    QButtonGroup* m_formatGroup;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};

// The name with its extension swapped for the format: a ".txt" after the start turns the last
// four characters into ".html" for HTML, and an ".html" after the start turns the last five
// into ".txt" for text. Case counts, and the first occurrence decides wherever it stands.
std::string SwapReportExtension(const std::string& fileName, int format);
