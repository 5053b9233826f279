// How fast ScanLinks goes through a large page, against merely reading the same file and
// against reading it and writing it out again as the work file. The corpus is generated once
// per process into a temporary directory and removed at exit; every benchmark reads it warm
// from the page cache, so the ratios measure the scanner's own work and its writing, not the
// disk.

#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "model/linkscanner.h"

namespace {

constexpr std::size_t kCorpusBytes = std::size_t{100} << 20;
constexpr std::size_t kReadBlock = std::size_t{1} << 20;

std::string g_corpusPath;
std::string g_workPath;
std::size_t g_corpusSize = 0;

// Page text in the style of hand-written HTML 3/4 sites: wrapped paragraphs with inline links,
// navigation lists, images, some paragraphs kept on one long line, CR LF or LF line ends.
class PageWriter {
public:
    explicit PageWriter(std::string& out) : m_out(out) {}

    void Page(int number) {
        m_lineEnd = Pick(3) == 0 ? "\n" : "\r\n";
        Line("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
        Line("<html>");
        Line("<head><title>" + Words(4) + " - page " + std::to_string(number) + "</title>");
        Line("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">");
        Line("</head>");
        Line("<body bgcolor=\"#FFFFFF\">");
        Line("<h1>" + Words(5) + "</h1>");
        Navigation();
        const int paragraphs = 8 + Pick(12);
        for (int i = 0; i < paragraphs; ++i) {
            if (Pick(6) == 0) {
                Line("<h2>" + Words(3 + Pick(4)) + "</h2>");
            }
            if (Pick(8) == 0) {
                Line("<img src=\"images/pic" + std::to_string(Pick(500)) + ".gif\" alt=\"" +
                     Words(2) + "\" width=\"120\" height=\"80\"><br>");
            }
            Paragraph(Pick(10) == 0);
        }
        Navigation();
        Line("<address>" + Words(3) + " &lt;" + Word() + "@example.org&gt;</address>");
        Line("</body>");
        Line("</html>");
    }

private:
    int Pick(int below) { return static_cast<int>(m_random() % static_cast<unsigned>(below)); }

    std::string Word() {
        static const char* const kWords[] = {
            "the",     "link",     "page",    "server",  "index",   "network", "and",
            "of",      "files",    "archive", "to",      "a",       "software", "release",
            "notes",   "download", "mirror",  "in",      "is",      "for",     "documentation",
            "with",    "system",   "update",  "new",     "version", "support", "project",
            "list",    "mail",     "help",    "free",    "source",  "home",    "computer",
            "science", "research", "group",   "report",  "paper",   "this",    "that",
            "from",    "more",     "about",   "contact", "library", "tools",   "world"};
        return kWords[Pick(static_cast<int>(std::size(kWords)))];
    }

    std::string Words(int count) {
        std::string text = Word();
        for (int i = 1; i < count; ++i) {
            text += ' ';
            text += Word();
        }
        return text;
    }

    std::string Host() {
        static const char* const kHosts[] = {"www.example.com", "www.example.org",
                                             "ftp.example.net", "mirror.example.edu",
                                             "www.cs.example.ac.uk"};
        return kHosts[Pick(static_cast<int>(std::size(kHosts)))];
    }

    std::string Href() {
        const std::string path = Word() + "/" + Word() + std::to_string(Pick(100));
        // Mostly absolute http links, as the pages of the time had; the rest are the kinds
        // the scanner has to step over or take as ftp.
        const int kind = Pick(20);
        if (kind < 11) {
            return "http://" + Host() + "/" + path + ".html";
        }
        if (kind == 11) {
            return "HTTP://" + Host() + "/" + path + ".HTM";
        }
        if (kind < 14) {
            return "ftp://" + Host() + "/pub/" + path + ".tar.gz";
        }
        if (kind < 18) {
            return "../" + path + ".html";
        }
        // Built by appending: GCC 12 warns falsely (-Wrestrict) on "literal" + temporary.
        std::string href = kind == 18 ? "#" : "mailto:";
        href += Word();
        if (kind != 18) {
            href += "@example.org";
        }
        return href;
    }

    std::string Anchor() {
        const bool upper = Pick(4) == 0;
        return std::string(upper ? "<A HREF=\"" : "<a href=\"") + Href() + "\">" +
               Words(1 + Pick(4)) + (upper ? "</A>" : "</a>");
    }

    void Navigation() {
        Line("<ul>");
        const int items = 3 + Pick(6);
        for (int i = 0; i < items; ++i) {
            Line("<li>" + Anchor());
        }
        Line("</ul>");
    }

    // About one link in forty words; wrapped at 72 columns unless kept on one line.
    void Paragraph(bool oneLine) {
        std::string line = "<p>";
        const int words = oneLine ? 300 + Pick(900) : 40 + Pick(120);
        for (int i = 0; i < words; ++i) {
            std::string piece = Word();
            if (Pick(40) == 0) {
                piece = Anchor();
            } else if (Pick(30) == 0) {
                piece = "<b>" + piece + "</b>";
            }
            if (!oneLine && line.size() + piece.size() + 1 > 72) {
                Line(line);
                line.clear();
            } else if (!line.empty() && line != "<p>") {
                line += ' ';
            }
            line += piece;
        }
        Line(line + "</p>");
    }

    void Line(const std::string& text) {
        m_out += text;
        m_out += m_lineEnd;
    }

    std::string& m_out;
    std::mt19937 m_random{20240607};
    const char* m_lineEnd = "\r\n";
};

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return std::remove(path);
}

// Owns the temporary directory holding the corpus and the work file.
class TempCorpus {
public:
    TempCorpus() {
        const char* temp = std::getenv("TMPDIR");
        std::string pattern = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") +
                              "/linkvet-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        m_folder = pattern;
        g_corpusPath = m_folder + "/corpus.html";
        g_workPath = m_folder + "/work.tmp";
        Generate();
    }
    ~TempCorpus() { ::nftw(m_folder.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS); }
    TempCorpus(const TempCorpus&) = delete;
    TempCorpus& operator=(const TempCorpus&) = delete;

private:
    void Generate() {
        std::FILE* file = std::fopen(g_corpusPath.c_str(), "wb");
        if (file == nullptr) {
            std::perror(g_corpusPath.c_str());
            std::exit(1);
        }
        std::string pages;
        PageWriter writer(pages);
        for (int number = 0; g_corpusSize < kCorpusBytes; ++number) {
            writer.Page(number);
            // Written in pieces so that memory stays small.
            if (pages.size() >= kReadBlock || g_corpusSize + pages.size() >= kCorpusBytes) {
                g_corpusSize += std::fwrite(pages.data(), 1, pages.size(), file);
                pages.clear();
            }
        }
        if (std::fclose(file) != 0) {
            std::perror(g_corpusPath.c_str());
            std::exit(1);
        }
        std::fprintf(stderr, "corpus: %zu bytes in %s\n", g_corpusSize, g_corpusPath.c_str());
    }

