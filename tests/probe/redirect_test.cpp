#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probe/movesafety.h"
#include "probe/redirectchain.h"
#include "probe/replyhead.h"

namespace {

TEST(ReplyHead, TheHeadEndsAtItsEmptyLineWhateverItsLineEnds) {
    EXPECT_EQ(ReplyHeadEnd("HTTP/1.1 301 Moved\r\nLocation: /x\r\n\r\nbody"), 36u);
    EXPECT_EQ(ReplyHeadEnd("HTTP/1.0 302 Found\nLocation: /x\n\nbody"), 33u);
    EXPECT_EQ(ReplyHeadEnd("\n\nHTTP/1.0 200 OK\n\n"), 19u) << "leading LFs are no empty line";
    EXPECT_EQ(ReplyHeadEnd("HTTP/1.1 301 Moved\r\nLocation: /x\r\n"), std::string_view::npos);
    EXPECT_FALSE(FirstLineComplete("HTTP/1.1 301 Mov"));
    EXPECT_FALSE(FirstLineComplete("\n\n"));
    EXPECT_TRUE(FirstLineComplete("\nHTTP/1.1 301 Moved\r\n"));
}

TEST(ReplyHead, TheFirstLocationIsReadInAnyCaseAndOnlyWhenWhole) {
    const CReplyHead head = ReadReplyHead(
        "HTTP/1.1 308 Permanent\r\nServer: x\r\nLOCATION:  http://h/new \r\nLocation: /other\r\n\r\n");
    EXPECT_EQ(head.status, 308u);
    EXPECT_EQ(head.location, "http://h/new");
    EXPECT_FALSE(ReadReplyHead("HTTP/1.1 301 Moved\r\nLocation: http://h/ne").location)
        << "a value the limit cut off";
    EXPECT_FALSE(ReadReplyHead("HTTP/1.1 301 Moved\r\n\r\nLocation: /body\r\n").location)
        << "the body is no header";
    EXPECT_FALSE(ReadReplyHead("HTTP/1.1 301 Moved\r\nX-Location: /x\r\n\r\n").location);
    EXPECT_EQ(ReadReplyHead("HTTP/1.1 301 Moved\nLocation:\n\n").location, "");
}

// RFC 3986, 5.4: the normal and abnormal examples, and what a Location header brings.
TEST(ResolveReference, ReferencesResolveAsRfc3986Says) {
    const std::string base = "http://a/b/c/d;p?q";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"HTTPS://Other/x", "https://Other/x"},
        {"//h2.test/p", "http://h2.test/p"},
        {"/a b\x01\xc3\xa9\"<>", "http://a/a%20b%01%C3%A9%22%3C%3E"},
        {"\\\\h3\\x", "http://h3/x"},
        {"ftp://f/x", ""},
        {"mailto:x@y", ""},
        {"http:///nohost", ""},
    };
    for (const auto& [reference, expected] : cases) {
        EXPECT_EQ(ResolveReference(base, reference), expected) << reference;
    }
    EXPECT_EQ(ResolveReference("http://a/b#frag", "c"), "http://a/c") << "base fragment dropped";
}

CReplyHead Answer(ResultCode status, std::string location) {
    return {status, std::move(location)};
}

TEST(RedirectChain, OnlyAnAllPermanentChainEndingWellIsAMove) {
    CRedirectChain chain("http://h/old#part", false);
    EXPECT_EQ(chain.Next(Answer(301, "/mid")), "http://h/mid");
    EXPECT_EQ(chain.Next(Answer(308, "http://h/new")), "http://h/new");
    EXPECT_FALSE(chain.Next(Answer(200, "http://h/ignored")));
    const CChainEnd moved = chain.End(200, true);
    EXPECT_EQ(moved.code, kMovedPermanently);
    EXPECT_EQ(moved.movedTo, "http://h/new#part") << "the link's fragment stays with it";

    EXPECT_EQ(chain.End(404, true).code, 404u) << "a move to a missing page is that page's code";
    EXPECT_EQ(chain.End(kHostNotFound, false).code, kHostNotFound);

    CRedirectChain temporary("http://h/old", false);
    temporary.Next(Answer(301, "/mid"));
    temporary.Next(Answer(302, "/new"));
    EXPECT_EQ(temporary.End(200, true).code, 200u) << "one temporary hop and it is no move";
    EXPECT_EQ(CRedirectChain("http://h/x", false).End(200, true).code, 200u);
}

TEST(RedirectChain, LoopsAndLongChainsAreTooManyRedirects) {
    CRedirectChain loop("http://h/a", false);
    EXPECT_TRUE(loop.Next(Answer(301, "/b")));
    EXPECT_FALSE(loop.Next(Answer(301, "/a#x"))) << "back to the start, fragment aside";
    EXPECT_EQ(loop.End(301, true).code, kTooManyRedirects);

    CRedirectChain longChain("http://h/0", false);
    for (int hop = 1; hop <= kMaxRedirects; ++hop) {
        EXPECT_TRUE(longChain.Next(Answer(307, "/" + std::to_string(hop)))) << hop;
    }
    EXPECT_FALSE(longChain.Next(Answer(307, "/11")));
    EXPECT_EQ(longChain.End(307, true).code, kTooManyRedirects);
}

TEST(RedirectChain, AChainStopsWhereItCannotGoOn) {
    CRedirectChain toHttps("http://h/x", false);
    EXPECT_FALSE(toHttps.Next(Answer(301, "https://h/x"))) << "https is not asked";
    EXPECT_EQ(toHttps.End(301, true).code, 301u);
    EXPECT_EQ(CRedirectChain("http://h/x", true).Next(Answer(301, "https://h/x")), "https://h/x");

    CRedirectChain noLocation("http://h/x", false);
    EXPECT_FALSE(noLocation.Next({301, std::nullopt}));
    EXPECT_FALSE(noLocation.Next(Answer(301, "javascript:alert(1)")));
    EXPECT_FALSE(noLocation.Next(Answer(300, "/y"))) << "300 names no one place";
    EXPECT_EQ(noLocation.End(301, true).code, 301u);
}

TEST(MoveSafety, MovesToFrontOrSignInPagesAreNeverWrittenIntoPages) {
    struct Case {
        const char* from;
        const char* to;
        bool safe;
    };
    const std::vector<Case> cases = {
        {"http://h/docs/a.html", "http://h/manual/a.html", true},
        {"http://h/docs/a.html", "http://other/docs/a.html", true},
        {"http://h/docs/a.html", "https://H./docs/a.html", true},
        {"http://h/login", "https://h/login", true},
        {"http://h/", "https://h/", true},
        {"http://h/docs/a.html", "http://h/", false},
        {"http://h/docs/a.html", "https://h/index.html", false},
        {"http://h/docs/a.html", "http://h:8080", false},
        {"http://h/docs/a.html", "http://h/?from=a", true},
        {"http://h/", "http://h/index.html", true},
        {"http://h/", "http://other.test/", false},
        {"http://h/docs/a.html", "http://h/account/Login?next=/docs/a.html", false},
        {"http://h/docs/a.html", "http://sso.h/sign-in", false},
        {"http://h/docs/a.html", "http://h/auth/x", false},
        {"http://h/login.html", "http://h/signin.html", true},
        {"http://h/docs/a.html", "https://h/docs/b.html#top", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(!UnsafeMoveReason(c.from, c.to).has_value(), c.safe) << c.from << " -> " << c.to;
    }
    EXPECT_EQ(UnsafeMoveReason("http://h/a", "http://h/"), "the new address is the site's front page");
}

}  // namespace
