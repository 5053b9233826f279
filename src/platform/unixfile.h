#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// Owns one file descriptor; closes it when it goes out of scope.
class CUnixFile {
public:
    explicit CUnixFile(int fd = -1) : m_fd(fd) {}
    CUnixFile(CUnixFile&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    CUnixFile& operator=(CUnixFile&& other) noexcept {
        if (this != &other) {
            Close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    CUnixFile(const CUnixFile&) = delete;
    CUnixFile& operator=(const CUnixFile&) = delete;
    ~CUnixFile() { Close(); }

    explicit operator bool() const { return m_fd >= 0; }
    int Get() const { return m_fd; }

    // Hands the descriptor over to another owner.
    int Release() { return std::exchange(m_fd, -1); }

    // Closes now and says whether the close succeeded (a delayed write error shows here).
    bool Close() { return m_fd < 0 || ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

// Opens path for reading only when it is a regular file, else gives a closed file. O_NONBLOCK
// keeps a FIFO in its place from hanging the open; a regular file reads as usual with it.
// info, when given, receives the file's status.
inline CUnixFile OpenRegularForReading(const std::string& path, struct stat* info = nullptr) {
    CUnixFile file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!file || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return CUnixFile();
    }
    if (info != nullptr) {
        *info = status;
    }
    return file;
}

// read(), tried again when a signal cuts it short.
inline ssize_t ReadRetrying(int fd, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

// Writes all of bytes, through short writes and signals; false on an error.
inline bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace platform
