// Runs the repair walk on a real file built from any bytes and checks what the walk leaves on
// disk: the backup holds the original bytes, nothing but the file and its backup remain, and
// every line of the repaired file is either the original's or a rewritten one.
//
// Input: byte 0 picks the method and the file's name, byte 1 the number of rows (1 to 4), then
// four bytes per row pick its link, and the rest is the file's text. A link is a piece of the
// text, such a piece with its last byte changed, or up to three bytes of its own.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzzsupport.h"
#include "platform/messagebox.h"
#include "platform/textfile.h"
#include "repair/repairhost.h"
#include "repair/repairtext.h"
#include "repair/repairwalk.h"
#include "results/resulttable.h"
#include "settings/regsettings.h"

namespace {

constexpr std::size_t kMostRows = 4;
constexpr std::size_t kRowBytes = 4;
constexpr std::size_t kLongestPiece = 63;
constexpr std::array<int, 3> kMethods = {kRepairDisable, kRepairReplace, kRepairRemove};

// The file's name and the backup the walk must make of it; a file bearing its own backup or
// work name is refused and gets none.
struct PageName {
    std::string_view name;
    std::string_view backup;
};
constexpr std::array<PageName, 4> kPageNames = {
    {{"page.htm", "page.rep"}, {"page", "page.rep"}, {"page.rep", ""}, {"page.t~p", ""}}};
constexpr std::array<std::string_view, 4> kLeftovers = {"page.htm", "page", "page.rep", "page.t~p"};

std::string g_home;
std::string g_pages;

// Message boxes only counted: printing them would cost more than the walk.
class CQuietInterface : public platform::CUserInterface {
public:
    int MessageBox(const std::string& text, unsigned) override {
        m_last = text;
        return platform::kIdOk;
    }
    void MessageBeep(unsigned) override {}
    void SetWaitCursor(bool) override {}
    bool OpenUrl(const std::string&) override { return false; }
    void WinHelp(unsigned) override {}

    std::string m_last;
};

// Options confirmed with the input's method and no export; a failure is not to be ignored.
class CScriptedHost : public CRepairHost {
public:
    explicit CScriptedHost(int method) : m_method(method) {}

    bool ShowRepairOptions(int& method, int& saveBadUrls) override {
        method = m_method;
        saveBadUrls = 0;
        return true;
    }
    bool ShowRepairFailure(const std::string& file, const std::string&) override {
        m_failedFiles.push_back(file);
        return false;
    }
    void ExportResults() override { ++m_exports; }

    std::vector<std::string> m_failedFiles;
    int m_exports = 0;

private:
    int m_method;
};

CQuietInterface g_interface;
CRegSettings g_settings;

void RemoveLeftovers() {
    for (const std::string_view name : kLeftovers) {
        ::unlink((g_pages + "/" + std::string(name)).c_str());
    }
}

void WriteWhole(const std::string& path, std::string_view bytes) {
    const platform::CFilePtr file = platform::OpenFile(path, "wb");
    Require(file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size(),
            "the page is written");
}

std::string ReadWhole(const std::string& path) {
    const platform::CFilePtr file = platform::OpenFile(path, "rb");
    Require(static_cast<bool>(file), "a file the walk leaves can be read");
    std::string bytes;
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file.get())) > 0;) {
        bytes.append(block, got);
    }
    return bytes;
}

std::string MakeLink(const std::uint8_t* choice, std::string_view text) {
    const std::uint8_t kind = choice[0];
    if (kind % 4 == 3) {
        const std::size_t length = static_cast<std::size_t>(kind / 4 % 4);
        return std::string(reinterpret_cast<const char*>(choice + 1), length);
    }
    const std::size_t offset =
        static_cast<std::size_t>(choice[1] << 8 | choice[2]) % (text.size() + 1);
    std::string link(text.substr(offset, choice[3] % (kLongestPiece + 1)));
    if (kind % 4 == 2 && !link.empty()) {
        link.back() = static_cast<char>(link.back() ^ 1);
    }
    return link;
}

// Lines with their line ends, the last one possibly without.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return lines;
}

// The walk reads a long line in pieces, so a line it kept may be an original line's tail from
// a piece boundary on; a line it rewrote holds the comment's end, or, when the link ends in an
// LF, ends with the comment's start and the link.
void CheckLines(std::string_view repaired, std::string_view original,
                const std::vector<std::string>& links) {
    const std::vector<std::string_view> originalLines = Lines(original);
    for (const std::string_view line : Lines(repaired)) {
        if (line.find("-->") != std::string_view::npos) {
            continue;
        }
        const bool keptTail =
            std::any_of(originalLines.begin(), originalLines.end(), [line](std::string_view whole) {
                return whole.ends_with(line) &&
                       (whole.size() - line.size()) % kRepairPieceSize == 0;
            });
        const bool commentedLink =
            std::any_of(links.begin(), links.end(), [line](const std::string& link) {
                return link.ends_with('\n') && line.ends_with("<!--" + link);
            });
        Require(keptTail || commentedLink,
                "a line of the repaired file is an original line (or its tail) or rewritten");
    }
}

