#include "direnum.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

unsigned char UpperAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

std::uint32_t AttributesOfMode(mode_t mode) {
    if (S_ISDIR(mode)) {
        return kAttributeDirectory;
    }
    return S_ISREG(mode) ? kAttributeNormal : kAttributeDevice;
}

// d_type spares a stat per entry on the file systems that fill it in; only links and unknown
// types need a look at the inode.
std::uint32_t AttributesOf(int dirFd, const dirent& entry) {
    struct stat info {};
    switch (entry.d_type) {
        case DT_DIR:
            return kAttributeDirectory;
        case DT_REG:
            return kAttributeNormal;
        case DT_LNK:
            if (::fstatat(dirFd, entry.d_name, &info, 0) != 0) {
                return kAttributeReparsePoint;
            }
            return kAttributeReparsePoint | AttributesOfMode(info.st_mode);
        case DT_UNKNOWN:
            if (::fstatat(dirFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                return kAttributeNormal;
            }
            if (S_ISLNK(info.st_mode)) {
                dirent followed = entry;
                followed.d_type = DT_LNK;
                return AttributesOf(dirFd, followed);
            }
            return AttributesOfMode(info.st_mode);
        default:
            return kAttributeDevice;
    }
}

}  // namespace

bool ListsBefore(const std::string& a, const std::string& b) {
    const auto folded = [](char x, char y) {
        return UpperAscii(static_cast<unsigned char>(x)) < UpperAscii(static_cast<unsigned char>(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded)) {
        return true;
    }
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded)) {
        return false;
    }
    const auto bytewise = [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), bytewise);
}

std::optional<std::vector<CDirEntry>> ListDirectory(const std::string& directory) {
    DirHandle dir(::opendir(directory.c_str()));
    if (!dir) {
        return std::nullopt;
    }
    const int dirFd = ::dirfd(dir.get());
    std::vector<CDirEntry> entries;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        std::uint32_t attributes = AttributesOf(dirFd, *entry);
        if (name[0] == '.') {
            attributes |= kAttributeHidden;
        }
        entries.push_back({name, attributes});
    }
    std::sort(entries.begin(), entries.end(),
              [](const CDirEntry& a, const CDirEntry& b) { return ListsBefore(a.name, b.name); });
    return entries;
}

}  // namespace platform
