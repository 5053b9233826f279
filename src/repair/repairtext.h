#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// How a found link's line is rewritten; "Repair"/"Type" holds one of these.
// Update rewrites only links that moved for good, to their new addresses.
enum CRepairMethod : int {
    kRepairDisable = 0,
    kRepairReplace = 1,
    kRepairRemove = 2,
    kRepairUpdate = 3
};

// The longest piece of a line that is read at once.
inline constexpr std::size_t kRepairPieceSize = 511;

// The path up to, not including, the last "." of the file's own name; the path itself when
// that name has none. A "." in a folder's name never cuts it.
std::string RepairStem(const std::string& path);
// The backup's usual name: the stem with ".rep".
std::string UsualBackupName(const std::string& path);
// The backup, made once before a file is first rewritten: the usual name, unless another
// file of its folder could claim that name too (page.htm beside page.html, or page.htm.old
// beside page.htm); then the file's whole name with ".rep", which no other file can claim.
// folderFiles are the names of the files in the path's folder; without them (a folder that
// cannot be listed) every file takes its whole name with ".rep".
std::string BackupName(const std::string& path,
                       const std::optional<std::vector<std::string>>& folderFiles);
// The names of the files in path's folder now; nullopt when it cannot be listed.
std::optional<std::vector<std::string>> FolderFileNames(const std::string& path);
// The same as BackupName(path, FolderFileNames(path)).
std::string BackupName(const std::string& path);
// The file's own name: the part after the last "/".
std::string RepairFileName(const std::string& path);

// Reads the next piece: a line up to and including its "\n", or the next kRepairPieceSize
// bytes of a longer one; a CR LF pair is never split, so a piece may be one byte longer.
// Bytes stay as they are. False at end of file.
bool ReadPiece(std::FILE* file, std::string& piece);

// Where url first occurs in piece as a whole link: the scanner, reading a link from there,
// would end it at url's end (or before it), so url is not the start of a longer link. When
// the piece holds no double quote after url, the bytes that follow in file are looked at, past
// line ends as the scanner reads them, and file is then left where it was. npos when there is
// none.
std::size_t FindWholeLink(const std::string& piece, const std::string& url, std::FILE* file);

// The piece holding url at offset `at`, rewritten by method; newText is the file's own name for
// replace, the link's new address for update (which changes only the link's bytes). The
// piece keeps its own line end; a piece without one gains addedLineEnd.
std::string RewritePiece(const std::string& piece, std::size_t at, const std::string& url,
                         const std::string& newText, int method,
                         const std::string& addedLineEnd = "\n");

// The line end of the line that goes on in file: "\r\n" when it ends in CR LF, else "\n"
// (a last line without one too); file is left where it was. A piece cut from a long line
// that is rewritten as a line of its own ends as its line does.
std::string LineEndAhead(std::FILE* file);
