// Linkvet starting over a damaged system directory: values that cannot be read, are empty,
// too long or garbage, FIFOs where its own files belong, a read-only directory, and a legacy
// settings file full of NUL bytes and sections. The settings, the run, linkvet-check and the
// window start, fall back to the defaults, and neither hang nor crash.

#include <fcntl.h>
#include <ftw.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTimer>
#include <climits>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "app/commands.h"
#include "app/linkvetapp.h"
#include "app/mainframe.h"
#include "app/placement.h"
#include "platform/keystore.h"
#include "platform/messagebox.h"
#include "platform/profile.h"
#include "results/gridlayout.h"
#include "run/recordingrun.h"
#include "settings/regsettings.h"
#include "support/runprogram.h"
#include "support/temphome.h"

namespace {

using platform::CRegKey;
using platform::CRootKey;

const std::string kRoot = "Software\\Orvell Software\\Linkvet";
const std::string kInvalidRow = "http:///x\tRequest for Invalid Port or Name\tX\n";

// Every setting Linkvet reads, and whether it is read as a number.
struct CSetting {
    std::string section;
    std::string name;
    bool number;
};
const std::vector<CSetting> kSettings = {
    {"Settings", "Filter", false},  {"Settings", "Timeout", true}, {"FileSel", "Starter", false},
    {"FileSel", "Recurse", true},   {"FileSel", "AllFiles", true}, {"FileSel", "Filter", true},
    {"XportSel", "Starter", false}, {"XportSel", "Text", true},    {"Repair", "Type", true},
    {"Repair", "Save", true},       {"Screen", "x", true},         {"Screen", "y", true},
    {"Screen", "cx", true},         {"Screen", "cy", true},        {"Grid", "col0", true},
    {"Grid", "col1", true},         {"Grid", "col2", true},        {"Grid", "col3", true},
};

// What can stand in a value's place, and what a read then gives: nullopt for the default.
struct CFault {
    std::string name;
    std::function<void(const std::string& path)> plant;
    std::optional<std::string> text;
    std::optional<int> number;
};

std::vector<CFault> Faults() {
    const auto bytes = [](const std::string& content) {
        return [content](const std::string& path) { WriteFile(path, content); };
    };
    return {
        {"directory", [](const std::string& path) { MakeDirectory(path); }, {}, {}},
        {"fifo",
         [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
         {},
         {}},
        {"empty", bytes(""), "", {}},
        {"oversized", bytes(std::string(300, '7') + '\0'), {}, {}},
        {"nul bytes", bytes(std::string(4, '\0')), "", {}},
        {"not a number", bytes(std::string("twelve\xff\0", 8)), "twelve\xff", {}},
        {"huge", bytes(std::string("99999999999999999999\0", 21)), "99999999999999999999", INT_MAX},
        {"huge negative", bytes(std::string("-99999999999999999999\0", 22)),
         "-99999999999999999999", INT_MIN},
        {"binary", bytes("\x01\x02\x7f\x80\xfe\xff"), "\x01\x02\x7f\x80\xfe\xff", {}},
    };
}

// Opens the FIFOs from a thread of its own once the time is up, so that an open blocked on
// one of them returns and the test fails instead of hanging.
class CFifoRescue {
public:
    CFifoRescue(std::vector<std::string> paths, int millis)
        : m_thread([this, paths = std::move(paths), millis] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (m_done.wait_for(lock, std::chrono::milliseconds(millis),
                                  [this] { return m_stop; })) {
                  return;
              }
              m_rescued = true;
              for (const std::string& path : paths) {
                  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
                  ::close(fd);
              }
          }) {}
    ~CFifoRescue() { Stop(); }
    CFifoRescue(const CFifoRescue&) = delete;
    CFifoRescue& operator=(const CFifoRescue&) = delete;

    // True when an open had to be rescued.
    bool Stop() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_done.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_rescued;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_stop = false;
    bool m_rescued = false;
    std::thread m_thread;
};

class SettingsFaults : public CTempHomeTest {
protected:
    std::string ValuePath(const std::string& section, const std::string& name) const {
        EXPECT_TRUE(CRegKey::Create(CRootKey::LocalMachine, kRoot + "\\" + section, nullptr));
        return Home() + "/registry/HKEY_LOCAL_MACHINE/software/orvell software/linkvet/" +
               platform::EncodeKeyName(section) + "/" + platform::EncodeKeyName(name) + ".val";
    }

