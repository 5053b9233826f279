// Imports any bytes as the legacy settings file and checks that the import stays inside the
// key it was given, leaving only well-formed keys and values there.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/fuzzsupport.h"
#include "platform/keystore.h"
#include "platform/systemdir.h"
#include "platform/textfile.h"
#include "settings/regsettings.h"

namespace {

const std::string kIniName = std::string(kAppName) + ".INI";
// Cleaning up is a full tree walk, so it is done now and then rather than on every run.
constexpr unsigned long kCleanEvery = 4096;
// The import reads lines into a 520-byte fgets buffer: at most 519 characters, at least one
// of them the "=", and the stored value gains a terminating zero.
constexpr std::size_t kLongestValue = 519;

std::string g_home;
std::string g_runsFolder;
unsigned long g_run = 0;
unsigned long g_runsSinceClean = 0;

// What EncodeKeyName can produce: lower-case letters, digits, blank, "-", "_" and "%XX".
bool IsEncodedName(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
                           c == '-' || c == '_' || c == '%' || (c >= 'A' && c <= 'F');
        if (!plain) {
            return false;
        }
    }
    return true;
}

// A name too long to store as it is keeps the first 160 characters of its encoding, then "#"
// and 32 hex digits of its hash.
constexpr std::size_t kHashedNameStart = 160;
constexpr std::size_t kHashDigits = 32;

bool IsHashedName(std::string_view name) {
    return name.size() == kHashedNameStart + 1 + kHashDigits &&
           IsEncodedName(name.substr(0, kHashedNameStart)) && name[kHashedNameStart] == '#' &&
           name.substr(kHashedNameStart + 1).find_first_not_of("0123456789abcdef") ==
               std::string_view::npos;
}

bool IsStoredName(std::string_view name) {
    return IsEncodedName(name) || IsHashedName(name);
}

std::string ReadWhole(const std::string& path) {
    const platform::CFilePtr file = platform::OpenFile(path, "rb");
    Require(static_cast<bool>(file), "a stored value can be read");
    std::string bytes;
    char block[1024];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file.get())) > 0;) {
        bytes.append(block, got);
    }
    return bytes;
}

// Every entry below the imported key is a sub-key folder or a value file, both spelt in the
// encoded alphabet; a temporary file left behind or a name that escaped encoding fails here.
// A value is one line's text after its "=", stored as REG_SZ: one zero, at the end.
void CheckKey(const std::string& folder) {
    for (const std::string& name : Entries(folder)) {
        const std::string path = folder + "/" + name;
        struct stat info {};
        Require(::lstat(path.c_str(), &info) == 0, "an entry of a key can be examined");
        if (S_ISDIR(info.st_mode)) {
            Require(IsStoredName(name), "a sub-key folder has an encoded or hashed name");
            CheckKey(path);
            continue;
        }
        Require(S_ISREG(info.st_mode), "a key holds only folders and regular files");
        // A hashed name keeps its whole encoding in a ".name" file beside it.
        constexpr std::string_view kLongName = ".name";
        if (name.ends_with(kLongName)) {
            const std::string_view stored =
                std::string_view(name).substr(0, name.size() - kLongName.size());
            const std::string encoded = ReadWhole(path);
            Require(IsHashedName(stored) && IsEncodedName(encoded) &&
                        encoded.starts_with(stored.substr(0, kHashedNameStart)),
                    "a long name's file holds the encoding its hashed name starts with");
            continue;
        }
        constexpr std::string_view kSuffix = ".val";
        Require(name.size() > kSuffix.size() && name.ends_with(kSuffix) &&
                    IsStoredName(std::string_view(name).substr(0, name.size() - kSuffix.size())),
                "a value file is an encoded or hashed name and \".val\"");
        const std::string bytes = ReadWhole(path);
        Require(!bytes.empty() && bytes.size() <= kLongestValue, "a value fits one line");
        Require(bytes.find('\0') == bytes.size() - 1, "a value has one zero, at its end");
        Require(bytes.find('\n') == std::string::npos, "a value holds no line end");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* temp = std::getenv("TMPDIR");
    std::string pattern = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") +
                          "/linkvet-fuzz-ini-XXXXXX";
    Require(::mkdtemp(pattern.data()) != nullptr, "mkdtemp makes the system directory");
    g_home = pattern;
    Require(::setenv("LINKVET_HOME", g_home.c_str(), 1) == 0, "LINKVET_HOME can be set");
    g_runsFolder = g_home + "/registry/HKEY_LOCAL_MACHINE/" + platform::EncodeKeyName("Fuzz");
    // A crash skips this on purpose: the store is then left for inspection.
    std::atexit([] { RemoveTree(g_home); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        const platform::CFilePtr ini = platform::OpenFile(LegacyIniPath(), "wb");
        Require(ini && std::fwrite(data, 1, size, ini.get()) == size, "the INI file is written");
    }
    const std::string run = std::to_string(g_run++);
    platform::CKeyDisposition disposition = platform::CKeyDisposition::OpenedExistingKey;
    const platform::CRegKey key =
        platform::CRegKey::Create(platform::CRootKey::LocalMachine, "Fuzz\\" + run, &disposition);
    Require(static_cast<bool>(key), "the root key opens");
    Require(disposition == platform::CKeyDisposition::CreatedNewKey, "a new key path is created");
    ++g_runsSinceClean;

    CRegSettings settings;
    settings.ImportIni(key);

    Require(Entries(g_home) == std::set<std::string>{"registry", kIniName},
            "the system directory holds only the key store and the INI file");
    Require(Entries(g_home + "/registry") == std::set<std::string>{"HKEY_LOCAL_MACHINE"},
            "the key store holds only the hive used");
    Require(Entries(g_home + "/registry/HKEY_LOCAL_MACHINE") ==
                std::set<std::string>{platform::EncodeKeyName("Fuzz")},
            "the hive holds only the fuzzer's key");
    CheckKey(g_runsFolder + "/" + run);

    if (g_runsSinceClean == kCleanEvery) {
        // No import may have added a sibling of the keys this fuzzer created itself.
        Require(Entries(g_runsFolder).size() == kCleanEvery, "the imports made no sibling keys");
        RemoveTree(g_runsFolder);
        g_runsSinceClean = 0;
    }
    return 0;
}
