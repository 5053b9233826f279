#include "movesafety.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

struct CUrlView {
    std::string scheme;
    std::string host;
    // Path and query, without the fragment; "/" for none.
    std::string rest;
};

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

CUrlView ViewOf(std::string_view url) {
    CUrlView view;
    url = url.substr(0, url.find('#'));
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos) {
        view.rest = std::string(url);
        return view;
    }
    view.scheme = Lower(url.substr(0, colon));
    const std::string_view afterScheme = url.substr(colon + 3);
    const std::size_t hostEnd = std::min(afterScheme.find_first_of("/?"), afterScheme.size());
    std::string_view host = afterScheme.substr(0, hostEnd);
    host = host.substr(host.rfind('@') == std::string_view::npos ? 0 : host.rfind('@') + 1);
    if (const std::size_t port = host.rfind(':');
        port != std::string_view::npos && host.find(']', port) == std::string_view::npos) {
        host = host.substr(0, port);
    }
    view.host = Lower(host);
    if (view.host.ends_with('.')) {
        view.host.pop_back();
    }
    const std::string_view rest = afterScheme.substr(hostEnd);
    view.rest = (rest.empty() || rest.front() == '?' ? "/" : "") + std::string(rest);
    return view;
}

// The front page: the root, or the root's index page, with no query.
bool IsFrontPage(const CUrlView& url) {
    if (url.rest.find('?') != std::string::npos) {
        return false;
    }
    const std::string path = Lower(url.rest);
    static constexpr std::array<std::string_view, 8> kFrontPages = {
        "/",           "/index.html", "/index.htm", "/index.php",
        "/default.aspx", "/default.htm", "/home",     "/home/"};
    return std::find(kFrontPages.begin(), kFrontPages.end(), path) != kFrontPages.end();
}

bool IsSignInPage(const CUrlView& url) {
    const std::string text = Lower(url.rest);
    static constexpr std::array<std::string_view, 9> kSignIn = {
        "login", "log-in", "log_in", "logon", "signin", "sign-in", "sign_in", "/sso", "/auth"};
    return std::any_of(kSignIn.begin(), kSignIn.end(), [&text](std::string_view word) {
        return text.find(word) != std::string::npos;
    });
}

}  // namespace

std::optional<std::string> UnsafeMoveReason(std::string_view oldUrl, std::string_view newUrl) {
    const CUrlView from = ViewOf(oldUrl);
    const CUrlView to = ViewOf(newUrl);
    if (from.scheme == "http" && to.scheme == "https" && from.host == to.host &&
        from.rest == to.rest) {
        return std::nullopt;
    }
    if (IsFrontPage(to)) {
        if (!IsFrontPage(from)) {
            return "the new address is the site's front page";
        }
        if (from.host != to.host) {
            return "the new address is another site's front page";
        }
    }
    if (IsSignInPage(to) && !IsSignInPage(from)) {
        return "the new address is a sign-in page";
    }
    return std::nullopt;
}
