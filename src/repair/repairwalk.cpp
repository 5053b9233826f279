#include "repairwalk.h"

#include <algorithm>
#include <cstdlib>

#include "model/fileselect.h"
#include "platform/fileops.h"
#include "platform/messagebox.h"
#include "probe/movesafety.h"
#include "repair/pagebackup.h"
#include "repair/repairtext.h"
#include "settings/regsettings.h"

namespace {

std::string ReadRest(std::FILE* file) {
    std::string text;
    char buffer[1 << 16];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) != 0;) {
        text.append(buffer, got);
    }
    return text;
}

}  // namespace

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
    m_leftOut.clear();
    if (m_host.ReviewsChanges()) {
        // The review shows what the walk would do up to where it would stop; the walk then
        // stops there too, and says so as ever.
        CRepairPreview preview;
        m_preview = &preview;
        WalkRows(method);
        m_preview = nullptr;
        if (!m_host.ReviewChanges(m_rows, preview, m_leftOut)) {
            return true;
        }
    }
    const std::optional<CStop> stop = WalkRows(method);
    ReportOutcome(stop);
    if (saveBadUrls != 0) {
        m_host.ExportResults();
    }
    return !stop;
}

bool CRepairWalk::PreviewLinks(CRepairPreview& preview) {
    int method = m_settings.GetInt("Repair", "Type", kRepairDisable);
    int saveBadUrls = 0;
    if (!m_host.ShowRepairOptions(method, saveBadUrls)) {
        return true;
    }
    m_preview = &preview;
    const std::optional<CStop> stop = WalkRows(method);
    m_preview = nullptr;
    if (stop) {
        m_host.ShowRepairFailure(stop->file, stop->url);
    }
    return !stop;
}

