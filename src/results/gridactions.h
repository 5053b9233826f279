#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "results/resulttable.h"

class QMimeData;

// What the grid's Copy Row (and Ctrl+C) puts on the clipboard: each row's four texts as the
// grid shows them (GridText), tab-separated, one line per row.
QString CopiedRows(const CResultRows& rows, const std::vector<int>& rowNumbers);
// What Copy Link puts on the clipboard: the rows' links as the grid shows them, one a line.
QString CopiedLinks(const CResultRows& rows, const std::vector<int>& rowNumbers);

// A link as the browser is handed it: bytes outside printable ASCII percent-encoded, so that
// a link that is not UTF-8 reaches the browser byte for byte.
std::string BrowserTarget(const std::string& link);
// A page as its default application is handed it: a file URL of its absolute path, every
// byte of the name kept.
std::string FileTarget(const std::string& path);

// What Open Link opens for a link the HTML scanner checked on the file system: a file URL of
// its target as the run resolved it against the page (and its <base href>), with its fragment;
// nullopt when the page no longer holds the link, or when the link names no file.
std::optional<std::string> LocalLinkTarget(const std::string& page, const std::string& link,
                                           const std::string& siteRoot);

// A file or folder dropped on the window, as the Select File(s) dialog takes it.
struct CDroppedPath {
    std::string path;
    bool folder = false;
};

// The first local file or folder among the dropped items; nullopt when there is none.
std::optional<CDroppedPath> DroppedPath(const QMimeData& data);
