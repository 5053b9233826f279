#include "reportwriter.h"

#include <pwd.h>
#include <unistd.h>

#include <ctime>

#include "platform/clock.h"
#include "platform/messagebox.h"

namespace {

void Write(std::FILE* file, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), file);
}

// Walks the rows in order, calling openGroup(i, fileName) first for every row whose file name
// differs from the row before (a row with an empty file name at the start opens none), then
// writeRow(i). The rows are read afresh at every step.
template <typename OpenGroup, typename WriteRow>
void ForEachRowByFile(const CResultRows& rows, OpenGroup openGroup, WriteRow writeRow) {
    std::string currentFile;
    for (int i = 0; i < rows.RowCount(); ++i) {
        const std::string& fileName = rows.CellText(i, kColumnFile);
        if (fileName != currentFile) {
            currentFile = fileName;
            openGroup(i, currentFile);
        }
        writeRow(i);
    }
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string ReportUserName() {
    if (const passwd* account = ::getpwuid(::getuid())) {
        return account->pw_name;
    }
    return "";
}

void ExportAsText(std::FILE* file, const CResultRows& rows) {
    if (file == nullptr) {
        platform::MessageBox("File Error", platform::kMbOk);
        return;
    }
    ForEachRowByFile(
        rows,
        [&](int i, const std::string& fileName) {
            Write(file, std::string(i != 0 ? "\n" : "") + "FILE: " + fileName + "\n");
        },
        [&](int i) {
            Write(file, rows.CellText(i, kColumnUrl) + "\t" + rows.CellText(i, kColumnReason) +
                            "\t" + rows.CellText(i, kColumnSiteName) + "\n");
        });
}

void ExportAsHtml(std::FILE* file, const CResultRows& rows, const std::string& userName,
                  const std::string& dateTime) {
    const std::string heading = std::string("<HTML>\n<HEAD>\n<TITLE>") + "Linkvet Results" +
                                "</TITLE>\n</HEAD>\n<BODY>\n<H3>" + "<A HREF=\"" + kHomePageUrl +
                                "\">Linkvet" + "</A> results for " + EscapeHtml(userName) +
                                "</H3>\n<b>Start of report: </b>" + dateTime;
    Write(file, heading + "\n");
    ForEachRowByFile(
        rows,
        [&](int i, const std::string& fileName) {
            Write(file, std::string(i != 0 ? "\n</ul>\n" : "") + "\n<hr>\n<b>FILE: " +
                            EscapeHtml(fileName) + "</b>\n<ul>");
        },
        [&](int i) {
            Write(file, "\n<li><a href=\"" + EscapeHtml(rows.CellText(i, kColumnUrl)) + "\">" +
                            EscapeHtml(rows.CellText(i, kColumnSiteName)) + "</a> " +
                            EscapeHtml(rows.CellText(i, kColumnReason)));
        });
    Write(file, std::string("\n</ul>\n<hr>\n") + "\n</BODY>\n</HTML>" + "\n");
}

bool WriteReport(std::FILE* file, CReportFormat format, const CResultRows& rows) {
    if (format == CReportFormat::Html) {
        ExportAsHtml(file, rows, ReportUserName(), platform::LongDateTime(std::time(nullptr)));
    } else {
        ExportAsText(file, rows);
    }
    return std::fflush(file) == 0 && std::ferror(file) == 0;
}
