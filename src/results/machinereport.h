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
    // The time since the verdict before it, or since the file was read.
    double seconds = 0;
};

// A file the run took up, with the verdicts of its links in order; or the file it stopped at
// because it could not be read.
struct CReadFile {
    std::string path;
    std::vector<CTestedLink> links;
    std::time_t started = 0;
    double seconds = 0;
    // Its links the excludes left untested.
    int excluded = 0;
    bool unreadable = false;
};

// What the reports machines read say about a run beyond its rows.
struct CRunRecord {
    std::time_t started = 0;
    std::time_t ended = 0;
    std::vector<CReadFile> files;
    // Every link the scanner found, excluded ones included.
    int linksFound = 0;
    int linksExcluded = 0;
    // False when the run was stopped by the user or at a file it could not read.
    bool finished = true;

    int FilesRead() const;
    int LinksTested() const;
};

// The JSON report: {"run": {...}, "rows": [{"link", "code", "reason", "anchor", "file"}]}. A
// text that is not valid UTF-8 is written with U+FFFD for its bad bytes, and its exact bytes
// follow in base64 in a field named after it with "_base64" added ("link_base64").
std::string JsonReport(const CResultRows& rows, const CRunRecord& run);

// The JUnit report, valid under the common junit-10.xsd: a first testsuite "linkvet-check"
// whose properties say when the run started and ended and whether it finished, then one
// testsuite per file (its excluded links counted as skipped), one testcase per link tested,
// a failure with the reason for each reported one, and an error for a file that could not be
// read. A link that stands in a page more than once gets " (2)", " (3)" ... after its name.
// Texts are written as EscapeForXml gives them.
std::string JunitReport(const CRunRecord& run);

// Writes the JSON or JUnit report and says whether every byte reached the stream.
bool WriteMachineReport(std::FILE* file, CReportFormat format, const CResultRows& rows,
                        const CRunRecord& run);

// A moment as ISO 8601 in UTC, "2026-03-14T12:41:29Z".
std::string IsoTime(std::time_t moment);
