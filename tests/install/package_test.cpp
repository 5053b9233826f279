#include <dirent.h>

#include "support/runprogram.h"
#include "support/temphome.h"

namespace {

std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    return names;
}

std::string Trimmed(const std::string& text) {
    return text.substr(0, text.find_last_not_of("\n") + 1);
}

// Web addresses a user is shown must lead somewhere: none under a top-level domain that is
// reserved never to resolve.
void ExpectOnlyAddressesThatResolve(const std::string& text) {
    for (std::size_t at = text.find("://"); at != std::string::npos;
         at = text.find("://", at + 3)) {
        const std::size_t end = text.find_first_of("/\"<> \n", at + 3);
        const std::string host = text.substr(at + 3, end - at - 3);
        for (const char* reserved : {".example", ".test", ".invalid", ".localhost"}) {
            EXPECT_FALSE(host.ends_with(reserved)) << host;
        }
    }
}

// Builds the package from this build, unpacks it into a throw-away root and looks at what a
// user would find there.
class DebianPackage : public CTempHomeTest {};

TEST_F(DebianPackage, PutsEveryFileWhereAUserLooksAndTheConsoleRuns) {
    const std::string architecture =
        Trimmed(RunProgram("dpkg", {"--print-architecture"}, Home()).out);
    const CProgramResult built = RunProgram(
        LINKVET_CPACK, {"--config", LINKVET_CPACK_CONFIG, "-G", "DEB", "-B", m_scratch / "out"},
        Home(), 600000);
    ASSERT_EQ(built.exitCode, 0) << built.out << built.err;
    const std::string deb = "linkvet_" LINKVET_VERSION "_" + architecture + ".deb";
    ASSERT_TRUE(FileExists(m_scratch / "out/" + deb)) << built.out;

    const std::string root = m_scratch / "root";
    ASSERT_EQ(RunProgram("dpkg", {"-x", m_scratch / "out/" + deb, root}, Home()).exitCode, 0);
    for (const char* file :
         {"usr/bin/linkvet", "usr/bin/linkvet-check", "usr/share/man/man1/linkvet.1.gz",
          "usr/share/man/man1/linkvet-check.1.gz",
          "usr/share/bash-completion/completions/linkvet-check",
          "usr/share/applications/linkvet.desktop",
          "usr/share/metainfo/example.linkvet.linkvet.metainfo.xml",
          "usr/share/icons/hicolor/scalable/apps/linkvet.svg",
          "usr/share/linkvet/help/index.html", "usr/share/doc/linkvet/copyright",
          "usr/share/doc/linkvet/changelog.gz"}) {
        EXPECT_TRUE(FileExists(root + "/" + file)) << file;
    }
    EXPECT_EQ(FileNames(root + "/usr/share/man/man1").size(), 2u);

    // bash-completion finds the completion by the command's name in the data folders.
    const CProgramResult completion =
        RunProgram("bash",
                   {"--norc", "-c",
                    "XDG_DATA_DIRS='" + root +
                        "/usr/share'; source /usr/share/bash-completion/bash_completion;"
                        " __load_completion linkvet-check && complete -p linkvet-check"},
                   Home());
    EXPECT_EQ(completion.out, "complete -F _linkvet_check linkvet-check\n") << completion.err;

    const std::string depends =
        RunProgram("dpkg-deb", {"--field", m_scratch / "out/" + deb, "Depends"}, Home()).out;
    EXPECT_NE(depends.find("libqt6core6"), std::string::npos)
        << "computed from the programs: " << depends;
    EXPECT_NE(depends.find("libqt6svg6"), std::string::npos)
        << "the plugins that draw the icon: " << depends;
    ExpectOnlyAddressesThatResolve(
        RunProgram("dpkg-deb", {"--field", m_scratch / "out/" + deb}, Home()).out +
        ReadFile(root + "/usr/share/metainfo/example.linkvet.linkvet.metainfo.xml") +
        ReadFile(root + "/usr/share/applications/linkvet.desktop"));
    // Errors, warnings and the hardening the programs lack; lintian's other hints are kept.
    const CProgramResult lint =
        RunProgram("lintian", {"--display-info", m_scratch / "out/" + deb}, Home(), 600000);
    for (const std::string& line : Lines(lint.out)) {
        EXPECT_TRUE(line.rfind("I: ", 0) == 0 &&
                    (LINKVET_HARDENED == 0 || line.find("hardening") == std::string::npos))
            << line;
    }
    const CProgramResult help = RunProgram(root + "/usr/bin/linkvet-check", {"--help"}, Home());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: linkvet-check", 0), 0u) << help.out;
}

}  // namespace
