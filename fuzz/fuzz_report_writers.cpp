// Builds result rows from any bytes, writes both reports into memory and checks the text
// report's lines against a grouping of its own and the HTML report for markup that could only
// have come from a cell. The first byte is the delimiter the rest is split at: the first field
// is the user's name, then every four fields make a row (link, reason, anchor name, file).

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzzsupport.h"
#include "results/reportwriter.h"
#include "results/resulttable.h"

namespace {

// Enough rows for several groups; more only slow the fuzzer down.
constexpr std::size_t kMostRows = 16;
// The writer takes the moment of writing as trusted text.
constexpr const char* kDateTime = "Monday, December 07, 2026 12:00:00";

// Every piece of markup the HTML writer emits; the two link tags open a quoted target.
constexpr std::array<std::string_view, 20> kTags = {
    "<HTML>",  "</HTML>", "<HEAD>", "</HEAD>",    "<TITLE>",    "</TITLE>", "<BODY>",
    "</BODY>", "<H3>",    "</H3>",  "<A HREF=\"", "</A>",       "<b>",      "</b>",
    "<hr>",    "<ul>",    "</ul>",  "<li>",       "<a href=\"", "</a>"};
// The character references EscapeHtml writes, and the characters they stand for.
constexpr std::array<std::string_view, 4> kReferences = {"&amp;", "&lt;", "&gt;", "&quot;"};
constexpr std::string_view kReferenced = "&<>\"";

template <typename Write>
std::string WriteToMemory(Write write) {
    char* bytes = nullptr;
    std::size_t size = 0;
    std::FILE* stream = ::open_memstream(&bytes, &size);
    Require(stream != nullptr, "open_memstream gives a stream");
    write(stream);
    Require(std::fclose(stream) == 0, "the report stream closes");
    std::string text(bytes, size);
    std::free(bytes);
    return text;
}

std::vector<std::string> SplitAt(std::string_view text, char delimiter) {
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(delimiter, start);
        fields.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return fields;
        }
        start = end + 1;
    }
}

// The scanner never keeps an LF in a link or anchor name and reasons are fixed texts; a file
// name with one is written as it stands and would break the line count, so none is made.
std::string WithoutLineFeeds(std::string text) {
    std::erase(text, '\n');
    return text;
}

template <std::size_t N>
bool StartsWithAny(std::string_view text, const std::array<std::string_view, N>& marks,
                   std::size_t& length) {
    for (const std::string_view mark : marks) {
        if (text.starts_with(mark)) {
            length = mark.size();
            return true;
        }
    }
    return false;
}

std::string Unescaped(std::string_view html) {
    std::string text;
    for (std::size_t at = 0; at < html.size();) {
        std::size_t i = 0;
        while (i < kReferences.size() && !html.substr(at).starts_with(kReferences[i])) {
            ++i;
        }
        if (i < kReferences.size()) {
            text += kReferenced[i];
            at += kReferences[i].size();
        } else {
            text += html[at++];
        }
    }
    return text;
}

std::size_t Count(std::string_view text, std::string_view mark) {
    std::size_t count = 0;
    for (std::size_t at = text.find(mark); at != std::string_view::npos;
         at = text.find(mark, at + mark.size())) {
        ++count;
    }
    return count;
}

// The rows' own grouping: a run of rows with one file name gets a "FILE: " line, except a
// leading run with no name, and every run after the first is preceded by an empty line.
struct Grouping {
    std::size_t headers = 0;
    std::size_t emptyLines = 0;
};

bool StartsGroup(const CResultTable& rows, int row) {
    const std::string& file = rows.CellText(row, kColumnFile);
    return row == 0 ? !file.empty() : file != rows.CellText(row - 1, kColumnFile);
}

Grouping GroupRows(const CResultTable& rows) {
    Grouping grouping;
    for (int row = 0; row < rows.RowCount(); ++row) {
        if (StartsGroup(rows, row)) {
            ++grouping.headers;
            grouping.emptyLines += row != 0 ? 1 : 0;
        }
    }
    return grouping;
}

