// The repair walk killed with SIGKILL at many moments: between two file operations, at random
// times, and while a large file's backup is being written. Whatever the moment, no text is
// lost, and a fresh walk finishes the job.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "repair/repairfixture.h"
#include "repair/repairtext.h"
#include "support/temphome.h"

extern char** environ;

namespace {

constexpr int kFiles = 500;
// The page whose size makes its backup take a while to write.
constexpr int kLargePage = kFiles / 2;
// Every file costs the walk at least this many file operations: copy to the backup, open,
// create the work file, put it in place.
constexpr int kOperationsPerFile = 4;
constexpr int kKills = 40;

bool IsEnterable(const char* directory) {
    return ::access(directory, W_OK | X_OK) == 0;
}

std::string PageName(int page) {
    char name[32];
    std::snprintf(name, sizeof name, "page%03d.htm", page);
    return name;
}

// Pages of one to three bad links among good ones, LF and CR LF line ends, and one line longer
// than a piece; one page is large.
std::string PageText(int page) {
    const std::string end = page % 2 == 0 ? "\n" : "\r\n";
    std::string text = "<html><body>" + end + "<p>page " + std::to_string(page) + "</p>" + end;
    if (page == kLargePage) {
        text.reserve(8 << 20);
        while (text.size() < (8u << 20)) {
            text += "<p>" + std::string(120, 'f') + "</p>" + end;
        }
    }
    for (int link = 0; link <= page % 3; ++link) {
        text += "<a href=\"http://ok.test/" + std::to_string(link) + "\">fine</a>" + end;
        if (page % 7 == 0) {
            text += std::string(700, 'w') + end;
        }
        text += "<A HREF=\"http://gone.test/" + std::to_string(page) + "/" + std::to_string(link) +
                "\">gone</A> and more" + end;
    }
    return text + "</body></html>";
}

std::vector<std::string> BadLinks(int page) {
    std::vector<std::string> links;
    for (int link = 0; link <= page % 3; ++link) {
        links.push_back("http://gone.test/" + std::to_string(page) + "/" + std::to_string(link));
    }
    return links;
}

class RepairCrash : public CTempHomeTest {
protected:
    // A fresh copy of the site, in place of the last one. It lives in memory when it can: a
    // kill tests the walk's order of operations, not the disk, and the walks' flushes to a
    // disk would make the test take minutes.
    std::string MakeSite() {
        m_site.reset();
        m_site = std::make_unique<CTempDir>(IsEnterable("/dev/shm") ? "/dev/shm" : "/tmp");
        const std::string& site = m_site->Path();
        for (int page = 0; page < kFiles; ++page) {
            WriteFile(site + "/" + PageName(page), m_before[page]);
        }
        return site;
    }

    // The rows of the given pages' bad links, in a file for the walk.
    std::string RowsFor(const std::string& site, const std::vector<int>& pages) {
        std::string rows;
        for (const int page : pages) {
            for (const std::string& url : BadLinks(page)) {
                rows += url + "\t" + site + "/" + PageName(page) + "\n";
            }
        }
        const std::string path = m_scratch / "rows.txt";
        WriteFile(path, rows);
        return path;
    }

    pid_t StartWalk(int method, const std::string& rows, long stopAtOperation = 0) {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            environment.emplace_back(*entry);
        }
        if (stopAtOperation > 0) {
            environment.push_back("LINKVET_TEST_STOP_AT_FILE_OP=" +
                                  std::to_string(stopAtOperation));
        }
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        std::string program = REPAIR_CRASH_HELPER;
        std::string methodText = std::to_string(method);
        std::string rowsPath = rows;
        char* argv[] = {program.data(), methodText.data(), rowsPath.data(), nullptr};
        // The walk's messages are of no interest: its exit status and the disk tell it all.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t child = -1;
        EXPECT_EQ(::posix_spawn(&child, REPAIR_CRASH_HELPER, &actions, nullptr, argv, envp.data()),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        return child;
    }

    // Whether the walk has ended; it stays a zombie until waited for, so its id is not reused
    // before the kill.
    static bool HasEnded(pid_t child) {
        siginfo_t state{};
        ::waitid(P_PID, static_cast<id_t>(child), &state, WEXITED | WNOHANG | WNOWAIT);
        return state.si_pid == child;
    }

