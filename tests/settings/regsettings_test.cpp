#include "settings/regsettings.h"

#include "platform/systemdir.h"
#include "support/temphome.h"

namespace {

using platform::CKeyDisposition;
using platform::CRegKey;
using platform::CRootKey;

const std::string kRoot = "Software\\Orvell Software\\Linkvet";

class Settings : public CTempHomeTest {
protected:
    Settings() {
        CRegKey key;
        CKeyDisposition disposition{};
        m_opened = m_settings.OpenRoot(key, disposition, CRootKey::LocalMachine, kRoot);
    }

    // The bytes stored for a value, terminating zero included.
    std::string Stored(const std::string& section, const std::string& name) const {
        return CRegKey::Open(CRootKey::LocalMachine, kRoot + "\\" + section)
            .QueryValue(name, 1000)
            .value_or("<absent>");
    }

    void StoreRaw(const std::string& section, const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(CRegKey::Create(CRootKey::LocalMachine, kRoot + "\\" + section, nullptr)
                        .SetValue(name, bytes));
    }

    CRegSettings m_settings;
    bool m_opened = false;
};

TEST_F(Settings, OpenRootKeepsThePathAndCreatesTheKey) {
    EXPECT_TRUE(m_opened);
    EXPECT_EQ(m_settings.RootPath(), kRoot);
    EXPECT_TRUE(CRegKey::Open(CRootKey::LocalMachine, kRoot));
}

TEST_F(Settings, IntegersAreStoredAsDecimalTextWithTheirZero) {
    EXPECT_TRUE(m_settings.SetInt("Grid", "col0", 150));
    EXPECT_EQ(Stored("Grid", "col0"), std::string("150\0", 4));
    EXPECT_EQ(m_settings.GetInt("Grid", "col0", 7), 150);
    EXPECT_TRUE(m_settings.SetInt("Grid", "neg", -42));
    EXPECT_EQ(m_settings.GetInt("Grid", "neg", 7), -42);
}

TEST_F(Settings, IntegersParseAsPercentD) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"12abc", 12}, {"abc", 7},    {"  +5", 5},     {"-0x1", 0},
        {"", 7},       {"- 3", 7},    {"\t-9 1", -9},  {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1}};
    for (const auto& [text, expected] : cases) {
        StoreRaw("S", "v", text + std::string(1, '\0'));
        EXPECT_EQ(m_settings.GetInt("S", "v", 7), expected) << '"' << text << '"';
    }
}

TEST_F(Settings, StringsStopAtTheirFirstZeroAndMissingOnesGiveTheDefault) {
    EXPECT_TRUE(m_settings.SetString("FileSel", "Starter", "/web/site"));
    EXPECT_EQ(m_settings.GetString("FileSel", "Starter", "d"), "/web/site");
    StoreRaw("FileSel", "Raw", std::string("ab\0cd", 5));
    EXPECT_EQ(m_settings.GetString("FileSel", "Raw", "d"), "ab");
    EXPECT_EQ(m_settings.GetString("Missing", "x", "dflt"), "dflt");
    EXPECT_FALSE(CRegKey::Open(CRootKey::LocalMachine, kRoot + "\\Missing"))
        << "a read must not create its section";
}

TEST_F(Settings, ReadsStopAt260BytesWithTheZero) {
    EXPECT_TRUE(m_settings.SetString("S", "long", std::string(300, 'x')));
    EXPECT_EQ(m_settings.GetString("S", "long", "d"), "d");
    EXPECT_TRUE(m_settings.SetString("S", "fits", std::string(259, 'y')));
    EXPECT_EQ(m_settings.GetString("S", "fits", "d"), std::string(259, 'y'));
    EXPECT_TRUE(m_settings.SetString("S", "over", std::string(260, 'z')));
    EXPECT_EQ(m_settings.GetString("S", "over", "d"), "d");
    EXPECT_EQ(m_settings.GetInt("S", "over", 3), 3);
}

class LegacyImport : public Settings {
protected:
    void Import(const std::string& ini) {
        WriteFile(LegacyIniPath(), ini);
        CRegKey key;
        CKeyDisposition disposition{};
        ASSERT_TRUE(m_settings.OpenRoot(key, disposition, CRootKey::LocalMachine, kRoot));
        m_settings.ImportIni(key);
    }
};

