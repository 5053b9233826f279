#pragma once

#include <string>

// The head of the GET request for a link, without its two closing CR LF pieces. Header lines
// end in a bare LF and only the last one in CR LF (sent after this text), followed by the empty
// line's CR LF: the bytes some old servers and the tests expect.
std::string HttpRequestHead(const std::string& host, const std::string& path);
