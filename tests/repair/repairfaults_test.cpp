#include <sys/resource.h>

#include <csignal>

#include "repair/repairfixture.h"
#include "support/filesizelimit.h"

namespace {

using platform::CFileOperation;

// Three pages, their repaired texts, and a stale work file beside each.
struct CPage {
    std::string name;
    std::string before;
    std::string after;
};
const std::vector<CPage> kPages = {
    {"a.htm", "<a href=\"http://x.test/1\">\r\n<p>keep</p>\r\n<a href=\"http://x.test/2\">\r\n",
     "<!--<a href=\"http://x.test/1\">-->\r\n<p>keep</p>\r\n<!--<a "
     "href=\"http://x.test/2\">-->\r\n"},
    {"b.htm", "<p>b</p>\n<a href=\"http://x.test/3\">\n",
     "<p>b</p>\n<!--<a href=\"http://x.test/3\">-->\n"},
    {"c.htm", "<a href=\"http://x.test/4\">", "<!--<a href=\"http://x.test/4\">-->\n"},
};

class RepairFaults : public CRepairTest {
protected:
    void MakeSite() {
        const std::vector<std::pair<std::string, std::string>> rows = {
            {"http://x.test/1", "a.htm"},
            {"http://x.test/2", "a.htm"},
            {"http://x.test/3", "b.htm"},
            {"http://x.test/4", "c.htm"}};
        m_site = std::make_unique<CTempDir>();
        for (const CPage& page : kPages) {
            WriteFile(*m_site / page.name, page.before);
            // Another walk's work file, or a user's file of that name: never the walk's to
            // delete or write into.
            WriteFile(RepairStem(*m_site / page.name) + kWorkFileSuffix, "stale");
        }
        m_rows.Clear();
        for (const auto& [url, name] : rows) {
            AddRow(url, *m_site / name);
        }
    }

    // Every page holds its old or its new text, and every backup the old one.
    void ExpectNothingLost() const {
        for (const CPage& page : kPages) {
            const std::string path = *m_site / page.name;
            const std::string text = ReadFile(path);
            EXPECT_TRUE(text == page.before || text == page.after) << path << ": " << text;
            if (FileExists(BackupName(path))) {
                EXPECT_EQ(ReadFile(BackupName(path)), page.before);
            } else {
                EXPECT_EQ(text, page.before) << "rewritten without a backup";
            }
        }
    }

    std::unique_ptr<CTempDir> m_site;
};

TEST_F(RepairFaults, AFailureAtAnyFileOperationLosesNoTextAndTheNextWalkFinishes) {
    for (const CFileOperation operation :
         {CFileOperation::Copy, CFileOperation::OpenForReading, CFileOperation::CreateForWriting,
          CFileOperation::Replace}) {
        for (int call = 0; call < static_cast<int>(kPages.size()); ++call) {
            SCOPED_TRACE(testing::Message()
                         << "operation " << static_cast<int>(operation) << ", call " << call);
            MakeSite();
            m_host.m_failures.clear();
            platform::FailFileOperation(operation, call);
            EXPECT_FALSE(Walk(kRepairDisable));
            ASSERT_EQ(m_host.m_failures.size(), 1u);
            EXPECT_EQ(m_host.m_failures[0].first, *m_site / kPages[call].name);
            ExpectNothingLost();

            EXPECT_TRUE(Walk(kRepairDisable));
            for (const CPage& page : kPages) {
                EXPECT_EQ(ReadFile(*m_site / page.name), page.after);
                EXPECT_EQ(ReadFile(RepairStem(*m_site / page.name) + kWorkFileSuffix), "stale");
            }
            ExpectNothingLost();
        }
    }
}

TEST_F(RepairFaults, AWorkFileCutShortNeverReplacesItsPage) {
    const std::string before =
        std::string(4000, 'x') + "\nhttp://x.test/gone\n" + std::string(4000, 'y');
    const std::string page = Page("page.htm", before);
    WriteFile(BackupName(page), before);
    AddRow("http://x.test/gone", page);
    {
        const CFileSizeLimit limit(1000);
        EXPECT_FALSE(Walk(kRepairRemove));
    }
    EXPECT_EQ(ReadFile(page), before);
    EXPECT_EQ(m_host.m_failures.size(), 1u);
    EXPECT_TRUE(Walk(kRepairRemove));
    EXPECT_EQ(ReadFile(page), std::string(4000, 'x') + "\n" + std::string(4000, 'y'));
}

}  // namespace
