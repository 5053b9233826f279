// HTML scanning of a tree of pages against classic scanning and against merely reading the
// same bytes. Reads the paths from standard input, one per line; every mode reads each file
// from the page cache (run it once before measuring). Prints the MB/s (10^6 bytes) of the
// mode by the wall clock and by the processor time of all its threads (what the mode costs
// whatever else the machine runs), and, for the HTML modes, the links found by kind.
//
// usage: html_scan_bench read|classic|html1|html|site < FILES
//   read     read() of each file whole
//   classic  the classic scanner, its work file in $TMPDIR (default /tmp)
//   html1    the HTML scanner on this thread alone
//   html     the HTML scanner ahead on every core, as a listing (--links) uses it
//   site     as html, and the local links checked with a fragment cache, as a run does

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "model/htmlscanner.h"
#include "model/linkscanner.h"
#include "model/localcheck.h"
#include "model/scanahead.h"

namespace {

struct CCounts {
    long long http = 0;
    long long https = 0;
    long long ftp = 0;
    long long local = 0;
    long long skipped = 0;

    void Add(const CHtmlPage& page) {
        skipped += page.skipped.otherSchemes + page.skipped.https;
        for (const CHtmlLink& link : page.links) {
            if (link.kind == CLinkKind::Local) {
                ++local;
                continue;
            }
            std::string scheme = link.url.substr(0, link.url.find(':'));
            for (char& c : scheme) {
                c = static_cast<char>(c | 0x20);
            }
            ++(scheme == "https" ? https : scheme == "ftp" ? ftp : http);
        }
    }
};

std::vector<std::string> ReadPaths() {
    std::vector<std::string> paths;
    for (std::string line; std::getline(std::cin, line);) {
        if (!line.empty()) {
            paths.push_back(line);
        }
    }
    return paths;
}

long long TotalBytes(const std::vector<std::string>& paths) {
    long long total = 0;
    std::string text;
    for (const std::string& path : paths) {
        if (ReadPageFile(path, text)) {
            total += static_cast<long long>(text.size());
        }
    }
    return total;
}

// Returns false on an unknown mode.
bool RunMode(const std::string& mode, const std::vector<std::string>& paths, CCounts& counts) {
    // https on: the count is compared with every href an HTML parser sees.
    const CHtmlScanOptions options{.https = true, .siteRoot = "/"};
    if (mode == "read") {
        TotalBytes(paths);
    } else if (mode == "classic") {
        const char* const tmp = std::getenv("TMPDIR");
        const std::string work =
            std::string(tmp != nullptr ? tmp : "/tmp") + "/html_scan_bench.work";
        for (const std::string& path : paths) {
            StringList urls;
            StringList names;
            ScanLinks(path, work, urls, names);
            counts.http += static_cast<long long>(urls.size());
        }
        std::remove(work.c_str());
    } else if (mode == "html1") {
        for (const std::string& path : paths) {
            if (const auto page = ScanHtmlFile(path, options)) {
                counts.Add(*page);
            }
        }
    } else if (mode == "html" || mode == "site") {
        CFragmentCache cache(options, paths);
        CHtmlScanAhead ahead(paths, options, mode == "site" ? &cache : nullptr);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (const auto page = ahead.TakeNext()) {
                counts.Add(*page);
            }
        }
    } else {
        return false;
    }
    return true;
}

double ProcessorSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("usage: html_scan_bench read|classic|html1|html|site < FILES\n", stderr);
        return 2;
    }
    const std::vector<std::string> paths = ReadPaths();
    const long long bytes = TotalBytes(paths);
    CCounts counts;
    const double processorStart = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (!RunMode(argv[1], paths, counts)) {
        std::fprintf(stderr, "unknown mode %s\n", argv[1]);
        return 2;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double processor = ProcessorSeconds() - processorStart;
    const double megabytes = static_cast<double>(bytes) / 1e6;
    std::printf("%-8s %zu files %.1f MB in %.3f s: %.1f MB/s; processor %.3f s: %.1f MB/s\n",
                argv[1], paths.size(), megabytes, seconds, megabytes / seconds, processor,
                megabytes / processor);
    std::printf("links: http %lld https %lld ftp %lld local %lld skipped %lld\n", counts.http,
                counts.https, counts.ftp, counts.local, counts.skipped);
    return 0;
}
