#include "checkoptions.h"

#include <cstdlib>

#include "probe/resultcodes.h"
#include "repair/repairtext.h"

namespace {

constexpr int kMinTimeout = 5;
constexpr int kMaxTimeout = 1000;

std::optional<int> ParseTimeout(const std::string& text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int seconds = std::atoi(text.c_str());
    if (seconds < kMinTimeout || seconds > kMaxTimeout) {
        return std::nullopt;
    }
    return seconds;
}

std::optional<int> ParseRepairMethod(const std::string& text) {
    if (text == "disable") {
        return kRepairDisable;
    }
    if (text == "replace") {
        return kRepairReplace;
    }
    if (text == "remove") {
        return kRepairRemove;
    }
    return std::nullopt;
}

bool IsFilter(const std::string& text) {
    return text.size() == kResultCodeCount && text.find_first_not_of("01") == std::string::npos;
}

// Splits "--name=value" into its two halves; a plain argument keeps an empty value.
std::pair<std::string, std::optional<std::string>> SplitInlineValue(const std::string& argument) {
    const std::size_t equals = argument.find('=');
    if (argument.rfind("--", 0) != 0 || equals == std::string::npos) {
        return {argument, std::nullopt};
    }
    return {argument.substr(0, equals), argument.substr(equals + 1)};
}

class CParser {
public:
    explicit CParser(const std::vector<std::string>& arguments) : m_arguments(arguments) {}

    std::optional<CCheckOptions> Parse(std::string& error);

private:
    bool TakeOption(const std::string& name, const std::optional<std::string>& inlineValue);
    bool SetMode(CCheckMode mode);
    std::optional<std::string> Value(const std::string& name,
                                     const std::optional<std::string>& inlineValue);

    const std::vector<std::string>& m_arguments;
    std::size_t m_next = 0;
    CCheckOptions m_options;
    std::optional<CCheckMode> m_mode;
    std::vector<std::string> m_paths;
    std::string m_error;
};

std::optional<std::string> CParser::Value(const std::string& name,
                                          const std::optional<std::string>& inlineValue) {
    if (inlineValue) {
        return inlineValue;
    }
    if (m_next >= m_arguments.size()) {
        m_error = name + " needs a value";
        return std::nullopt;
    }
    return m_arguments[m_next++];
}

bool CParser::SetMode(CCheckMode mode) {
    if (m_mode && *m_mode != mode) {
        m_error = "--files and --links exclude each other";
        return false;
    }
    m_mode = mode;
    return true;
}

bool TakesValue(const std::string& name) {
    for (const char* option : {"-t", "--timeout", "-f", "--filter", "--format", "-o", "--output",
                               "--repair", "--scan"}) {
        if (name == option) {
            return true;
        }
    }
    return false;
}

bool CParser::TakeOption(const std::string& name, const std::optional<std::string>& inlineValue) {
    if (inlineValue && !TakesValue(name)) {
        m_error = name + " takes no value";
        return false;
    }
    if (name == "--files") {
        return SetMode(CCheckMode::ListFiles);
    }
    if (name == "--links") {
        return SetMode(CCheckMode::ListLinks);
    }
    if (name == "-a" || name == "--all-files") {
        m_options.choice.allFiles = true;
    } else if (name == "-r" || name == "--recurse") {
        m_options.choice.recurse = true;
        m_options.choice.allFiles = true;
    } else if (name == "-H" || name == "--html-only") {
        m_options.choice.htmlOnly = true;
    } else if (name == "-q" || name == "--quiet") {
        m_options.quiet = true;
    } else if (name == "-t" || name == "--timeout") {
        const auto value = Value(name, inlineValue);
        m_options.timeoutSeconds = value ? ParseTimeout(*value) : std::nullopt;
        if (!m_options.timeoutSeconds && m_error.empty()) {
            m_error = "the time-out is a number of seconds from 5 to 1000";
        }
        return m_options.timeoutSeconds.has_value();
    } else if (name == "-f" || name == "--filter") {
        const auto value = Value(name, inlineValue);
        if (value && !IsFilter(*value)) {
            m_error = "the filter is 21 characters of 0 and 1";
            return false;
        }
        m_options.filter = value;
        return value.has_value();
    } else if (name == "--format") {
        const auto value = Value(name, inlineValue);
        if (value && *value != "text" && *value != "html") {
            m_error = "the format is text or html";
            return false;
        }
        m_options.format = value == "html" ? CReportFormat::Html : CReportFormat::Text;
        return value.has_value();
    } else if (name == "-o" || name == "--output") {
        const auto value = Value(name, inlineValue);
        if (value && value->empty()) {
            m_error = "the output file needs a name";
            return false;
        }
        m_options.outputPath = value.value_or("");
        return value.has_value();
    } else if (name == "--scan") {
        const auto value = Value(name, inlineValue);
        if (value && *value != "classic" && *value != "html") {
            m_error = "the scanner is classic or html";
            return false;
        }
        m_options.htmlScan = value == "html";
        return value.has_value();
    } else if (name == "--repair") {
        const auto value = Value(name, inlineValue);
        m_options.repairMethod = value ? ParseRepairMethod(*value) : std::nullopt;
        if (!m_options.repairMethod && m_error.empty()) {
            m_error = "the repair method is disable, replace or remove";
        }
        return m_options.repairMethod.has_value();
    } else {
        m_error = "unknown option " + name;
        return false;
    }
    return true;
}

std::optional<CCheckOptions> CParser::Parse(std::string& error) {
    bool optionsEnded = false;
    while (m_next < m_arguments.size()) {
        const std::string& argument = m_arguments[m_next++];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            m_paths.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            m_options.mode = CCheckMode::ShowHelp;
            return m_options;
        } else if (argument == "--version") {
            m_options.mode = CCheckMode::ShowVersion;
            return m_options;
        } else if (const auto [name, value] = SplitInlineValue(argument); !TakeOption(name, value)) {
            error = m_error;
            return std::nullopt;
        }
    }
    if (m_paths.size() != 1) {
        error = m_paths.empty() ? "no PATH given" : "more than one PATH given";
        return std::nullopt;
    }
    m_options.mode = m_mode.value_or(CCheckMode::RunTest);
    if (m_options.repairMethod && m_options.mode != CCheckMode::RunTest) {
        error = "--repair needs a test run";
        return std::nullopt;
    }
    m_options.choice.path = m_paths.front();
    return m_options;
}

}  // namespace

