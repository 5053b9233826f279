#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "probe/resultcodes.h"

// When redirects are followed the probe reads a reply's head, not only its first line, and
// never more of it than this: a host that sends endless headers is judged on what came.
inline constexpr std::size_t kReplyHeadLimit = 16 * 1024;

// What a reply's head says about the link: its status (as the first line gives it) and, when
// the head has one, the value of its first Location header, blanks around it dropped.
struct CReplyHead {
    ResultCode status = 0;
    std::optional<std::string> location;
};

// Where the head ends in the bytes received so far: just past its empty line (CR LF CR LF, or
// bare LF LF as some hosts send); npos while it has not ended.
std::size_t ReplyHeadEnd(std::string_view bytes);

// Whether the first line is whole in the bytes received so far.
bool FirstLineComplete(std::string_view bytes);

// Reads the status and the Location header of a head, whole or cut short.
CReplyHead ReadReplyHead(std::string_view head);
