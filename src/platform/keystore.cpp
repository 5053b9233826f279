#include "keystore.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "asciitext.h"
#include "systemdir.h"

namespace platform {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Keys never hold a full stop in their spelling (it is always encoded), so a value's suffix
// cannot collide with a sub-key of the same name, and temporary files (leading full stop)
// collide with neither. Nor do they hold "#", which marks a hashed name.
constexpr std::string_view kValueSuffix = ".val";
constexpr std::string_view kLongNameSuffix = ".name";
// The longest encoding stored as it is: with the longest suffix it still fits NAME_MAX (255).
constexpr std::size_t kLongestPlainName = 250;
// A hashed name keeps this much of the encoding, so that it still reads as what it is.
constexpr std::size_t kHashedNameStart = 160;
// Temporary names are random; a taken one is a leftover, or a writer beside us.
constexpr int kTemporaryNameAttempts = 64;

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

CUnixFile StoreFolder(bool create) {
    const std::string folder = SystemFilePath("registry");
    if (create) {
        ::mkdir(folder.c_str(), 0700);
    }
    return CUnixFile(::open(folder.c_str(), kFolderFlags));
}

CUnixFile HiveFolder(CRootKey root, bool create) {
    const CUnixFile store = StoreFolder(create);
    if (!store) {
        return CUnixFile();
    }
    if (create) {
        ::mkdirat(store.Get(), HiveName(root), 0700);
    }
    return OpenFolder(store.Get(), HiveName(root));
}

CUnixFile DuplicateFolder(const CUnixFile& folder) {
    return CUnixFile(::fcntl(folder.Get(), F_DUPFD_CLOEXEC, 0));
}

std::string Hex(const unsigned char* bytes, std::size_t count) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0xF];
    }
    return text;
}

// Empty when the system has no randomness to give: the create then fails.
std::string RandomTemporaryName() {
    unsigned char random[8];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        return std::string();
    }
    return ".tmp-" + Hex(random, sizeof random);
}

// The first 128 bits of the SHA-256 of the encoding: a file name, not a secret.
std::string NameHash(const std::string& encoded) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(encoded.data(), encoded.size(), digest, &size, EVP_sha256(), nullptr) != 1) {
        return std::string();
    }
    return Hex(digest, std::min<std::size_t>(size, 16));
}

bool IsHashedName(const std::string& encoded) {
    return encoded.size() > kLongestPlainName;
}

// A stored name without its suffix, made from the name's encoding: the encoding itself, or
// a readable start of it with a hash of the whole.
std::string StoredStem(const std::string& encoded) {
    if (!IsHashedName(encoded)) {
        return encoded;
    }
    return encoded.substr(0, kHashedNameStart) + "#" + NameHash(encoded);
}

bool FlushFolder(int store, const std::vector<std::string>& path,
                 const std::set<std::string>& files) {
    CUnixFile folder(::fcntl(store, F_DUPFD_CLOEXEC, 0));
    for (const std::string& name : path) {
        if (!folder) {
            return false;
        }
        folder = OpenFolder(folder.Get(), name);
    }
    if (!folder) {
        return false;
    }
    bool flushed = true;
    for (const std::string& name : files) {
        const CUnixFile file(
            ::openat(folder.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        flushed = file && ::fsync(file.Get()) == 0 && flushed;
    }
    return ::fsync(folder.Get()) == 0 && flushed;
}

}  // namespace

std::string EncodeKeyName(std::string_view name) {
    if (name.empty()) {
        return "%";
    }
    std::string encoded;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 'A' && byte <= 'Z') {
            encoded += AsciiLower(c);
        } else if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == ' ' ||
                   byte == '-' || byte == '_') {
            encoded += c;
        } else {
            AppendPercentEncoded(encoded, byte);
        }
    }
    return encoded;
}

std::string StoredName(std::string_view name, std::string_view suffix) {
    return StoredStem(EncodeKeyName(name)) + std::string(suffix);
}

CUnixFile CreateUniqueFile(int folder, const std::function<std::string()>& nextName,
                           std::string& name) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        name = nextName();
        CUnixFile file(::openat(folder, name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file || errno != EEXIST) {
            return file;
        }
    }
    return CUnixFile();
}

void CWriteBatch::AddFile(const CFolderPath& folder, const std::string& file) {
    m_files[folder].insert(file);
}

void CWriteBatch::AddMadeFolder(const CFolderPath& folder) {
    m_madeFolders.insert(folder);
}

std::vector<CWriteBatch::CFolderPath> CWriteBatch::FoldersToFlush() const {
    std::set<CFolderPath> folders;
    for (const auto& [folder, files] : m_files) {
        folders.insert(folder);
        for (CFolderPath made = folder; !made.empty() && m_madeFolders.count(made) != 0;
             made.pop_back()) {
            folders.insert(CFolderPath(made.begin(), made.end() - 1));
        }
    }
    std::vector<CFolderPath> deepestFirst(folders.begin(), folders.end());
    std::stable_sort(
        deepestFirst.begin(), deepestFirst.end(),
        [](const CFolderPath& a, const CFolderPath& b) { return a.size() > b.size(); });
    return deepestFirst;
}

