#include "repairwalk.h"

#include <cstdlib>

#include "model/fileselect.h"
#include "platform/fileops.h"
#include "platform/messagebox.h"
#include "repair/pagebackup.h"
#include "repair/repairtext.h"
#include "settings/regsettings.h"

CRepairWalk::CRepairWalk(CEditableRows& rows, CRegSettings& settings, CRepairHost& host)
    : m_rows(rows), m_settings(settings), m_host(host) {}

bool CRepairWalk::RepairLinks() {
    m_repairIn.reset();
    m_repairOut.reset();
    m_placeEdits.reset();
    int method = m_settings.GetInt("Repair", "Type", kRepairDisable);
    int saveBadUrls = m_settings.GetInt("Repair", "Save", 1);
    if (!m_host.ShowRepairOptions(method, saveBadUrls)) {
        return true;
    }
    m_settings.SetInt("Repair", "Type", method);
    m_settings.SetInt("Repair", "Save", saveBadUrls);
    const std::optional<CStop> stop = WalkRows(method);
    ReportOutcome(stop);
    if (saveBadUrls != 0) {
        m_host.ExportResults();
    }
    return !stop;
}

std::optional<CRepairWalk::CStop> CRepairWalk::WalkRows(int method) {
    CGroup group;
    for (int row = 0; row < m_rows.RowCount(); ++row) {
        const std::string& file = m_rows.CellText(row, kColumnFile);
        if (group.firstRow < 0 || file != group.file) {
            if (!FinishGroup(group)) {
                return FileStop(group);
            }
            group = CGroup{row, file, {}};
            if (!HasMark(m_rows.Tag(row), kFileDoneMark) && !OpenGroup(group.file, row)) {
                return FileStop(group);
            }
        }
        if (HasMark(m_rows.Tag(row), kRepairedMark)) {
            continue;
        }
        const std::string url = m_rows.WrittenLink(row);
        if (!RepairLink(url, group.file, method, m_rows.LinkPlace(row))) {
            // The links found so far are kept; the next walk reopens the file for the rest.
            PutInPlace(group);
            return CStop{row, group.file, url};
        }
        group.rewrittenRows.push_back(row);
    }
    if (!FinishGroup(group)) {
        return FileStop(group);
    }
    return std::nullopt;
}

// Finishes the group's file when it is open, and marks it done.
bool CRepairWalk::FinishGroup(const CGroup& group) {
    if (group.firstRow < 0 || HasMark(m_rows.Tag(group.firstRow), kFileDoneMark)) {
        return true;
    }
    if (!PutInPlace(group)) {
        return false;
    }
    SetMark(group.firstRow, kFileDoneMark);
    return true;
}

// Rows count as repaired only once their file is in place: a file that could not be replaced
// still holds their links, and the next walk must rewrite them again.
bool CRepairWalk::PutInPlace(const CGroup& group) {
    if (!FinishRepairFile()) {
        return false;
    }
    for (const int row : group.rewrittenRows) {
        SetMark(row, kRepairedMark);
    }
    return true;
}

// A file that cannot be opened or put in place is shown with the link of its first row, and
// that row is the one the user may drop.
CRepairWalk::CStop CRepairWalk::FileStop(const CGroup& group) const {
    return CStop{group.firstRow, group.file, m_rows.WrittenLink(group.firstRow)};
}

void CRepairWalk::ReportOutcome(const std::optional<CStop>& stop) {
    if (!stop) {
        platform::MessageBox("All URL repairs completed",
                             platform::kMbOk | platform::kMbIconInformation);
        return;
    }
    if (m_host.ShowRepairFailure(stop->file, stop->url)) {
        m_rows.DeleteRow(stop->row);
    }
}

// A folder is listed once a walk: its pages are many, and what the walk adds to it (backups and
// work files) never changes a backup's name.
const std::optional<std::vector<std::string>>& CRepairWalk::FolderFilesOf(const std::string& path) {
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    auto found = m_folderFiles.find(folder);
    if (found == m_folderFiles.end()) {
        found = m_folderFiles.emplace(folder, FolderFileNames(path)).first;
    }
    return found->second;
}

