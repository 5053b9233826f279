#pragma once

#include <string>
#include <vector>

class CRepairPreview;
class CResultRows;

// What the repair walk needs of its front end: the window shows its dialogs, the console
// prints to stderr, a test answers from a script.
class CRepairHost {
public:
    virtual ~CRepairHost() = default;
    // The options dialog, opened with the stored method and save flag; false when cancelled.
    virtual bool ShowRepairOptions(int& method, int& saveBadUrls) = 0;
    // Tells where the walk stopped; true when the user asks to drop that row from the grid.
    virtual bool ShowRepairFailure(const std::string& file, const std::string& url) = 0;
    // The Export command, run after the walk when the save flag is set.
    virtual void ExportResults() = 0;
    // Whether the host shows what would change before anything is written.
    virtual bool ReviewsChanges() const { return false; }
    // Shows the preview; false cancels the repair. Rows the user unticks go into leftOut.
    virtual bool ReviewChanges(const CResultRows& /*rows*/, const CRepairPreview& /*preview*/,
                               std::vector<int>& /*leftOut*/) {
        return true;
    }
};
