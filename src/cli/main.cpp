#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "cli/checkoptions.h"
#include "cli/consolerepair.h"
#include "cli/consolerun.h"
#include "cli/consoletext.h"
#include "model/scanahead.h"
#include "platform/messagebox.h"
#include "platform/savefile.h"
#include "platform/textfile.h"
#include "repair/repairwalk.h"
#include "results/bytetext.h"
#include "results/machinereport.h"
#include "results/reportwriter.h"
#include "settings/regsettings.h"

namespace {

constexpr int kExitClean = 0;
constexpr int kExitRowsReported = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRepairFailed = 3;
constexpr int kExitInterrupted = 130;

void WriteLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

// Asked once: a listing writes three fields a link, and a system call for each would cost a
// listing of a large tree a third of its time.
bool StdoutIsTerminal() {
    static const bool terminal = IsTerminal(stdout);
    return terminal;
}

// A field of a listing, with its documented escapes, and on a terminal its other control bytes
// escaped as well.
std::string ListedField(const std::string& field) {
    const std::string escaped = EscapeField(field);
    return StdoutIsTerminal() ? EscapeControls(escaped) : escaped;
}

// The files of a choice, or the reason there are none (on stderr) and false.
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
        WriteLine(ListedField(file));
    }
    return kExitClean;
}

// The local link's target as the run looks it up: the path, and the fragment after "#".
std::string LocalTarget(const CHtmlLink& link) {
    if (link.kind != CLinkKind::Local) {
        return {};
    }
    return link.fragment.empty() ? link.path : link.path + "#" + link.fragment;
}

// The links as the HTML scanner gives them to a run, the pages parsed ahead on every core.
int OnListHtmlLinks(const CTestRun& run, const CFileChoice& choice, const StringList& files) {
    CHtmlScanAhead pages(std::vector<std::string>(files.begin(), files.end()),
                         CHtmlScanOptions{.https = run.m_https,
                                          .siteRoot = SiteRootFor(choice.path, choice.allFiles,
                                                                  run.m_chosenSiteRoot)},
                         nullptr);
    for (const std::string& file : files) {
        const std::optional<CHtmlPage> page = pages.TakeNext();
        if (!page) {
            platform::MessageBox("Error: Cannot open file:\n\n" + file);
            platform::MessageBox("Processing has stopped");
            return kExitUsage;
        }
        const std::string listedFile = ListedField(file);
        for (const CHtmlLink& link : page->links) {
            WriteLine(listedFile + "\t" + ListedField(link.url) + "\t" +
                      ListedField(link.anchorName) + "\t" + ListedField(LocalTarget(link)));
        }
    }
    return kExitClean;
}

int OnListLinks(CTestRun& run, const CFileChoice& choice) {
    StringList files;
    if (!CollectFiles(run, choice, files)) {
        return kExitUsage;
    }
    if (run.m_htmlScan) {
        return OnListHtmlLinks(run, choice, files);
    }
    for (const std::string& file : files) {
        if (run.ScanFile(file) == 0) {
            platform::MessageBox("Processing has stopped");
            return kExitUsage;
        }
        const std::string listedFile = ListedField(file);
        for (std::size_t i = 0; i < run.m_urlList.size(); ++i) {
            WriteLine(listedFile + "\t" + ListedField(run.m_urlList[i]) + "\t" +
                      ListedField(run.m_anchorNameList[i]));
        }
        run.m_urlList.clear();
        run.m_anchorNameList.clear();
    }
    return kExitClean;
}

// Ctrl+C reaches the event loop through a pipe, and stops the run as the Stop Test command.
int g_interruptPipe[2] = {-1, -1};

void OnInterruptSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_interruptPipe[1], &byte, 1);
}

bool IsMachineFormat(CReportFormat format) {
    return format == CReportFormat::Json || format == CReportFormat::Junit;
}

bool WriteReportIn(std::FILE* out, CReportFormat format, const CResultRows& rows,
                   const CRunRecord& record) {
    if (IsMachineFormat(format)) {
        return WriteMachineReport(out, format, rows, record);
    }
    // The machine formats escape controls themselves; the others show the cells escaped on a
    // terminal, and write them as they are into a file or a pipe.
    if (IsTerminal(out)) {
        return WriteReport(out, format, TerminalRows(rows));
    }
    return WriteReport(out, format, rows);
}

bool WriteReportTo(const CCheckOptions& options, const CResultRows& rows,
                   const CRunRecord& record) {
    bool written = false;
    if (options.outputPath.empty()) {
        written = WriteReportIn(stdout, options.format, rows, record);
    } else {
        platform::CSaveFile file(options.outputPath);
        written = file.Stream() != nullptr &&
                  WriteReportIn(file.Stream(), options.format, rows, record) && file.Commit();
    }
    if (!written) {
        platform::MessageBox("file write error");
    }
    return written;
}

