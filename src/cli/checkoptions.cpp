#include "checkoptions.h"

std::string UsageText() {
    return "Usage: linkvet-check --files|--links [-a] [-r] [-H] PATH\n"
           "\n"
           "  --files            print the files the selection yields, one per line\n"
           "  --links            print each link as FILE<TAB>URL<TAB>ANCHOR NAME\n"
           "  -a, --all-files    test the files of the directory PATH\n"
           "  -r, --recurse      also walk its sub-directories (implies -a)\n"
           "  -H, --html-only    only files with a web-page extension such as .htm\n"
           "  -h, --help         show this help\n"
           "      --version      show the version\n";
}

std::optional<CCheckOptions> ParseCheckOptions(const std::vector<std::string>& arguments,
                                               std::string& error) {
    CCheckOptions options;
    std::optional<CCheckMode> mode;
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            paths.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--files" || argument == "--links") {
            const CCheckMode chosen =
                argument == "--files" ? CCheckMode::ListFiles : CCheckMode::ListLinks;
            if (mode && *mode != chosen) {
                error = "--files and --links exclude each other";
                return std::nullopt;
            }
            mode = chosen;
        } else if (argument == "-h" || argument == "--help") {
            options.mode = CCheckMode::ShowHelp;
            return options;
        } else if (argument == "--version") {
            options.mode = CCheckMode::ShowVersion;
            return options;
        } else if (argument == "-a" || argument == "--all-files") {
            options.choice.allFiles = true;
        } else if (argument == "-r" || argument == "--recurse") {
            options.choice.recurse = true;
            options.choice.allFiles = true;
        } else if (argument == "-H" || argument == "--html-only") {
            options.choice.htmlOnly = true;
        } else {
            error = "unknown option " + argument;
            return std::nullopt;
        }
    }
    if (!mode) {
        error = "say --files or --links";
        return std::nullopt;
    }
    if (paths.size() != 1) {
        error = paths.empty() ? "no PATH given" : "more than one PATH given";
        return std::nullopt;
    }
    options.mode = *mode;
    options.choice.path = paths.front();
    return options;
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