    void Plant(const CSetting& setting, const CFault& fault) {
        const std::string path = ValuePath(setting.section, setting.name);
        if (::unlink(path.c_str()) != 0) {
            ::rmdir(path.c_str());
        }
        fault.plant(path);
    }

    // Every setting gets a fault, the faults taken in turn from the given one on.
    void PlantEverywhere(std::size_t first) {
        const std::vector<CFault> faults = Faults();
        for (std::size_t i = 0; i < kSettings.size(); ++i) {
            Plant(kSettings[i], faults[(first + i) % faults.size()]);
        }
    }

    CProgramResult Check(const std::vector<std::string>& arguments) {
        return RunProgram(LINKVET_CHECK, arguments, Home(), 10000);
    }

    std::string Page() {
        WriteFile(m_scratch / "page.htm", "<A HREF=\"http:///x\">X</A>\n");
        return m_scratch / "page.htm";
    }

    platform::CScriptedUserInterface m_ui;
};

TEST_F(SettingsFaults, EveryReadOfADamagedValueGivesItsTextOrTheDefault) {
    CRegSettings settings;
    OpenSettingsAtStartup(settings);
    for (const CFault& fault : Faults()) {
        for (const CSetting& setting : kSettings) {
            SCOPED_TRACE(fault.name + " in " + setting.section + "/" + setting.name);
            Plant(setting, fault);
            CFifoRescue rescue({ValuePath(setting.section, setting.name)}, 3000);
            if (setting.number) {
                EXPECT_EQ(settings.GetInt(setting.section, setting.name, 424242),
                          fault.number.value_or(424242));
            } else {
                EXPECT_EQ(settings.GetString(setting.section, setting.name, "<default>"),
                          fault.text.value_or("<default>"));
            }
            EXPECT_FALSE(rescue.Stop()) << "the read blocked";
        }
    }
}

TEST_F(SettingsFaults, TheRunFallsBackToTheDefaultsAndStillReports) {
    CRegSettings settings;
    OpenSettingsAtStartup(settings);
    for (const CFault& fault : Faults()) {
        SCOPED_TRACE(fault.name);
        Plant({"Settings", "Filter", false}, fault);
        Plant({"Settings", "Timeout", true}, fault);
        m_ui.m_messages.clear();
        CRecordingRun run(settings);
        // Any text with one character per code is a filter; any other text that can be read
        // is replaced, and the user is told.
        const bool isFilter = fault.text && fault.text->size() == kResultCodeCount;
        EXPECT_EQ(run.m_filter, isFilter ? *fault.text : std::string(kWatchLikeAHawkFilter));
        EXPECT_EQ(m_ui.m_messages.size(), fault.text && !isFilter ? 1u : 0u);
        const int timeout = fault.number.value_or(15);
        EXPECT_EQ(run.m_timeoutSeconds, timeout);
        EXPECT_EQ(run.m_timeoutMillis, std::clamp<long long>(timeout * 1000LL, 1, INT_MAX));
        run.StartTest(Page(), false, false, false);
        ASSERT_TRUE(run.RunToEnd(10000));
        ASSERT_EQ(run.m_rows.RowCount(), 1);
        EXPECT_EQ(run.m_rows.CellText(0, 1), "Request for Invalid Port or Name");
    }
}

TEST_F(SettingsFaults, LinkvetCheckRunsOverADamagedStoreAndNeverWaitsOnAFifo) {
    const std::string page = Page();
    for (std::size_t first = 0; first < Faults().size(); ++first) {
        SCOPED_TRACE(first);
        PlantEverywhere(first);
        const CProgramResult result = Check({"-q", page});
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_EQ(result.out, "FILE: " + page + "\n" + kInvalidRow);
    }

    // FIFOs under the run's work-file names: those removed at the end are left alone, and the
    // one the scanner writes fails the scan at once.
    for (const char* name : {"urltmp~", "urltmp~1", "urltmp~3"}) {
        ASSERT_EQ(::mkfifo((Home() + "/" + name).c_str(), 0600), 0);
    }
    const CProgramResult leftovers = Check({"-q", page});
    EXPECT_EQ(leftovers.exitCode, 1) << leftovers.err;
    EXPECT_EQ(leftovers.out, "FILE: " + page + "\n" + kInvalidRow);
    ::unlink((Home() + "/urltmp~2").c_str());
    ASSERT_EQ(::mkfifo((Home() + "/urltmp~2").c_str(), 0600), 0);
    const CProgramResult scanner = Check({"-q", page});
    EXPECT_EQ(scanner.exitCode, 2);
    EXPECT_TRUE(
        scanner.err.ends_with("Error: Cannot open file:\n\n" + page + "\nProcessing has stopped\n"))
        << scanner.err;

    // A first start imports the legacy file, whatever stands there.
    const CTempDir fresh;
    ASSERT_EQ(::mkfifo((fresh / "Linkvet.INI").c_str(), 0600), 0);
    const CProgramResult first = RunProgram(LINKVET_CHECK, {"-q", page}, fresh.Path(), 10000);
    EXPECT_EQ(first.exitCode, 1) << first.err;
    EXPECT_EQ(first.out, "FILE: " + page + "\n" + kInvalidRow);
}

// Sets or clears the immutable flag on every directory of a tree, so that nothing can be
// created, renamed or removed in it, even by root.
bool SetImmutableTree(const std::string& root, bool immutable) {
    static bool s_immutable = false;
    static bool s_succeeded = true;
    s_immutable = immutable;
    s_succeeded = true;
    ::nftw(
        root.c_str(),
        [](const char* path, const struct stat*, int type, struct FTW*) {
            if (type == FTW_D || type == FTW_DP) {
                const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                int flags = 0;
                bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
                flags = s_immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
                done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
                s_succeeded = s_succeeded && done;
                ::close(fd);
            }
            return 0;
        },
        16, FTW_PHYS | FTW_DEPTH);
    return s_succeeded;
}

class CReadOnlyTree {
public:
    explicit CReadOnlyTree(std::string root)
        : m_root(std::move(root)), m_applied(SetImmutableTree(m_root, true)) {}
    ~CReadOnlyTree() { SetImmutableTree(m_root, false); }
    CReadOnlyTree(const CReadOnlyTree&) = delete;
    CReadOnlyTree& operator=(const CReadOnlyTree&) = delete;
    bool Applied() const { return m_applied; }

private:
    std::string m_root;
    bool m_applied;
};

TEST_F(SettingsFaults, AReadOnlySystemDirectoryKeepsItsValuesAndRefusesEveryWrite) {
    {
        CRegSettings before;
        OpenSettingsAtStartup(before);
        ASSERT_TRUE(before.SetInt("Settings", "Timeout", 30));
    }
    const CReadOnlyTree readOnly(Home());
    if (!readOnly.Applied()) {
        GTEST_SKIP() << "the file system or the process cannot make directories immutable";
    }
    CRegSettings settings;
    OpenSettingsAtStartup(settings);
    EXPECT_EQ(settings.GetInt("Settings", "Timeout", 15), 30);
    EXPECT_EQ(settings.GetInt("Settings", "Missing", 15), 15);
    EXPECT_FALSE(settings.SetInt("Settings", "Timeout", 40));
    EXPECT_FALSE(settings.SetInt("Grid", "col0", 40));
    EXPECT_FALSE(platform::WriteProfileInt("Screen", "High", 100));
    EXPECT_EQ(CRecordingRun(settings).m_timeoutSeconds, 30);

    // The scanner cannot write its work file there, and says so about the page it scans.
    const std::string page = Page();
    const CProgramResult run = Check({"-q", page});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "Error: Cannot open file:\n\n" + page + "\nProcessing has stopped\n");
    const CProgramResult files = Check({"--files", page});
    EXPECT_EQ(files.exitCode, 0);
    EXPECT_EQ(files.out, page + "\n");

