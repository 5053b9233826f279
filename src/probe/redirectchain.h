#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "probe/replyhead.h"
#include "probe/resultcodes.h"

// A chain longer than this, or one that comes back to a URL it asked, ends in
// kTooManyRedirects.
inline constexpr int kMaxRedirects = 10;

// The answers that send the client on: 301, 302, 303, 307, 308.
bool IsFollowedRedirect(ResultCode status);
// The answers that say the old address is gone for good: 301, 308.
bool IsPermanentRedirect(ResultCode status);

// The absolute URL that reference names when it is met at base, resolved as RFC 3986 says
// (relative and protocol-relative references included), with the bytes a browser would send:
// a backslash is a slash, and blanks, controls, bytes above 0x7E and the few characters that
// cannot stand in a URL ("<>`{}|^ and the double quote) are percent-encoded. A fragment of
// base is not carried over. Empty when the result is not an http or https URL with a host.
std::string ResolveReference(std::string_view base, std::string_view reference);

// How a followed chain ended for its link: the code to report, and for kMovedPermanently the
// address the link should now have.
struct CChainEnd {
    ResultCode code = 0;
    std::string movedTo;
};

// The hops of one link's redirects: which URL to ask next after each answer, and what the
// chain's last answer means for the link.
class CRedirectChain {
public:
    // https: https URLs may be asked; without it a redirect to one is the link's verdict.
    CRedirectChain(std::string url, bool https);

    // After the answer of the URL asked last: the URL to ask next, or nullopt when this answer
    // ends the chain (not a redirect, no usable Location, a scheme not asked, or one hop too
    // many).
    std::optional<std::string> Next(const CReplyHead& answer);
    // The link's code when the chain ended with lastCode (an answer's status when fromReply,
    // otherwise a failure of the probe's own).
    CChainEnd End(ResultCode lastCode, bool fromReply) const;

private:
    std::string m_current;
    std::string m_fragment;
    bool m_https;
    int m_hops = 0;
    bool m_allPermanent = true;
    bool m_tooMany = false;
    // The URLs asked so far, without fragments.
    std::set<std::string> m_asked;
};
