#pragma once

#include <cstdio>
#include <string>

#include "results/resulttable.h"

// The home page the HTML report links to.
inline constexpr const char* kHomePageUrl = "https://linkvet.example/";

// The plain report: per group of adjacent rows with one file name, a "FILE: " line, then one
// line per row (URL, TAB, reason, TAB, anchor name), with an empty line between groups. Cell
// texts are written as they stand. A null file is refused with a "File Error" box.
void ExportAsText(std::FILE* file, const CResultRows& rows);

// The HTML report: a heading with the home page link, the user's name and the moment of
// writing, then one bulleted list per group. Every cell text (and the link target) is
// escaped, since the texts come from untrusted pages and would otherwise run as markup in the
// reader's browser.
void ExportAsHtml(std::FILE* file, const CResultRows& rows, const std::string& userName,
                  const std::string& dateTime);

enum class CReportFormat { Text = 0, Html = 1, Json = 2, Junit = 3 };

// Writes the text or HTML report of the rows, dated now, and says whether every byte reached
// the stream: a report cut short by a full disk is a failure, not a success.
bool WriteReport(std::FILE* file, CReportFormat format, const CResultRows& rows);

// "&", "<", ">" and the double quote as character references.
std::string EscapeHtml(const std::string& text);

// The name of the user a report is made for: the account's login name.
std::string ReportUserName();