bool CRepairWalk::OpenForRepair(const std::string& path) {
    // A page that is a symbolic link is repaired in its target, which is what holds the
    // links: replacing the link by a file would leave the target as it was.
    char* const resolved = ::realpath(path.c_str(), nullptr);
    m_pagePath = resolved != nullptr ? resolved : "";
    std::free(resolved);
    // Backups and work files are the walk's own; rewriting one would spoil what it is for.
    if (m_pagePath.empty() || IsRepairFileName(RepairFileName(m_pagePath))) {
        return false;
    }
    // Only a regular file opens, at once whatever stands in its place; and only one the user
    // may change: a read-only page is meant to stay as it is, even for root.
    m_repairIn = platform::OpenFile(m_pagePath, "rb");
    if (!m_repairIn || !platform::IsWritableFile(m_pagePath) ||
        !EnsureBackup(m_pagePath, FolderFilesOf(m_pagePath))) {
        m_repairIn.reset();
        return false;
    }
    // The work file's name is new and the walk's alone: two walks at once, or two pages of one
    // stem, never write into or rename each other's work.
    m_repairOut = platform::CreateUniqueFileLike(RepairStem(m_pagePath) + ".", kWorkFileSuffix,
                                                 m_repairIn.get(), m_workPath);
    if (!m_repairOut) {
        m_repairIn.reset();
        return false;
    }
    return true;
}

// The HTML scanner's rows say where their links stand: their file is read whole and each of
// them is edited at its place, once all of them are known.
bool CRepairWalk::OpenGroup(const std::string& path, int firstRow) {
    if (!OpenForRepair(path)) {
        return false;
    }
    if (m_rows.LinkPlace(firstRow).Known()) {
        std::string page;
        char buffer[1 << 16];
        for (std::size_t got;
             (got = std::fread(buffer, 1, sizeof buffer, m_repairIn.get())) != 0;) {
            page.append(buffer, got);
        }
        m_placeEdits.emplace(std::move(page), RepairFileName(path));
    }
    return true;
}

bool CRepairWalk::RepairLink(const std::string& url, const std::string& path, int method,
                             const CLinkPlace& place) {
    if (!m_repairIn) {
        return false;
    }
    if (m_placeEdits && place.Known()) {
        if (m_placeEdits->Take(place, method)) {
            return true;
        }
    } else if (FindAndRewrite(url, path, method)) {
        return true;
    }
    platform::MessageBox("We looked in file\n" + path + "\nbut could not find the URL\n" + url,
                         platform::kMbOk);
    return false;
}

// Copies the pieces up to the next whole occurrence of url and writes that one rewritten.
bool CRepairWalk::FindAndRewrite(const std::string& url, const std::string& path, int method) {
    std::string piece;
    while (ReadPiece(m_repairIn.get(), piece)) {
        const std::size_t at = FindWholeLink(piece, url, m_repairIn.get());
        if (at != std::string::npos) {
            const std::string addedLineEnd =
                piece.ends_with('\n') ? "\n" : LineEndAhead(m_repairIn.get());
            WritePiece(RewritePiece(piece, at, url, RepairFileName(path), method, addedLineEnd));
            return true;
        }
        WritePiece(piece);
    }
    return false;
}

bool CRepairWalk::FinishRepairFile() {
    if (!m_repairIn) {
        return false;
    }
    if (m_placeEdits) {
        WritePiece(m_placeEdits->Apply());
        m_placeEdits.reset();
    }
    std::string piece;
    while (ReadPiece(m_repairIn.get(), piece)) {
        WritePiece(piece);
    }
    // A work file cut short by a read or write error must never take the file's place.
    const bool complete =
        !std::ferror(m_repairIn.get()) && platform::FlushToDisk(m_repairOut.get());
    m_repairIn.reset();
    const bool closed = std::fclose(m_repairOut.release()) == 0;
    if (!(complete && closed && platform::ReplaceFile(m_workPath, m_pagePath))) {
        // The work file is the walk's own, and useless now: the page keeps its old text.
        platform::DeleteFile(m_workPath);
        return false;
    }
    return true;
}

// A failed write stays on the stream's error flag, which FinishRepairFile checks.
void CRepairWalk::WritePiece(const std::string& piece) {
    std::fwrite(piece.data(), 1, piece.size(), m_repairOut.get());
}

void CRepairWalk::SetMark(int row, CTagMark mark) {
    m_rows.SetTag(row, (m_rows.Tag(row) & ~mark.half) | mark.set);
}
