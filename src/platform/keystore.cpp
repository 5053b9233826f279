#include "keystore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "systemdir.h"

namespace platform {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Keys never hold a full stop in their spelling (it is always encoded), so a value's suffix
// cannot collide with a sub-key of the same name, and temporary files (leading full stop)
// collide with neither.
constexpr std::string_view kValueSuffix = ".val";

const char* HiveName(CRootKey root) {
    return root == CRootKey::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::vector<std::string_view> SplitKeyPath(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t cut = path.find('\\');
        std::string_view part = path.substr(0, cut);
        if (!part.empty()) {
            parts.push_back(part);
        }
        path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    }
    return parts;
}

CUnixFile OpenFolder(int parent, const std::string& name) {
    return CUnixFile(::openat(parent, name.c_str(), kFolderFlags));
}

CUnixFile HiveFolder(CRootKey root, bool create) {
    std::string folder = SystemDirectory() + "/registry";
    if (create) {
        ::mkdir(folder.c_str(), 0700);
    }
    folder += "/";
    folder += HiveName(root);
    if (create) {
        ::mkdir(folder.c_str(), 0700);
    }
    return CUnixFile(::open(folder.c_str(), kFolderFlags));
}

CUnixFile DuplicateFolder(const CUnixFile& folder) {
    return CUnixFile(::fcntl(folder.Get(), F_DUPFD_CLOEXEC, 0));
}

bool WriteAll(int fd, std::string_view bytes) {
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

std::string TemporaryName() {
    static std::atomic<unsigned> counter{0};
    return ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

CUnixFile WalkOrCreate(CUnixFile folder, std::string_view path, CKeyDisposition* disposition) {
    CKeyDisposition last = CKeyDisposition::OpenedExistingKey;
    for (std::string_view part : SplitKeyPath(path)) {
        const std::string name = EncodeKeyName(part);
        if (::mkdirat(folder.Get(), name.c_str(), 0700) == 0) {
            last = CKeyDisposition::CreatedNewKey;
        } else if (errno == EEXIST) {
            last = CKeyDisposition::OpenedExistingKey;
        } else {
            return CUnixFile();
        }
        folder = OpenFolder(folder.Get(), name);
        if (!folder) {
            return CUnixFile();
        }
    }
    if (disposition != nullptr) {
        *disposition = last;
    }
    return folder;
}

}  // namespace

std::string EncodeKeyName(std::string_view name) {
    if (name.empty()) {
        return "%";
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 'A' && byte <= 'Z') {
            encoded += static_cast<char>(byte - 'A' + 'a');
        } else if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == ' ' ||
                   byte == '-' || byte == '_') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0xF];
        }
    }
    return encoded;
}

CRegKey CRegKey::Create(CRootKey root, std::string_view path, CKeyDisposition* disposition) {
    CUnixFile hive = HiveFolder(root, true);
    if (!hive) {
        return CRegKey();
    }
    return CRegKey(WalkOrCreate(std::move(hive), path, disposition));
}

CRegKey CRegKey::Open(CRootKey root, std::string_view path) {
    CUnixFile folder = HiveFolder(root, false);
    for (std::string_view part : SplitKeyPath(path)) {
        if (!folder) {
            break;
        }
        folder = OpenFolder(folder.Get(), EncodeKeyName(part));
    }
    return CRegKey(std::move(folder));
}

CRegKey CRegKey::CreateSubKey(std::string_view path, CKeyDisposition* disposition) const {
    if (!m_folder) {
        return CRegKey();
    }
    return CRegKey(WalkOrCreate(DuplicateFolder(m_folder), path, disposition));
}

std::optional<std::string> CRegKey::QueryValue(std::string_view name,
                                               std::size_t maxBytes) const {
    if (!m_folder) {
        return std::nullopt;
    }
    const std::string file = EncodeKeyName(name) + std::string(kValueSuffix);
    // O_NONBLOCK so that a FIFO planted in the store cannot hang the read; it is then refused.
    CUnixFile value(
        ::openat(m_folder.Get(), file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!value || ::fstat(value.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::string bytes(maxBytes + 1, '\0');
    std::size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t got = ::read(value.Get(), bytes.data() + have, bytes.size() - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    if (have > maxBytes) {
        return std::nullopt;
    }
    bytes.resize(have);
    return bytes;
}

bool CRegKey::SetValue(std::string_view name, std::string_view bytes, CWrite write) const {
    if (!m_folder) {
        return false;
    }
    const std::string file = EncodeKeyName(name) + std::string(kValueSuffix);
    const std::string temporary = TemporaryName();
    CUnixFile out(::openat(m_folder.Get(), temporary.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out) {
        return false;
    }
    const bool written =
        WriteAll(out.Get(), bytes) && (write == CWrite::Deferred || ::fsync(out.Get()) == 0);
    if (!out.Close() || !written ||
        ::renameat(m_folder.Get(), temporary.c_str(), m_folder.Get(), file.c_str()) != 0) {
        ::unlinkat(m_folder.Get(), temporary.c_str(), 0);
        return false;
    }
    return true;
}

bool CRegKey::FlushToDisk() const {
    return m_folder && ::syncfs(m_folder.Get()) == 0;
}

}  // namespace platform
