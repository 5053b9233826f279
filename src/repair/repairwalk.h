#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/textfile.h"
#include "repair/placeedits.h"
#include "repair/repairhost.h"
#include "repair/repairpreview.h"
#include "repair/repairtext.h"
#include "results/resulttable.h"

class CRegSettings;

// The Repair command's question when the run met a code without a reason text; the console,
// which cannot ask, says it and repairs nothing.
inline constexpr const char* kUnknownErrorQuestion =
    "The testing found at least one URL\nwith an UNKNOWN ERROR!\n(See the window text.)\n\n"
    "Are you sure you want to repair now?";

// A mark in a row's tag: its half of the tag, and the value that sets it.
struct CTagMark {
    std::uint32_t half;
    std::uint32_t set;
};
// The row's link has been rewritten in its file, and that file is in place.
inline constexpr CTagMark kRepairedMark{0x0000FFFFu, 0x00000001u};
// The file has been finished; it counts on the first row of the file's rows only.
inline constexpr CTagMark kFileDoneMark{0xFFFF0000u, 0x00010000u};

// Whether the mark is set: any value in its half counts.
inline constexpr bool HasMark(std::uint32_t tag, CTagMark mark) {
    return (tag & mark.half) != 0;
}

// Rewrites the files of the result rows around their links, one file at a time through a
// work file, and marks in the rows what is done, so that a later walk carries on where this
// one stopped. A file is backed up before it is first rewritten and is replaced in one atomic
// step, so every file always holds either its old or its new text.
class CRepairWalk {
public:
    CRepairWalk(CEditableRows& rows, CRegSettings& settings, CRepairHost& host);
    CRepairWalk(const CRepairWalk&) = delete;
    CRepairWalk& operator=(const CRepairWalk&) = delete;

    // The Repair command's walk: the options, the host's review of what would change, every
    // row not repaired yet, the outcome, then the export when asked for. False when the walk
    // stopped at a failure.
    bool RepairLinks();
    // The same walk with the method the host gives, into preview: nothing is written, no row is
    // marked, no backup is made. False when the walk would stop at a failure (told as usual).
    bool PreviewLinks(CRepairPreview& preview);

    // Opens the file, when it is a regular file the user may change, backs it up, and opens a
    // fresh work file beside it; false leaves the file untouched.
    bool OpenForRepair(const std::string& path);
    // Copies the lines before url's next occurrence to the work file and writes that line
    // rewritten; false, after saying so, when url does not occur again.
    // A link of the HTML scanner is rewritten at its place instead, once the file is finished.
    // Update writes newAddress in the link's place.
    bool RepairLink(const std::string& url, const std::string& path, int method,
                    const CLinkPlace& place = {}, const std::string& newAddress = {});
    // Copies the rest and puts the work file in the open file's place; false leaves the file
    // as it was.
    bool FinishRepairFile();

private:
    // Where a walk stopped: the row the failure dialog may drop, and what it shows.
    struct CStop {
        int row;
        std::string file;
        std::string url;
    };
    // The rows of one file, and those rewritten in its work file since it was opened; a file
    // none of whose rows is to be rewritten is not opened at all.
    struct CGroup {
        int firstRow = -1;
        std::string file;
        bool open = false;
        std::vector<int> rewrittenRows;
        std::vector<int> leftRows;
    };
    // A row the walk leaves as it is, and why.
    struct CSkip {
        int row;
        std::string reason;
    };

    std::optional<CStop> WalkRows(int method);
    std::optional<std::string> SkipReason(int row, int method) const;
    bool GroupHasWork(int firstRow, int method) const;
    void KeepPreview(bool complete);
    bool OpenGroup(const std::string& path, int firstRow);
    bool FindAndRewrite(const std::string& url, const std::string& path, int method,
                        const std::string& newAddress);
    bool FinishGroup(const CGroup& group);
    bool PutInPlace(const CGroup& group);
    CStop FileStop(const CGroup& group) const;
    void ReportOutcome(const std::optional<CStop>& stop);
    void WritePiece(const std::string& piece);

    const std::optional<std::vector<std::string>>& FolderFilesOf(const std::string& path);
    void SetMark(int row, CTagMark mark);

    CEditableRows& m_rows;
    CRegSettings& m_settings;
    CRepairHost& m_host;
    // The source being repaired and its work file; both open or both null.
    platform::CFilePtr m_repairIn;
    platform::CFilePtr m_repairOut;
    // The page the open file is (a symbolic link's target), and its work file.
    std::string m_pagePath;
    std::string m_workPath;
    // The edits at their places, for a file whose rows came from the HTML scanner.
    std::optional<CPlaceEdits> m_placeEdits;
    // While previewing: where the walk's changes go instead of the pages, the work "file" in
    // memory, and the last page finished.
    CRepairPreview* m_preview = nullptr;
    char* m_previewBuffer = nullptr;
    std::size_t m_previewSize = 0;
    CRepairPreview::CPageChange m_previewPage;
    // Rows the review left out, and the rows this walk left as they were.
    std::vector<int> m_leftOut;
    std::vector<CSkip> m_skipped;
    // The file names of each folder the walk has opened a page in, by folder.
    std::map<std::string, std::optional<std::vector<std::string>>> m_folderFiles;
};
