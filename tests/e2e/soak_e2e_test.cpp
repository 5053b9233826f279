// linkvet-check over many links against hosts that misbehave in every way the probe can meet,
// in a private network namespace. LINKVET_SOAK_LINKS sets the number of links (200 by default).

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "e2e/scriptedserver.h"
#include "support/runprogram.h"
#include "support/temphome.h"

extern char** environ;

// AddressSanitizer holds freed memory in quarantine, so under it the resident size says
// nothing about the program's own use; the leak checker covers that build instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

namespace {

const std::string kTooSlow = "Host Took Too Long to Respond";
const std::string kUnknown = "--------------> UNKNOWN REASON !!!!!";

// One way a host can behave, the links that meet it and the report row each link gets
// (none when the reason is empty).
struct CHostile {
    std::string name;
    std::string host;
    int port;
    // Null: nothing listens there.
    CScriptedServer::Behaviour behaviour;
    std::string reason;
    // Waits for the time-out or dribbles, so the CI run keeps few of them.
    bool slow = false;
};

std::vector<CHostile> HostileKinds() {
    const std::string binary("\0\x01\xff\x16\x03 \0garbage\r\n\r\n", 16);
    return {
        {"silent", "h1.test", 80, CScriptedServer::Silent(), kTooSlow, true},
        {"close", "h2.test", 80, CScriptedServer::CloseAtOnce(), kTooSlow, true},
        // The probe judges the first piece that arrives: a lone "H" has no status number.
        {"drip", "h3.test", 80, CScriptedServer::Drip("HTTP/1.0 404 Not Found\r\n\r\n", 1000),
         kUnknown, true},
        {"ok", "h4.test", 80, CScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\n<html></html>"), ""},
        {"missing", "h5.test", 80, CScriptedServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"),
         "HTTP Code 404 Not Found"},
        {"endless", "h6.test", 80, CScriptedServer::EndlessBody("HTTP/1.0 500 Oops\r\n\r\n"),
         "HTTP Code 500 Internal Server Error"},
        // The status number came before the reset, and the reply's start is still read.
        {"reset", "h7.test", 80, CScriptedServer::ResetAfter("HTTP/1.1 503 Service Unav"),
         "HTTP Code 503 Service Unavailable"},
        {"garbage", "h8.test", 80, CScriptedServer::Reply("Hello there, friend\r\n\r\n"), kUnknown},
        {"binary", "h9.test", 80, CScriptedServer::Reply(binary), kUnknown},
        {"longline", "h10.test", 80,
         CScriptedServer::Reply("HTTP/1.0 " + std::string(64 * 1024, 'x') + "\r\n\r\n"), kUnknown},
        {"ftp", "h11.test", 21, CScriptedServer::Greeting("220 Hostile FTP ready\r\n"), ""},
        {"refused", "h12.test", 80, nullptr, "Can't Connect to Host"},
        {"unresolvable", "nowhere.test", 80, nullptr, "Can't Find Named Host"},
    };
}

int LinkCount() {
    const char* text = std::getenv("LINKVET_SOAK_LINKS");
    const int links = text != nullptr ? std::atoi(text) : 200;
    return std::max(links, 20) / 10 * 10;
}

// The kind of every link: each slow kind a hundredth of the links (a silent one first and
// last, so the run is in the same state at both samples), the fast kinds share the rest.
std::vector<std::size_t> DealKinds(const std::vector<CHostile>& kinds, int links) {
    const int slowEach = std::max(2, links / 100);
    std::vector<std::size_t> dealt;
    std::vector<std::size_t> fast;
    for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
        if (kinds[kind].slow) {
            dealt.insert(dealt.end(), static_cast<std::size_t>(slowEach), kind);
        } else {
            fast.push_back(kind);
        }
    }
    for (std::size_t i = 0; dealt.size() < static_cast<std::size_t>(links); ++i) {
        dealt.push_back(fast[i % fast.size()]);
    }
    std::mt19937 random(20261207);
    std::shuffle(dealt.begin(), dealt.end(), random);
    const auto silent = [&](std::size_t kind) { return kinds[kind].name == "silent"; };
    std::iter_swap(dealt.begin(), std::find_if(dealt.begin(), dealt.end(), silent));
    std::iter_swap(dealt.end() - 1, std::find_if(dealt.rbegin(), dealt.rend() - 1, silent));
    return dealt;
}

std::string LinkUrl(const CHostile& kind, int link) {
    const std::string scheme = kind.port == 21 ? "ftp://" : "http://";
    return scheme + kind.host + "/" + kind.name + "/" + std::to_string(link) + ".htm";
}

int OpenDescriptors(pid_t pid) {
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(
        ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str()), ::closedir);
    int count = 0;
    while (folder && ::readdir(folder.get()) != nullptr) {
        ++count;
    }
    return count - 2;
}

// A field of /proc/PID/status in KiB, such as VmRSS.
long StatusKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::atol(line.c_str() + field.size() + 1);
        }
    }
    return -1;
}

struct CSample {
    int descriptors = -1;
    long residentKiB = -1;
};

class Soak : public CTempHomeTest {};

