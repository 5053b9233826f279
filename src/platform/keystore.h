#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "unixfile.h"

namespace platform {

// The hives a key path can start from; each is a folder of its own in the key store.
enum class CRootKey { LocalMachine, CurrentUser };

enum class CKeyDisposition { CreatedNewKey, OpenedExistingKey };

class CRegKey;

// What a bulk writer wrote without flushing: value files and the folders it made. Flush then
// takes exactly the written files to the disk, with the folders that hold them and the new
// entries that lead to them, and nothing else of the file system. A folder made but left empty
// holds nothing a crash could lose.
class CWriteBatch {
public:
    // Each folder's files, then the folder, deepest folders first; true when all reached the
    // disk.
    bool Flush() const;

private:
    friend class CRegKey;
    // Stored names from the key store's own folder down.
    using CFolderPath = std::vector<std::string>;

    void AddFile(const CFolderPath& folder, const std::string& file);
    void AddMadeFolder(const CFolderPath& folder);
    std::vector<CFolderPath> FoldersToFlush() const;

    std::map<CFolderPath, std::set<std::string>> m_files;
    std::set<CFolderPath> m_madeFolders;
};

// The stand-in for the registry: a key is a folder, a value a file holding the value's bytes,
// all under SystemDirectory()/registry/<hive>. Names compare without regard to ASCII case, as
// registry names do, and are encoded so that no name, whatever it holds ("..", "a/b", "", a
// NUL), can reach outside its key; a name too long for the file system is stored under a
// hashed name. Every write lands whole: a temporary file, flushed, then renamed into place, so
// a crash never leaves a half-written value.
class CRegKey {
public:
    CRegKey() = default;

    // Creates or opens a key path ("A\B\C", missing levels made) for writing.
    static CRegKey Create(CRootKey root, std::string_view path, CKeyDisposition* disposition);
    // Opens an existing key path for reading; an empty key when any level is missing.
    static CRegKey Open(CRootKey root, std::string_view path);

    // Creates or opens a sub-key path below this key; an empty path names this key itself.
    // With a batch, the folders made are recorded there instead of being flushed.
    CRegKey CreateSubKey(std::string_view path, CKeyDisposition* disposition,
                         CWriteBatch* batch = nullptr) const;

    // The value's stored bytes; nullopt when it is absent or longer than maxBytes.
    std::optional<std::string> QueryValue(std::string_view name, std::size_t maxBytes) const;
    // A write reaches the disk before it counts as made; a bulk writer may pass a batch
    // instead, which records the write for one flush at the end.
    bool SetValue(std::string_view name, std::string_view bytes,
                  CWriteBatch* batch = nullptr) const;

    explicit operator bool() const { return static_cast<bool>(m_folder); }
    void Close() { m_folder.Close(); }

private:
    CRegKey(CUnixFile folder, std::vector<std::string> path)
        : m_folder(std::move(folder)), m_path(std::move(path)) {}

    // Writes a file of this key whole, under a temporary name first.
    bool WriteFile(const std::string& file, std::string_view bytes, CWriteBatch* batch) const;
    // Leaves the full spelling of a hashed name beside it, so that the store can be listed;
    // encoded is the name's encoding and stem its stored name without a suffix.
    bool KeepLongName(const std::string& encoded, const std::string& stem,
                      CWriteBatch* batch) const;
    CRegKey WalkOrCreate(std::string_view path, CKeyDisposition* disposition,
                         CWriteBatch* batch) const;

    CUnixFile m_folder;
    // The stored names of the folders from the key store's own folder down to this key.
    std::vector<std::string> m_path;
};

// How a key or value name is spelt on disk; exposed for the tests that pin the encoding.
std::string EncodeKeyName(std::string_view name);

// The file name of a key (suffix ""), a value (".val") or the full spelling of a long name
// (".name"): the name's encoding, or, when that is too long for a file name, a readable start
// of it with a hash of the whole.
std::string StoredName(std::string_view name, std::string_view suffix);

// Creates a new file in folder under the first name from nextName that is free, so that a
// leftover of an earlier writer never makes a write fail; the name taken goes to name.
CUnixFile CreateUniqueFile(int folder, const std::function<std::string()>& nextName,
                           std::string& name);

}  // namespace platform
