#include "fileops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "filefaults.h"
#include "textfile.h"
#include "unixfile.h"

namespace platform {
namespace {

bool CopyBytes(int in, int out) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ReadRetrying(in, buffer, sizeof buffer);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!WriteAll(out, std::string_view(buffer, static_cast<std::size_t>(got)))) {
            return false;
        }
    }
}

}  // namespace

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    if (IsFailureInjected(CFileOperation::Copy)) {
        return false;
    }
    struct stat info {};
    const CUnixFile in = OpenRegularForReading(from, &info);
    if (!in) {
        return false;
    }
    struct stat existing {};
    if (failIfExists && ::lstat(to.c_str(), &existing) == 0) {
        errno = EEXIST;
        return false;
    }
    // The bytes go to a temporary name first: a copy cut short by a crash or a full disk must
    // never stand under the target's name, where a backup would be taken for whole.
    const std::string temporary = to + ".tmp-" + std::to_string(::getpid());
    CUnixFile out(::open(temporary.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                         info.st_mode & 07777));
    struct stat made {};
    if (!out || ::fstat(out.Get(), &made) != 0 || !S_ISREG(made.st_mode)) {
        return false;
    }
    // The umask took bits away at the open; the copy gets exactly the source's, and its owner.
    KeepOwner(out.Get(), info);
    const bool copied = ::fchmod(out.Get(), info.st_mode & 07777) == 0 &&
                        CopyBytes(in.Get(), out.Get()) && ::fsync(out.Get()) == 0;
    if (!out.Close() || !copied ||
        !(failIfExists ? MoveFile(temporary, to) : ::rename(temporary.c_str(), to.c_str()) == 0)) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool MoveFile(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without RENAME_NOREPLACE: a hard link refuses an existing target just as
    // atomically.
    return ::link(from.c_str(), to.c_str()) == 0 && ::unlink(from.c_str()) == 0;
}

bool DeleteFile(const std::string& path) {
    if (IsFailureInjected(CFileOperation::Delete)) {
        return false;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
    return !IsFailureInjected(CFileOperation::Replace) && ::rename(from.c_str(), to.c_str()) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

CPathKind KindOfPathItself(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? CPathKind::Missing : CPathKind::Other;
    }
    return S_ISREG(info.st_mode) ? CPathKind::RegularFile : CPathKind::Other;
}

bool SetFileNote(const std::string& path, const std::string& name, const std::string& value) {
    return ::lsetxattr(path.c_str(), ("user." + name).c_str(), value.data(), value.size(), 0) == 0;
}

std::optional<std::string> FileNote(const std::string& path, const std::string& name) {
    const std::string attribute = "user." + name;
    std::string value(256, '\0');
    for (;;) {
        const ssize_t got =
            ::lgetxattr(path.c_str(), attribute.c_str(), value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return value;
        }
        const ssize_t needed =
            errno == ERANGE ? ::lgetxattr(path.c_str(), attribute.c_str(), nullptr, 0) : -1;
        if (needed < 0) {
            return std::nullopt;
        }
        value.resize(static_cast<std::size_t>(needed));
    }
}

bool IsWritableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 &&
           (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(path.c_str(), W_OK) == 0;
}

bool IsEnterableDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace platform