    CLinkvetApp app;
    EXPECT_TRUE(app.InitInstance());
    QCoreApplication::processEvents();
    EXPECT_TRUE(app.MainFrame()->isVisible());
    app.ExitInstance();
}

TEST_F(SettingsFaults, ASystemDirectoryOthersMayWriteInIsNeitherReadNorWritten) {
    WriteFile(Home() + "/Linkvet.INI", "[Settings]\nTimeout=42\n");
    ASSERT_EQ(::chmod(Home().c_str(), 0777), 0);
    const std::string page = Page();
    const CProgramResult run = Check({"-q", page});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "Error: Cannot open file:\n\n" + page + "\nProcessing has stopped\n");
    EXPECT_FALSE(FileExists(Home() + "/registry")) << "nothing is imported";
    EXPECT_FALSE(FileExists(Home() + "/urltmp~2"));

    ASSERT_EQ(::chmod(Home().c_str(), 0700), 0);
    EXPECT_EQ(Check({"-q", page}).exitCode, 1);
    CRegSettings settings;
    OpenSettingsAtStartup(settings);
    EXPECT_EQ(settings.GetInt("Settings", "Timeout", 15), 42);
}

TEST_F(SettingsFaults, ALegacyFileOfNulBytesAndTenThousandSectionsIsImported) {
    // Values only here and there: each one is flushed to disk on its own.
    std::string ini;
    for (int section = 0; section < 10000; ++section) {
        // A NUL byte ends what is seen of its line: "[Cut7" opens no section.
        ini += section % 7 == 0 ? "[Cut" + std::to_string(section) + std::string(1, '\0') + "]\r\n"
                                : "[Section " + std::to_string(section) + "]\r\n";
        if (section % 1000 < 10) {
            ini += "Value=" + std::to_string(section) + std::string("\0\x01\xff", 3) + "\r\n";
        }
    }
    ini += "[Settings]\r\nTimeout=7\r\nFilter=" + std::string(1, '\0') + "junk\r\n";
    WriteFile(LegacyIniPath(), ini);

    CRegSettings settings;
    OpenSettingsAtStartup(settings);
    EXPECT_EQ(settings.GetString("Section 1", "Value", "d"), "1");
    EXPECT_EQ(settings.GetString("Section 6", "Value", "d"), "7") << "the value after [Cut7";
    EXPECT_EQ(settings.GetString("Section 9003", "Value", "d"), "9003");
    EXPECT_FALSE(CRegKey::Open(CRootKey::LocalMachine, kRoot + "\\Cut7"));
    EXPECT_TRUE(CRegKey::Open(CRootKey::LocalMachine, kRoot + "\\Section 9999"));
    EXPECT_EQ(settings.GetInt("Settings", "Timeout", 15), 7);
    CRecordingRun run(settings);
    EXPECT_EQ(run.m_timeoutSeconds, 7);
    EXPECT_EQ(run.m_filter, kWatchLikeAHawkFilter) << "an empty filter is replaced";

    // linkvet-check's own first start imports the same file.
    const CTempDir fresh;
    WriteFile(fresh / "Linkvet.INI", ini);
    const std::string page = Page();
    const CProgramResult result = RunProgram(LINKVET_CHECK, {"-q", page}, fresh.Path(), 60000);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.out, "FILE: " + page + "\n" + kInvalidRow);
}

