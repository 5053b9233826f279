#pragma once

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

// What every fuzz target shares: a broken property aborts, named, so libFuzzer keeps the input.
inline void Require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "%s: broken: %s\n", program_invocation_short_name, property);
        std::abort();
    }
}

inline int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return std::remove(path);
}

inline void RemoveTree(const std::string& path) {
    ::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

// The names in a folder, "." and ".." left out.
inline std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    Require(dir != nullptr, "a folder of the fuzz target's own can be listed");
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace(name);
        }
    }
    ::closedir(dir);
    return names;
}
