#pragma once

#include <string>

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
};
