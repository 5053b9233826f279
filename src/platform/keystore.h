#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "unixfile.h"

namespace platform {

// The hives a key path can start from; each is a folder of its own in the key store.
enum class CRootKey { LocalMachine, CurrentUser };

enum class CKeyDisposition { CreatedNewKey, OpenedExistingKey };

// The stand-in for the registry: a key is a folder, a value a file holding the value's bytes,
// all under SystemDirectory()/registry/<hive>. Names compare without regard to ASCII case, as
// registry names do, and are encoded so that no name, whatever it holds ("..", "a/b", "", a
// NUL), can reach outside its key. Every write lands whole: a temporary file, flushed, then
// renamed into place, so a crash never leaves a half-written value.
class CRegKey {
public:
    CRegKey() = default;

    // Creates or opens a key path ("A\B\C", missing levels made) for writing.
    static CRegKey Create(CRootKey root, std::string_view path, CKeyDisposition* disposition);
    // Opens an existing key path for reading; an empty key when any level is missing.
    static CRegKey Open(CRootKey root, std::string_view path);

    // Creates or opens a sub-key path below this key; an empty path names this key itself.
    CRegKey CreateSubKey(std::string_view path, CKeyDisposition* disposition) const;

    // The value's stored bytes; nullopt when it is absent or longer than maxBytes.
    std::optional<std::string> QueryValue(std::string_view name, std::size_t maxBytes) const;
    // Durable writes reach the disk before they count as made; a bulk writer may skip that for
    // each value and call FlushToDisk once at the end.
    enum class CWrite { Durable, Deferred };
    bool SetValue(std::string_view name, std::string_view bytes,
                  CWrite write = CWrite::Durable) const;
    // Writes everything written so far in the key's file system through to the disk.
    bool FlushToDisk() const;

    explicit operator bool() const { return static_cast<bool>(m_folder); }
    void Close() { m_folder.Close(); }

private:
    explicit CRegKey(CUnixFile folder) : m_folder(std::move(folder)) {}

    CUnixFile m_folder;
};

// How a key or value name is spelt on disk; exposed for the tests that pin the encoding.
std::string EncodeKeyName(std::string_view name);

}  // namespace platform
