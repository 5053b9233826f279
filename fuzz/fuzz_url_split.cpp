// Feeds any bytes as a link to the probe's URL cuts and checks that host and path are cut from
// the link's own bytes at the places the cuts promise. The first byte picks the prefix put
// before the rest ("http://", "ftp://", "https://" or none) and the scheme in force before this
// link.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzzsupport.h"
#include "platform/asciitext.h"
#include "probe/urlsplit.h"

namespace {

constexpr std::array<std::string_view, 4> kPrefixes = {"http://", "ftp://", "https://", ""};
// The probe starts with no scheme set.
constexpr std::array<int, 4> kSchemes = {0, kSchemeHttp, kSchemeFtp, kSchemeHttps};

std::string_view PortOf(int scheme) {
    switch (scheme) {
        case kSchemeFtp:
            return "21";
        case kSchemeHttps:
            return "443";
        default:
            return "80";
    }
}

std::size_t PrefixOf(int scheme) {
    switch (scheme) {
        case kSchemeFtp:
            return 6;
        case kSchemeHttps:
            return 8;
        default:
            return 7;
    }
}

void CheckScheme(const std::string& link, int current) {
    const int scheme = SchemeOf(link, current);
    const char first = link.empty() ? '\0' : link[0];
    if (platform::StartsWithAsciiCaseless(link, "https://")) {
        Require(scheme == kSchemeHttps, "a link starting with https:// is https");
    } else if (first == 'h' || first == 'H') {
        Require(scheme == kSchemeHttp, "a link starting with H is http");
    } else if (first == 'f' || first == 'F') {
        Require(scheme == kSchemeFtp, "a link starting with F is ftp");
    } else {
        Require(scheme == current, "any other link keeps the scheme in force");
    }
}

void CheckSplit(const std::string& link, int scheme) {
    const std::string host = SplitHost(link, scheme);
    const std::string path = SplitPath(link, scheme);
    Require(std::string_view(PortFor(scheme)) == PortOf(scheme),
            "ftp connects to port 21, https to 443, anything else to 80");
    Require(host.find_first_of("/:") == std::string::npos, "the host holds no '/' and no ':'");

    // Any scheme but ftp and https is taken to be http: the scanner stores no other links.
    const std::size_t prefix = PrefixOf(scheme);
    if (link.size() <= prefix) {
        Require(host.empty() && path.empty(), "a link no longer than its prefix has no parts");
        return;
    }

    // The host is the text right after the prefix, up to the first '/' or ':' or the end.
    Require(link.compare(prefix, host.size(), host) == 0, "the host follows the prefix");
    const std::size_t afterHost = prefix + host.size();
    Require(afterHost == link.size() || link[afterHost] == '/' || link[afterHost] == ':',
            "the host runs up to a '/' or ':' or the end");

    Require(!path.empty() && path[0] == '/', "the path starts with '/'");
    Require(path.find('#') == std::string::npos, "the path holds no '#'");
    const std::size_t slash = link.find('/', prefix);
    if (slash == std::string::npos) {
        Require(path == "/", "a link without a '/' after its prefix has the path \"/\"");
        return;
    }
    // The link's text from the '/' up to any '#', and whether a '/' must be added to it.
    std::string_view own = std::string_view(link).substr(slash);
    own = own.substr(0, own.find('#'));
    const bool slashAdded =
        own.size() > 1 && own.back() != '/' && own.find('.') == std::string_view::npos;
    Require(path == (slashAdded ? std::string(own) + '/' : std::string(own)),
            "the path is the link's own text from its first '/', a '/' added only to a "
            "directory-like path");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string link = std::string(kPrefixes[data[0] % kPrefixes.size()]) +
                             std::string(reinterpret_cast<const char*>(data) + 1, size - 1);
    const int current = kSchemes[data[0] / kPrefixes.size() % kSchemes.size()];
    CheckScheme(link, current);
    // Every scheme, not only the one SchemeOf gives: the rules hold for each prefix length.
    for (const int scheme : kSchemes) {
        CheckSplit(link, scheme);
    }
    return 0;
}
