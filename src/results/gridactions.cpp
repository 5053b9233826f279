#include "gridactions.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include "model/htmlscanner.h"
#include "platform/asciitext.h"
#include "platform/fileops.h"
#include "results/resultsmodel.h"

namespace {

QString CopiedColumns(const CResultRows& rows, const std::vector<int>& rowNumbers, int first,
                      int last) {
    QStringList lines;
    for (int row : rowNumbers) {
        QStringList fields;
        for (int column = first; column <= last; ++column) {
            fields.append(GridText(rows.CellText(row, column)));
        }
        lines.append(fields.join(QLatin1Char('\t')));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

QString CopiedRows(const CResultRows& rows, const std::vector<int>& rowNumbers) {
    return CopiedColumns(rows, rowNumbers, kColumnUrl, kColumnFile);
}

QString CopiedLinks(const CResultRows& rows, const std::vector<int>& rowNumbers) {
    return CopiedColumns(rows, rowNumbers, kColumnUrl, kColumnUrl);
}

// Printable ASCII stays as written, "%" included, so that an address already percent-encoded is
// not encoded twice.
std::string BrowserTarget(const std::string& link) {
    std::string target;
    target.reserve(link.size());
    for (const char c : link) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > ' ' && byte < 0x7F) {
            target += c;
        } else {
            platform::AppendPercentEncoded(target, byte);
        }
    }
    return target;
}

std::string FileTarget(const std::string& path) {
    QByteArray absolute = QByteArray::fromStdString(path);
    if (!absolute.startsWith('/')) {
        absolute.prepend(QFile::encodeName(QDir::currentPath()) + '/');
    }
    return "file://" + absolute.toPercentEncoding("/").toStdString();
}

std::optional<std::string> LocalLinkTarget(const std::string& page, const std::string& link,
                                           const std::string& siteRoot) {
    const std::optional<CHtmlPage> scanned =
        ScanHtmlFile(page, CHtmlScanOptions{.https = true, .siteRoot = siteRoot});
    if (!scanned) {
        return std::nullopt;
    }
    for (const CHtmlLink& found : scanned->links) {
        if (found.kind == CLinkKind::Local && found.url == link) {
            if (found.path.empty()) {
                return std::nullopt;
            }
            const std::string target = FileTarget(found.path);
            return found.fragment.empty() ? target : target + "#" + BrowserTarget(found.fragment);
        }
    }
    return std::nullopt;
}

std::optional<CDroppedPath> DroppedPath(const QMimeData& data) {
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) {
            continue;
        }
        // The encoded path keeps a name's bytes even when they are not UTF-8.
        const std::string path =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
        if (platform::IsEnterableDirectory(path)) {
            return CDroppedPath{path, true};
        }
        if (platform::IsRegularFile(path)) {
            return CDroppedPath{path, false};
        }
    }
    return std::nullopt;
}
