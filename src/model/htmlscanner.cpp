#include "htmlscanner.h"

#include <gumbo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <memory>

#include "model/linkscanner.h"
#include "model/pagedecoding.h"
#include "platform/asciitext.h"
#include "platform/unixfile.h"

namespace {

bool IsAsciiWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool IsAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// As a browser's URL parser takes an attribute value: C0 controls and spaces at either end
// go, and tabs and line breaks anywhere.
std::string CleanHref(std::string_view value) {
    while (!value.empty() && static_cast<unsigned char>(value.front()) <= 0x20) {
        value.remove_prefix(1);
    }
    while (!value.empty() && static_cast<unsigned char>(value.back()) <= 0x20) {
        value.remove_suffix(1);
    }
    std::string clean;
    clean.reserve(value.size());
    for (const char c : value) {
        if (c != '\t' && c != '\n' && c != '\r') {
            clean += c;
        }
    }
    return clean;
}

// White space runs become one space, and none is left at either end.
std::string CollapseWhiteSpace(std::string_view text) {
    std::string collapsed;
    bool space = false;
    for (const char c : text) {
        if (IsAsciiWhiteSpace(c)) {
            space = !collapsed.empty();
        } else {
            if (space) {
                collapsed += ' ';
                space = false;
            }
            collapsed += c;
        }
    }
    return collapsed;
}

// The scheme of an absolute URL, in lower case; empty for a relative one.
std::string SchemeOf(std::string_view href) {
    if (href.empty() || !IsAsciiAlpha(href.front())) {
        return {};
    }
    for (std::size_t i = 1; i < href.size(); ++i) {
        const char c = href[i];
        if (c == ':') {
            return platform::AsciiLower(std::string(href.substr(0, i)));
        }
        if (!IsAsciiAlpha(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') {
            return {};
        }
    }
    return {};
}

int HexValue(char c) {
    if (IsAsciiDigit(c)) {
        return c - '0';
    }
    const char lower = platform::AsciiLower(c);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

std::string PercentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// Spaces, controls, quotes, angle brackets and bytes beyond ASCII, which a browser's URL
// parser percent-encodes in a path, a query or a fragment.
bool IsEncodedInUrl(unsigned char byte) {
    return byte <= 0x20 || byte >= 0x7F || byte == '"' || byte == '<' || byte == '>' || byte == '`';
}

std::string EncodeForUrl(std::string_view text) {
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsEncodedInUrl(byte)) {
            platform::AppendPercentEncoded(encoded, byte);
        } else {
            encoded += c;
        }
    }
    return encoded;
}

// A link is sent as a browser sends it, the host part left as written.
std::string EncodeRemote(const std::string& url) {
    const std::size_t authority = url.find("://");
    const std::size_t pathStart =
        authority == std::string::npos ? 0 : url.find_first_of("/?#", authority + 3);
    if (pathStart == std::string::npos) {
        return url;
    }
    return url.substr(0, pathStart) + EncodeForUrl(std::string_view(url).substr(pathStart));
}

// A browser reads "\" as "/" in every URL the run checks (http, https, ftp, file and links
// relative to a page), up to the query or fragment, which keep it.
std::string BackslashesAsSlashes(std::string href) {
    const std::size_t tail = std::min(href.find_first_of("?#"), href.size());
    std::replace(href.begin(), href.begin() + static_cast<std::ptrdiff_t>(tail), '\\', '/');
    return href;
}

// Whether a path, still percent-encoded, names a "/" inside a name: no file on this system
// can have that name, and a browser does not take it for a folder separator.
bool HasEncodedSlash(std::string_view path) {
    const std::string lower = platform::AsciiLower(std::string(path));
    return lower.find("%2f") != std::string::npos;
}

// Removes "." and ".." segments. A ".." above the start of an absolute path stays at "/";
// above the start of a relative one it is kept.
std::string RemoveDotSegments(std::string_view path) {
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string_view> segments;
    bool trailingSlash = false;
    std::size_t start = absolute ? 1 : 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view segment = path.substr(start, end - start);
        const bool last = end == path.size();
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!segments.empty() && segments.back() != "..") {
                segments.pop_back();
            } else if (!absolute) {
                segments.push_back(segment);
            }
            trailingSlash = last;
        } else if (!segment.empty() || last) {
            segments.push_back(segment);
            trailingSlash = false;
        }
        start = end + 1;
    }
    std::string result = absolute ? "/" : "";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i != 0) {
            result += '/';
        }
        result += segments[i];
    }
    if (trailingSlash && !result.empty() && result.back() != '/') {
        result += '/';
    }
    return result;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

