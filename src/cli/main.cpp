#include <QCoreApplication>
#include <cstdio>

#include "cli/checkoptions.h"
#include "cli/consolerun.h"
#include "platform/messagebox.h"
#include "settings/regsettings.h"

namespace {

constexpr int kExitUsage = 2;

void WriteLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

// The files of a choice, or the reason there are none (on stderr) and an empty list.
bool CollectFiles(const CTestRun& run, const CFileChoice& choice, StringList& files) {
    if (!run.ValidateChoice(choice)) {
        return false;
    }
    files = SelectFiles(choice);
    if (files.empty()) {
        platform::MessageBox("No files found.\n\nWas your filter option set correctly?");
        return false;
    }
    return true;
}

int OnListFiles(CTestRun& run, const CFileChoice& choice) {
    StringList files;
    if (!CollectFiles(run, choice, files)) {
        return kExitUsage;
    }
    for (const std::string& file : files) {
        WriteLine(EscapeField(file));
    }
    return 0;
}

int OnListLinks(CTestRun& run, const CFileChoice& choice) {
    StringList files;
    if (!CollectFiles(run, choice, files)) {
        return kExitUsage;
    }
    for (const std::string& file : files) {
        if (run.ScanFile(file) == 0) {
            platform::MessageBox("Processing has stopped");
            return kExitUsage;
        }
        const std::string escapedFile = EscapeField(file);
        for (std::size_t i = 0; i < run.m_urlList.size(); ++i) {
            WriteLine(escapedFile + "\t" + EscapeField(run.m_urlList[i]) + "\t" +
                      EscapeField(run.m_anchorNameList[i]));
        }
        run.m_urlList.clear();
        run.m_anchorNameList.clear();
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const QCoreApplication application(argc, argv);
    std::string error;
    const std::optional<CCheckOptions> options =
        ParseCheckOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "linkvet-check: %s\n%s", error.c_str(), UsageText().c_str());
        return kExitUsage;
    }
    switch (options->mode) {
        case CCheckMode::ShowHelp:
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        case CCheckMode::ShowVersion:
            std::printf("linkvet-check %s\n", LINKVET_VERSION);
            return 0;
        default:
            break;
    }
    CRegSettings settings;
    OpenSettingsAtStartup(settings);
    CConsoleRun run(settings);
    return options->mode == CCheckMode::ListFiles ? OnListFiles(run, options->choice)
                                                   : OnListLinks(run, options->choice);
}
