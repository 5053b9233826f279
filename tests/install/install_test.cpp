#include <regex>
#include <set>

#include "support/runprogram.h"
#include "support/temphome.h"

namespace {

// The options linkvet-check --help names, long and short.
std::set<std::string> HelpOptions(const std::string& home) {
    const CProgramResult help = RunProgram(LINKVET_CHECK, {"--help"}, home);
    EXPECT_EQ(help.exitCode, 0);
    const std::regex option("(^|[ ,])(--?[a-zA-Z][a-z-]*)");
    std::set<std::string> options;
    for (auto it = std::sregex_iterator(help.out.begin(), help.out.end(), option);
         it != std::sregex_iterator(); ++it) {
        options.insert((*it)[2]);
    }
    return options;
}

class ManPages : public CTempHomeTest {};

TEST_F(ManPages, RenderWithoutAWarning) {
    for (const char* page : {"linkvet.1", "linkvet-check.1"}) {
        const CProgramResult rendered = RunProgram(
            "groff",
            {"-man", "-ww", "-Tutf8", "-P-cbou", std::string(LINKVET_MAN_DIR) + "/" + page},
            Home());
        EXPECT_EQ(rendered.exitCode, 0) << page;
        EXPECT_EQ(rendered.err, "") << page;
        for (const char* section : {"NAME", "SYNOPSIS", "EXIT STATUS", "FILES", "EXAMPLES"}) {
            EXPECT_NE(rendered.out.find(std::string("\n") + section + "\n"), std::string::npos)
                << page << " lacks " << section;
        }
    }
}

TEST_F(ManPages, TheConsolesPageNamesEveryOptionOfItsHelpAndEveryExitStatus) {
    const CProgramResult rendered = RunProgram(
        "groff", {"-man", "-Tutf8", "-P-cbou", std::string(LINKVET_MAN_DIR) + "/linkvet-check.1"},
        Home());
    const std::set<std::string> options = HelpOptions(Home());
    ASSERT_GT(options.size(), 15u);
    for (const std::string& option : options) {
        EXPECT_TRUE(std::regex_search(rendered.out, std::regex("(^|[ ,])" + option + "\\b")))
            << option << " is not in linkvet-check(1)";
    }
    for (const char* status : {"0", "1", "2", "3", "130"}) {
        EXPECT_TRUE(
            std::regex_search(rendered.out, std::regex(std::string("\n {7}") + status + " +[A-Z]")))
            << "exit status " << status;
    }
}

class Completion : public CTempHomeTest {
protected:
    // The words bash would hand over, the cursor in the last; the replies, one a line.
    std::string Complete(const std::string& words) {
        const std::string script = "source '" LINKVET_SOURCE_DIR
                                   "/src/cli/linkvet-check.bash'; cd '" +
                                   m_scratch.Path() + "'; COMP_WORDS=(" + words +
                                   "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _linkvet_check;"
                                   " printf '%s\\n' \"${COMPREPLY[@]}\"";
        const CProgramResult result = RunProgram("bash", {"--norc", "-c", script}, Home());
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    }
};

TEST_F(Completion, OffersOptionsTheirValuesAndPaths) {
    MakeDirectory(m_scratch / "my site");
    WriteFile(m_scratch / "page.htm", "");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"linkvet-check --fo", "--format\n"},
        {"linkvet-check --format ''", "text\nhtml\njson\njunit\n"},
        {"linkvet-check --format = j", "json\njunit\n"},
        {"linkvet-check -r --repair re", "replace\nremove\n"},
        {"linkvet-check --scan ''", "classic\nhtml\n"},
        {"linkvet-check --root ''", "my site\n"},
        {"linkvet-check --per", "--per-host\n"},
        {"linkvet-check -t ''", "\n"},
        {"linkvet-check -o pa", "page.htm\n"},
        {"linkvet-check -r my", "my site\n"},
        {"linkvet-check -- -", "\n"},
    };
    for (const auto& [words, replies] : cases) {
        EXPECT_EQ(Complete(words), replies) << words;
    }
}

TEST_F(Completion, OffersEveryOptionOfTheHelp) {
    const std::string offered = "\n" + Complete("linkvet-check -");
    for (const std::string& option : HelpOptions(Home())) {
        EXPECT_NE(offered.find("\n" + option + "\n"), std::string::npos) << option;
    }
}

class DesktopMetadata : public CTempHomeTest {};

TEST_F(DesktopMetadata, TheDesktopEntryAndTheAppStreamDataValidate) {
    const CProgramResult entry = RunProgram(
        "desktop-file-validate", {LINKVET_SOURCE_DIR "/src/app/linkvet.desktop"}, Home());
    EXPECT_EQ(entry.exitCode, 0);
    EXPECT_EQ(entry.out + entry.err, "") << "not even a hint";
    const CProgramResult metainfo =
        RunProgram("appstreamcli",
                   {"validate", "--no-net",
                    LINKVET_SOURCE_DIR "/src/app/example.linkvet.linkvet.metainfo.xml"},
                   Home());
    EXPECT_EQ(metainfo.exitCode, 0) << metainfo.out << metainfo.err;
}

}  // namespace