struct CLocalTarget {
    // Empty when the link names no file (see HasEncodedSlash).
    std::string path;
    std::string fragment;
    std::string fragmentInUrl;
};

// A relative reference taken against the file at base (none when empty): the path is
// percent-decoded only after the query and fragment are cut off, so "%23" stays part of a
// name. A path that starts with "/" is taken from root.
CLocalTarget ResolveLocal(std::string_view ref, const std::string& base, const std::string& root) {
    CLocalTarget target;
    const std::size_t hash = ref.find('#');
    if (hash != std::string_view::npos) {
        target.fragmentInUrl = EncodeForUrl(ref.substr(hash + 1));
        target.fragment = PercentDecode(ref.substr(hash + 1));
        ref = ref.substr(0, hash);
    }
    ref = ref.substr(0, ref.find('?'));
    if (HasEncodedSlash(ref)) {
        return target;
    }
    const std::string path = PercentDecode(ref);
    if (!path.empty() && path.front() == '/') {
        target.path = RemoveDotSegments(root + path);
    } else if (!base.empty()) {
        target.path = path.empty() ? base : RemoveDotSegments(DirectoryOf(base) + path);
    }
    return target;
}

// The path of a file: URL, when it names this machine; nullopt for another host.
std::optional<std::string> FileUrlPath(std::string_view href) {
    std::string_view rest = href.substr(5);
    if (rest.substr(0, 2) == "//") {
        const std::size_t slash = rest.find('/', 2);
        const std::string_view host =
            rest.substr(2, slash == std::string_view::npos ? std::string_view::npos : slash - 2);
        if (!host.empty() && host != "localhost") {
            return std::nullopt;
        }
        rest = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
    }
    return std::string(rest);
}

// The parts of an absolute URL with an authority, for resolving references against it.
struct CUrlParts {
    std::string schemeAndAuthority;
    std::string path;
    std::string query;
};

CUrlParts SplitUrl(const std::string& url) {
    CUrlParts parts;
    const std::size_t authority = url.find("://");
    const std::size_t pathStart = url.find_first_of("/?#", authority + 3);
    parts.schemeAndAuthority = url.substr(0, pathStart);
    if (pathStart == std::string::npos) {
        return parts;
    }
    const std::size_t end = url.find('#', pathStart);
    const std::string rest = url.substr(pathStart, end - pathStart);
    const std::size_t question = rest.find('?');
    parts.path = rest.substr(0, question);
    parts.query = question == std::string::npos ? std::string() : rest.substr(question);
    return parts;
}

// A relative reference resolved against an absolute URL, as a browser resolves it.
std::string ResolveRemote(const std::string& base, const std::string& ref) {
    if (ref.substr(0, 2) == "//") {
        return base.substr(0, base.find(':') + 1) + ref;
    }
    const CUrlParts parts = SplitUrl(base);
    const std::size_t tail = ref.find_first_of("?#");
    const std::string refPath = ref.substr(0, tail);
    const std::string refTail = tail == std::string::npos ? std::string() : ref.substr(tail);
    if (refPath.empty()) {
        const bool ownQuery = !refTail.empty() && refTail.front() == '?';
        return parts.schemeAndAuthority + parts.path + (ownQuery ? "" : parts.query) + refTail;
    }
    if (refPath.front() == '/') {
        return parts.schemeAndAuthority + RemoveDotSegments(refPath) + refTail;
    }
    const std::string directory = parts.path.empty() ? "/" : DirectoryOf(parts.path);
    return parts.schemeAndAuthority + RemoveDotSegments(directory + refPath) + refTail;
}

bool IsRemoteScheme(const std::string& scheme) {
    return scheme == "http" || scheme == "https" || scheme == "ftp";
}