TEST_F(SettingsFaults, TheWindowStartsOverADamagedStoreAndProfile) {
    // The first start imports the legacy file; every start reads the profile.
    ASSERT_EQ(::mkfifo(LegacyIniPath().c_str(), 0600), 0);
    const CWindowPlacement centred = CMainFrame::FirstStartPlacement();
    for (std::size_t first = 0; first <= Faults().size(); ++first) {
        SCOPED_TRACE(first);
        if (first > 0) {
            PlantEverywhere(first);
        }
        ::unlink(platform::ProfilePath().c_str());
        ASSERT_EQ(::mkfifo(platform::ProfilePath().c_str(), 0600), 0);
        CFifoRescue rescue({LegacyIniPath(), platform::ProfilePath()}, 5000);
        CLinkvetApp app;
        EXPECT_TRUE(app.InitInstance());
        QCoreApplication::processEvents();
        CMainFrame& frame = *app.MainFrame();
        EXPECT_TRUE(frame.isVisible());
        EXPECT_EQ(frame.size(), QSize(centred.cx, centred.cy)) << "the first start's placement";
        // No stored width is usable: the default columns share the grid, the last one taking
        // what the first three leave.
        const CLinkvetView& grid = frame.View();
        const int width = grid.columnWidth(0);
        EXPECT_EQ(width, DefaultColumnWidth(grid.viewport()->width()));
        for (int column = 1; column < 3; ++column) {
            EXPECT_EQ(grid.columnWidth(column), width);
        }
        EXPECT_EQ(grid.horizontalHeader()->sectionViewportPosition(3) + grid.columnWidth(3),
                  grid.viewport()->width());
        app.ExitInstance();
        EXPECT_FALSE(rescue.Stop()) << "the start blocked on a FIFO";
    }
}