TEST_F(Soak, EveryHostileLinkGetsOneVerdictAndTheRunStaysFlat) {
    const int links = LinkCount();
    const std::vector<CHostile> kinds = HostileKinds();
    std::vector<std::unique_ptr<CScriptedServer>> servers(kinds.size());
    for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
        if (kinds[kind].behaviour) {
            servers[kind] = std::make_unique<CScriptedServer>(
                "127.0.0." + std::to_string(10 + std::stoi(kinds[kind].host.substr(1))),
                kinds[kind].port, kinds[kind].behaviour);
            ASSERT_TRUE(servers[kind]->Listening()) << kinds[kind].name;
        }
    }
    const std::size_t silentKind = 0;
    ASSERT_EQ(kinds[silentKind].name, "silent");

    // Ten links a file, one a line; the report lists each file's rows under its name.
    const std::vector<std::size_t> dealt = DealKinds(kinds, links);
    const std::string site = m_scratch / "site";
    MakeDirectory(site);
    std::string expected;
    std::vector<int> linksOfKind(kinds.size());
    const int files = links / 10;
    for (int file = 0; file < files; ++file) {
        char name[32];
        std::snprintf(name, sizeof name, "/page%05d.htm", file);
        std::string page = "<HTML><BODY>\n";
        std::string rows;
        for (int link = file * 10; link < file * 10 + 10; ++link) {
            const CHostile& kind = kinds[dealt[static_cast<std::size_t>(link)]];
            ++linksOfKind[dealt[static_cast<std::size_t>(link)]];
            const std::string url = LinkUrl(kind, link);
            const std::string anchor = "L" + std::to_string(link);
            page += "<A HREF=\"" + url + "\">" + anchor + "</A>\n";
            if (!kind.reason.empty()) {
                rows += url + "\t" + kind.reason + "\t" + anchor + "\n";
            }
        }
        WriteFile(site + name, page + "</BODY></HTML>\n");
        if (!rows.empty()) {
            expected += (expected.empty() ? "" : "\n") + ("FILE: " + site + name + "\n") + rows;
        }
    }

    const std::string report = m_scratch / "report.txt";
    const std::string log = m_scratch / "log.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, report.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> arguments = {LINKVET_CHECK, "-q", "-t", "5", "-r", site};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const auto started = std::chrono::steady_clock::now();
    pid_t child = -1;
    ASSERT_EQ(::posix_spawn(&child, LINKVET_CHECK, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Samples are taken while the first and the last link wait on the silent host: the same
    // state, one connection open. Only a hung run comes near the bound.
    int slowLinks = 0;
    for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
        slowLinks += kinds[kind].slow ? linksOfKind[kind] : 0;
    }
    const auto bound = started + std::chrono::seconds(60 + links / 2 + 10 * slowLinks);
    CSample early;
    CSample late;
    long peakResidentKiB = 0;
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < bound) {
        // The high-water mark of the program's own memory, from its exec on.
        peakResidentKiB = std::max(peakResidentKiB, StatusKiB(child, "VmHWM"));
        const int seen = servers[silentKind]->Connections();
        CSample& sample = seen == linksOfKind[silentKind] ? late : early;
        if (seen > 0 && sample.descriptors < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            sample = {OpenDescriptors(child), StatusKiB(child, "VmRSS")};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (ended == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the run did not end within its bound";
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 1) << ReadFile(log);
    const std::vector<std::string> reported = Lines(ReadFile(report));
    const std::vector<std::string> wanted = Lines(expected);
    EXPECT_EQ(reported.size(), wanted.size());
    const auto differ =
        std::mismatch(reported.begin(), reported.end(), wanted.begin(), wanted.end());
    EXPECT_TRUE(differ.first == reported.end() && differ.second == wanted.end())
        << "first difference: \"" << (differ.first != reported.end() ? *differ.first : "")
        << "\" where \"" << (differ.second != wanted.end() ? *differ.second : "")
        << "\" was expected";
    for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
        if (servers[kind]) {
            EXPECT_EQ(servers[kind]->Connections(), linksOfKind[kind])
                << kinds[kind].name << ": one connection a link";
        }
    }
    ASSERT_GT(early.descriptors, 0);
    ASSERT_GT(late.descriptors, 0);
    EXPECT_EQ(late.descriptors, early.descriptors);
    if (!kSanitized) {
        EXPECT_LT(late.residentKiB - early.residentKiB, 8 * 1024) << "resident size grew";
    }

    std::printf(
        "soak: %d links in %d files, %.1f s, peak resident %ld KiB, resident %ld -> %ld "
        "KiB, descriptors %d -> %d\n",
        links, files, seconds, peakResidentKiB, early.residentKiB, late.residentKiB,
        early.descriptors, late.descriptors);
    std::map<std::string, int> reportedByReason;
    for (const std::string& line : reported) {
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos) {
            ++reportedByReason[line.substr(tab + 1, line.rfind('\t') - tab - 1)];
        }
    }
    for (const auto& [reason, count] : reportedByReason) {
        std::printf("soak: %5d  %s\n", count, reason.c_str());
    }
    for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
        std::printf("soak: kind %-12s %5d links\n", kinds[kind].name.c_str(), linksOfKind[kind]);
    }
}

}  // namespace
