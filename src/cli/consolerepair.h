#pragma once

#include "repair/repairhost.h"

// The repair walk without dialogs: the method given on the command line, no export (the
// report follows the walk in any case), and the failure on stderr, with nothing ignored.
class CConsoleRepairHost : public CRepairHost {
public:
    explicit CConsoleRepairHost(int method) : m_method(method) {}

    bool ShowRepairOptions(int& method, int& saveBadUrls) override;
    bool ShowRepairFailure(const std::string& file, const std::string& url) override;
    void ExportResults() override {}

private:
    int m_method;
};