// Closes the next modal dialog as its event loop starts, accepting or cancelling it, and
// writes down its title.
void AnswerNextDialog(std::vector<QString>& titles, bool accept) {
    QTimer::singleShot(0, [&titles, accept] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        titles.push_back(dialog->windowTitle());
        if (accept) {
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
}

TEST_F(SettingsFaults, TheWindowsCommandsOpenTheirDialogsOverDamagedValues) {
    const std::string page = Page();
    for (std::size_t first = 0; first < Faults().size(); ++first) {
        SCOPED_TRACE(first);
        PlantEverywhere(first);
        CLinkvetApp app;
        ASSERT_TRUE(app.InitInstance());
        CMainFrame& frame = *app.MainFrame();
        std::vector<QString> titles;
        for (const CCommandId command : {ID_SELECT_FILES, ID_PREFERENCES}) {
            AnswerNextDialog(titles, false);
            frame.Action(command)->trigger();
        }

        // A run over the page gives Export and Repair a row to work on.
        const auto stored = [](const std::string& text) {
            return CFault{"stored",
                          [text](const std::string& path) { WriteFile(path, text + '\0'); },
                          text,
                          {}};
        };
        Plant({"FileSel", "Starter", false}, stored(page));
        for (const char* name : {"Recurse", "AllFiles", "Filter"}) {
            Plant({"FileSel", name, true}, stored("0"));
        }
        AnswerNextDialog(titles, true);
        frame.Action(ID_SELECT_FILES)->trigger();
        QElapsedTimer clock;
        clock.start();
        while (!frame.View().m_runEnded && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        ASSERT_EQ(frame.Doc().Results().RowCount(), 1);
        frame.UpdateCommandUi();
        for (const CCommandId command : {ID_EXPORT_RESULTS, ID_REPAIR_LINKS}) {
            AnswerNextDialog(titles, false);
            frame.Action(command)->trigger();
        }
        EXPECT_EQ(titles, (std::vector<QString>{"Select File(s) to Test", "Preferences",
                                                "Select File(s) to Test", "Export Bad URLs",
                                                "URL Link Disable and File Repair"}));
        app.ExitInstance();
    }
}

}  // namespace
