#pragma once

#include <string>

// The scheme of the link being probed.
inline constexpr int kSchemeHttp = 1;
inline constexpr int kSchemeFtp = 2;
inline constexpr int kSchemeHttps = 3;

// The scheme rule: a link that begins with "https://" (any case) is https, which the scanner
// stores only when asked to; any other link whose first letter is H (either case) is http, F
// is ftp; any other first letter keeps the current scheme.
int SchemeOf(const std::string& link, int currentScheme);

// http and https links get the GET request and a verdict from the reply's status number.
bool SpeaksHttp(int scheme);

// Simple cuts on the link as the scanner stored it, not a URL grammar: the scheme prefix is
// dropped by its length alone (7 for http, 8 for https, 6 for ftp), the host ends at the first "/"
// and then at the first ":", the path runs from the first "/" and loses any "#" part; a path that
// has more than one character, does not end in "/" and holds no "." anywhere gains a "/".
std::string SplitHost(const std::string& link, int scheme);
std::string SplitPath(const std::string& link, int scheme);

// The name a connection resolves and checks the certificate against: the split host without
// its leading blanks.
std::string ConnectName(const std::string& host);

// The port a scheme connects to, as text: a port written in the link is never used.
const char* PortFor(int scheme);