TEST_F(LegacyImport, CopiesSectionsAndValuesUntrimmedAroundTheEqualsSign) {
    Import("[Screen]\r\nx=10\r\ny = 20\r\n; note\r\n[Grid]\r\ncol0=99\r\n");
    EXPECT_EQ(Stored("Screen", "x"), std::string("10\0", 3));
    EXPECT_EQ(Stored("Screen", "y "), std::string(" 20\0", 4));
    EXPECT_EQ(Stored("Screen", "y"), "<absent>");
    EXPECT_EQ(Stored("Grid", "col0"), std::string("99\0", 3));
    EXPECT_EQ(Stored("Screen", "; note"), "<absent>");
    EXPECT_EQ(m_settings.GetInt("Screen", "x", 0), 10);
}

TEST_F(LegacyImport, IgnoresValuesBeforeTheFirstSectionAndStoresCommentsWithEquals) {
    Import("early=1\n  [ Settings ]  \n;a=b\nTimeout=30\n");
    EXPECT_EQ(Stored("Settings", "early"), "<absent>");
    EXPECT_EQ(m_settings.GetString("Settings", ";a", "d"), "b");
    EXPECT_EQ(m_settings.GetInt("Settings", "Timeout", 15), 30);
}

TEST_F(LegacyImport, EmptyBracketsNameTheRootAndOddBracketsAreNoSection) {
    Import("[]\nTop=1\n[a]b]\nz=2\nx[y]\nw=3\n");
    EXPECT_EQ(CRegKey::Open(CRootKey::LocalMachine, kRoot).QueryValue("Top", 260),
              std::string("1\0", 2));
    // "[a]b]" does not end at its first "]", and "x[y]" does not start with "[": neither
    // opens a section, so their values land in the section before them.
    EXPECT_EQ(CRegKey::Open(CRootKey::LocalMachine, kRoot).QueryValue("z", 260),
              std::string("2\0", 2));
    EXPECT_EQ(CRegKey::Open(CRootKey::LocalMachine, kRoot).QueryValue("w", 260),
              std::string("3\0", 2));
}

TEST_F(LegacyImport, LongLinesArriveInPiecesOf519Characters) {
    const std::string value(600, 'v');
    Import("[S]\nname=" + value + "\n");
    // The first piece is "name=" and 514 characters of the value; the rest has no "=".
    EXPECT_EQ(Stored("S", "name"), std::string(514, 'v') + std::string(1, '\0'));
}

TEST_F(LegacyImport, ALineIsTakenUpToItsFirstNulByte) {
    Import(std::string("[S]\nname=ab\0cd\nother=1\n", 23));
    EXPECT_EQ(m_settings.GetString("S", "name", "d"), "ab");
    EXPECT_EQ(m_settings.GetString("S", "other", "d"), "1");
}

class StartUp : public CTempHomeTest {};

TEST_F(StartUp, ImportsOnlyWhenItCreatesTheRoot) {
    WriteFile(LegacyIniPath(), "[Settings]\nTimeout=30\n");
    CRegSettings first;
    OpenSettingsAtStartup(first);
    EXPECT_EQ(first.GetInt("Settings", "Timeout", 15), 30);
    WriteFile(LegacyIniPath(), "[Settings]\nTimeout=99\n");
    CRegSettings second;
    OpenSettingsAtStartup(second);
    EXPECT_EQ(second.GetInt("Settings", "Timeout", 15), 30);
    EXPECT_EQ(ReadFile(LegacyIniPath()), "[Settings]\nTimeout=99\n") << "the file is not changed";
}

TEST_F(LegacyImport, AMissingFileImportsNothing) {
    // The profile's name differs only in case: it is not the legacy file.
    WriteFile(*platform::SystemDirectory() + "/linkvet.ini", "[Settings]\nTimeout=30\n");
    CRegKey key = CRegKey::Create(CRootKey::LocalMachine, kRoot, nullptr);
    m_settings.ImportIni(key);
    EXPECT_FALSE(CRegKey::Open(CRootKey::LocalMachine, kRoot + "\\Settings"));
    EXPECT_EQ(m_settings.GetInt("Settings", "Timeout", 15), 15);
}

TEST_F(LegacyImport, NamesTooLongForAFileNameAreImportedAndTheImportGoesOn) {
    const std::string section(300, 'S');
    const std::string name = std::string(120, '.') + "n";
    Import("[" + section + "]\n" + name + "=1\n[After]\nw=2\n");
    EXPECT_EQ(Stored(section, name), std::string("1\0", 2));
    EXPECT_EQ(Stored("After", "w"), std::string("2\0", 2));
}

}  // namespace
