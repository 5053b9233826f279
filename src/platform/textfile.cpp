#include "textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "filefaults.h"
#include "unixfile.h"

namespace platform {
namespace {

// Opens without waiting for a FIFO's other end, keeps only a regular file, and hands it to a
// stream that blocks as streams do.
CFilePtr OpenRegularFile(const std::string& path, int flags, const char* mode) {
    CUnixFile opened(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666));
    struct stat info {};
    if (!opened || ::fstat(opened.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(opened.Get(), F_SETFL, ::fcntl(opened.Get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        return nullptr;
    }
    CFilePtr stream(::fdopen(opened.Get(), mode));
    if (stream) {
        opened.Release();
    }
    return stream;
}

}  // namespace

CFilePtr OpenFile(const std::string& path, const char* mode) {
    if (mode[0] != 'r') {
        if (IsFailureInjected(CFileOperation::CreateForWriting)) {
            return nullptr;
        }
        return CFilePtr(std::fopen(path.c_str(), mode));
    }
    if (IsFailureInjected(CFileOperation::OpenForReading)) {
        return nullptr;
    }
    return OpenRegularFile(path, std::strchr(mode, '+') != nullptr ? O_RDWR : O_RDONLY, mode);
}

CFilePtr OverwriteRegularFile(const std::string& path) {
    if (IsFailureInjected(CFileOperation::CreateForWriting)) {
        return nullptr;
    }
    return OpenRegularFile(path, O_WRONLY | O_CREAT | O_NOFOLLOW, "wb");
}

CFilePtr CreateUniqueFileLike(const std::string& prefix, const std::string& suffix,
                              std::FILE* model, std::string& created) {
    struct stat info {};
    if (IsFailureInjected(CFileOperation::CreateForWriting) ||
        ::fstat(::fileno(model), &info) != 0) {
        return nullptr;
    }
    std::string name = prefix + "XXXXXX" + suffix;
    CUnixFile file(::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC));
    if (!file) {
        return nullptr;
    }
    KeepOwner(file.Get(), info);
    // mkostemps made it 0600; the file gets exactly the model's bits.
    CFilePtr stream;
    if (::fchmod(file.Get(), info.st_mode & 07777) == 0) {
        stream.reset(::fdopen(file.Get(), "wb"));
    }
    if (!stream) {
        ::unlink(name.c_str());
        return nullptr;
    }
    file.Release();
    created = std::move(name);
    return stream;
}

bool KeepOwner(int fd, const struct stat& info) {
    // Not root: at least the group, when the user belongs to it.
    return ::fchown(fd, info.st_uid, info.st_gid) == 0 ||
           ::fchown(fd, static_cast<uid_t>(-1), info.st_gid) == 0;
}

bool FlushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && !std::ferror(file) && ::fsync(::fileno(file)) == 0;
}

int CTextModeReader::NextCharacter() {
    const int c = std::getc(m_file);
    if (c != '\r') {
        return c;
    }
    const int next = std::getc(m_file);
    if (next == '\n') {
        return '\n';
    }
    if (next != EOF) {
        std::ungetc(next, m_file);
    }
    return '\r';
}

bool CTextModeReader::ReadLine(std::string& line, std::size_t bufferSize) {
    line.clear();
    while (line.size() + 1 < bufferSize) {
        const int c = NextCharacter();
        if (c == EOF) {
            break;
        }
        line += static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    return !line.empty();
}

}  // namespace platform
