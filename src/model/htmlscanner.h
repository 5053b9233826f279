#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/linkplace.h"

// How a link of the HTML scanner is checked: over the network, or on the file system.
enum class CLinkKind { Remote, Local };

// What the file system says of a local link.
enum class CLocalVerdict { Found, FileMissing, FragmentMissing };

// One href of an a or area element, as a browser takes it.
struct CHtmlLink {
    CLinkKind kind = CLinkKind::Remote;
    // The link as the run checks it: an absolute link resolved and decoded, a local one as
    // written with its character references decoded. Both, and the anchor name, are UTF-8
    // whatever the page's encoding.
    std::string url;
    std::string anchorName;
    // Where the file holds it: what repair edits.
    CLinkPlace place;
    // Local links: the file or folder named, and the fragment after "#" (decoded), if any.
    // The path is empty when the link names no file: a name with an encoded "/" in it.
    std::string path;
    std::string fragment;
    // The fragment as the link's URL holds it, percent-encoded as a browser's parser leaves
    // it: a browser looks for an id of that text before it looks for the decoded one.
    std::string fragmentInUrl;
    // Filled by a scan that checks local links.
    CLocalVerdict verdict = CLocalVerdict::Found;
};

struct CHtmlScanOptions {
    // https links are checked; without it they are left out, as the classic scanner does.
    bool https = false;
    // Where a link that starts with "/" is looked for: the folder the run was chosen on.
    std::string siteRoot;
};

// The links of a page that are not checked.
struct CSkippedLinks {
    // mailto:, javascript:, data:, tel: and other schemes.
    int otherSchemes = 0;
    // https links, without their option.
    int https = 0;

    bool operator==(const CSkippedLinks&) const = default;
};

struct CHtmlPage {
    std::vector<CHtmlLink> links;
    CSkippedLinks skipped;
    // What a fragment may name in this page: every element id and every a name.
    std::vector<std::string> targets;
};

// Parses a page with an HTML5 parser, its bytes read in the encoding a browser would read
// them in (see SniffPageEncoding); links, names and targets come out as UTF-8, while the
// places stay on the bytes. pagePath is the page's own absolute path, against which relative
// links are resolved (or against its <base href>).
CHtmlPage ScanHtml(std::string_view bytes, const std::string& pagePath,
                   const CHtmlScanOptions& options);

// Reads the file whole into text; false when it is not a regular file that opens.
bool ReadPageFile(const std::string& path, std::string& text);

// ReadPageFile then ScanHtml.
std::optional<CHtmlPage> ScanHtmlFile(const std::string& path, const CHtmlScanOptions& options);

// The folder that "/" means for a run chosen on path: the chosen root when there is one, else
// the folder itself, or a file's folder.
std::string SiteRootFor(const std::string& path, bool allFiles, const std::string& chosenRoot);
