#pragma once

#include <string>
#include <string_view>

#include "model/stringlist.h"

// What the user chose to test: a file, or a directory with or without its sub-directories,
// optionally only the files that carry a web-page extension.
struct CFileChoice {
    std::string path;
    bool recurse = false;
    bool allFiles = false;
    bool htmlOnly = false;
};

// The web-page test: the upper-cased full path contains one of the extensions (".HTM",
// ".SHTM", ...) at a position past its first character. A substring test, not a test of the
// ending: "PAGE.HTM.BAK" passes, and so does every file below a folder named "x.html".
bool HasWebPageExtension(const std::string& fullPath);

// What repair leaves beside a page: its backup, and the work file that becomes its new text.
inline constexpr const char* kBackupSuffix = ".rep";
inline constexpr const char* kWorkFileSuffix = ".t~p";
// A file's own name that ends as backups and work files end. They hold a page's links too, so
// a folder's test never takes them for pages: a repair after it would trip over them.
bool IsRepairFileName(std::string_view name);

// Appends the admitted files of one directory, not descending, in listing order. Only regular
// files and links that are not known to lead elsewhere (a dangling link fails later, at its
// scan) are files; sub-directories, FIFOs, sockets and devices are not, nor backups and work
// files of repair.
void AddDirectoryFiles(StringList& list, const std::string& directory, bool htmlOnly);

// Appends the admitted files of a directory and, depth first, of every sub-directory that is a
// real directory (not a link), is not hidden (no leading full stop) and can be read. A
// directory's own files come first; of two sibling sub-directories the later one in listing
// order is walked first.
void AddDirectoryTree(StringList& list, const std::string& directory, bool htmlOnly);

// Turns a choice into the ordered list of files to scan: the path itself in single-file mode
// (whatever its extension), a directory's files, or a whole tree. Recurse without all-files
// selects nothing.
StringList SelectFiles(const CFileChoice& choice);