bool HasAuthority(const std::string& href, const std::string& scheme) {
    return href.compare(scheme.size(), 3, "://") == 0;
}

// Where the page's relative links lead from: its <base href> when it has a usable one.
struct CBase {
    std::string remote;
    std::string local;
};

CBase ResolveBase(const std::string& baseHref, const std::string& pagePath,
                  const std::string& root) {
    CBase base{{}, pagePath};
    if (baseHref.empty()) {
        return base;
    }
    const std::string scheme = SchemeOf(baseHref);
    if (scheme.empty()) {
        if (baseHref.substr(0, 2) != "//") {
            base.local = ResolveLocal(baseHref, pagePath, root).path;
        }
    } else if (IsRemoteScheme(scheme) && HasAuthority(baseHref, scheme)) {
        base.remote = baseHref;
    } else if (scheme == "file") {
        if (const auto path = FileUrlPath(baseHref)) {
            base.local = ResolveLocal(*path, pagePath, "").path;
        }
    }
    return base;
}

const GumboAttribute* Attribute(const GumboElement& element, const char* name) {
    return gumbo_get_attribute(&element.attributes, name);
}

// Where the element and its href stand in the page's bytes as read. The parser saw the
// decoded text; its spans are taken back to the bytes, and the bytes recorded are the page's
// own, since repair checks and edits those.
CLinkPlace PlaceOf(const GumboElement& element, const GumboAttribute& href,
                   const CDecodedPage& page) {
    const std::string_view text = page.Text();
    const auto textSpan = [text](const GumboStringPiece& piece) {
        const auto begin = static_cast<std::size_t>(piece.data - text.data());
        return piece.data == nullptr ? CSourceSpan{} : CSourceSpan{begin, begin + piece.length};
    };
    const auto bytesOf = [&page](CSourceSpan spanned) {
        return std::string(page.Bytes().substr(spanned.begin, spanned.Size()));
    };
    const CSourceSpan name = textSpan(href.original_name);
    // The parser gives a bare href its name as its value: it has none, and gains one where its
    // name ends.
    const bool bare = href.original_value.data == href.original_name.data;
    const CSourceSpan value =
        bare ? CSourceSpan{name.end, name.end} : textSpan(href.original_value);
    CSourceSpan written = value;
    if (!written.Empty() && (text[written.begin] == '"' || text[written.begin] == '\'')) {
        const char quote = text[written.begin];
        ++written.begin;
        if (!written.Empty() && text[written.end - 1] == quote) {
            --written.end;
        }
    }
    CLinkPlace place;
    place.name = page.SourceOf(name);
    place.value = page.SourceOf(value);
    place.startTag = page.SourceOf(textSpan(element.original_tag));
    if (element.original_end_tag.data != nullptr) {
        place.endTag = page.SourceOf(textSpan(element.original_end_tag));
    }
    place.startTagText = bytesOf(place.startTag);
    place.endTagText = bytesOf(place.endTag);
    place.written = bytesOf(page.SourceOf(written));
    return place;
}