void CheckText(const std::string& text, const CResultTable& rows, const Grouping& grouping) {
    if (rows.RowCount() == 0) {
        Require(text.empty(), "no rows give an empty text report");
        return;
    }
    Require(text.back() == '\n', "the text report ends with a line end");
    std::vector<std::string> lines = SplitAt(text, '\n');
    lines.pop_back();
    Require(lines.size() ==
                static_cast<std::size_t>(rows.RowCount()) + grouping.headers + grouping.emptyLines,
            "the text report has a line per row and per file heading, and the empty lines");

    std::size_t line = 0;
    for (int row = 0; row < rows.RowCount(); ++row) {
        if (StartsGroup(rows, row)) {
            if (row != 0) {
                Require(lines[line++].empty(), "an empty line comes before a file's rows");
            }
            Require(lines[line++] == "FILE: " + rows.CellText(row, kColumnFile),
                    "a file heading names the rows' file");
        }
        Require(lines[line++] == rows.CellText(row, kColumnUrl) + "\t" +
                                     rows.CellText(row, kColumnReason) + "\t" +
                                     rows.CellText(row, kColumnSiteName),
                "a row's line is its link, reason and anchor name, TAB-separated");
    }
}

// Every '<' starts markup the writer emits, every '&' a character reference, and a '"' or
// '>' appears only to close a link target: any other one came raw from a cell.
void CheckHtml(std::string_view html, const CResultTable& rows, const Grouping& grouping) {
    bool inTarget = false;
    for (std::size_t at = 0; at < html.size();) {
        const std::string_view rest = html.substr(at);
        std::size_t length = 1;
        switch (rest[0]) {
            case '<':
                Require(!inTarget, "a link target holds no '<'");
                Require(StartsWithAny(rest, kTags, length), "every '<' starts the writer's markup");
                inTarget = rest.substr(0, length).ends_with('"');
                break;
            case '&':
                Require(StartsWithAny(rest, kReferences, length),
                        "every '&' starts a character reference");
                break;
            case '"':
                Require(inTarget && rest.starts_with("\">"), "a '\"' only closes a link target");
                inTarget = false;
                length = 2;
                break;
            case '>':
                Require(false, "every '>' belongs to the writer's markup");
                break;
            default:
                break;
        }
        at += length;
    }
    Require(!inTarget, "every link target is closed");
    Require(Count(html, "<li>") == static_cast<std::size_t>(rows.RowCount()),
            "the HTML report has an item per row");
    Require(Count(html, "<b>FILE: ") == grouping.headers,
            "the HTML report has a file heading per group");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::vector<std::string> fields =
        SplitAt(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1),
                static_cast<char>(data[0]));
    const std::string& userName = fields[0];
    CResultTable rows;
    for (std::size_t first = 1; first + 4 <= fields.size() && first / 4 < kMostRows; first += 4) {
        const std::string file = WithoutLineFeeds(fields[first + 3]);
        rows.AddResult(WithoutLineFeeds(fields[first]), 0, file);
        rows.AddResult(WithoutLineFeeds(fields[first + 1]), 1, file);
        rows.AddResult(WithoutLineFeeds(fields[first + 2]), 2, file);
    }
    for (const std::string& field : fields) {
        const std::string escaped = EscapeHtml(field);
        Require(escaped.find_first_of("<>\"") == std::string::npos,
                "escaped text holds no '<', '>' or '\"'");
        Require(Unescaped(escaped) == field, "escaping loses nothing");
    }

    const Grouping grouping = GroupRows(rows);
    CheckText(WriteToMemory([&](std::FILE* out) { ExportAsText(out, rows); }), rows, grouping);
    CheckHtml(WriteToMemory([&](std::FILE* out) { ExportAsHtml(out, rows, userName, kDateTime); }),
              rows, grouping);
    return 0;
}
