#include "redirectchain.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace {

// The five parts RFC 3986 splits a reference into (its appendix B); a part that is absent
// differs from one that is empty.
struct CUriParts {
    std::optional<std::string> scheme;
    std::optional<std::string> authority;
    std::string path;
    std::optional<std::string> query;
    std::optional<std::string> fragment;
};

bool IsSchemeChar(char c, bool first) {
    const auto byte = static_cast<unsigned char>(c);
    return std::isalpha(byte) != 0 ||
           (!first && (std::isdigit(byte) != 0 || c == '+' || c == '-' || c == '.'));
}

CUriParts SplitUri(std::string_view text) {
    CUriParts parts;
    std::size_t at = 0;
    if (!text.empty() && IsSchemeChar(text[0], true)) {
        std::size_t end = 1;
        while (end < text.size() && IsSchemeChar(text[end], false)) {
            ++end;
        }
        if (end < text.size() && text[end] == ':') {
            std::string scheme(text.substr(0, end));
            for (char& c : scheme) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            parts.scheme = scheme;
            at = end + 1;
        }
    }
    if (text.substr(at, 2) == "//") {
        const std::size_t end = text.find_first_of("/?#", at + 2);
        parts.authority = std::string(text.substr(at + 2, end == text.npos ? text.npos : end - at - 2));
        at = end == text.npos ? text.size() : end;
    }
    const std::size_t pathEnd = std::min(text.find_first_of("?#", at), text.size());
    parts.path = std::string(text.substr(at, pathEnd - at));
    at = pathEnd;
    if (at < text.size() && text[at] == '?') {
        const std::size_t end = std::min(text.find('#', at), text.size());
        parts.query = std::string(text.substr(at + 1, end - at - 1));
        at = end;
    }
    if (at < text.size() && text[at] == '#') {
        parts.fragment = std::string(text.substr(at + 1));
    }
    return parts;
}

// RFC 3986, 5.2.4.
std::string RemoveDotSegments(std::string_view path) {
    std::vector<std::string_view> kept;
    const bool absolute = !path.empty() && path.front() == '/';
    std::size_t at = absolute ? 1 : 0;
    bool endsInFolder = false;
    while (at <= path.size()) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string_view segment = path.substr(at, end - at);
        endsInFolder = segment == "." || segment == "..";
        if (segment == "..") {
            if (!kept.empty()) {
                kept.pop_back();
            }
        } else if (segment != ".") {
            kept.push_back(segment);
        }
        at = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < kept.size(); ++i) {
        out += kept[i];
        if (i + 1 < kept.size()) {
            out += '/';
        }
    }
    if (endsInFolder && !out.ends_with('/')) {
        out += '/';
    }
    return out;
}

// RFC 3986, 5.2.3.
std::string MergePaths(const CUriParts& base, const std::string& reference) {
    if (base.authority && base.path.empty()) {
        return "/" + reference;
    }
    const std::size_t slash = base.path.rfind('/');
    return (slash == std::string::npos ? "" : base.path.substr(0, slash + 1)) + reference;
}

bool NeedsEncoding(unsigned char byte) {
    static constexpr std::string_view kUnfit = "\"<>`{}|^";
    return byte <= 0x20 || byte >= 0x7F || kUnfit.find(static_cast<char>(byte)) != kUnfit.npos;
}

std::string BrowserBytes(std::string_view reference) {
    std::string out;
    for (const char c : reference) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += '/';
        } else if (NeedsEncoding(byte)) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Compose(const CUriParts& parts) {
    std::string out = *parts.scheme + ":";
    if (parts.authority) {
        out += "//" + *parts.authority;
    }
    out += parts.path;
    if (parts.query) {
        out += "?" + *parts.query;
    }
    if (parts.fragment) {
        out += "#" + *parts.fragment;
    }
    return out;
}

CUriParts ResolveParts(const CUriParts& base, CUriParts ref) {
    if (ref.scheme) {
        ref.path = RemoveDotSegments(ref.path);
        return ref;
    }
    ref.scheme = base.scheme;
    if (ref.authority) {
        ref.path = RemoveDotSegments(ref.path);
        return ref;
    }
    ref.authority = base.authority;
    if (ref.path.empty()) {
        ref.path = base.path;
        if (!ref.query) {
            ref.query = base.query;
        }
        return ref;
    }
    ref.path = RemoveDotSegments(ref.path.front() == '/' ? ref.path : MergePaths(base, ref.path));
    return ref;
}

std::string WithoutFragment(const std::string& url) {
    return url.substr(0, url.find('#'));
}

}  // namespace

bool IsFollowedRedirect(ResultCode status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsPermanentRedirect(ResultCode status) {
    return status == 301 || status == 308;
}

std::string ResolveReference(std::string_view base, std::string_view reference) {
    CUriParts baseParts = SplitUri(base);
    baseParts.fragment.reset();
    if (!baseParts.scheme) {
        return {};
    }
    const CUriParts target = ResolveParts(baseParts, SplitUri(BrowserBytes(reference)));
    if ((target.scheme != "http" && target.scheme != "https") || !target.authority ||
        target.authority->empty()) {
        return {};
    }
    return Compose(target);
}

CRedirectChain::CRedirectChain(std::string url, bool https)
    : m_current(std::move(url)), m_https(https) {
    if (const std::size_t hash = m_current.find('#'); hash != std::string::npos) {
        m_fragment = m_current.substr(hash);
    }
    m_asked.insert(WithoutFragment(m_current));
}

std::optional<std::string> CRedirectChain::Next(const CReplyHead& answer) {
    if (!IsFollowedRedirect(answer.status) || !answer.location) {
        return std::nullopt;
    }
    const std::string target = ResolveReference(m_current, *answer.location);
    if (target.empty() || (!m_https && target.starts_with("https:"))) {
        return std::nullopt;
    }
    m_allPermanent = m_allPermanent && IsPermanentRedirect(answer.status);
    if (m_hops == kMaxRedirects || !m_asked.insert(WithoutFragment(target)).second) {
        m_tooMany = true;
        return std::nullopt;
    }
    ++m_hops;
    m_current = target;
    return target;
}

// RFC 9110 lets a Location without a fragment keep the link's own, which the new address must
// keep for a page to land where it did.
CChainEnd CRedirectChain::End(ResultCode lastCode, bool fromReply) const {
    if (m_tooMany) {
        return {kTooManyRedirects, {}};
    }
    if (m_hops > 0 && m_allPermanent && fromReply && lastCode >= 200 && lastCode < 300) {
        const bool ownFragment = m_current.find('#') != std::string::npos;
        return {kMovedPermanently, ownFragment ? m_current : m_current + m_fragment};
    }
    return {lastCode, {}};
}