bool IsHtmlElement(const GumboNode& node) {
    return node.type == GUMBO_NODE_ELEMENT && node.v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

// An element the parser made again to mend misnested markup is no link of its own in the
// file: each href written once counts once.
bool IsReconstructed(const GumboNode& node) {
    return (node.parse_flags & (GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT |
                                GUMBO_INSERTION_ADOPTION_AGENCY_CLONED)) != 0;
}

bool IsHidden(const GumboNode& node) {
    return IsHtmlElement(node) &&
           (node.v.element.tag == GUMBO_TAG_SCRIPT || node.v.element.tag == GUMBO_TAG_STYLE);
}

// The children of a document or an element; none for other nodes. Template contents are
// inert: no links, no targets, no anchor text.
const GumboVector* ChildrenOf(const GumboNode& node) {
    if (node.type == GUMBO_NODE_DOCUMENT) {
        return &node.v.document.children;
    }
    return node.type == GUMBO_NODE_ELEMENT ? &node.v.element.children : nullptr;
}

// Visits root and what lies below it in document order, without recursion (a page may nest
// deeper than the stack allows); visit returns whether to go into the node's children.
template <typename Visit>
void WalkTree(const GumboNode& root, Visit visit) {
    std::vector<const GumboNode*> pending{&root};
    while (!pending.empty()) {
        const GumboNode& node = *pending.back();
        pending.pop_back();
        const GumboVector* children = visit(node) ? ChildrenOf(node) : nullptr;
        if (children == nullptr) {
            continue;
        }
        for (unsigned i = children->length; i-- > 0;) {
            pending.push_back(static_cast<const GumboNode*>(children->data[i]));
        }
    }
}

// The text a reader sees in the element, and the alt of its first image with one.
struct CAnchorText {
    std::string text;
    std::string imageAlt;
};

CAnchorText AnchorText(const GumboNode& anchor) {
    CAnchorText found;
    WalkTree(anchor, [&found](const GumboNode& node) {
        if (node.type == GUMBO_NODE_TEXT || node.type == GUMBO_NODE_WHITESPACE ||
            node.type == GUMBO_NODE_CDATA) {
            found.text += node.v.text.text;
            return false;
        }
        if (node.type != GUMBO_NODE_ELEMENT || IsHidden(node)) {
            return false;
        }
        if (node.v.element.tag == GUMBO_TAG_IMG && found.imageAlt.empty()) {
            if (const GumboAttribute* alt = Attribute(node.v.element, "alt")) {
                found.imageAlt = CollapseWhiteSpace(alt->value);
            }
        }
        return true;
    });
    return found;
}

std::string AnchorName(const GumboNode& node) {
    std::string name;
    if (node.v.element.tag == GUMBO_TAG_AREA) {
        if (const GumboAttribute* alt = Attribute(node.v.element, "alt")) {
            name = CollapseWhiteSpace(alt->value);
        }
    } else {
        CAnchorText text = AnchorText(node);
        name = CollapseWhiteSpace(text.text);
        if (name.empty()) {
            name = std::move(text.imageAlt);
        }
    }
    return name.empty() ? std::string(kSuppliedAnchorName) : name;
}

// What one walk of the tree gathers; the links are resolved after it, since a <base href>
// anywhere in the page applies to every link of it.
struct CAnchor {
    const GumboNode* node;
    const GumboAttribute* href;
};

struct CGathered {
    std::vector<CAnchor> anchors;
    std::string baseHref;
    bool baseSeen = false;
    std::vector<std::string> targets;
};

bool IsAttribute(const GumboAttribute& attribute, std::string_view name) {
    return name == attribute.name;
}

// An SVG a is a link as an HTML one is.
bool IsLinkElement(const GumboElement& element) {
    if (element.tag_namespace == GUMBO_NAMESPACE_HTML) {
        return element.tag == GUMBO_TAG_A || element.tag == GUMBO_TAG_AREA;
    }
    return element.tag_namespace == GUMBO_NAMESPACE_SVG && element.tag == GUMBO_TAG_A;
}

// The href a browser follows: on an SVG a, a plain href wins over an xlink:href.
const GumboAttribute* BetterHref(const GumboAttribute* found, const GumboAttribute& attribute) {
    if (attribute.attr_namespace == GUMBO_ATTR_NAMESPACE_NONE) {
        return found == nullptr || found->attr_namespace != GUMBO_ATTR_NAMESPACE_NONE ? &attribute
                                                                                      : found;
    }
    return found == nullptr && attribute.attr_namespace == GUMBO_ATTR_NAMESPACE_XLINK ? &attribute
                                                                                      : found;
}

// Ids count on elements of every namespace: a browser scrolls to an SVG or MathML element too.
void GatherElement(const GumboNode& node, CGathered& gathered) {
    const GumboElement& element = node.v.element;
    const bool html = element.tag_namespace == GUMBO_NAMESPACE_HTML;
    const bool isAnchor = html && element.tag == GUMBO_TAG_A;
    // Most elements have an id at most: one look at each attribute's name, most of them
    // settled by its first letter.
    const GumboAttribute* href = nullptr;
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto& attribute = *static_cast<const GumboAttribute*>(element.attributes.data[i]);
        if (IsAttribute(attribute, "id") || (isAnchor && IsAttribute(attribute, "name"))) {
            if (*attribute.value != '\0') {
                gathered.targets.emplace_back(attribute.value);
            }
        } else if (IsAttribute(attribute, "href")) {
            href = BetterHref(href, attribute);
        }
    }
    if (href == nullptr) {
        return;
    }
    if (IsLinkElement(element) && !IsReconstructed(node)) {
        gathered.anchors.push_back({&node, href});
    }
    if (html && element.tag == GUMBO_TAG_BASE && !gathered.baseSeen) {
        gathered.baseSeen = true;
        gathered.baseHref = BackslashesAsSlashes(CleanHref(href->value));
    }
}