    std::string m_folder;
};

// The floor for the scanner: read() in the scanner's block size, the bytes barely touched.
void BM_ReadOnly(benchmark::State& state) {
    std::vector<char> block(kReadBlock);
    for (auto _ : state) {
        const int fd = ::open(g_corpusPath.c_str(), O_RDONLY | O_CLOEXEC);
        std::size_t total = 0;
        for (ssize_t got; (got = ::read(fd, block.data(), block.size())) > 0;) {
            benchmark::DoNotOptimize(block.data());
            benchmark::ClobberMemory();
            total += static_cast<std::size_t>(got);
        }
        ::close(fd);
        if (total != g_corpusSize) {
            state.SkipWithError("the corpus was not read whole");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_corpusSize));
}

// The floor for writing the work file: the corpus read as above and written unchanged to the
// work file, opened and written as ScanLinks does (its segments are nearly as long).
void BM_CopyFile(benchmark::State& state) {
    std::vector<char> block(kReadBlock);
    for (auto _ : state) {
        const int fd = ::open(g_corpusPath.c_str(), O_RDONLY | O_CLOEXEC);
        std::FILE* work = std::fopen(g_workPath.c_str(), "wb");
        if (fd < 0 || work == nullptr) {
            state.SkipWithError("the corpus or the work file does not open");
            break;
        }
        std::size_t total = 0;
        for (ssize_t got; (got = ::read(fd, block.data(), block.size())) > 0;) {
            total += std::fwrite(block.data(), 1, static_cast<std::size_t>(got), work);
        }
        ::close(fd);
        if (std::fclose(work) != 0 || total != g_corpusSize) {
            state.SkipWithError("the corpus was not copied whole");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_corpusSize));
}

void ScanInto(benchmark::State& state, const std::string& workPath, CScanOptions options = {}) {
    std::size_t links = 0;
    for (auto _ : state) {
        StringList urls;
        StringList anchorNames;
        if (ScanLinks(g_corpusPath, workPath, urls, anchorNames, options) != ScanResult::Scanned) {
            state.SkipWithError("ScanLinks failed");
            break;
        }
        links = urls.size();
        benchmark::DoNotOptimize(links);
    }
    state.counters["links"] = static_cast<double>(links);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_corpusSize));
}

void BM_ScanFile(benchmark::State& state) {
    ScanInto(state, g_workPath);
}

// The scanner's own work: the same scan with its segments written to /dev/null.
void BM_ScanToDevNull(benchmark::State& state) {
    ScanInto(state, "/dev/null");
}

// The scan with https:// links sought as well.
void BM_ScanFileHttps(benchmark::State& state) {
    ScanInto(state, g_workPath, CScanOptions{true});
}

BENCHMARK(BM_ReadOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanToDevNull)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanFileHttps)->Unit(benchmark::kMillisecond)->UseRealTime();

// Prints as usual and keeps each benchmark's time per pass (the median when repeated) so that
// main can put the two side by side.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && !median)) {
                continue;
            }
            Timing& timing = m_milliseconds[run.run_name.function_name];
            if (median || !timing.fromMedian) {
                timing = {run.GetAdjustedRealTime(), median};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintSummary() const {
        const auto read = m_milliseconds.find("BM_ReadOnly");
        if (read == m_milliseconds.end()) {
            return;
        }
        const auto print = [&](const char* function, const char* label) {
            const auto found = m_milliseconds.find(function);
            if (found == m_milliseconds.end()) {
                return;
            }
            const double milliseconds = found->second.value;
            std::printf("%-28s %6.0f MB/s  %6.2f x read time\n", label,
                        static_cast<double>(g_corpusSize) / 1e6 / (milliseconds / 1e3),
                        milliseconds / read->second.value);
        };
        print("BM_ReadOnly", "read:");
        print("BM_CopyFile", "read + write work file:");
        print("BM_ScanFile", "scan:");
        print("BM_ScanToDevNull", "scan, segments to /dev/null:");
    }

private:
    struct Timing {
        double value = 0;
        bool fromMedian = false;
    };
    std::map<std::string, Timing> m_milliseconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const TempCorpus corpus;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
