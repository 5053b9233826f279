#pragma once

#include <QDialog>
#include <QListWidget>
#include <array>
#include <string>
#include <string_view>

#include "probe/resultcodes.h"

class QLineEdit;
class QPushButton;

using CReasonTexts = std::array<std::string, kResultCodeCount>;

// The report filter as a list of the reason texts, a check box on each row. The rows hold no
// text of their own: each row shows its reason text as it stands when the row is drawn.
class CFilterCheckListBox : public QListWidget {
public:
    static constexpr int kRowHeight = 20;

    CFilterCheckListBox(const CReasonTexts& reasonTexts, QWidget* parent = nullptr);

    bool IsTicked(int row) const;
    void SetTicked(int row, bool ticked);
};

// "Preferences": the host time-out and the report filter. The dialog works on the caller's
// filter itself: a preset changes it at once, OK rebuilds it from the ticks before the time-out
// is checked. Saving is the caller's, after OK.
class CPreferencesDlg : public QDialog {
public:
    static constexpr int kMinTimeout = 5;
    static constexpr int kMaxTimeout = 1000;
    static constexpr unsigned kHelpTopic = 0x20088;

    CPreferencesDlg(std::string& filter, const CReasonTexts& reasonTexts,
                    QWidget* parent = nullptr);

    // Ticks the rows from the filter.
    void ShowFilter();
    void OnWatchHawk();
    void OnWatchOneEye();
    void OnHelp();

    int m_timeout = 0;
    CFilterCheckListBox m_filterList;

protected:
    // m_timeout to its field (false) or back, checked (true); false when the text was refused.
    bool UpdateData(bool saveAndValidate);

    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    void BuildLayout();
    void SetWhatsThisTexts();
    void UsePreset(std::string_view filter);
    std::string TickedFilter() const;

    std::string& m_filter;
    QLineEdit* m_timeoutEdit;
    QPushButton* m_hawkButton;
    QPushButton* m_oneEyeButton;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
    QPushButton* m_helpButton;
};

enum class CNumberCheck { Ok, NotANumber, OutOfRange };

// Reads text as one whole number, with white space around it allowed, and checks that it lies
// in low..high.
CNumberCheck ParseBoundedInt(std::string_view text, int low, int high, int& value);
