#include "probe/urlsplit.h"

#include <gtest/gtest.h>

namespace {

struct CSplitCase {
    std::string afterPrefix;
    std::string host;
    std::string path;
};

const std::vector<CSplitCase> kCases = {
    {"host", "host", "/"},
    {"host/", "host", "/"},
    {"host/dir", "host", "/dir/"},
    {"host/dir/page.htm", "host", "/dir/page.htm"},
    {"host/old.site/dir", "host", "/old.site/dir"},
    {"host/dir#part", "host", "/dir/"},
    {"host/page.htm#part", "host", "/page.htm"},
    {"host:81/dir", "host", "/dir/"},
    {"host/cgi?x=1", "host", "/cgi?x=1/"},
    {"host/a.cgi?x=1", "host", "/a.cgi?x=1"},
    {"host#part", "host#part", "/"},
    {"", "", ""},
    {"/dir", "", "/dir/"},
    {" host/x.htm", " host", "/x.htm"},
    {"Host.Example/Dir", "Host.Example", "/Dir/"},
};

TEST(UrlSplit, HttpLinksSplitByPlainCuts) {
    for (const CSplitCase& c : kCases) {
        const std::string link = "http://" + c.afterPrefix;
        EXPECT_EQ(SplitHost(link, kSchemeHttp), c.host) << link;
        EXPECT_EQ(SplitPath(link, kSchemeHttp), c.path) << link;
    }
}

TEST(UrlSplit, FtpLinksSplitTheSameWayAfterASixCharacterPrefix) {
    for (const CSplitCase& c : kCases) {
        const std::string link = "FTP://" + c.afterPrefix;
        EXPECT_EQ(SplitHost(link, kSchemeFtp), c.host) << link;
        EXPECT_EQ(SplitPath(link, kSchemeFtp), c.path) << link;
    }
}

TEST(UrlSplit, HttpsLinksSplitTheSameWayAfterAnEightCharacterPrefix) {
    for (const CSplitCase& c : kCases) {
        const std::string link = "HTTPS://" + c.afterPrefix;
        EXPECT_EQ(SplitHost(link, kSchemeHttps), c.host) << link;
        EXPECT_EQ(SplitPath(link, kSchemeHttps), c.path) << link;
    }
}

TEST(UrlSplit, ThePrefixIsDroppedByLengthNotCompared) {
    EXPECT_EQ(SplitHost("HtTp://h/x", kSchemeHttp), "h");
    EXPECT_EQ(SplitHost("http://h/x", kSchemeFtp), "") << "a six-character cut leaves the /";
}

TEST(UrlSplit, SchemeAndPortFollowTheFirstLetter) {
    EXPECT_EQ(SchemeOf("http://h", 0), kSchemeHttp);
    EXPECT_EQ(SchemeOf("HTTP://h", kSchemeFtp), kSchemeHttp);
    EXPECT_EQ(SchemeOf("ftp://h", kSchemeHttp), kSchemeFtp);
    EXPECT_EQ(SchemeOf("Ftp://h", 0), kSchemeFtp);
    EXPECT_EQ(SchemeOf("gopher://h", kSchemeFtp), kSchemeFtp) << "other letters keep the scheme";
    EXPECT_EQ(SchemeOf("", kSchemeHttp), kSchemeHttp);
    EXPECT_STREQ(PortFor(kSchemeHttp), "80");
    EXPECT_STREQ(PortFor(kSchemeFtp), "21");
}

TEST(UrlSplit, HttpsIsTheWholeSchemeNotJustTheFirstLetter) {
    EXPECT_EQ(SchemeOf("https://h", 0), kSchemeHttps);
    EXPECT_EQ(SchemeOf("HtTpS://h", kSchemeFtp), kSchemeHttps);
    EXPECT_EQ(SchemeOf("https:/h", 0), kSchemeHttp);
    EXPECT_EQ(SchemeOf("https", 0), kSchemeHttp);
    EXPECT_EQ(SchemeOf("http://https://h", 0), kSchemeHttp);
    EXPECT_STREQ(PortFor(kSchemeHttps), "443");
    EXPECT_TRUE(SpeaksHttp(kSchemeHttps));
    EXPECT_TRUE(SpeaksHttp(kSchemeHttp));
    EXPECT_FALSE(SpeaksHttp(kSchemeFtp));
    EXPECT_EQ(SplitHost("https://h:8443/x.htm", SchemeOf("https://h:8443/x.htm", 0)), "h");
}

}  // namespace