CGathered Gather(const GumboNode& root) {
    CGathered gathered;
    WalkTree(root, [&gathered](const GumboNode& node) {
        if (node.type == GUMBO_NODE_ELEMENT) {
            GatherElement(node, gathered);
        }
        return true;
    });
    return gathered;
}

class CLinkResolver {
public:
    CLinkResolver(const CBase& base, const CHtmlScanOptions& options)
        : m_base(base), m_options(options) {}

    // False when the link is skipped.
    bool Resolve(const std::string& href, CHtmlLink& link) const;
    // Whether a link that Resolve skipped is an https link, left for its option.
    bool IsUntestedHttps(const std::string& href) const;

private:
    bool Remote(const std::string& url, CHtmlLink& link) const;
    static bool Local(const CLocalTarget& target, CHtmlLink& link);

    const CBase& m_base;
    const CHtmlScanOptions& m_options;
};

bool CLinkResolver::Resolve(const std::string& href, CHtmlLink& link) const {
    const std::string scheme = SchemeOf(href);
    if (IsRemoteScheme(scheme)) {
        return HasAuthority(href, scheme) && Remote(href, link);
    }
    if (scheme == "file") {
        const auto path = FileUrlPath(href);
        return path && Local(ResolveLocal(*path, m_base.local, ""), link);
    }
    if (!scheme.empty()) {
        return false;
    }
    if (!m_base.remote.empty()) {
        return Remote(ResolveRemote(m_base.remote, href), link);
    }
    if (href.substr(0, 2) == "//") {
        return false;
    }
    return Local(ResolveLocal(href, m_base.local, m_options.siteRoot), link);
}

bool CLinkResolver::IsUntestedHttps(const std::string& href) const {
    const std::string scheme = SchemeOf(href);
    if (scheme.empty() && !m_base.remote.empty()) {
        return SchemeOf(ResolveRemote(m_base.remote, href)) == "https";
    }
    return scheme == "https" && HasAuthority(href, scheme);
}

bool CLinkResolver::Remote(const std::string& url, CHtmlLink& link) const {
    if (!m_options.https && SchemeOf(url) == "https") {
        return false;
    }
    link.kind = CLinkKind::Remote;
    link.url = EncodeRemote(url);
    return true;
}

bool CLinkResolver::Local(const CLocalTarget& target, CHtmlLink& link) {
    link.kind = CLinkKind::Local;
    link.path = target.path;
    link.fragment = target.fragment;
    link.fragmentInUrl = target.fragmentInUrl;
    return true;
}

// The parser allocates every node, string and vector on its own; taking the memory from
// large blocks, handed back all at once after the page and kept for the thread's next page,
// spares malloc and free for each and the page faults of fresh memory.
class CParseArena {
public:
    static void* Allocate(void* arena, std::size_t size) {
        return static_cast<CParseArena*>(arena)->Take(size);
    }
    static void Release(void*, void*) {}

    // Everything taken is free again. The blocks stay for the next page, up to what a large
    // page needs (a 2.5 MB page takes 33): handing them back and mapping them afresh a page
    // later costs a run a tenth of its time in page faults.
    void Reset() {
        for (CBlock& block : m_used) {
            if (block.size == kBlockSize && m_spare.size() < kKeptBlocks) {
                m_spare.push_back(std::move(block));
            }
        }
        m_used.clear();
        m_left = 0;
    }

private:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;
    static constexpr std::size_t kKeptBlocks = 64;
    static constexpr std::size_t kAlignment = alignof(std::max_align_t);

    struct CBlock {
        std::unique_ptr<std::max_align_t[]> memory;
        std::size_t size;
    };

