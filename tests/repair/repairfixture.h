#pragma once

#include <string>
#include <utility>
#include <vector>

#include "model/fileselect.h"
#include "platform/filefaults.h"
#include "platform/messagebox.h"
#include "probe/resultcodes.h"
#include "repair/repairtext.h"
#include "repair/repairwalk.h"
#include "settings/regsettings.h"
#include "support/temphome.h"

// The front end as a script: the options the user picks, the answer to a failure, and what
// the walk showed.
class CScriptedRepairHost : public CRepairHost {
public:
    bool ShowRepairOptions(int& method, int& saveBadUrls) override {
        m_offered = {method, saveBadUrls};
        if (m_cancel) {
            return false;
        }
        method = m_method;
        saveBadUrls = m_save;
        return true;
    }
    bool ShowRepairFailure(const std::string& file, const std::string& url) override {
        m_failures.emplace_back(file, url);
        return m_ignore;
    }
    void ExportResults() override { ++m_exports; }
    bool ReviewsChanges() const override { return m_review; }
    bool ReviewChanges(const CResultRows&, const CRepairPreview& preview,
                       std::vector<int>& leftOut) override {
        m_reviewed = preview.UnifiedDiff();
        leftOut = m_leaveOut;
        return !m_cancelReview;
    }

    bool m_cancel = false;
    int m_method = kRepairDisable;
    int m_save = 0;
    bool m_ignore = false;
    std::pair<int, int> m_offered{};
    std::vector<std::pair<std::string, std::string>> m_failures;
    int m_exports = 0;
    bool m_review = false;
    bool m_cancelReview = false;
    std::vector<int> m_leaveOut;
    std::string m_reviewed;
};

// Rows over pages in the scratch folder, a settings store and a scripted front end.
class CRepairTest : public CTempHomeTest {
protected:
    CRepairTest() { OpenSettingsAtStartup(m_settings); }
    ~CRepairTest() override { platform::ClearFileFailures(); }

    std::string Page(const std::string& name, const std::string& text) {
        WriteFile(m_scratch / name, text);
        return m_scratch / name;
    }
    void AddRow(const std::string& url, const std::string& file) {
        m_rows.AddResult(url, 0, "");
        m_rows.AddResult("HTTP Code 404 Not Found", 1, "");
        m_rows.AddResult("", 2, file);
    }
    bool Walk(int method) {
        m_host.m_method = method;
        return CRepairWalk(m_rows, m_settings, m_host).RepairLinks();
    }
    std::vector<std::uint32_t> Tags() const {
        std::vector<std::uint32_t> tags;
        for (int row = 0; row < m_rows.RowCount(); ++row) {
            tags.push_back(m_rows.Tag(row));
        }
        return tags;
    }

    CRegSettings m_settings;
    CResultTable m_rows;
    CScriptedRepairHost m_host;
    platform::CScriptedUserInterface m_ui;
};

// The work files in path's folder: a walk that ended leaves none of its own.
inline std::vector<std::string> WorkFilesBeside(const std::string& path) {
    std::vector<std::string> work;
    for (const std::string& name : FolderFileNames(path).value_or(std::vector<std::string>{})) {
        if (name.ends_with(kWorkFileSuffix)) {
            work.push_back(name);
        }
    }
    return work;
}

inline constexpr const char* kAllRepaired = "All URL repairs completed";

#include "model/htmlscanner.h"

// Rows for the links of an HTML page whose URL is url, as a run with the HTML scanner reports
// them.
// movedTo: the rows are of a link that moved for good to there.
inline void AddHtmlRows(CResultTable& rows, const std::string& page, const std::string& url,
                        const std::string& movedTo = {}) {
    const std::optional<CHtmlPage> scanned = ScanHtmlFile(page, {});
    for (const CHtmlLink& link : scanned ? scanned->links : std::vector<CHtmlLink>{}) {
        if (link.url == url) {
            rows.AddResult(link.url, 0, "");
            rows.AddResult("Local File Not Found", 1, "");
            rows.AddResult(link.anchorName, 2, page);
            rows.AddResultPlace(link.place);
            rows.AddResultMove(movedTo);
        }
    }
}
