#include "profile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "asciitext.h"
#include "systemdir.h"
#include "textfile.h"

namespace platform {
namespace {

std::string Trim(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) {
        return "";
    }
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

// OpenFile, not a stream of the library: it refuses a FIFO in the profile's place instead of
// waiting for a writer.
std::vector<std::string> ReadLines() {
    std::vector<std::string> lines;
    const CFilePtr file = OpenFile(ProfilePath(), "rb");
    if (!file) {
        return lines;
    }
    std::string line;
    for (int c = std::getc(file.get()); c != EOF; c = std::getc(file.get())) {
        if (c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

bool IsSection(const std::string& line, const std::string& section) {
    const std::string trimmed = Trim(line);
    return trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']' &&
           AsciiLower(Trim(trimmed.substr(1, trimmed.size() - 2))) == AsciiLower(section);
}

bool IsAnySection(const std::string& line) {
    const std::string trimmed = Trim(line);
    return !trimmed.empty() && trimmed.front() == '[';
}

// The line index of name in section, or of the section's end (-1 when there is no section).
struct CPosition {
    long section = -1;
    long value = -1;
    long end = -1;
};

CPosition Find(const std::vector<std::string>& lines, const std::string& section,
               const std::string& name) {
    CPosition at;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (at.section < 0) {
            if (IsSection(lines[i], section)) {
                at.section = static_cast<long>(i);
                at.end = static_cast<long>(i) + 1;
            }
            continue;
        }
        if (IsAnySection(lines[i])) {
            break;
        }
        const std::size_t equals = lines[i].find('=');
        if (equals != std::string::npos &&
            AsciiLower(Trim(lines[i].substr(0, equals))) == AsciiLower(name)) {
            at.value = static_cast<long>(i);
            return at;
        }
        if (!Trim(lines[i]).empty()) {
            at.end = static_cast<long>(i) + 1;
        }
    }
    return at;
}

}  // namespace

std::string ProfilePath() {
    return SystemFilePath("linkvet.ini");
}

int GetProfileInt(const std::string& section, const std::string& name, int defaultValue) {
    const std::vector<std::string> lines = ReadLines();
    const CPosition at = Find(lines, section, name);
    if (at.value < 0) {
        return defaultValue;
    }
    const std::string& line = lines[static_cast<std::size_t>(at.value)];
    const std::string text = Trim(line.substr(line.find('=') + 1));
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return end == text.c_str() ? defaultValue : static_cast<int>(value);
}

bool WriteProfileInt(const std::string& section, const std::string& name, int value) {
    std::vector<std::string> lines = ReadLines();
    const CPosition at = Find(lines, section, name);
    const std::string entry = name + "=" + std::to_string(value);
    if (at.value >= 0) {
        lines[static_cast<std::size_t>(at.value)] = entry;
    } else if (at.section >= 0) {
        lines.insert(lines.begin() + at.end, entry);
    } else {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
    const std::string path = ProfilePath();
    if (path.empty()) {
        return false;
    }
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines) {
            out << line << '\n';
        }
        if (!out.flush()) {
            ::unlink(temporary.c_str());
            return false;
        }
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace platform
