#pragma once

#include <regex>
#include <string>
#include <vector>

// The links a run leaves alone: ECMAScript expressions, each searched anywhere in a link.
class CLinkExcludes {
public:
    // False, and nothing added, when the expression is not a valid ECMAScript expression.
    bool Add(const std::string& expression);
    bool Matches(const std::string& link) const;
    bool Empty() const { return m_expressions.empty(); }

private:
    std::vector<std::regex> m_expressions;
};
