#include "checkoptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <functional>

#include "platform/fileops.h"
#include "probe/resultcodes.h"
#include "repair/repairtext.h"
#include "run/linkexcludes.h"
#include "run/testrun.h"

namespace {

constexpr int kMinTimeout = 5;
constexpr int kMaxTimeout = 1000;

const char* const kUsageLines =
    "Usage: linkvet-check [OPTIONS] PATH          test the links and write the report\n"
    "       linkvet-check --files [-a] [-r] [-H] PATH\n"
    "       linkvet-check --links [-a] [-r] [-H] PATH\n";

const char* const kFooter =
    "Options take their value as the next argument or after \"=\": -t 30, --timeout=30.\n"
    "Arguments are taken as bytes: paths need not be UTF-8.\n"
    "\n"
    "The JSON report holds the run (whether it finished, its counts) and one object per\n"
    "reported row (link, code, reason, anchor, file, and moved_to for a link that moved for\n"
    "good). A text that is not valid UTF-8 is written with U+FFFD for its bad bytes, and its\n"
    "exact bytes follow in base64 in a field of the same name ending in \"_base64\". The\n"
    "JUnit report has a testsuite for the run, then one per file and one testcase per link\n"
    "tested; control bytes and bytes that are not UTF-8 are written there as \\xHH, and a\n"
    "backslash as \\\\.\n"
    "On a terminal, control bytes (and bytes that are not UTF-8) of links, names and paths are\n"
    "shown as \\xHH; into a file or a pipe every byte is written as it is (--files and --links\n"
    "always escape \\, TAB, LF and CR as \\\\, \\t, \\n and \\r).\n"
    "\n"
    "Exit status: 0 no link reported, 1 links reported, 2 bad input or a run that could\n"
    "not start or finish, 3 a repair stopped at a failure or was refused, 130 stopped with\n"
    "Ctrl+C.";

// A count from low to high written in decimal digits only.
std::optional<int> ParseCount(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int value = std::stoi(text);
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
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
    if (text == "update") {
        return kRepairUpdate;
    }
    return std::nullopt;
}

std::optional<CReportFormat> ParseFormat(const std::string& text) {
    if (text == "text") {
        return CReportFormat::Text;
    }
    if (text == "html") {
        return CReportFormat::Html;
    }
    if (text == "json") {
        return CReportFormat::Json;
    }
    if (text == "junit") {
        return CReportFormat::Junit;
    }
    return std::nullopt;
}

bool IsFilter(const std::string& text) {
    return text.size() == kResultCodeCount && text.find_first_not_of("01") == std::string::npos;
}

// CLI11 keeps what it could not place, in the order read: paths (every argument that is no
// option, and every one after "--"), unknown options, and the "--" itself.
class CCheckApp : public CLI::App {
public:
    CCheckApp() : CLI::App("", "linkvet-check") {}

    std::vector<std::string> Paths() const { return Left(CLI::detail::Classifier::NONE); }
    // The first unknown option in the order typed.
    std::optional<std::string> FirstUnknownOption() const {
        for (const auto& [kind, argument] : missing_) {
            if (kind == CLI::detail::Classifier::SHORT || kind == CLI::detail::Classifier::LONG) {
                return argument;
            }
        }
        return std::nullopt;
    }

private:
    std::vector<std::string> Left(CLI::detail::Classifier wanted) const {
        std::vector<std::string> left;
        for (const auto& [kind, argument] : missing_) {
            if (kind == wanted) {
                left.push_back(argument);
            }
        }
        return left;
    }
};

// The usage lines stand where CLI11 would put its own one-line summary.
class CUsageFormatter : public CLI::Formatter {
public:
    CUsageFormatter() { column_width(24); }
    std::string make_usage(const CLI::App*, std::string) const override { return kUsageLines; }
};

// The command line as CLI11 reads it. Every option acts when it is read, so the first mistake
// in the order typed is the one reported, and --help or --version ends the reading where it
// stands, as long as nothing before it was wrong.
class CParser {
public:
    CParser();

    std::optional<CCheckOptions> Parse(const std::vector<std::string>& arguments,
                                       std::string& error);
    std::string Help() const { return m_app.help(); }

private:
    using CTake = std::function<void(const std::string&)>;

    CLI::Option* AddValue(const std::string& names, const std::string& valueName,
                          const std::string& description, CTake take);
    CLI::Option* AddFlag(const std::string& names, const std::string& description,
                         std::function<void()> take);
    CLI::Option* AddRunValue(const std::string& names, const std::string& valueName,
                             const std::string& description, CTake take);
    CLI::Option* AddRunFlag(const std::string& names, const std::string& description,
                            std::function<void()> take);
    void AddSelectionOptions();
    void AddRunOptions();
    void AddReportOptions();
    void AddListingAndGeneralOptions();

