#include "linkexcludes.h"

#include <algorithm>

bool CLinkExcludes::Add(const std::string& expression) {
    // std::regex reports a bad expression only by throwing; the caller gets a plain answer.
    try {
        m_expressions.emplace_back(expression, std::regex::ECMAScript);
    } catch (const std::regex_error&) {
        return false;
    }
    return true;
}

namespace {

// A search the library gives up on (it throws on a too complex one) counts as no match.
bool Found(const std::string& link, const std::regex& expression) {
    try {
        return std::regex_search(link, expression);
    } catch (const std::regex_error&) {
        return false;
    }
}

}  // namespace

bool CLinkExcludes::Matches(const std::string& link) const {
    return std::any_of(m_expressions.begin(), m_expressions.end(),
                       [&](const std::regex& expression) { return Found(link, expression); });
}
