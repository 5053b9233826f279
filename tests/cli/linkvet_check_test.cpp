#include "cli/checkoptions.h"

#include "model/linkscanner.h"
#include "platform/systemdir.h"
#include "repair/repairtext.h"
#include "support/runprogram.h"
#include "support/temphome.h"

namespace {

std::optional<CCheckOptions> Parse(std::vector<std::string> arguments) {
    std::string error;
    return ParseCheckOptions(arguments, error);
}

TEST(CheckOptions, SelectionFlagsFollowTheDialogRules) {
    const auto options = Parse({"--links", "-r", "-H", "site"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->mode, CCheckMode::ListLinks);
    EXPECT_TRUE(options->choice.recurse);
    EXPECT_TRUE(options->choice.allFiles) << "-r implies -a";
    EXPECT_TRUE(options->choice.htmlOnly);
    EXPECT_EQ(options->choice.path, "site");
    const auto plain = Parse({"site", "--files"});
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->choice.allFiles);
    EXPECT_EQ(Parse({"--files", "--", "-odd"})->choice.path, "-odd");
}

TEST(CheckOptions, MistakesAreUsageErrors) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{
             {"--files"}, {"--files", "a", "b"}, {"-x", "a"}, {"--files", "--links", "a"}, {},
             {"-t", "4", "a"}, {"-t", "1001", "a"}, {"--timeout=1x", "a"}, {"a", "-t"},
             {"-f", "0101", "a"}, {"-f", "01111111111111111111x", "a"}, {"--format", "pdf", "a"},
             {"-o", "", "a"}, {"--quiet=yes", "a"}}) {
        std::string error;
        EXPECT_FALSE(ParseCheckOptions(arguments, error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(Parse({"--version"})->mode, CCheckMode::ShowVersion);
    EXPECT_EQ(Parse({"-x", "-h"}), std::nullopt) << "the first mistake wins";
}

TEST(CheckOptions, ARunTakesPreferenceOverridesAndReportChoices) {
    const auto options = Parse({"-t", "5", "--filter=000000011110000001000", "--format", "html",
                                "-o", "r.html", "-q", "site"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->mode, CCheckMode::RunTest);
    EXPECT_EQ(options->timeoutSeconds, 5);
    EXPECT_EQ(options->filter, "000000011110000001000");
    EXPECT_EQ(options->format, CReportFormat::Html);
    EXPECT_EQ(options->outputPath, "r.html");
    EXPECT_TRUE(options->quiet);
    const auto defaults = Parse({"--timeout=1000", "site"});
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->timeoutSeconds, 1000);
    EXPECT_FALSE(defaults->filter);
    EXPECT_EQ(defaults->format, CReportFormat::Text);
    EXPECT_TRUE(defaults->outputPath.empty());
}

TEST(CheckOptions, TheScannerIsClassicUnlessHtmlIsAskedFor) {
    EXPECT_FALSE(Parse({"site"})->htmlScan);
    EXPECT_FALSE(Parse({"--scan", "classic", "site"})->htmlScan);
    EXPECT_TRUE(Parse({"--scan", "html", "site"})->htmlScan);
    EXPECT_TRUE(Parse({"--links", "--scan=html", "site"})->htmlScan);
    EXPECT_EQ(Parse({"--scan", "HTML", "site"}), std::nullopt);
    EXPECT_EQ(Parse({"--scan", "site"}), std::nullopt) << "PATH taken as the scanner";
}

TEST(CheckOptions, RepairTakesOneOfThreeMethodsAndNeedsATestRun) {
    EXPECT_EQ(Parse({"--repair", "disable", "site"})->repairMethod, kRepairDisable);
    EXPECT_EQ(Parse({"--repair=replace", "site"})->repairMethod, kRepairReplace);
    EXPECT_EQ(Parse({"site", "--repair", "remove"})->repairMethod, kRepairRemove);
    EXPECT_FALSE(Parse({"site"})->repairMethod);
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{
             {"--repair", "Remove", "site"}, {"--repair=", "site"}, {"site", "--repair"},
             {"--links", "--repair", "remove", "site"}}) {
        std::string error;
        EXPECT_FALSE(ParseCheckOptions(arguments, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(CheckOptions, FieldsEscapeBackslashTabAndLineBreaks) {
    EXPECT_EQ(EscapeField("a\\b\tc\nd\re"), "a\\\\b\\tc\\nd\\re");
    EXPECT_EQ(EscapeField("plain"), "plain");
}

class LinkvetCheck : public CTempHomeTest {
protected:
    CProgramResult Check(const std::vector<std::string>& arguments) {
        return RunProgram(LINKVET_CHECK, arguments, m_home.Path());
    }
    CTempDir m_home;
};

TEST_F(LinkvetCheck, ListsTheFilesOfATreeInOrder) {
    MakeDirectory(m_scratch / "site");
    WriteFile(m_scratch / "site/b.htm", "");
    WriteFile(m_scratch / "site/a.txt", "");
    MakeDirectory(m_scratch / "site/sub");
    WriteFile(m_scratch / "site/sub/c.html", "");
    const CProgramResult result = Check({"--files", "-r", "-H", m_scratch / "site"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, m_scratch / "site/b.htm\n" + m_scratch / "site/sub/c.html\n");
}

TEST_F(LinkvetCheck, ListsLinksWithEscapedFields) {
    WriteFile(m_scratch / "p.htm",
              "<A HREF=\"http://h/a\">One\tTwo</A><A HREF=\"ftp://h/b\">back\\slash</A>");
    const CProgramResult result = Check({"--links", m_scratch / "p.htm"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, m_scratch / "p.htm\thttp://h/a\tOne Two\n" + m_scratch /
                              "p.htm\tftp://h/b\tback\\\\slash\n");
}

TEST_F(LinkvetCheck, ListsHtmlLinksAsTheRunChecksThem) {
    MakeDirectory(m_scratch / "site");
    WriteFile(m_scratch / "site/p.htm",
              "<a href=\"http://h/a?x=1&amp;y\">One\tTwo</a><!-- <a href=\"http://h/c\"> -->"
              "<A HREF='sub/q%20r.html#s\\t'><b>Q</b></A><a href=\"mailto:x\">m</a>"
              "<a href=\"https://h/s\">s</a><a href=\"/top.html\"></a>");
    const CProgramResult result = Check({"--links", "--scan", "html", "-a", m_scratch / "site"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string file = m_scratch / "site/p.htm";
    EXPECT_EQ(result.out, file + "\thttp://h/a?x=1&y\tOne Two\t\n" + file +
                              "\tsub/q%20r.html#s\\\\t\tQ\t" +
                              m_scratch / "site/sub/q r.html#s\\\\t\n" + file + "\t/top.html\t" +
                              kSuppliedAnchorName + "\t" + m_scratch / "site/top.html\n");
}

TEST_F(LinkvetCheck, BadInputGetsTheProgramsMessagesAndStatusTwo) {
    WriteFile(m_scratch / "p.htm", "");
    MakeDirectory(m_scratch / "plain");
    WriteFile(m_scratch / "plain/notes.txt", "");
    struct CCase {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<CCase> cases = {
        {{"--files", "-a", m_scratch / "p.htm"}, "The chosen directory does not exist"},
        {{"--links", m_scratch / "missing.htm"}, "The specified file does not exist"},
        {{"--links", m_scratch.Path()}, "The specified file does not exist"},
        {{"--files", "-a", "-H", m_scratch / "plain"}, "No files found."},
        {{"--bogus", "x"}, "Usage: linkvet-check"},
    };
    for (const CCase& c : cases) {
        const CProgramResult result = Check(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
}

TEST_F(LinkvetCheck, AFileThatVanishesBeforeItsScanStopsProcessing) {
    MakeDirectory(m_scratch / "d");
    ASSERT_EQ(::symlink("gone.htm", (m_scratch / "d/a.htm").c_str()), 0);
    const CProgramResult result = Check({"--links", "-a", m_scratch / "d"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Error: Cannot open file:\n\n" + m_scratch / "d/a.htm\n" +
                              "Processing has stopped\n");
}

TEST_F(LinkvetCheck, StartUpImportsTheLegacyFileIntoTheSharedStore) {
    WriteFile(m_home / "Linkvet.INI", "[Settings]\nTimeout=42\n");
    WriteFile(m_scratch / "p.htm", "");
    ASSERT_EQ(Check({"--files", m_scratch / "p.htm"}).exitCode, 0);
    EXPECT_EQ(ReadFile(m_home /
                       "registry/HKEY_LOCAL_MACHINE/software/orvell software/linkvet/settings/"
                       "timeout.val"),
              std::string("42\0", 3));
}

TEST_F(LinkvetCheck, HelpAndVersionSucceed) {
    EXPECT_EQ(Check({"--help"}).exitCode, 0);
    const CProgramResult version = Check({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("linkvet-check ", 0), 0u);
}

}  // namespace
