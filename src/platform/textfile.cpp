#include "textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filefaults.h"
#include "unixfile.h"

namespace platform {

CFilePtr OpenFile(const std::string& path, const char* mode) {
    const CFileOperation operation =
        mode[0] == 'r' ? CFileOperation::OpenForReading : CFileOperation::CreateForWriting;
    if (IsFailureInjected(operation)) {
        return nullptr;
    }
    return CFilePtr(std::fopen(path.c_str(), mode));
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
