#pragma once

#include <optional>
#include <string>
#include <vector>

// Makes sure the page at path has a backup of its own text from before its first repair, and
// returns its name; nullopt when it can have none, and must then not be rewritten.
//  - The backup is BackupName's; a regular file already there is the older backup and is kept,
//    unless its note names another page (a backup made before the page was renamed, say): then
//    the page takes its whole name with ".rep" instead.
//  - Anything else under the name (a symbolic link to anything, a folder, a FIFO) is no
//    backup, and nothing is written through it.
//  - A new backup is noted as the page's own (a file system without such notes leaves it
//    unnoted, and an unnoted backup counts as the page's, as every backup used to).
std::optional<std::string> EnsureBackup(const std::string& path,
                                        const std::optional<std::vector<std::string>>& folderFiles);

// The note that names the page a backup belongs to: its file name.
inline constexpr const char* kBackupOwnerNote = "linkvet.page";