bool CWriteBatch::Flush() const {
    const std::vector<CFolderPath> folders = FoldersToFlush();
    if (folders.empty()) {
        return true;
    }
    const CUnixFile store = StoreFolder(false);
    if (!store) {
        return false;
    }
    static const std::set<std::string> kNoFiles;
    bool flushed = true;
    for (const CFolderPath& folder : folders) {
        const auto files = m_files.find(folder);
        flushed =
            FlushFolder(store.Get(), folder, files != m_files.end() ? files->second : kNoFiles) &&
            flushed;
    }
    return flushed;
}

CRegKey CRegKey::Create(CRootKey root, std::string_view path, CKeyDisposition* disposition) {
    CUnixFile hive = HiveFolder(root, true);
    if (!hive) {
        return CRegKey();
    }
    return CRegKey(std::move(hive), {HiveName(root)}).WalkOrCreate(path, disposition, nullptr);
}

CRegKey CRegKey::Open(CRootKey root, std::string_view path) {
    CUnixFile folder = HiveFolder(root, false);
    std::vector<std::string> names = {HiveName(root)};
    for (std::string_view part : SplitKeyPath(path)) {
        if (!folder) {
            break;
        }
        names.push_back(StoredName(part, ""));
        folder = OpenFolder(folder.Get(), names.back());
    }
    return CRegKey(std::move(folder), std::move(names));
}

CRegKey CRegKey::CreateSubKey(std::string_view path, CKeyDisposition* disposition,
                              CWriteBatch* batch) const {
    if (!m_folder) {
        return CRegKey();
    }
    return WalkOrCreate(path, disposition, batch);
}

CRegKey CRegKey::WalkOrCreate(std::string_view path, CKeyDisposition* disposition,
                              CWriteBatch* batch) const {
    CRegKey key(DuplicateFolder(m_folder), m_path);
    CKeyDisposition last = CKeyDisposition::OpenedExistingKey;
    for (std::string_view part : SplitKeyPath(path)) {
        const std::string encoded = EncodeKeyName(part);
        const std::string name = StoredStem(encoded);
        if (::mkdirat(key.m_folder.Get(), name.c_str(), 0700) == 0) {
            last = CKeyDisposition::CreatedNewKey;
        } else if (errno == EEXIST) {
            last = CKeyDisposition::OpenedExistingKey;
        } else {
            return CRegKey();
        }
        if (!key.KeepLongName(encoded, name, batch)) {
            return CRegKey();
        }
        CUnixFile folder = OpenFolder(key.m_folder.Get(), name);
        if (!folder) {
            return CRegKey();
        }
        key.m_folder = std::move(folder);
        key.m_path.push_back(name);
        if (batch != nullptr && last == CKeyDisposition::CreatedNewKey) {
            batch->AddMadeFolder(key.m_path);
        }
    }
    if (!key.m_folder) {
        return CRegKey();
    }
    if (disposition != nullptr) {
        *disposition = last;
    }
    return key;
}

std::optional<std::string> CRegKey::QueryValue(std::string_view name,
                                               std::size_t maxBytes) const {
    if (!m_folder) {
        return std::nullopt;
    }
    const std::string file = StoredName(name, kValueSuffix);
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
        const ssize_t got = ReadRetrying(value.Get(), bytes.data() + have, bytes.size() - have);
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

bool CRegKey::SetValue(std::string_view name, std::string_view bytes, CWriteBatch* batch) const {
    if (!m_folder) {
        return false;
    }
    const std::string encoded = EncodeKeyName(name);
    const std::string stem = StoredStem(encoded);
    return KeepLongName(encoded, stem, batch) &&
           WriteFile(stem + std::string(kValueSuffix), bytes, batch);
}

bool CRegKey::WriteFile(const std::string& file, std::string_view bytes, CWriteBatch* batch) const {
    std::string temporary;
    CUnixFile out = CreateUniqueFile(m_folder.Get(), RandomTemporaryName, temporary);
    if (!out) {
        return false;
    }
    const bool written =
        WriteAll(out.Get(), bytes) && (batch != nullptr || ::fsync(out.Get()) == 0);
    if (!out.Close() || !written ||
        ::renameat(m_folder.Get(), temporary.c_str(), m_folder.Get(), file.c_str()) != 0) {
        ::unlinkat(m_folder.Get(), temporary.c_str(), 0);
        return false;
    }
    if (batch != nullptr) {
        batch->AddFile(m_path, file);
    }
    return true;
}

bool CRegKey::KeepLongName(const std::string& encoded, const std::string& stem,
                           CWriteBatch* batch) const {
    if (!IsHashedName(encoded)) {
        return true;
    }
    const std::string file = stem + std::string(kLongNameSuffix);
    struct stat info {};
    return ::fstatat(m_folder.Get(), file.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 ||
           WriteFile(file, encoded, batch);
}

}  // namespace platform
