#include "urlsplit.h"

#include <algorithm>

#include "platform/asciitext.h"

namespace {

// A scheme that no link has set yet counts as http; the scanner stores no other links.
std::size_t PrefixLength(int scheme) {
    switch (scheme) {
        case kSchemeFtp:
            return 6;
        case kSchemeHttps:
            return 8;
        default:
            return 7;
    }
}

}  // namespace

int SchemeOf(const std::string& link, int currentScheme) {
    if (link.empty()) {
        return currentScheme;
    }
    switch (link[0]) {
        case 'H':
        case 'h':
            return platform::StartsWithAsciiCaseless(link, "https://") ? kSchemeHttps : kSchemeHttp;
        case 'F':
        case 'f':
            return kSchemeFtp;
        default:
            return currentScheme;
    }
}

std::string SplitHost(const std::string& link, int scheme) {
    const std::size_t prefix = PrefixLength(scheme);
    if (link.size() <= prefix) {
        return {};
    }
    std::string host = link.substr(prefix);
    host = host.substr(0, host.find('/'));
    return host.substr(0, host.find(':'));
}

std::string SplitPath(const std::string& link, int scheme) {
    const std::size_t prefix = PrefixLength(scheme);
    if (link.size() <= prefix) {
        return {};
    }
    const std::size_t slash = link.find('/', prefix);
    if (slash == std::string::npos) {
        return "/";
    }
    std::string path = link.substr(slash);
    path = path.substr(0, path.find('#'));
    if (path.size() > 1 && path.back() != '/' && path.find('.') == std::string::npos) {
        path += '/';
    }
    return path;
}

std::string ConnectName(const std::string& host) {
    return host.substr(std::min(host.find_first_not_of(' '), host.size()));
}

bool SpeaksHttp(int scheme) {
    return scheme == kSchemeHttp || scheme == kSchemeHttps;
}

const char* PortFor(int scheme) {
    switch (scheme) {
        case kSchemeFtp:
            return "21";
        case kSchemeHttps:
            return "443";
        default:
            return "80";
    }
}
