#pragma once

#include <optional>
#include <string>
#include <string_view>

// Whether a link that moved for good may be rewritten to its new address in the pages. Sites
// often answer a page they dropped with a permanent redirect to their front page or to a
// sign-in page; writing those into the pages would replace a dead link by a wrong one.
// nullopt when the update is safe, otherwise why not, as a short text for the row:
//   an http to https move of the same host and path is always safe;
//   never to a site's front page when the old address was not one, nor to another host's
//   front page;
//   never to a login or sign-in page when the old address was not one.
std::optional<std::string> UnsafeMoveReason(std::string_view oldUrl, std::string_view newUrl);
