#pragma once

#include <unistd.h>

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

}  // namespace platform
