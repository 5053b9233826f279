#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Attribute words as FindFirstFile reports them; only the bits Linux can say something about.
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeDevice = 0x40;
inline constexpr std::uint32_t kAttributeNormal = 0x80;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;

struct CDirEntry {
    std::string name;
    std::uint32_t attributes = 0;
};

// Lists a directory the way FindFirstFile/FindNextFile on "dir\*.*" would: every entry but
// "." and "..", each with its attribute word, sorted as Windows' file system lists names.
//   - a directory has kAttributeDirectory;
//   - a name beginning with a full stop is kAttributeHidden;
//   - a symbolic link is kAttributeReparsePoint, plus kAttributeDirectory when it points at a
//     directory, so a walker that wants exactly kAttributeDirectory never follows one;
//   - anything that is neither a regular file nor a directory (a FIFO, a socket, a device,
//     or a link to one) is kAttributeDevice: opening those can block forever;
//   - a plain regular file with nothing else to say is kAttributeNormal.
// A dangling link has only kAttributeReparsePoint. nullopt when the directory cannot be read.
std::optional<std::vector<CDirEntry>> ListDirectory(const std::string& directory);

// The order of NTFS listings: ASCII letters compared as upper case, byte by byte; names equal
// under that rule are ordered bytewise.
bool ListsBefore(const std::string& a, const std::string& b);

}  // namespace platform
