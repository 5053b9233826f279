#include "regsettings.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

#include "platform/systemdir.h"
#include "platform/textfile.h"

namespace {

// The registry's read buffer: a value longer than this, terminating zero included, is not read.
constexpr std::size_t kReadLimit = 260;
// fgets buffer of the import: a longer line arrives in pieces of 519 characters.
constexpr std::size_t kIniLineBuffer = 520;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// A value is stored with its terminating zero, as REG_SZ is.
std::string WithTerminator(const std::string& text) {
    return std::string(text.c_str(), text.size() + 1);
}

bool IsSectionLine(const std::string& line) {
    const std::size_t open = line.find('[');
    const std::size_t close = line.find(']');
    return open != std::string::npos && close != std::string::npos && close >= open &&
           close - open + 1 == line.size();
}

std::string SectionName(std::string line) {
    line[line.find('[')] = ' ';
    line[line.find(']')] = ' ';
    return Trimmed(line);
}

}  // namespace

bool ParseDecimal(const std::string& text, int& value) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) {
        return false;
    }
    long long magnitude = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
        magnitude = std::min(magnitude * 10 + (text[at] - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    value = static_cast<int>(std::clamp<long long>(signedValue, INT_MIN, INT_MAX));
    return true;
}

std::string LegacyIniPath() {
    return platform::SystemFilePath(std::string(kAppName) + ".INI");
}

std::string CRegSettings::SectionPath(const std::string& section) const {
    return m_rootPath + "\\" + section;
}

bool CRegSettings::OpenRoot(platform::CRegKey& key, platform::CKeyDisposition& disposition,
                            platform::CRootKey root, const std::string& path) {
    m_rootPath = path;
    m_rootKey = root;
    key = platform::CRegKey::Create(root, path, &disposition);
    return static_cast<bool>(key);
}

std::optional<std::string> CRegSettings::ReadValue(const std::string& section,
                                                   const std::string& name) const {
    const platform::CRegKey key = platform::CRegKey::Open(m_rootKey, SectionPath(section));
    const std::optional<std::string> bytes = key.QueryValue(name, kReadLimit);
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(bytes->c_str());
}

std::string CRegSettings::GetString(const std::string& section, const std::string& name,
                                    const std::string& defaultValue) const {
    return ReadValue(section, name).value_or(defaultValue);
}

int CRegSettings::GetInt(const std::string& section, const std::string& name,
                         int defaultValue) const {
    int value = defaultValue;
    const std::optional<std::string> text = ReadValue(section, name);
    if (!text || !ParseDecimal(*text, value)) {
        return defaultValue;
    }
    return value;
}

bool CRegSettings::SetString(const std::string& section, const std::string& name,
                             const std::string& value) {
    if (m_readOnly) {
        return false;
    }
    const platform::CRegKey key =
        platform::CRegKey::Create(m_rootKey, SectionPath(section), nullptr);
    return key.SetValue(name, WithTerminator(value));
}

bool CRegSettings::SetInt(const std::string& section, const std::string& name, int value) {
    return SetString(section, name, std::to_string(value));
}

namespace {

// Copies the file's values into key until the end, or until a section cannot be created.
void ImportLines(platform::CTextModeReader& reader, const platform::CRegKey& key,
                 platform::CWriteBatch& batch) {
    platform::CRegKey section;
    std::string piece;
    while (reader.ReadLine(piece, kIniLineBuffer)) {
        // The line is a C string: whatever follows a NUL byte was never seen.
        const std::string line = Trimmed(std::string(piece.c_str()));
        if (IsSectionLine(line)) {
            section = key.CreateSubKey(SectionName(line), nullptr, &batch);
            if (!section) {
                return;
            }
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos && section) {
            section.SetValue(line.substr(0, equals), WithTerminator(line.substr(equals + 1)),
                             &batch);
        }
    }
}

}  // namespace

// The values reach the disk together at the end, and only they: one flush a value made a first
// start over a large legacy file take tens of seconds, and flushing the whole file system
// waited on every other program's writes. An interrupted import is never taken up again, and
// a value lost to a crash reads as its default.
void CRegSettings::ImportIni(const platform::CRegKey& key) {
    const platform::CFilePtr file = platform::OpenFile(LegacyIniPath(), "rb");
    if (!file) {
        return;
    }
    platform::CTextModeReader reader(file.get());
    platform::CWriteBatch batch;
    ImportLines(reader, key, batch);
    batch.Flush();
}

void OpenSettingsAtStartup(CRegSettings& settings) {
    platform::CRegKey root;
    platform::CKeyDisposition disposition = platform::CKeyDisposition::OpenedExistingKey;
    const std::string path = std::string("Software\\Orvell Software\\") + kAppName;
    if (settings.OpenRoot(root, disposition, platform::CRootKey::LocalMachine, path) &&
        disposition == platform::CKeyDisposition::CreatedNewKey) {
        settings.ImportIni(root);
    }
}
