#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <functional>

#include "cli/checkoptions.h"
#include "cli/consolerun.h"
#include "cli/consoletext.h"
#include "model/linkscanner.h"
#include "platform/systemdir.h"
#include "repair/repairtext.h"
#include "support/filesizelimit.h"
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

TEST(CheckOptions, HttpsIsAFlagThatIsOffUnlessGiven) {
    EXPECT_TRUE(Parse({"--https", "site"})->https);
    EXPECT_TRUE(Parse({"--links", "site", "--https"})->https);
    EXPECT_FALSE(Parse({"site"})->https);
    std::string error;
    EXPECT_FALSE(ParseCheckOptions({"--https=1", "site"}, error));
    EXPECT_EQ(error, "--https takes no value");
    EXPECT_NE(UsageText().find("--https"), std::string::npos);
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

const std::string kFilter = "000000011110000001000";

TEST(CheckOptions, EachMistakeGetsItsOwnMessage) {
    struct CCase {
        std::vector<std::string> arguments;
        std::string error;
    };
    const std::vector<CCase> cases = {
        {{"--files"}, "no PATH given"},
        {{"--files", "a", "b"}, "more than one PATH given"},
        {{"-x", "a"}, "unknown option -x"},
        {{"a", "--bogus=1"}, "unknown option --bogus"},
        {{"--files", "--links", "a"}, "--files and --links exclude each other"},
        {{"-t", "4", "a"}, "the time-out is a number of seconds from 5 to 1000"},
        {{"--timeout=1x", "a"}, "the time-out is a number of seconds from 5 to 1000"},
        {{"a", "-t"}, "-t needs a value"},
        {{"a", "--timeout"}, "--timeout needs a value"},
        {{"-f", "0101", "a"}, "the filter is 21 characters of 0 and 1"},
        {{"--format", "pdf", "a"}, "the format is text, html, json or junit"},
        {{"-o", "", "a"}, "the output file needs a name"},
        {{"--output=", "a"}, "the output file needs a name"},
        {{"--quiet=yes", "a"}, "--quiet takes no value"},
        {{"--https=1", "a"}, "--https takes no value"},
        {{"--quiet=true", "a"}, "--quiet takes no value"},
        {{"--files=", "a"}, "--files takes no value"},
        {{"-a=1", "a"}, "-a takes no value"},
        {{"-q-", "a"}, "-q takes no value"},
        {{"-rH=", "a"}, "-H takes no value"},
        {{"-t", "4", "-a=1", "a"}, "the time-out is a number of seconds from 5 to 1000"},
        {{"--repair", "Remove", "a"}, "the repair method is disable, replace, remove or update"},
        {{"--repair=", "a"}, "the repair method is disable, replace, remove or update"},
        {{"-j", "0", "a"}, "the number of jobs is from 1 to 256"},
        {{"--jobs=257", "a"}, "the number of jobs is from 1 to 256"},
        {{"--per-host", "x", "a"}, "the connections per host are from 1 to 256"},
        {{"--scan", "fast", "a"}, "the scanner is classic or html"},
        {{"--redirects", "yes", "a"}, "redirects are reported or followed (report or follow)"},
        {{"--dry-run", "a"}, "--dry-run needs --repair"},
        {{"--links", "--redirects", "follow", "a"}, "--redirects needs a test run"},
        {{"--root", "/no/such/linkvet/folder", "a"},
         "the --root folder \"/no/such/linkvet/folder\" does not exist"},
        {{"--exclude", "(", "a"},
         "the --exclude expression \"(\" is not a valid regular expression"},
        {{"--exclude=", "a"}, "the --exclude expression is empty (it would exclude every link)"},
        {{"--links", "--repair", "remove", "a"}, "--repair needs a test run"},
        {{"--files", "-t", "30", "a"}, "--timeout needs a test run"},
        {{"--links", "-f", kFilter, "a"}, "--filter needs a test run"},
        {{"a", "-o", "r.txt", "--files"}, "--output needs a test run"},
        {{"--links", "--format", "json", "a"}, "--format needs a test run"},
        {{"--files", "-q", "a"}, "--quiet needs a test run"},
        {{"--links", "--exclude", "x", "a"}, "--exclude needs a test run"},
        {{"--files", "-j", "2", "a"}, "--jobs needs a test run"},
        {{"--links", "--per-host", "2", "a"}, "--per-host needs a test run"},
        {{"-x", "-h"}, "unknown option -x"},
        {{"-t", "4", "--version"}, "the time-out is a number of seconds from 5 to 1000"},
        {{"-t", "4", "-x", "a"}, "the time-out is a number of seconds from 5 to 1000"},
    };
    for (const CCase& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseCheckOptions(c.arguments, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

TEST(CheckOptions, EveryOptionReachesItsField) {
    struct CCase {
        std::vector<std::string> arguments;
        std::function<void(const CCheckOptions&)> check;
    };
    const std::vector<CCase> cases = {
        {{"-h", "-x"}, [](const CCheckOptions& o) { EXPECT_EQ(o.mode, CCheckMode::ShowHelp); }},
        {{"a", "--version"},
         [](const CCheckOptions& o) { EXPECT_EQ(o.mode, CCheckMode::ShowVersion); }},
        {{"-o", "-h", "a"},
         [](const CCheckOptions& o) {
             EXPECT_EQ(o.mode, CCheckMode::RunTest);
             EXPECT_EQ(o.outputPath, "-h");
         }},
        {{"--", "-h"}, [](const CCheckOptions& o) { EXPECT_EQ(o.choice.path, "-h"); }},
        {{"--files", "[a,b]"}, [](const CCheckOptions& o) { EXPECT_EQ(o.choice.path, "[a,b]"); }},
        {{"-"}, [](const CCheckOptions& o) { EXPECT_EQ(o.choice.path, "-"); }},
        {{"-t5", "--format=json", "a"},
         [](const CCheckOptions& o) {
             EXPECT_EQ(o.timeoutSeconds, 5);
             EXPECT_EQ(o.format, CReportFormat::Json);
         }},
        {{"--format", "junit", "a"},
         [](const CCheckOptions& o) { EXPECT_EQ(o.format, CReportFormat::Junit); }},
        {{"a"},
         [](const CCheckOptions& o) {
             EXPECT_FALSE(o.https);
             EXPECT_EQ(o.jobs, 1);
             EXPECT_EQ(o.perHost, 6);
             EXPECT_FALSE(o.htmlScan);
             EXPECT_TRUE(o.excludes.empty());
             EXPECT_FALSE(o.siteRoot);
         }},
        {{"--links", "--scan=html", "--root", "/", "a"},
         [](const CCheckOptions& o) { EXPECT_EQ(o.siteRoot, "/"); }},
        {{"--https", "-j", "256", "--per-host=1", "--scan", "html", "--exclude", "\\.pdf$",
          "--exclude=^ftp:", "site"},
         [](const CCheckOptions& o) {
             EXPECT_TRUE(o.https);
             EXPECT_EQ(o.jobs, 256);
             EXPECT_EQ(o.perHost, 1);
             EXPECT_TRUE(o.htmlScan);
             EXPECT_EQ(o.excludes, (std::vector<std::string>{"\\.pdf$", "^ftp:"}));
         }},
        {{"--scan=classic", "--jobs", "3", "site"},
         [](const CCheckOptions& o) {
             EXPECT_FALSE(o.htmlScan);
             EXPECT_EQ(o.jobs, 3);
         }},
        {{"--links", "-ar", "\xff\xfe dir"},
         [](const CCheckOptions& o) {
             EXPECT_EQ(o.mode, CCheckMode::ListLinks);
             EXPECT_TRUE(o.choice.recurse);
             EXPECT_EQ(o.choice.path, "\xff\xfe dir") << "arguments are bytes";
         }},
        {{"-o", "-q-", "--output", "--quiet=yes", "-rt", "30", "a"},
         [](const CCheckOptions& o) {
             EXPECT_EQ(o.outputPath, "--quiet=yes") << "an option's value is never rewritten";
             EXPECT_FALSE(o.quiet);
             EXPECT_TRUE(o.choice.recurse);
             EXPECT_EQ(o.timeoutSeconds, 30);
         }},
        {{"-t", "30", "-t", "40", "a"},
         [](const CCheckOptions& o) { EXPECT_EQ(o.timeoutSeconds, 40) << "the last one counts"; }},
    };
    for (const CCase& c : cases) {
        std::string error;
        const auto options = ParseCheckOptions(c.arguments, error);
        ASSERT_TRUE(options) << error;
        c.check(*options);
    }
}

TEST(CheckOptions, HelpShowsEveryOptionInItsGroup) {
    const std::string help = UsageText();
    EXPECT_EQ(help.rfind("Usage: linkvet-check [OPTIONS] PATH", 0), 0u) << help;
    for (const char* text :
         {"What to read", "How to test", "The report", "-t,--timeout SECS", "--exclude REGEX",
          "-j,--jobs N", "--per-host M", "--scan SCANNER", "--root DIR", "--https", "--format FORMAT",
          "--repair METHOD", "--files", "--links", "_base64", "Exit status: 0 no link reported"}) {
        EXPECT_NE(help.find(text), std::string::npos) << text;
    }
}

TEST(ConsoleText, ControlsAreEscapedForTheTerminalAndLinesCutByColumns) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    EXPECT_EQ(TerminalLines("a\x1b[2Jb\nc\rd\te\x7f\n"), "a\\x1b[2Jb\nc\\x0dd\\x09e\\x7f\n");
    EXPECT_EQ(TerminalLines("caf\xc3\xa9 \xc2\x9b"
                            "1m \xe9"),
              "caf\xc3\xa9 \\xc2\\x9b1m \\xe9")
        << "UTF-8 stays, the C1 control and the stray byte do not";
    struct CCase {
        std::string text;
        std::size_t columns;
        std::string fitted;
    };
    const std::vector<CCase> cases = {
        {"abcdef", 4, "abcd"},
        {"abc", 4, "abc"},
        {"\xc3\xa9\xc3\xa9\xc3\xa9", 2, "\xc3\xa9\xc3\xa9"},
        {"\xe4\xb8\xad\xe6\x96\x87x", 3, "\xe4\xb8\xad"},
        {"\xe4\xb8\xad\xe6\x96\x87x", 4, "\xe4\xb8\xad\xe6\x96\x87"},
        {"e\xcc\x81x", 2, "e\xcc\x81x"},
    };
    for (const CCase& c : cases) {
        EXPECT_EQ(FitColumns(c.text, c.columns), c.fitted) << c.text;
    }
    std::setlocale(LC_CTYPE, "C");
}

// What a screen writes into memory.
std::string ScreenOutput(bool terminal, const std::function<void(CConsoleScreen&)>& use) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = ::open_memstream(&data, &size);
    {
        CConsoleScreen screen(stream, false, terminal);
        use(screen);
    }
    std::fclose(stream);
    std::string text(data, size);
    std::free(data);
    return text;
}

TEST(ConsoleScreen, TheProgressLineGoesBeforeEveryMessageAndControlsAreEscapedOnATerminal) {
    const auto use = [](CConsoleScreen& screen) {
        screen.ShowProgress("File 1 of 2");
        EXPECT_EQ(screen.MessageBox("Error: Cannot open file:\n\n/p\x1b.htm", platform::kMbOk),
                  platform::kIdOk);
        screen.ShowProgress("File 2 of 2");
        screen.Log("Testing: /q\x07\r.htm\n");
        screen.ShowProgress("File 2 of 2");
    };
    EXPECT_EQ(ScreenOutput(true, use),
              "\r\x1b[KFile 1 of 2\r\x1b[KError: Cannot open file:\n\n/p\\x1b.htm\n"
              "\r\x1b[KFile 2 of 2\r\x1b[KTesting: /q\\x07\\x0d.htm\n\r\x1b[KFile 2 of 2");
    EXPECT_EQ(ScreenOutput(false, use),
              "Error: Cannot open file:\n\n/p\x1b.htm\nTesting: /q\x07\r.htm\n")
        << "no progress line, and every byte as it is";
}

TEST(ConsoleScreen, TheProgressLineShowsTheLinkEscapedAndFitsTheTerminal) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    struct CProgress : CRunProgress {
        void UpdateData() override {}
        CProgressBar& FileBar() override { return m_bar; }
        CProgressBar& UrlBar() override { return m_bar; }
        CProgressBar m_bar;
    } progress;
    progress.m_fileIndex = "1";
    progress.m_fileTotal = "2";
    progress.m_urlIndex = "3";
    progress.m_urlTotal = "4";
    progress.m_urlText = "http://h/\x1b[2J\xe4\xb8\xad\xe6\x96\x87";
    const std::string full = "File 1 of 2, link 3 of 4: http://h/\\x1b[2J\xe4\xb8\xad\xe6\x96\x87";
    EXPECT_EQ(ProgressLine(progress, 80), full);
    EXPECT_EQ(ProgressLine(progress, 47), full)
        << "46 columns, 48 bytes: the last column stays free";
    EXPECT_EQ(ProgressLine(progress, 46), full.substr(0, full.size() - 3))
        << "a wide character that would take the last free column is left out whole";
    std::setlocale(LC_CTYPE, "C");
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

TEST_F(LinkvetCheck, HttpsLinksAreListedOnlyWithTheOptionOrTheSetting) {
    WriteFile(m_scratch / "p.htm", "<A HREF=\"https://h/s\">S</A><A HREF=\"http://h/p\">P</A>");
    const CProgramResult plain = Check({"--links", m_scratch / "p.htm"});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out, m_scratch / "p.htm\thttp://h/p\tP\n");
    const std::string both =
        m_scratch / "p.htm\thttps://h/s\tS\n" + m_scratch / "p.htm\thttp://h/p\tP\n";
    EXPECT_EQ(Check({"--https", "--links", m_scratch / "p.htm"}).out, both);
    // A home whose settings come from a legacy file on the first start.
    const CTempDir home;
    WriteFile(home / "Linkvet.INI", "[Settings]\nHttps=1\n");
    EXPECT_EQ(RunProgram(LINKVET_CHECK, {"--links", m_scratch / "p.htm"}, home.Path()).out, both)
        << "the window's setting holds";
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

    // Links that start with "/" are looked for under the chosen root, the option's or the
    // window's setting.
    MakeDirectory(m_scratch / "root");
    const std::string underRoot =
        file + "\t/top.html\t" + kSuppliedAnchorName + "\t" + m_scratch / "root/top.html\n";
    const CProgramResult rooted = Check(
        {"--links", "--scan", "html", "--root", m_scratch / "root/", m_scratch / "site/p.htm"});
    EXPECT_EQ(rooted.exitCode, 0) << rooted.err;
    EXPECT_TRUE(rooted.out.ends_with(underRoot)) << rooted.out;
    const CTempDir home;
    WriteFile(home / "Linkvet.INI", "[Settings]\nSiteRoot=" + m_scratch / "root" + "\n");
    const CProgramResult stored = RunProgram(
        LINKVET_CHECK, {"--links", "--scan", "html", m_scratch / "site/p.htm"}, home.Path());
    EXPECT_TRUE(stored.out.ends_with(underRoot)) << stored.out << stored.err;
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

TEST_F(LinkvetCheck, MachineReportsSayARunStoppedAtAFileAndNameThatFile) {
    MakeDirectory(m_scratch / "d");
    WriteFile(m_scratch / "d/a.htm", "<A HREF=\"http:///x\">X</A>");
    ASSERT_EQ(::symlink("gone.htm", (m_scratch / "d/b.htm").c_str()), 0);
    const CProgramResult json = Check({"-q", "--format", "json", "-a", m_scratch / "d"});
    EXPECT_EQ(json.exitCode, 2);
    EXPECT_NE(json.out.find("\"finished\": false"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"files_read\": 1"), std::string::npos) << json.out;
    const CProgramResult junit = Check({"-q", "--format", "junit", "-a", m_scratch / "d"});
    EXPECT_EQ(junit.exitCode, 2);
    EXPECT_NE(junit.out.find("<property name=\"finished\" value=\"false\"/>"), std::string::npos)
        << junit.out;
    EXPECT_NE(junit.out.find("<testsuite name=\"" + m_scratch / "d/b.htm" +
                             "\" tests=\"1\" failures=\"0\" errors=\"1\""),
              std::string::npos)
        << junit.out;
    WriteFile(m_scratch / "d/b.htm", "");
    const CProgramResult whole = Check({"-q", "--format", "json", "-a", m_scratch / "d"});
    EXPECT_NE(whole.out.find("\"finished\": true"), std::string::npos) << whole.out;
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

// Runs linkvet-check with its arguments as bytes, standard output and error both on one new
// terminal (a pty in raw mode, so that no line end is translated) or on one pipe.
CProgramResult RunWithBytes(const std::vector<std::string>& arguments, const std::string& home,
                            bool onTerminal) {
    std::vector<std::string> all = {LINKVET_CHECK};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int reader = -1;
    pid_t child = -1;
    if (onTerminal) {
        termios raw{};
        ::cfmakeraw(&raw);
        winsize size{24, 200, 0, 0};
        child = ::forkpty(&reader, nullptr, &raw, &size);
    } else {
        int ends[2];
        if (::pipe(ends) != 0) {
            return {};
        }
        child = ::fork();
        if (child == 0) {
            ::dup2(ends[1], STDOUT_FILENO);
            ::dup2(ends[1], STDERR_FILENO);
        }
        ::close(ends[1]);
        reader = ends[0];
    }
    if (child == 0) {
        ::setenv("LINKVET_HOME", home.c_str(), 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    CProgramResult result;
    char buffer[4096];
    for (ssize_t got = 0; (got = ::read(reader, buffer, sizeof buffer)) > 0;) {
        result.out.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(reader);
    int status = 0;
    ::waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST_F(LinkvetCheck, ControlBytesAreEscapedOnATerminalAndKeptInAPipe) {
    const std::string page = m_scratch / "p\x01.htm";
    WriteFile(page, "<A HREF=\"http:///\x1b]0;owned\x07x\">\x1b[2J\\A\x7f</A>");
    const std::string listed = "\thttp:///\x1b]0;owned\x07x\t\x1b[2J\\\\A\x7f\n";
    EXPECT_EQ(RunWithBytes({"--links", page}, m_home.Path(), false).out, page + listed);
    const CProgramResult terminal = RunWithBytes({"--links", page}, m_home.Path(), true);
    EXPECT_EQ(terminal.exitCode, 0);
    EXPECT_EQ(terminal.out,
              m_scratch / "p\\x01.htm\thttp:///\\x1b]0;owned\\x07x\t\\x1b[2J\\\\A\\x7f\n");

    // A run: the link fails at once (no host), so its row, the log and the progress line all
    // hold it. Only the progress line's own clearing may reach the terminal as ESC.
    const CProgramResult run = RunWithBytes({page}, m_home.Path(), true);
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_NE(run.out.find("http:///\\x1b]0;owned\\x07x\tRequest for Invalid Port or Name\t"
                           "\\x1b[2J\\A\\x7f\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Testing: " + m_scratch / "p\\x01.htm"), std::string::npos);
    for (std::size_t at = run.out.find('\x1b'); at != std::string::npos;
         at = run.out.find('\x1b', at + 1)) {
        EXPECT_EQ(run.out.compare(at, 3, "\x1b[K"), 0) << run.out.substr(at);
    }
    EXPECT_EQ(run.out.find('\x07'), std::string::npos);
    EXPECT_EQ(run.out.find('\x7f'), std::string::npos);

    const CProgramResult piped = RunWithBytes({page}, m_home.Path(), false);
    EXPECT_NE(piped.out.find("http:///\x1b]0;owned\x07x\tRequest for Invalid Port or Name\t"
                             "\x1b[2J\\A\x7f\n"),
              std::string::npos)
        << "into a pipe every byte is written as it is";
}

TEST_F(LinkvetCheck, FileNamesThatAreNotUtf8AreFound) {
    MakeDirectory(m_scratch / "d\xff");
    WriteFile(m_scratch / "d\xff/\xe9t\xe9.htm", "");
    const CProgramResult result =
        RunWithBytes({"--files", "-a", m_scratch / "d\xff"}, m_home.Path(), false);
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(result.out, m_scratch / "d\xff/\xe9t\xe9.htm\n");
}

TEST_F(LinkvetCheck, AReportThatCannotBeWrittenIsAFailure) {
    WriteFile(m_scratch / "p.htm", "no links");
    for (const char* format : {"html", "json", "junit"}) {
        const CProgramResult result =
            Check({"-q", "--format", format, "-o", "/dev/full", m_scratch / "p.htm"});
        EXPECT_EQ(result.exitCode, 2) << format;
        EXPECT_EQ(result.err, "file write error\n") << format;
    }
}

TEST_F(LinkvetCheck, AReportCutShortLeavesTheOutputFileAsItWas) {
    std::string page;
    for (int i = 0; i < 60; ++i) {
        page += "<A HREF=\"http:///x" + std::to_string(i) + "\">X</A>\n";
    }
    WriteFile(m_scratch / "p.htm", page);
    MakeDirectory(m_scratch / "out");
    WriteFile(m_scratch / "out/r.json", "the report before");
    CProgramResult result;
    {
        const CFileSizeLimit limit(4096);
        result = Check({"-q", "-j", "16", "--format", "json", "-o", m_scratch / "out/r.json",
                        m_scratch / "p.htm"});
    }
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "file write error\n");
    EXPECT_EQ(ReadFile(m_scratch / "out/r.json"), "the report before");
    EXPECT_EQ(Check({"--files", "-a", m_scratch / "out"}).out, m_scratch / "out/r.json\n")
        << "no part of the report is left beside it";
    const CProgramResult whole =
        Check({"-q", "-j", "16", "-o", m_scratch / "out/r.json", m_scratch / "p.htm"});
    EXPECT_EQ(whole.exitCode, 1);
    EXPECT_EQ(ReadFile(m_scratch / "out/r.json").rfind("FILE: ", 0), 0u);
}

TEST_F(LinkvetCheck, RunOptionsWithAListingAreUsageErrors) {
    WriteFile(m_scratch / "p.htm", "");
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"--files", "-q", m_scratch / "p.htm"},
             {"--links", "--format=json", m_scratch / "p.htm"},
             {"--links", "--exclude", "x", m_scratch / "p.htm"}}) {
        const CProgramResult result = Check(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("needs a test run\nUsage: linkvet-check"), std::string::npos)
            << result.err;
        EXPECT_TRUE(result.out.empty());
    }
}

TEST_F(LinkvetCheck, HelpAndVersionSucceed) {
    EXPECT_EQ(Check({"--help"}).exitCode, 0);
    const CProgramResult version = Check({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("linkvet-check ", 0), 0u);
}

}  // namespace
