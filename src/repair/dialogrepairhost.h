#pragma once

#include "repair/repairhost.h"

class QWidget;

// The window's side of the repair walk: its two dialogs, over the main window. The Export
// command is the results view's own, which derives from this.
class CDialogRepairHost : public CRepairHost {
public:
    explicit CDialogRepairHost(QWidget* parent) : m_parent(parent) {}

    bool ShowRepairOptions(int& method, int& saveBadUrls) override;
    bool ShowRepairFailure(const std::string& file, const std::string& url) override;
    bool ReviewsChanges() const override { return m_review; }
    bool ReviewChanges(const CResultRows& rows, const CRepairPreview& preview,
                       std::vector<int>& leftOut) override;

private:
    QWidget* m_parent;
    bool m_review = false;
};
