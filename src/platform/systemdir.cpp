#include "systemdir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

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

std::string ChooseSystemDirectory() {
    if (std::string home = Environment("LINKVET_HOME"); !home.empty()) {
        return home;
    }
    // XDG says a relative XDG_STATE_HOME is invalid and must be ignored.
    if (std::string state = Environment("XDG_STATE_HOME"); !state.empty() && state[0] == '/') {
        return state + "/linkvet";
    }
    if (std::string home = Environment("HOME"); !home.empty()) {
        return home + "/.local/state/linkvet";
    }
    return "/tmp/linkvet-" + std::to_string(::getuid());
}

}  // namespace

std::string SystemDirectory() {
    std::string directory = ChooseSystemDirectory();
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    MakeDirectories(directory);
    return directory;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    return directory + "/" + name;
}

}  // namespace platform
