#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/fileselect.h"
#include "results/reportwriter.h"

// What linkvet-check was asked to do.
enum class CCheckMode { RunTest, ListFiles, ListLinks, ShowHelp, ShowVersion };

struct CCheckOptions {
    CCheckMode mode = CCheckMode::RunTest;
    CFileChoice choice;
    // Overrides of the stored preferences, for this run only.
    std::optional<int> timeoutSeconds;
    std::optional<std::string> filter;
    CReportFormat format = CReportFormat::Text;
    // Empty: standard output.
    std::string outputPath;
    bool quiet = false;
    // After the run, rewrite the files around the reported links with this repair method.
    std::optional<int> repairMethod;
    // --scan html: the HTML scanner instead of the classic one.
    bool htmlScan = false;
};

// Parses the command line (without the program name). nullopt on a usage error, with the
// reason in error.
std::optional<CCheckOptions> ParseCheckOptions(const std::vector<std::string>& arguments,
                                               std::string& error);

std::string UsageText();

// A field of the tab-separated listings: backslash, TAB, LF and CR written as \\, \t, \n, \r,
// so that every record stays one line whatever the bytes of a path or a link.
std::string EscapeField(const std::string& field);
