#include "savefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fileops.h"
#include "platform/filefaults.h"
#include "platform/unixfile.h"

namespace platform {
namespace {

// A new file beside path, with the permission bits of the file it will replace, or those a
// new file gets under the umask.
CFilePtr CreateBeside(const std::string& temporary, const struct stat* existing) {
    CUnixFile file(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!file || (existing != nullptr && ::fchmod(file.Get(), existing->st_mode & 07777) != 0)) {
        return nullptr;
    }
    CFilePtr stream(::fdopen(file.Get(), "wb"));
    if (stream) {
        file.Release();
    }
    return stream;
}

}  // namespace

CSaveFile::CSaveFile(const std::string& path) : m_path(path) {
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        m_stream = OpenFile(path, "wb");
        return;
    }
    if (IsFailureInjected(CFileOperation::CreateForWriting)) {
        return;
    }
    m_temporary = path + ".tmp-" + std::to_string(::getpid());
    m_stream = CreateBeside(m_temporary, exists ? &existing : nullptr);
    if (!m_stream) {
        m_temporary.clear();
    }
}

CSaveFile::~CSaveFile() {
    m_stream.reset();
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
    }
}

bool CSaveFile::Commit() {
    if (!m_stream) {
        return false;
    }
    const bool written = std::fflush(m_stream.get()) == 0 && std::ferror(m_stream.get()) == 0;
    const bool closed = std::fclose(m_stream.release()) == 0;
    if (!written || !closed || m_temporary.empty()) {
        return written && closed;
    }
    if (!ReplaceFile(m_temporary, m_path)) {
        return false;
    }
    m_temporary.clear();
    return true;
}

}  // namespace platform
