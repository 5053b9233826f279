#include "linkexcludes.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>

namespace {

// Bounds on one search: the backtracking steps, and the heap its frames may take (KiB).
constexpr std::uint32_t kMatchLimit = 10'000'000;
constexpr std::uint32_t kHeapLimitKib = 64 * 1024;

constexpr std::uint32_t kOptions = PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY |
                                   PCRE2_MATCH_UNSET_BACKREF | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP;

struct CCodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct CMatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct CMatchContextFree {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct CCompileContextFree {
    void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};

std::unique_ptr<pcre2_code, CCodeFree> Compile(const std::string& expression) {
    const std::unique_ptr<pcre2_compile_context, CCompileContextFree> context(
        pcre2_compile_context_create(nullptr));
    // \u{...} as ECMAScript 2015 writes it, beside \uHHHH.
    pcre2_set_compile_extra_options(context.get(), PCRE2_EXTRA_ALT_BSUX);
    int error = 0;
    PCRE2_SIZE offset = 0;
    return std::unique_ptr<pcre2_code, CCodeFree>(
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(expression.data()), expression.size(), kOptions,
                      &error, &offset, context.get()));
}

}  // namespace

class CLinkExcludes::CExpression {
public:
    explicit CExpression(std::unique_ptr<pcre2_code, CCodeFree> code)
        : m_code(std::move(code)),
          m_data(pcre2_match_data_create_from_pattern(m_code.get(), nullptr)),
          m_context(pcre2_match_context_create(nullptr)) {
        pcre2_set_match_limit(m_context.get(), kMatchLimit);
        pcre2_set_heap_limit(m_context.get(), kHeapLimitKib);
    }

    bool Found(const std::string& link) const {
        return pcre2_match(m_code.get(), reinterpret_cast<PCRE2_SPTR>(link.data()), link.size(), 0,
                           0, m_data.get(), m_context.get()) >= 0;
    }

private:
    std::unique_ptr<pcre2_code, CCodeFree> m_code;
    std::unique_ptr<pcre2_match_data, CMatchDataFree> m_data;
    std::unique_ptr<pcre2_match_context, CMatchContextFree> m_context;
};

CLinkExcludes::CLinkExcludes() = default;
CLinkExcludes::~CLinkExcludes() = default;
CLinkExcludes::CLinkExcludes(CLinkExcludes&&) noexcept = default;
CLinkExcludes& CLinkExcludes::operator=(CLinkExcludes&&) noexcept = default;

bool CLinkExcludes::Add(const std::string& expression) {
    if (expression.empty()) {
        return false;
    }
    auto code = Compile(expression);
    if (!code) {
        return false;
    }
    m_expressions.push_back(std::make_unique<CExpression>(std::move(code)));
    return true;
}

bool CLinkExcludes::Matches(const std::string& link) const {
    return std::any_of(m_expressions.begin(), m_expressions.end(),
                       [&](const auto& expression) { return expression->Found(link); });
}
