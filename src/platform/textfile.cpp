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

CFilePtr CreateFileLike(const std::string& path, std::FILE* model) {
    struct stat info {};
    if (IsFailureInjected(CFileOperation::CreateForWriting) ||
        ::fstat(::fileno(model), &info) != 0) {
        return nullptr;
    }
    CUnixFile created(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777));
    if (!created) {
        return nullptr;
    }
    // The umask took bits away at the open; the file gets exactly the model's.
    if (::fchmod(created.Get(), info.st_mode & 07777) != 0) {
        ::unlink(path.c_str());
        return nullptr;
    }
    CFilePtr stream(::fdopen(created.Get(), "wb"));
    if (stream) {
        created.Release();
    }
    return stream;
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
