#pragma once

#include <memory>
#include <string>
#include <vector>

// The links a run leaves alone: regular expressions, each searched anywhere in a link, byte by
// byte. They are PCRE2 expressions read as close to ECMAScript as PCRE2 goes (\uHHHH escapes,
// "$" only at the very end, a back reference to an unset group matches nothing), so that the
// expressions a user wrote for ECMAScript keep their meaning. PCRE2 keeps its backtracking on
// the heap, within fixed limits, so no link, however long, can exhaust the stack.
class CLinkExcludes {
public:
    CLinkExcludes();
    ~CLinkExcludes();
    CLinkExcludes(CLinkExcludes&&) noexcept;
    CLinkExcludes& operator=(CLinkExcludes&&) noexcept;

    // False, and nothing added, when the expression is empty or not valid.
    bool Add(const std::string& expression);
    // A search that reaches the limits counts as no match.
    bool Matches(const std::string& link) const;
    bool Empty() const { return m_expressions.empty(); }

private:
    class CExpression;
    std::vector<std::unique_ptr<CExpression>> m_expressions;
};
