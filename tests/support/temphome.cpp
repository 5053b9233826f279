#include "support/temphome.h"

#include <ftw.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::chmod(path, 0700);
    return ::remove(path);
}

}  // namespace

CTempDir::CTempDir(const std::string& parent) {
    std::string pattern = parent + "/linkvet-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    m_path = pattern;
}

CTempDir::~CTempDir() {
    ::nftw(m_path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

CTempHomeTest::CTempHomeTest() : m_hadHome(std::getenv("LINKVET_HOME") != nullptr) {
    if (m_hadHome) {
        m_previousHome = std::getenv("LINKVET_HOME");
    }
    ::setenv("LINKVET_HOME", m_home.Path().c_str(), 1);
}

CTempHomeTest::~CTempHomeTest() {
    if (m_hadHome) {
        ::setenv("LINKVET_HOME", m_previousHome.c_str(), 1);
    } else {
        ::unsetenv("LINKVET_HOME");
    }
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void MakeDirectory(const std::string& path) {
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
}

bool AsOrdinaryUser(const std::function<bool()>& probe) {
    if (::geteuid() != 0) {
        return probe();
    }
    constexpr uid_t kNobody = 65534;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
            ::setresuid(kNobody, kNobody, kNobody) != 0) {
            ::_exit(2);
        }
        ::_exit(probe() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}
