#pragma once

#include <optional>
#include <string>

#include "platform/keystore.h"

// The application's name: it names the settings root key and the legacy settings file.
inline constexpr const char* kAppName = "Linkvet";

// Every persistent setting of Linkvet: a named text value in a section, under one root key.
// Reads that fail give the caller's default; writes that fail return false. Nothing here is
// ever reported to the user.
class CRegSettings {
public:
    CRegSettings() = default;
    virtual ~CRegSettings() = default;

    bool OpenRoot(platform::CRegKey& key, platform::CKeyDisposition& disposition,
                  platform::CRootKey root, const std::string& path);

    int GetInt(const std::string& section, const std::string& name, int defaultValue) const;
    bool SetInt(const std::string& section, const std::string& name, int value);
    std::string GetString(const std::string& section, const std::string& name,
                          const std::string& defaultValue) const;
    bool SetString(const std::string& section, const std::string& name, const std::string& value);

    // Copies the legacy settings file "Linkvet.INI" of the system directory into key.
    void ImportIni(const platform::CRegKey& key);

    const std::string& RootPath() const { return m_rootPath; }

    // A read-only store keeps what it holds: every write then fails without a trace. The
    // console uses one, since it must never change the window's preferences.
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }

private:
    std::string SectionPath(const std::string& section) const;
    // The stored text up to its first zero byte; nullopt when it cannot be read.
    std::optional<std::string> ReadValue(const std::string& section, const std::string& name) const;

    std::string m_rootPath;
    platform::CRootKey m_rootKey = platform::CRootKey::LocalMachine;
    bool m_readOnly = false;
};

// The start-up both programs share: open the root "Software\Orvell Software\Linkvet" and,
// when this start created it, import the legacy settings file.
void OpenSettingsAtStartup(CRegSettings& settings);

// Parses text as "%d" does: leading white space and a sign, then digits up to the first
// non-digit. False when no digit follows; values beyond int saturate.
bool ParseDecimal(const std::string& text, int& value);

// The legacy settings file's path.
std::string LegacyIniPath();