// The Repair command on the rows of the run, as the window offers it: only when there are
// rows. True unless the walk stopped at a failure or was refused.
bool RepairAfterRun(CConsoleRun& run, CRegSettings& settings, int method, bool dryRun) {
    if (run.Results().RowCount() == 0) {
        return true;
    }
    // The window asks first after an unknown result; with no one to answer, nothing is touched.
    if (run.m_unknownErrorSeen) {
        platform::MessageBox(kUnknownErrorQuestion);
        return false;
    }
    CConsoleRepairHost host(method);
    CRepairWalk walk(run.Results(), settings, host);
    if (!dryRun) {
        return walk.RepairLinks();
    }
    CRepairPreview preview;
    const bool complete = walk.PreviewLinks(preview);
    const std::string diff = preview.UnifiedDiff();
    std::fwrite(diff.data(), 1, diff.size(), stdout);
    std::fflush(stdout);
    return complete;
}

// What decides which links a page holds, for a run and a listing alike: https on the command
// line adds to the stored choice, the scanner replaces it.
void ApplyScanOptions(CTestRun& run, const CCheckOptions& options) {
    if (options.https) {
        run.m_https = true;
    }
    run.m_htmlScan = options.htmlScan;
    if (options.siteRoot) {
        run.m_chosenSiteRoot = *options.siteRoot;
    }
}

int OnRunTest(CRegSettings& settings, const CCheckOptions& options, CConsoleScreen& screen) {
    CConsoleRun run(settings, screen);
    for (const std::string& expression : options.excludes) {
        run.m_excludes.Add(expression);
    }
    if (options.timeoutSeconds) {
        run.SetTimeoutSeconds(*options.timeoutSeconds);
    }
    if (options.filter) {
        run.m_filter = *options.filter;
    }
    ApplyScanOptions(run, options);
    run.m_jobs = options.jobs;
    run.m_perHost = options.perHost;
    run.m_followRedirects = options.followRedirects;
    const CFileChoice& choice = options.choice;
    if (!run.ValidateChoice(choice)) {
        return kExitUsage;
    }
    run.RecordEveryLink(IsMachineFormat(options.format));
    run.Record().started = std::time(nullptr);
    run.StartTest(choice.path, choice.recurse, choice.allFiles, choice.htmlOnly);
    if (!run.m_runTimerActive) {
        return kExitUsage;
    }
    bool interrupted = false;
    if (::pipe2(g_interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return kExitUsage;
    }
    QSocketNotifier interrupt(g_interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupt, &QSocketNotifier::activated, [&] {
        char byte = 0;
        while (::read(g_interruptPipe[0], &byte, 1) > 0) {
        }
        if (!interrupted && run.m_runTimerActive) {
            interrupted = true;
            run.OnStopTest();
        }
    });
    std::signal(SIGINT, OnInterruptSignal);
    QCoreApplication::exec();
    std::signal(SIGINT, SIG_DFL);
    run.Record().ended = std::time(nullptr);
    run.Record().finished = !interrupted && !run.m_scanFailed;

    // A run stopped by the user or cut short by a file is no ground for rewriting files.
    const bool repaired = !options.repairMethod || interrupted || run.m_scanFailed ||
                          RepairAfterRun(run, settings, *options.repairMethod, options.dryRun);
    const bool reported = WriteReportTo(options, run.Results(), run.Record());
    if (interrupted) {
        return kExitInterrupted;
    }
    if (run.m_scanFailed || !reported) {
        return kExitUsage;
    }
    if (!repaired) {
        return kExitRepairFailed;
    }
    return run.Results().RowCount() > 0 ? kExitRowsReported : kExitClean;
}

// A run or a listing, with every message of it and of the settings going through the screen.
int OnCheck(const CCheckOptions& options) {
    CConsoleScreen screen(stderr, options.quiet || options.mode != CCheckMode::RunTest,
                          IsTerminal(stderr));
    platform::SetUserInterface(&screen);
    CRegSettings settings;
    OpenSettingsAtStartup(settings);
    // The console reads the window's preferences but never changes a setting.
    settings.SetReadOnly(true);
    if (options.mode == CCheckMode::RunTest) {
        return OnRunTest(settings, options, screen);
    }
    CConsoleRun run(settings, screen);
    ApplyScanOptions(run, options);
    return options.mode == CCheckMode::ListFiles ? OnListFiles(run, options.choice)
                                                 : OnListLinks(run, options.choice);
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
            return kExitClean;
        case CCheckMode::ShowVersion:
            std::printf("linkvet-check %s\n", LINKVET_VERSION);
            return kExitClean;
        default:
            break;
    }
    const int status = OnCheck(*options);
    platform::SetUserInterface(nullptr);
    return status;
}