    void* Take(std::size_t size) {
        size = (size + kAlignment - 1) & ~(kAlignment - 1);
        if (size > m_left) {
            if (size <= kBlockSize && !m_spare.empty()) {
                m_used.push_back(std::move(m_spare.back()));
                m_spare.pop_back();
            } else {
                const std::size_t bytes = std::max(size, kBlockSize);
                m_used.push_back({std::make_unique_for_overwrite<std::max_align_t[]>(
                                      bytes / sizeof(std::max_align_t)),
                                  bytes});
            }
            m_next = reinterpret_cast<char*>(m_used.back().memory.get());
            m_left = m_used.back().size;
        }
        void* const taken = m_next;
        m_next += size;
        m_left -= size;
        return taken;
    }

    std::vector<CBlock> m_used;
    std::vector<CBlock> m_spare;
    char* m_next = nullptr;
    std::size_t m_left = 0;
};

// One parse, its tree in the thread's arena until the page is done with.
class CParsedPage {
public:
    explicit CParsedPage(std::string_view html) {
        GumboOptions options = kGumboDefaultOptions;
        // The parser's error list is never read; recording it costs time.
        options.max_errors = 0;
        options.allocator = &CParseArena::Allocate;
        options.deallocator = &CParseArena::Release;
        options.userdata = &Arena();
        m_output = gumbo_parse_with_options(&options, html.data(), html.size());
    }
    ~CParsedPage() { Arena().Reset(); }
    CParsedPage(const CParsedPage&) = delete;
    CParsedPage& operator=(const CParsedPage&) = delete;

    const GumboNode& Document() const { return *m_output->document; }

private:
    static CParseArena& Arena() {
        thread_local CParseArena arena;
        return arena;
    }

    GumboOutput* m_output = nullptr;
};

}  // namespace

CHtmlPage ScanHtml(std::string_view bytes, const std::string& pagePath,
                   const CHtmlScanOptions& options) {
    const CDecodedPage decoded(bytes);
    const CParsedPage parsed(decoded.Text());
    CGathered gathered = Gather(parsed.Document());
    const CBase base = ResolveBase(gathered.baseHref, pagePath, options.siteRoot);
    const CLinkResolver resolver(base, options);
    CHtmlPage page;
    page.targets = std::move(gathered.targets);
    for (const CAnchor& anchor : gathered.anchors) {
        CHtmlLink link;
        link.url = CleanHref(anchor.href->value);
        const std::string href = BackslashesAsSlashes(link.url);
        if (!resolver.Resolve(href, link)) {
            ++(resolver.IsUntestedHttps(href) ? page.skipped.https : page.skipped.otherSchemes);
            continue;
        }
        link.anchorName = AnchorName(*anchor.node);
        link.place = PlaceOf(anchor.node->v.element, *anchor.href, decoded);
        page.links.push_back(std::move(link));
    }
    return page;
}

bool ReadPageFile(const std::string& path, std::string& text) {
    struct stat info {};
    const platform::CUnixFile input = platform::OpenRegularForReading(path, &info);
    if (!input) {
        return false;
    }
    text.resize(static_cast<std::size_t>(info.st_size));
    std::size_t size = 0;
    for (;;) {
        if (size == text.size()) {
            text.resize(size + 4096);
        }
        const ssize_t got =
            platform::ReadRetrying(input.Get(), text.data() + size, text.size() - size);
        if (got <= 0) {
            break;
        }
        size += static_cast<std::size_t>(got);
    }
    text.resize(size);
    return true;
}

std::optional<CHtmlPage> ScanHtmlFile(const std::string& path, const CHtmlScanOptions& options) {
    // Each thread reads its pages into the one buffer, whose memory is then already mapped.
    thread_local std::string text;
    if (!ReadPageFile(path, text)) {
        return std::nullopt;
    }
    return ScanHtml(text, path, options);
}

std::string SiteRootFor(const std::string& path, bool allFiles, const std::string& chosenRoot) {
    std::string root = !chosenRoot.empty() ? chosenRoot : allFiles ? path : DirectoryOf(path);
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    return root.empty() ? std::string(".") : root;
}
