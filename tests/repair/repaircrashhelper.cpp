// The repair walk as a process of its own, without network: the rows come from a file of
// "URL<TAB>path" lines, so that a test can kill the walk at any moment and look at the disk.
// Usage: repair_crash_helper METHOD ROWS. Exit status 0 when every row was repaired, 3 when
// the walk stopped at a failure, 2 on bad arguments.

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "repair/repairtext.h"
#include "repair/repairwalk.h"
#include "settings/regsettings.h"

namespace {

class CFixedMethodHost : public CRepairHost {
public:
    explicit CFixedMethodHost(int method) : m_method(method) {}
    bool ShowRepairOptions(int& method, int& saveBadUrls) override {
        method = m_method;
        saveBadUrls = 0;
        return true;
    }
    bool ShowRepairFailure(const std::string& file, const std::string& url) override {
        std::fprintf(stderr, "stopped in %s near %s\n", file.c_str(), url.c_str());
        return false;
    }
    void ExportResults() override {}

private:
    int m_method;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: repair_crash_helper METHOD ROWS\n", stderr);
        return 2;
    }
    std::ifstream in(argv[2]);
    if (!in) {
        return 2;
    }
    CResultTable rows;
    for (std::string line; std::getline(in, line);) {
        const std::size_t tab = line.find('\t');
        rows.AddResult(line.substr(0, tab), 0, "");
        rows.AddResult("HTTP Code 404 Not Found", 1, "");
        rows.AddResult("", 2, line.substr(tab + 1));
    }
    CRegSettings settings;
    OpenSettingsAtStartup(settings);
    CFixedMethodHost host(std::atoi(argv[1]));
    return CRepairWalk(rows, settings, host).RepairLinks() ? 0 : 3;
}
