#include "fileselect.h"

#include <array>
#include <string_view>
#include <vector>

#include "platform/direnum.h"
#include "platform/systemdir.h"

namespace {

constexpr std::array<std::string_view, 11> kWebPageExtensions = {
    ".HTM", ".SHTM", ".HTML", ".SHTML", ".ASP", ".JSP", ".ASPX", ".JHTM", ".JHTML", ".TIN", ".HTX"};

constexpr std::uint32_t kNotAFile = platform::kAttributeDirectory | platform::kAttributeDevice;

bool IsWalkableDirectory(const platform::CDirEntry& entry) {
    // Exactly the directory bit: hidden directories and links to directories are not walked.
    return entry.attributes == platform::kAttributeDirectory && entry.name[0] != '.';
}

void AppendFiles(StringList& list, const std::string& directory,
                 const std::vector<platform::CDirEntry>& entries, bool htmlOnly) {
    for (const platform::CDirEntry& entry : entries) {
        if ((entry.attributes & kNotAFile) != 0 || IsRepairFileName(entry.name)) {
            continue;
        }
        std::string fullPath = platform::JoinPath(directory, entry.name);
        if (!htmlOnly || HasWebPageExtension(fullPath)) {
            list.push_back(std::move(fullPath));
        }
    }
}

}  // namespace

bool IsRepairFileName(std::string_view name) {
    return name.ends_with(kBackupSuffix) || name.ends_with(kWorkFileSuffix);
}

bool HasWebPageExtension(const std::string& fullPath) {
    std::string upper = fullPath;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    for (std::string_view extension : kWebPageExtensions) {
        const std::size_t at = upper.find(extension);
        if (at != std::string::npos && at > 0) {
            return true;
        }
    }
    return false;
}

void AddDirectoryFiles(StringList& list, const std::string& directory, bool htmlOnly) {
    if (const auto entries = platform::ListDirectory(directory)) {
        AppendFiles(list, directory, *entries, htmlOnly);
    }
}

void AddDirectoryTree(StringList& list, const std::string& directory, bool htmlOnly) {
    // One listing serves both the directory's files and its sub-directories.
    const auto entries = platform::ListDirectory(directory);
    if (!entries) {
        return;
    }
    AppendFiles(list, directory, *entries, htmlOnly);
    std::vector<std::string> subDirectories;
    for (const platform::CDirEntry& entry : *entries) {
        if (IsWalkableDirectory(entry)) {
            subDirectories.push_back(platform::JoinPath(directory, entry.name));
        }
    }
    while (!subDirectories.empty()) {
        AddDirectoryTree(list, subDirectories.back(), htmlOnly);
        subDirectories.pop_back();
    }
}

StringList SelectFiles(const CFileChoice& choice) {
    StringList files;
    if (!choice.allFiles && !choice.recurse) {
        files.push_back(choice.path);
    } else if (choice.allFiles && !choice.recurse) {
        AddDirectoryFiles(files, choice.path, choice.htmlOnly);
    } else if (choice.allFiles && choice.recurse) {
        AddDirectoryTree(files, choice.path, choice.htmlOnly);
    }
    return files;
}