std::string UsageText() {
    return "Usage: linkvet-check [OPTIONS] PATH          test the links and write the report\n"
           "       linkvet-check --files [-a] [-r] [-H] PATH\n"
           "       linkvet-check --links [-a] [-r] [-H] PATH\n"
           "\n"
           "  -a, --all-files      test the files of the directory PATH\n"
           "  -r, --recurse        also walk its sub-directories (implies -a)\n"
           "  -H, --html-only      only files with a web-page extension such as .htm\n"
           "  -t, --timeout SECS   how long to wait for slow hosts, 5 to 1000 seconds\n"
           "  -f, --filter BITS    the report filter, 21 characters of 0 and 1\n"
           "      --format FORMAT  the report as text (the default) or html\n"
           "  -o, --output FILE    write the report to FILE instead of standard output\n"
           "  -q, --quiet          no log lines and no progress on standard error\n"
           "      --repair METHOD  after the run, disable, replace or remove the reported links\n"
           "                       in their files; each file keeps its old text in a .rep file\n"
           "      --scan SCANNER   read pages with the classic scanner (the default) or as html:\n"
           "                       the hrefs of a and area elements, local links checked on\n"
           "                       the file system, fragments included\n"
           "      --files          print the files the selection yields, one per line\n"
           "      --links          print each link as FILE<TAB>URL<TAB>ANCHOR NAME; with\n"
           "                       --scan html a fourth field holds a local link's target\n"
           "  -h, --help           show this help\n"
           "      --version        show the version\n"
           "\n"
           "Exit status: 0 no link reported, 1 links reported, 2 bad input or a run that could\n"
           "not start or finish, 3 a repair stopped at a failure, 130 stopped with Ctrl+C.\n";
}

std::optional<CCheckOptions> ParseCheckOptions(const std::vector<std::string>& arguments,
                                               std::string& error) {
    return CParser(arguments).Parse(error);
}

std::string EscapeField(const std::string& field) {
    std::string escaped;
    escaped.reserve(field.size());
    for (char c : field) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}