    void Fail(const std::string& text);
    void Stop(CCheckMode mode);
    void SetListMode(CCheckMode mode);
    std::optional<std::string> FirstUnknownOption() const;
    std::vector<std::string> WithInlineValuesKept(const std::vector<std::string>& arguments) const;
    // Keep one option argument as WithInlineValuesKept does; true when the next argument is
    // the option's value.
    bool KeepLongOption(const std::string& argument, std::vector<std::string>& kept) const;
    bool KeepShortOptions(const std::string& argument, std::vector<std::string>& kept) const;
    std::optional<std::string> CheckWhole() const;

    CCheckApp m_app;
    std::vector<const CLI::Option*> m_runOnly;
    CCheckOptions m_options;
    std::optional<CCheckMode> m_listMode;
    std::optional<CCheckMode> m_stop;
    std::optional<std::string> m_error;
};

CParser::CParser() {
    m_app.formatter(std::make_shared<CUsageFormatter>());
    m_app.set_help_flag();
    m_app.allow_extras();
    m_app.footer(kFooter);
    AddSelectionOptions();
    AddRunOptions();
    AddReportOptions();
    AddListingAndGeneralOptions();
}

CLI::Option* CParser::AddValue(const std::string& names, const std::string& valueName,
                               const std::string& description, CTake take) {
    return m_app.add_option(names, description)
        ->type_name(valueName)
        ->expected(1)
        ->each([take = std::move(take)](const std::string& value) { take(value); })
        ->trigger_on_parse();
}

CLI::Option* CParser::AddFlag(const std::string& names, const std::string& description,
                              std::function<void()> take) {
    CLI::Option* option = m_app.add_flag(names, description);
    // A flag given a value is handed the name it was typed as (see WithInlineValuesKept).
    return option
        ->each([this, take = std::move(take)](const std::string& value) {
            if (value != "true") {
                Fail(value + " takes no value");
            } else {
                take();
            }
        })
        ->trigger_on_parse();
}

CLI::Option* CParser::AddRunValue(const std::string& names, const std::string& valueName,
                                  const std::string& description, CTake take) {
    CLI::Option* option = AddValue(names, valueName, description, std::move(take));
    m_runOnly.push_back(option);
    return option;
}

CLI::Option* CParser::AddRunFlag(const std::string& names, const std::string& description,
                                 std::function<void()> take) {
    CLI::Option* option = AddFlag(names, description, std::move(take));
    m_runOnly.push_back(option);
    return option;
}

void CParser::AddSelectionOptions() {
    const std::string group = "What to read";
    AddFlag("-a,--all-files", "test the files of the directory PATH", [this] {
        m_options.choice.allFiles = true;
    })->group(group);
    AddFlag("-r,--recurse", "also walk its sub-directories (implies -a)", [this] {
        m_options.choice.recurse = true;
        m_options.choice.allFiles = true;
    })->group(group);
    AddFlag("-H,--html-only", "only files with a web-page extension such as .htm", [this] {
        m_options.choice.htmlOnly = true;
    })->group(group);
}

void CParser::AddRunOptions() {
    const std::string group = "How to test";
    AddRunValue("-t,--timeout", "SECS", "how long to wait for slow hosts, 5 to 1000 seconds",
                [this](const std::string& value) {
                    m_options.timeoutSeconds = ParseCount(value, kMinTimeout, kMaxTimeout);
                    if (!m_options.timeoutSeconds) {
                        Fail("the time-out is a number of seconds from 5 to 1000");
                    }
                })
        ->group(group);
    AddRunValue("-f,--filter", "BITS", "the report filter, 21 characters of 0 and 1",
                [this](const std::string& value) {
                    if (!IsFilter(value)) {
                        Fail("the filter is 21 characters of 0 and 1");
                    }
                    m_options.filter = value;
                })
        ->group(group);
    AddRunValue("--exclude", "REGEX",
                "leave the links REGEX (ECMAScript-like) is found in untested\n"
                "and unreported; may be given more than once",
                [this](const std::string& value) {
                    if (value.empty()) {
                        Fail("the --exclude expression is empty (it would exclude every link)");
                    } else if (!CLinkExcludes().Add(value)) {
                        Fail("the --exclude expression \"" + value +
                             "\" is not a valid regular expression");
                    }
                    m_options.excludes.push_back(value);
                })
        ->group(group);
    // --https and --scan decide which links a page holds, so the listings take them too.
    AddFlag("--https", "also test (and list) https links", [this] {
        m_options.https = true;
    })->group(group);
    AddRunValue("-j,--jobs", "N", "test up to N links at once, 1 to 256 (default 1); the\n"
                "report and the log are the same for any N",
                [this](const std::string& value) {
                    const auto jobs = ParseCount(value, 1, CTestRun::kMaxJobs);
                    if (!jobs) {
                        Fail("the number of jobs is from 1 to 256");
                    }
                    m_options.jobs = jobs.value_or(1);
                })
        ->group(group);
    AddRunValue("--per-host", "M", "at most M connections to one host, 1 to 256 (default 6)",
                [this](const std::string& value) {
                    const auto perHost = ParseCount(value, 1, CTestRun::kMaxJobs);
                    if (!perHost) {
                        Fail("the connections per host are from 1 to 256");
                    }
                    m_options.perHost = perHost.value_or(6);
                })
        ->group(group);
    AddValue("--scan", "SCANNER", "read the pages with the classic scanner (the default) or an\n"
                       "HTML parser (html), which also checks links inside the site",
                [this](const std::string& value) {
                    if (value != "classic" && value != "html") {
                        Fail("the scanner is classic or html");
                    }
                    m_options.htmlScan = value == "html";
                })
        ->group(group);
    AddValue("--root", "DIR", "with --scan html, look for links that start with / under the\n"
                      "folder DIR (default: the folder the test starts on)",
                [this](const std::string& value) {
                    if (!platform::IsEnterableDirectory(value)) {
                        Fail("the --root folder \"" + value + "\" does not exist");
                    }
                    m_options.siteRoot = value;
                })
        ->group(group);
    AddRunValue("--redirects", "HOW", "report a redirect as the verdict (report, the default) or\n"
                "follow up to 10 of them (follow); a link that moved for good\n"
                "is then reported as Moved Permanently, with its new address",
                [this](const std::string& value) {
                    if (value != "report" && value != "follow") {
                        Fail("redirects are reported or followed (report or follow)");
                    }
                    m_options.followRedirects = value == "follow";
                })
        ->group(group);
}

void CParser::AddReportOptions() {
    const std::string group = "The report";
    AddRunValue("--format", "FORMAT", "the report as text (the default), html, json or junit",
                [this](const std::string& value) {
                    const auto format = ParseFormat(value);
                    if (!format) {
                        Fail("the format is text, html, json or junit");
                    }
                    m_options.format = format.value_or(CReportFormat::Text);
                })
        ->group(group);
    AddRunValue("-o,--output", "FILE", "write the report to FILE instead of standard output",
                [this](const std::string& value) {
                    if (value.empty()) {
                        Fail("the output file needs a name");
                    }
                    m_options.outputPath = value;
                })
        ->group(group);
    AddRunFlag("-q,--quiet", "no log lines and no progress on standard error", [this] {
        m_options.quiet = true;
    })->group(group);
    AddRunValue("--repair", "METHOD",
                "after the run, disable, replace or remove the reported links\n"
                "in their files, or update those that moved for good to their\n"
                "new addresses; each file keeps its old text in a .rep file",
                [this](const std::string& value) {
                    m_options.repairMethod = ParseRepairMethod(value);
                    if (!m_options.repairMethod) {
                        Fail("the repair method is disable, replace, remove or update");
                    }
                })
        ->group(group);
    AddRunFlag("--dry-run", "with --repair: print what the repair would change, as a\n"
               "unified diff on standard output, and change no file",
               [this] { m_options.dryRun = true; })
        ->group(group);
}

void CParser::AddListingAndGeneralOptions() {
    const std::string listing = "Listing instead of testing";
    AddFlag("--files", "print the files the selection yields, one per line", [this] {
        SetListMode(CCheckMode::ListFiles);
    })->group(listing);
    AddFlag("--links", "print each link as FILE<TAB>URL<TAB>ANCHOR NAME (with\n"
                                  "--scan html, a fourth field: a local link's target)", [this] {
        SetListMode(CCheckMode::ListLinks);
    })->group(listing);
    const std::string general = "General";
    AddFlag("-h,--help", "show this help", [this] { Stop(CCheckMode::ShowHelp); })->group(general);
    AddFlag("--version", "show the version", [this] {
        Stop(CCheckMode::ShowVersion);
    })->group(general);
}

void CParser::Fail(const std::string& text) {
    if (m_error || m_stop) {
        return;
    }
    m_error = FirstUnknownOption().value_or(text);
}

void CParser::Stop(CCheckMode mode) {
    if (m_error || m_stop) {
        return;
    }
    if (const auto unknown = FirstUnknownOption()) {
        m_error = unknown;
        return;
    }
    m_stop = mode;
}

void CParser::SetListMode(CCheckMode mode) {
    if (m_listMode && *m_listMode != mode) {
        Fail("--files and --links exclude each other");
    }
    m_listMode = mode;
}

std::optional<std::string> CParser::FirstUnknownOption() const {
    if (const auto unknown = m_app.FirstUnknownOption()) {
        return "unknown option " + unknown->substr(0, unknown->find('='));
    }
    return std::nullopt;
}

// Inline values as the old reading took them, where CLI11 reads them otherwise: "--output="
// names an empty value (CLI11 would take the next argument instead), and a flag given any
// value is a mistake: "--quiet=yes", even "--quiet=true" (CLI11 would take "true" for the flag
// itself), and a short flag followed by anything but more flags, "-a=1" or "-q-" (CLI11 would
// read "-q-" as -q). Such a flag is handed the name it was typed as for its value, which
// fails the flag's check in the order typed. The value of an option is never rewritten.
std::vector<std::string> CParser::WithInlineValuesKept(
    const std::vector<std::string>& arguments) const {
    std::vector<std::string> kept;
    bool optionsEnded = false;
    bool valueNext = false;
    for (const std::string& argument : arguments) {
        const bool option = !valueNext && !optionsEnded && argument.size() > 1 &&
                            argument[0] == '-' && argument != "--";
        optionsEnded = optionsEnded || (!valueNext && argument == "--");
        valueNext = false;
        if (!option) {
            kept.push_back(argument);
        } else if (argument[1] == '-') {
            valueNext = KeepLongOption(argument, kept);
        } else {
            valueNext = KeepShortOptions(argument, kept);
        }
    }
    return kept;
}

bool CParser::KeepLongOption(const std::string& argument, std::vector<std::string>& kept) const {
    const std::size_t equals = argument.find('=');
    const CLI::Option* option = m_app.get_option_no_throw(argument.substr(0, equals));
    if (option == nullptr) {
        kept.push_back(argument);
        return false;
    }
    const bool flag = option->get_items_expected_min() == 0;
    if (equals == std::string::npos) {
        kept.push_back(argument);
        return !flag;
    }
    if (flag) {
        kept.push_back(argument.substr(0, equals + 1) + argument.substr(0, equals));
    } else if (equals + 1 == argument.size()) {
        kept.push_back(argument.substr(0, equals));
        kept.emplace_back();
    } else {
        kept.push_back(argument);
    }
    return false;
}

bool CParser::KeepShortOptions(const std::string& argument, std::vector<std::string>& kept) const {
    for (std::size_t at = 1; at < argument.size(); ++at) {
        const char name = argument[at];
        const bool afterFlag = at > 1;
        if (afterFlag && std::isalpha(static_cast<unsigned char>(name)) == 0) {
            if (at > 2) {
                kept.push_back(argument.substr(0, at - 1));
            }
            const std::string flag = std::string("-") + argument[at - 1];
            kept.push_back("--" + m_app.get_option(flag)->get_lnames().front() + "=" + flag);
            return false;
        }
        const CLI::Option* option = m_app.get_option_no_throw(std::string("-") + name);
        if (option == nullptr) {
            break;
        }
        if (option->get_items_expected_min() > 0) {
            kept.push_back(argument);
            return at + 1 == argument.size();
        }
    }
    kept.push_back(argument);
    return false;
}

std::optional<std::string> CParser::CheckWhole() const {
    const std::size_t paths = m_app.Paths().size();
    if (paths != 1) {
        return paths == 0 ? "no PATH given" : "more than one PATH given";
    }
    if (m_options.dryRun && !m_options.repairMethod) {
        return "--dry-run needs --repair";
    }
    if (!m_listMode) {
        return std::nullopt;
    }
    for (const CLI::Option* option : m_app.parse_order()) {
        if (std::find(m_runOnly.begin(), m_runOnly.end(), option) != m_runOnly.end()) {
            return "--" + option->get_lnames().front() + " needs a test run";
        }
    }
    return std::nullopt;
}

std::optional<CCheckOptions> CParser::Parse(const std::vector<std::string>& arguments,
                                            std::string& error) {
    std::vector<std::string> reversed = WithInlineValuesKept(arguments);
    std::reverse(reversed.begin(), reversed.end());
    // Every option acts as it is read; what CLI11 still throws is a value missing at the end.
    try {
        m_app.parse(reversed);
    } catch (const CLI::ParseError&) {
        Fail(arguments.back() + " needs a value");
    }
    if (!m_error && !m_stop) {
        m_error = FirstUnknownOption();
    }
    if (!m_error && !m_stop) {
        m_error = CheckWhole();
    }
    if (m_error) {
        error = *m_error;
        return std::nullopt;
    }
    m_options.mode = m_stop.value_or(m_listMode.value_or(CCheckMode::RunTest));
    if (!m_stop) {
        m_options.choice.path = m_app.Paths().front();
    }
    return m_options;
}

}  // namespace

std::string UsageText() {
    return CParser().Help();
}

std::optional<CCheckOptions> ParseCheckOptions(const std::vector<std::string>& arguments,
                                               std::string& error) {
    return CParser().Parse(arguments, error);
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
