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
    // Overrides of the window's run options, for this run only; off leaves the stored setting
    // in force. --https and --scan also choose what the listings list.
    bool https = false;
    int jobs = 1;
    int perHost = 6;
    bool htmlScan = false;
    // Redirects are followed to their ends (a stored choice does not count here).
    bool followRedirects = false;
    // The repair prints what it would change, as a unified diff, and changes nothing.
    bool dryRun = false;
    // The folder the HTML scanner looks for links that start with "/" under; unset leaves the
    // stored setting in force.
    std::optional<std::string> siteRoot;
    // Regular expressions (ECMAScript-like, see CLinkExcludes); a link in which one is found is
    // neither probed nor reported.
    std::vector<std::string> excludes;
};

// Parses the command line (without the program name), its arguments as bytes. nullopt on a
// usage error, with the reason in error.
std::optional<CCheckOptions> ParseCheckOptions(const std::vector<std::string>& arguments,
                                               std::string& error);

std::string UsageText();

// A field of the tab-separated listings: backslash, TAB, LF and CR written as \\, \t, \n, \r,
// so that every record stays one line whatever the bytes of a path or a link.
std::string EscapeField(const std::string& field);