bool IsSubsequence(std::string_view part, std::string_view whole) {
    std::size_t at = 0;
    for (const char c : whole) {
        if (at < part.size() && part[at] == c) {
            ++at;
        }
    }
    return at == part.size();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The walk fsyncs the backup, the work file and every setting it stores; on tmpfs that is
    // free, so the fuzzer spends its time in the walk.
    const char* temp = std::getenv("TMPDIR");
    const std::string base = temp != nullptr && *temp != '\0'  ? temp
                             : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                               : "/tmp";
    std::string pattern = base + "/linkvet-fuzz-repair-XXXXXX";
    Require(::mkdtemp(pattern.data()) != nullptr, "mkdtemp makes the home folder");
    g_home = pattern;
    g_pages = g_home + "/pages";
    Require(::mkdir(g_pages.c_str(), 0700) == 0, "the pages folder is made");
    Require(::setenv("LINKVET_HOME", g_home.c_str(), 1) == 0, "LINKVET_HOME can be set");
    platform::SetUserInterface(&g_interface);
    OpenSettingsAtStartup(g_settings);
    // A crash skips this on purpose: the files are then left to be looked at.
    std::atexit([] { RemoveTree(g_home); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const int method = kMethods[data[0] % kMethods.size()];
    const PageName& page = kPageNames[data[0] / kMethods.size() % kPageNames.size()];
    const std::size_t rowCount = 1 + data[1] % kMostRows;
    const std::size_t header = 2 + rowCount * kRowBytes;
    if (size < header) {
        return 0;
    }
    const std::string_view original(reinterpret_cast<const char*>(data) + header, size - header);
    const std::string path = g_pages + "/" + std::string(page.name);

    RemoveLeftovers();
    WriteWhole(path, original);
    CResultTable rows;
    std::vector<std::string> links;
    for (std::size_t row = 0; row < rowCount; ++row) {
        links.push_back(MakeLink(data + 2 + row * kRowBytes, original));
        rows.AddResult(links.back(), 0, "");
        rows.AddResult("HTTP Code 404 Not Found", 1, "");
        rows.AddResult("", 2, path);
    }

    CScriptedHost host(method);
    g_interface.m_last.clear();
    const bool succeeded = CRepairWalk(rows, g_settings, host).RepairLinks();

    Require(host.m_exports == 0, "no export without the save flag");
    Require(g_settings.GetInt("Repair", "Type", -1) == method &&
                g_settings.GetInt("Repair", "Save", -1) == 0,
            "the options chosen are stored");
    Require(rows.RowCount() == static_cast<int>(rowCount), "a failure not ignored drops no row");
    if (succeeded) {
        Require(host.m_failedFiles.empty(), "a walk that succeeds shows no failure");
        Require(g_interface.m_last == "All URL repairs completed", "success is announced");
        Require((rows.Tag(0) & kFileDoneMark.half) == kFileDoneMark.set, "the file is marked done");
        for (int row = 0; row < rows.RowCount(); ++row) {
            Require((rows.Tag(row) & kRepairedMark.half) == kRepairedMark.set,
                    "every row is marked repaired");
        }
    } else {
        Require(host.m_failedFiles == std::vector<std::string>{path},
                "a walk that stops shows one failure, in the file");
    }
    const bool linksInText = std::all_of(links.begin(), links.end(), [&](const std::string& link) {
        return original.find(link) != std::string_view::npos;
    });
    Require(linksInText || !succeeded, "a walk cannot succeed when a link is not in the file");

    const std::string repaired = ReadWhole(path);
    if (page.backup.empty()) {
        Require(!succeeded, "a file named like its backup or work file is refused");
        Require(repaired == original, "a refused file is left as it was");
        Require(Entries(g_pages) == std::set<std::string>{std::string(page.name)},
                "a refused file gets no backup or work file");
    } else {
        Require(Entries(g_pages) ==
                    std::set<std::string>{std::string(page.name), std::string(page.backup)},
                "the walk leaves the file and its backup, and no work file");
        Require(ReadWhole(g_pages + "/" + std::string(page.backup)) == original,
                "the backup holds the original bytes");
        if (method == kRepairRemove) {
            Require(IsSubsequence(repaired, original),
                    "removing lines leaves a subsequence of the original bytes");
        } else {
            CheckLines(repaired, original, links);
        }
    }
    RemoveLeftovers();
    return 0;
}
