#include "run/testrun.h"

#include "platform/messagebox.h"
#include "run/recordingrun.h"
#include "platform/systemdir.h"
#include "settings/regsettings.h"
#include "support/temphome.h"

namespace {

using CProbeRun = CRecordingRun;

class TestRun : public CTempHomeTest {
protected:
    TestRun() { OpenSettingsAtStartup(m_settings); }

    CRegSettings m_settings;
    platform::CScriptedUserInterface m_ui;
};

TEST_F(TestRun, ConstructionHoldsTheDefaults) {
    const CProbeRun run(m_settings);
    EXPECT_EQ(run.m_reasonText[0], "HTTP Code 200 OK");
    EXPECT_EQ(run.m_reasonText[20], "Host Took Too Long to Respond");
    EXPECT_EQ(run.m_filter, "011111111111111111111");
    EXPECT_EQ(run.m_timeoutSeconds, 15);
    EXPECT_EQ(run.m_timeoutMillis, 15000);
    EXPECT_EQ(run.m_tempBase, "urltmp~");
    EXPECT_FALSE(run.m_runEnded);
    EXPECT_FALSE(run.m_runTimerActive);
    EXPECT_TRUE(run.m_fileList.empty());
    EXPECT_TRUE(m_ui.m_messages.empty());
}

TEST_F(TestRun, StoredPreferencesReplaceTheDefaults) {
    m_settings.SetString("Settings", "Filter", "000000011110000001000");
    m_settings.SetInt("Settings", "Timeout", 2000);
    const CProbeRun run(m_settings);
    EXPECT_EQ(run.m_filter, "000000011110000001000");
    EXPECT_EQ(run.m_timeoutSeconds, 2000) << "a stored time-out is used without a range check";
    EXPECT_EQ(run.m_timeoutMillis, 2000000);
}

TEST_F(TestRun, AStoredFilterOfTheWrongLengthIsResetAfterAWarning) {
    m_settings.SetString("Settings", "Filter", "0111");
    const CProbeRun run(m_settings);
    EXPECT_EQ(m_ui.m_messages, (std::vector<std::string>{"Setting Filter Codes to Safe Default"}));
    EXPECT_EQ(run.m_filter, "011111111111111111111");
    EXPECT_EQ(m_settings.GetString("Settings", "Filter", ""), "011111111111111111111");
}

TEST_F(TestRun, UnknownCodesGetTheWarningTextABeepAndMarkTheRun) {
    CProbeRun run(m_settings);
    EXPECT_EQ(run.GetReasonText(404), "HTTP Code 404 Not Found");
    EXPECT_FALSE(run.m_unknownErrorSeen);
    EXPECT_TRUE(m_ui.m_beeps.empty());
    for (ResultCode code : {206u, 505u}) {
        EXPECT_EQ(run.IsReportable(code), 1);
        EXPECT_EQ(run.GetReasonText(code), "--------------> UNKNOWN REASON !!!!!");
    }
    EXPECT_TRUE(run.m_unknownErrorSeen);
    EXPECT_EQ(m_ui.m_beeps, (std::vector<unsigned>{platform::kMbIconExclamation,
                                                   platform::kMbIconExclamation}));
}

TEST_F(TestRun, IsReportableReadsTheFilterOnEveryCall) {
    CProbeRun run(m_settings);
    EXPECT_EQ(run.IsReportable(200), 0);
    run.m_filter = "100000000000000000000";
    EXPECT_EQ(run.IsReportable(200), 1);
    EXPECT_EQ(run.IsReportable(404), 0);
}

TEST_F(TestRun, ScanFileAppendsToBothListsAndCountsTheLinks) {
    CProbeRun run(m_settings);
    WriteFile(m_scratch / "a.htm", "<A HREF=\"http://h/1\">one</A><A HREF=\"ftp://h/2\"></A>");
    EXPECT_EQ(run.ScanFile(m_scratch / "a.htm"), 1);
    EXPECT_EQ(run.m_urlList, (StringList{"http://h/1", "ftp://h/2"}));
    EXPECT_EQ(run.m_anchorNameList, (StringList{"one", "Linkvet supplied this anchor name"}));
    EXPECT_EQ(run.m_urlCount, 2);
    EXPECT_TRUE(FileExists(platform::SystemDirectory() + "/urltmp~2"));
}

TEST_F(TestRun, AFileThatCannotBeOpenedStopsTheTimersAndSaysSoOnce) {
    CProbeRun run(m_settings);
    run.m_urlCount = 5;
    EXPECT_EQ(run.ScanFile(m_scratch / "gone.htm"), 0);
    EXPECT_EQ(m_ui.m_messages,
              (std::vector<std::string>{"Error: Cannot open file:\n\n" + (m_scratch / "gone.htm")}));
    EXPECT_EQ(run.m_urlCount, 5) << "the count is left as it was";
    EXPECT_FALSE(run.m_runTimerActive);
    EXPECT_FALSE(run.m_linkTimerActive);
}

TEST_F(TestRun, AWorkFileThatCannotBeCreatedGivesTheSameMessage) {
    WriteFile(m_scratch / "a.htm", "<A HREF=\"http://h/1\">one</A>");
    MakeDirectory(platform::SystemDirectory() + "/urltmp~2");
    CProbeRun run(m_settings);
    EXPECT_EQ(run.ScanFile(m_scratch / "a.htm"), 0);
    EXPECT_EQ(m_ui.m_messages,
              (std::vector<std::string>{"Error: Cannot open file:\n\n" + (m_scratch / "a.htm")}));
    EXPECT_TRUE(run.m_urlList.empty());
}

TEST_F(TestRun, DestructionRemovesTheFourWorkFileNamesAndNothingElse) {
    const std::string dir = platform::SystemDirectory();
    for (const char* name : {"urltmp~", "urltmp~1", "urltmp~2", "urltmp~3", "urltmp~4", "keep"}) {
        WriteFile(dir + "/" + name, "x");
    }
    { const CProbeRun run(m_settings); }
    for (const char* name : {"urltmp~", "urltmp~1", "urltmp~2", "urltmp~3"}) {
        EXPECT_FALSE(FileExists(dir + "/" + name)) << name;
    }
    EXPECT_TRUE(FileExists(dir + "/urltmp~4"));
    EXPECT_TRUE(FileExists(dir + "/keep"));
}

TEST_F(TestRun, ChoicesAreCheckedForExistenceByMode) {
    const CProbeRun run(m_settings);
    WriteFile(m_scratch / "page.htm", "x");
    const std::string directoryMessage =
        "The chosen directory does not exist\n\n(Your \"Test Other Files\" choice means you "
        "should\nspecify a valid directory path, NOT a file path)";
    const std::string fileMessage = "The specified file does not exist";
    EXPECT_TRUE(run.ValidateChoice({m_scratch / "page.htm", false, false, false}));
    EXPECT_TRUE(run.ValidateChoice({m_scratch.Path(), false, true, false}));
    EXPECT_TRUE(m_ui.m_messages.empty());
    EXPECT_FALSE(run.ValidateChoice({m_scratch.Path(), false, false, false}));
    EXPECT_FALSE(run.ValidateChoice({"", false, false, false}));
    EXPECT_FALSE(run.ValidateChoice({m_scratch / "page.htm", false, true, false}));
    EXPECT_FALSE(run.ValidateChoice({"", true, true, false}));
    EXPECT_EQ(m_ui.m_messages, (std::vector<std::string>{fileMessage, fileMessage,
                                                          directoryMessage, directoryMessage}));
}

}  // namespace