    // The walk's exit status, or -1 when it did not end normally.
    static int WaitForWalk(pid_t child) {
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::unique_ptr<CTempDir> m_site;
    std::vector<std::string> m_before;
    // The repaired text of every page, by method, from walks that ran to their end.
    std::vector<std::string> m_after[3];
};

TEST_F(RepairCrash, AWalkKilledAtAnyMomentLosesNoTextAndAFreshWalkFinishesIt) {
    for (int page = 0; page < kFiles; ++page) {
        m_before.push_back(PageText(page));
    }
    std::vector<int> allPages(kFiles);
    for (int page = 0; page < kFiles; ++page) {
        allPages[static_cast<std::size_t>(page)] = page;
    }
    std::chrono::duration<double> longestWalk{0};
    for (const int method : {kRepairDisable, kRepairReplace, kRepairRemove}) {
        const std::string site = MakeSite();
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(WaitForWalk(StartWalk(method, RowsFor(site, allPages))), 0);
        longestWalk = std::max<std::chrono::duration<double>>(
            longestWalk, std::chrono::steady_clock::now() - started);
        for (int page = 0; page < kFiles; ++page) {
            m_after[method].push_back(ReadFile(site + "/" + PageName(page)));
            ASSERT_TRUE(m_after[method].back() != m_before[static_cast<std::size_t>(page)]);
        }
    }

    std::mt19937 random(20261207);
    int stopsAsked = 0;
    int stoppedBetweenOperations = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const int method = kill % 3;
        const std::string site = MakeSite();
        const std::string largeBackup = BackupName(site + "/" + PageName(kLargePage));
        const pid_t child = [&] {
            switch (kill % 4) {
                case 0:
                case 1: {
                    // Stopped as a file operation starts, then killed there.
                    const long at =
                        std::uniform_int_distribution<long>(1, kFiles * kOperationsPerFile)(random);
                    const pid_t walk = StartWalk(method, RowsFor(site, allPages), at);
                    ++stopsAsked;
                    siginfo_t state{};
                    ::waitid(P_PID, static_cast<id_t>(walk), &state, WSTOPPED | WEXITED | WNOWAIT);
                    stoppedBetweenOperations += state.si_code == CLD_STOPPED ? 1 : 0;
                    return walk;
                }
                case 2: {
                    const pid_t walk = StartWalk(method, RowsFor(site, allPages));
                    std::this_thread::sleep_for(longestWalk *
                                                std::uniform_real_distribution<>(0, 1)(random));
                    return walk;
                }
                default: {
                    // Killed the moment the large page's backup shows up, when a copy that is
                    // written in place has hardly begun.
                    const pid_t walk = StartWalk(method, RowsFor(site, allPages));
                    while (!FileExists(largeBackup) && !HasEnded(walk)) {
                    }
                    return walk;
                }
            }
        }();
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        SCOPED_TRACE(testing::Message() << "kill " << kill << ", method " << method);
        // The site's names are read once: a listing per page would make the checks quadratic.
        const auto names = FolderFileNames(site + "/" + PageName(0));
        const auto backupOf = [&names](const std::string& path) { return BackupName(path, names); };
        std::vector<int> left;
        for (int page = 0; page < kFiles; ++page) {
            const std::string path = site + "/" + PageName(page);
            const std::string text = ReadFile(path);
            const std::string& before = m_before[static_cast<std::size_t>(page)];
            ASSERT_TRUE(text == before || text == m_after[method][static_cast<std::size_t>(page)])
                << path << " holds neither its old nor its new text";
            if (text == before) {
                left.push_back(page);
            }
            if (FileExists(backupOf(path))) {
                ASSERT_TRUE(ReadFile(backupOf(path)) == before)
                    << backupOf(path) << " does not hold the old text";
            } else {
                ASSERT_TRUE(text == before) << path << " was rewritten without a backup";
            }
        }

        ASSERT_EQ(WaitForWalk(StartWalk(method, RowsFor(site, left))), 0);
        for (int page = 0; page < kFiles; ++page) {
            const std::string path = site + "/" + PageName(page);
            ASSERT_TRUE(ReadFile(path) == m_after[method][static_cast<std::size_t>(page)]) << path;
            ASSERT_TRUE(ReadFile(backupOf(path)) == m_before[static_cast<std::size_t>(page)])
                << backupOf(path);
        }
        // The killed walk's work files stay: a walk deletes no file it did not make.
        EXPECT_LE(WorkFilesBeside(site + "/" + PageName(0)).size(), 1u);
    }
    EXPECT_EQ(stoppedBetweenOperations, stopsAsked) << "every stop point lies within the walk";
}

}  // namespace
