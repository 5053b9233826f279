#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// How a found link's line is rewritten; "Repair"/"Type" holds one of these.
enum CRepairMethod : int { kRepairDisable = 0, kRepairReplace = 1, kRepairRemove = 2 };

// The longest piece of a line that is read at once.
inline constexpr std::size_t kRepairPieceSize = 511;

// The path up to, not including, its last "." anywhere; the path itself without one.
std::string RepairStem(const std::string& path);
// The backup, made once before a file is first rewritten.
std::string BackupName(const std::string& path);
// The work file that receives the rewritten text.
std::string WorkName(const std::string& path);
// The file's own name: the part after the last "/".
std::string RepairFileName(const std::string& path);

// Reads the next piece: a line up to and including its "\n", or the next kRepairPieceSize
// bytes of a longer one. Bytes stay as they are. False at end of file.
bool ReadPiece(std::FILE* file, std::string& piece);

// The piece holding url at offset `at`, rewritten by method for the file named fileName. The
// piece keeps its own line end; a piece without one gains "\n".
std::string RewritePiece(const std::string& piece, std::size_t at, const std::string& url,
                         const std::string& fileName, int method);
