#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "results/reportwriter.h"
#include "results/resulttable.h"

// One verdict of a run, reported or not.
struct CTestedLink {
    std::string link;
    std::string anchorName;
    std::uint32_t code = 0;
    bool reported = false;
    // The reason text of a reported verdict.
    std::string reason;
};

// A file the run read, with the verdicts of its links in order.
struct CReadFile {
    std::string path;
    std::vector<CTestedLink> links;
};

// What the reports machines read say about a run beyond its rows.
struct CRunRecord {
    std::time_t started = 0;
    std::time_t ended = 0;
    std::vector<CReadFile> files;
    // Every link the scanner found, excluded ones included.
    int linksFound = 0;
    int linksExcluded = 0;

    int LinksTested() const;
};

// The JSON report: {"run": {...}, "rows": [{"link", "code", "reason", "anchor", "file"}]}. A
// text that is not valid UTF-8 is written with U+FFFD for its bad bytes, and its exact bytes
// follow in base64 in a field named after it with "_base64" added ("link_base64").
std::string JsonReport(const CResultRows& rows, const CRunRecord& run);

// The JUnit report: one testsuite per file read, one testcase per link tested, a failure with
// the reason for each reported one. Control bytes and bytes that are not UTF-8 are written as
// \xHH, since XML cannot hold them.
std::string JunitReport(const CRunRecord& run);

// Writes the JSON or JUnit report and says whether every byte reached the stream.
bool WriteMachineReport(std::FILE* file, CReportFormat format, const CResultRows& rows,
                        const CRunRecord& run);

// A moment as ISO 8601 in UTC, "2026-03-14T12:41:29Z".
std::string IsoTime(std::time_t moment);
