#include "dialogrepairhost.h"

#include "repair/repairdlg.h"
#include "repair/repairfailuredlg.h"
#include "repair/repairreviewdlg.h"

bool CDialogRepairHost::ShowRepairOptions(int& method, int& saveBadUrls) {
    CRepairDlg dialog(m_parent);
    dialog.m_method = method;
    dialog.m_saveBadUrls = saveBadUrls;
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    method = dialog.m_method;
    saveBadUrls = dialog.m_saveBadUrls;
    m_review = dialog.m_review != 0;
    return true;
}

bool CDialogRepairHost::ReviewChanges(const CResultRows& rows, const CRepairPreview& preview,
                                      std::vector<int>& leftOut) {
    CRepairReviewDlg dialog(rows, preview, m_parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    leftOut = dialog.LeftOut();
    return true;
}

bool CDialogRepairHost::ShowRepairFailure(const std::string& file, const std::string& url) {
    CRepairFailureDlg dialog(m_parent);
    dialog.m_failedFile = file;
    dialog.m_failedUrl = url;
    return dialog.exec() == QDialog::Accepted && dialog.m_ignore == 1;
}