std::optional<CRepairWalk::CStop> CRepairWalk::WalkRows(int method) {
    m_skipped.clear();
    CGroup group;
    for (int row = 0; row < m_rows.RowCount(); ++row) {
        const std::string& file = m_rows.CellText(row, kColumnFile);
        if (group.firstRow < 0 || file != group.file) {
            if (!FinishGroup(group)) {
                return FileStop(group);
            }
            group = CGroup{row, file, false, {}, {}};
            if (!HasMark(m_rows.Tag(row), kFileDoneMark) && GroupHasWork(row, method)) {
                if (!OpenGroup(group.file, row)) {
                    return FileStop(group);
                }
                group.open = true;
            }
        }
        if (HasMark(m_rows.Tag(row), kRepairedMark)) {
            continue;
        }
        if (std::optional<std::string> reason = SkipReason(row, method)) {
            m_skipped.push_back({row, std::move(*reason)});
            group.leftRows.push_back(row);
            continue;
        }
        const std::string url = m_rows.WrittenLink(row);
        if (!RepairLink(url, group.file, method, m_rows.LinkPlace(row), m_rows.MovedTo(row))) {
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

// Why a row is left as it is: the review left it out, or it is not a link that Update may
// rewrite (one that moved for good, to an address safe to write into pages).
std::optional<std::string> CRepairWalk::SkipReason(int row, int method) const {
    if (std::find(m_leftOut.begin(), m_leftOut.end(), row) != m_leftOut.end()) {
        return "left out at review";
    }
    if (method != kRepairUpdate) {
        return std::nullopt;
    }
    if (m_rows.MovedTo(row).empty()) {
        return "it did not move for good";
    }
    return UnsafeMoveReason(m_rows.CellText(row, kColumnUrl), m_rows.MovedTo(row));
}

// Whether any row of the file that starts at firstRow is to be rewritten: a file with none is
// neither backed up nor rewritten.
bool CRepairWalk::GroupHasWork(int firstRow, int method) const {
    const std::string& file = m_rows.CellText(firstRow, kColumnFile);
    for (int row = firstRow; row < m_rows.RowCount() && m_rows.CellText(row, kColumnFile) == file;
         ++row) {
        if (!HasMark(m_rows.Tag(row), kRepairedMark) && !SkipReason(row, method)) {
            return true;
        }
    }
    return false;
}

// Finishes the group's file when it is open, and marks it done, unless rows of it were left
// as they were: a later walk, with another method, must open the file again for them.
bool CRepairWalk::FinishGroup(const CGroup& group) {
    if (group.firstRow < 0 || HasMark(m_rows.Tag(group.firstRow), kFileDoneMark)) {
        return true;
    }
    if (group.open && !PutInPlace(group)) {
        return false;
    }
    if (group.leftRows.empty()) {
        SetMark(group.firstRow, kFileDoneMark);
    }
    return true;
}

// Rows count as repaired only once their file is in place: a file that could not be replaced
// still holds their links, and the next walk must rewrite them again.
bool CRepairWalk::PutInPlace(const CGroup& group) {
    // The links left in the file move with the edits before them, so that a later walk still
    // finds each at its place.
    std::vector<std::pair<int, CLinkPlace>> moved;
    for (const int row : group.leftRows) {
        if (m_placeEdits && m_rows.LinkPlace(row).Known()) {
            moved.emplace_back(row, m_placeEdits->Shifted(m_rows.LinkPlace(row)));
        }
    }
    if (!FinishRepairFile()) {
        return false;
    }
    if (m_preview) {
        m_previewPage.rows = group.rewrittenRows;
        m_preview->Add(std::move(m_previewPage));
        m_previewPage = {};
        return true;
    }
    for (const int row : group.rewrittenRows) {
        SetMark(row, kRepairedMark);
    }
    for (const auto& [row, place] : moved) {
        m_rows.SetLinkPlace(row, place);
    }
    return true;
}

// A file that cannot be opened or put in place is shown with the link of its first row, and
// that row is the one the user may drop.
CRepairWalk::CStop CRepairWalk::FileStop(const CGroup& group) const {
    return CStop{group.firstRow, group.file, m_rows.WrittenLink(group.firstRow)};
}

void CRepairWalk::ReportOutcome(const std::optional<CStop>& stop) {
    if (!stop && m_skipped.empty()) {
        platform::MessageBox("All URL repairs completed",
                             platform::kMbOk | platform::kMbIconInformation);
        return;
    }
    if (!stop) {
        // Rows left as they were stay in the grid; the box says which and why, the first few.
        constexpr std::size_t kShown = 10;
        std::string text = "URL repairs completed; links left as they were: " +
                           std::to_string(m_skipped.size()) + "\n";
        for (std::size_t i = 0; i < std::min(kShown, m_skipped.size()); ++i) {
            text += "\n" + m_rows.CellText(m_skipped[i].row, kColumnUrl) + "\n    (" +
                    m_skipped[i].reason + ")";
        }
        if (m_skipped.size() > kShown) {
            text += "\n...";
        }
        platform::MessageBox(text, platform::kMbOk | platform::kMbIconInformation);
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
    if (!m_repairIn || !platform::IsWritableFile(m_pagePath)) {
        m_repairIn.reset();
        return false;
    }
    if (m_preview) {
        m_repairOut.reset(::open_memstream(&m_previewBuffer, &m_previewSize));
        m_previewPage.path = path;
        if (!m_repairOut) {
            m_repairIn.reset();
        }
        return m_repairOut != nullptr;
    }
    if (!EnsureBackup(m_pagePath, FolderFilesOf(m_pagePath))) {
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
        m_placeEdits.emplace(ReadRest(m_repairIn.get()), RepairFileName(path));
    }
    return true;
}

bool CRepairWalk::RepairLink(const std::string& url, const std::string& path, int method,
                             const CLinkPlace& place, const std::string& newAddress) {
    if (!m_repairIn) {
        return false;
    }
    if (m_placeEdits && place.Known()) {
        if (m_placeEdits->Take(place, method, newAddress)) {
            return true;
        }
    } else if (FindAndRewrite(url, path, method, newAddress)) {
        return true;
    }
    platform::MessageBox("We looked in file\n" + path + "\nbut could not find the URL\n" + url,
                         platform::kMbOk);
    return false;
}

// Copies the pieces up to the next whole occurrence of url and writes that one rewritten.
bool CRepairWalk::FindAndRewrite(const std::string& url, const std::string& path, int method,
                                 const std::string& newAddress) {
    std::string piece;
    while (ReadPiece(m_repairIn.get(), piece)) {
        const std::size_t at = FindWholeLink(piece, url, m_repairIn.get());
        if (at != std::string::npos) {
            const std::string addedLineEnd =
                piece.ends_with('\n') ? "\n" : LineEndAhead(m_repairIn.get());
            const std::string newText =
                method == kRepairUpdate ? newAddress : RepairFileName(path);
            WritePiece(RewritePiece(piece, at, url, newText, method, addedLineEnd));
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
    const bool read = !std::ferror(m_repairIn.get());
    m_repairIn.reset();
    if (m_preview) {
        KeepPreview(read);
        return read;
    }
    // A work file cut short by a read or write error must never take the file's place.
    const bool complete = read && platform::FlushToDisk(m_repairOut.get());
    const bool closed = std::fclose(m_repairOut.release()) == 0;
    if (!(complete && closed && platform::ReplaceFile(m_workPath, m_pagePath))) {
        // The work file is the walk's own, and useless now: the page keeps its old text.
        platform::DeleteFile(m_workPath);
        return false;
    }
    return true;
}

// The page as it is and as the walk would leave it.
void CRepairWalk::KeepPreview(bool complete) {
    std::fclose(m_repairOut.release());
    if (complete) {
        m_previewPage.after.assign(m_previewBuffer, m_previewSize);
        if (const platform::CFilePtr page = platform::OpenFile(m_pagePath, "rb")) {
            m_previewPage.before = ReadRest(page.get());
        }
    }
    std::free(m_previewBuffer);
    m_previewBuffer = nullptr;
    m_previewSize = 0;
}

// A failed write stays on the stream's error flag, which FinishRepairFile checks.
void CRepairWalk::WritePiece(const std::string& piece) {
    std::fwrite(piece.data(), 1, piece.size(), m_repairOut.get());
}

// A preview marks nothing: the rows are as they were for the walk that writes.
void CRepairWalk::SetMark(int row, CTagMark mark) {
    if (m_preview) {
        return;
    }
    m_rows.SetTag(row, (m_rows.Tag(row) & ~mark.half) | mark.set);
}
