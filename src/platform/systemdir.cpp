#include "systemdir.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// mkdir -p; failures are left for the first file operation to report.
void MakeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    }
    ::mkdir(path.c_str(), 0700);
}

// The user's home folder as the password database has it; empty when it has none.
std::string PasswordHome() {
    std::vector<char> buffer(1024);
    for (;;) {
        struct passwd entry {};
        struct passwd* found = nullptr;
        const int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < 1024 * 1024) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return error == 0 && found != nullptr && found->pw_dir != nullptr ? found->pw_dir : "";
    }
}

std::string ChooseSystemDirectory() {
    if (std::string home = Environment("LINKVET_HOME"); !home.empty()) {
        return home;
    }
    // XDG says a relative XDG_STATE_HOME is invalid and must be ignored.
    if (std::string state = Environment("XDG_STATE_HOME"); !state.empty() && state[0] == '/') {
        return state + "/linkvet";
    }
    const std::string home = HomeFolder();
    return home.empty() || home[0] != '/' ? std::string() : home + "/.local/state/linkvet";
}

// Another user who owns the directory, or may write in it, could plant links or settings.
bool IsPrivateDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::string HomeFolder() {
    // Never a shared folder such as /tmp in its place, where another user could be first.
    std::string home = Environment("HOME");
    return home.empty() ? PasswordHome() : home;
}

std::optional<std::string> SystemDirectory() {
    std::string directory = ChooseSystemDirectory();
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    if (directory.empty()) {
        return std::nullopt;
    }
    MakeDirectories(directory);
    if (!IsPrivateDirectory(directory)) {
        return std::nullopt;
    }
    return directory;
}

std::string SystemFilePath(const std::string& name) {
    const std::optional<std::string> directory = SystemDirectory();
    return directory ? JoinPath(*directory, name) : std::string();
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    return directory + "/" + name;
}

}  // namespace platform
