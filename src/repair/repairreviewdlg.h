#pragma once

#include <QDialog>
#include <vector>

#include "repair/repairpreview.h"
#include "results/resulttable.h"

class QTreeWidget;

// What a repair would write, before it does: a row per rewritten link, ticked, over the whole
// unified diff. The rows the user unticks are left as they are.
class CRepairReviewDlg : public QDialog {
public:
    CRepairReviewDlg(const CResultRows& rows, const CRepairPreview& preview,
                     QWidget* parent = nullptr);

    // The rows unticked, in the grid's order.
    std::vector<int> LeftOut() const;

    QTreeWidget* m_changes;
};
