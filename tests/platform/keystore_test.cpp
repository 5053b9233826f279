#include "platform/keystore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <set>

#include "platform/systemdir.h"
#include "support/temphome.h"

namespace {

using platform::CKeyDisposition;
using platform::CRegKey;
using platform::CRootKey;

// Every file and folder below a folder, as paths relative to it.
void Collect(const std::string& folder, const std::string& prefix, std::set<std::string>& out) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        out.insert(prefix + name);
        Collect(folder + "/" + name, prefix + name + "/", out);
    }
    ::closedir(dir);
}

class KeyStore : public CTempHomeTest {};

TEST_F(KeyStore, CreateReportsWhetherTheKeyIsNew) {
    CKeyDisposition disposition = CKeyDisposition::OpenedExistingKey;
    EXPECT_TRUE(CRegKey::Create(CRootKey::LocalMachine, "Software\\Vendor\\App", &disposition));
    EXPECT_EQ(disposition, CKeyDisposition::CreatedNewKey);
    EXPECT_TRUE(CRegKey::Create(CRootKey::LocalMachine, "Software\\Vendor\\App", &disposition));
    EXPECT_EQ(disposition, CKeyDisposition::OpenedExistingKey);
    EXPECT_FALSE(CRegKey::Open(CRootKey::LocalMachine, "Software\\Vendor\\Other"));
    EXPECT_FALSE(CRegKey::Open(CRootKey::CurrentUser, "Software\\Vendor\\App"));
}

TEST_F(KeyStore, ValuesRoundTripBytesAndNamesIgnoreCase) {
    const CRegKey key = CRegKey::Create(CRootKey::LocalMachine, "Soft\\Sec", nullptr);
    const std::string bytes("a\0b\xff", 4);
    ASSERT_TRUE(key.SetValue("Name", bytes));
    EXPECT_EQ(key.QueryValue("Name", 260), bytes);
    EXPECT_EQ(key.QueryValue("NAME", 260), bytes);
    EXPECT_EQ(CRegKey::Open(CRootKey::LocalMachine, "SOFT\\sec").QueryValue("name", 260), bytes);
    EXPECT_FALSE(key.QueryValue("absent", 260));
}

TEST_F(KeyStore, QueryRefusesValuesLongerThanTheLimit) {
    const CRegKey key = CRegKey::Create(CRootKey::LocalMachine, "K", nullptr);
    ASSERT_TRUE(key.SetValue("v", std::string(261, 'x')));
    EXPECT_FALSE(key.QueryValue("v", 260));
    EXPECT_TRUE(key.QueryValue("v", 261));
}

TEST_F(KeyStore, HostileNamesStayInsideTheirKey) {
    const CRegKey key = CRegKey::Create(CRootKey::LocalMachine, "Root", nullptr);
    const std::vector<std::string> names = {"..", ".",           "",     "a/b", "../../escape",
                                            std::string("n\0ul", 4), ".val", "%41"};
    for (const std::string& name : names) {
        EXPECT_TRUE(key.SetValue(name, "v")) << name;
        EXPECT_TRUE(key.CreateSubKey(name + "k", nullptr)) << name;
        EXPECT_EQ(key.QueryValue(name, 260), "v") << name;
    }
    // "%41" and "A" are different names: the escape character itself is escaped.
    EXPECT_FALSE(key.QueryValue("A", 260));

    std::set<std::string> top;
    Collect(Home(), "", top);
    for (const std::string& path : top) {
        EXPECT_EQ(path.rfind("registry", 0), 0u) << path << " escaped the key store";
    }
    const CRegKey dotDot = key.CreateSubKey("..", nullptr);
    ASSERT_TRUE(dotDot);
    EXPECT_TRUE(dotDot.SetValue("inside", "1"));
    EXPECT_FALSE(key.QueryValue("inside", 260)) << "\"..\" must be a key of its own";
}

TEST_F(KeyStore, EmptyPathComponentsAndAnEmptySubKeyNameTheSameKey) {
    const CRegKey key = CRegKey::Create(CRootKey::LocalMachine, "A\\\\B\\", nullptr);
    ASSERT_TRUE(key.SetValue("v", "1"));
    EXPECT_EQ(CRegKey::Open(CRootKey::LocalMachine, "A\\B").QueryValue("v", 260), "1");
    const CRegKey same = key.CreateSubKey("", nullptr);
    EXPECT_EQ(same.QueryValue("v", 260), "1");
}

TEST_F(KeyStore, WritesLeaveNoTemporaryFilesAndReplaceWhole) {
    const CRegKey key = CRegKey::Create(CRootKey::LocalMachine, "K", nullptr);
    ASSERT_TRUE(key.SetValue("v", std::string(100, 'a')));
    ASSERT_TRUE(key.SetValue("v", "b"));
    EXPECT_EQ(key.QueryValue("v", 260), "b");
    std::set<std::string> files;
    Collect(Home() + "/registry/HKEY_LOCAL_MACHINE/k", "", files);
    EXPECT_EQ(files, (std::set<std::string>{"v.val"}));
}

TEST_F(KeyStore, AFifoPlantedAsAValueIsRefusedWithoutBlocking) {
    const CRegKey key = CRegKey::Create(CRootKey::LocalMachine, "K", nullptr);
    ASSERT_EQ(::mkfifo((Home() + "/registry/HKEY_LOCAL_MACHINE/k/f.val").c_str(), 0600), 0);
    EXPECT_FALSE(key.QueryValue("f", 260));
}

TEST_F(KeyStore, OperationsOnAnEmptyKeyFail) {
    const CRegKey none;
    EXPECT_FALSE(none.SetValue("v", "1"));
    EXPECT_FALSE(none.QueryValue("v", 260));
    EXPECT_FALSE(none.CreateSubKey("x", nullptr));
}

TEST_F(KeyStore, NamesTooLongForAFileNameWorkAndKeepTheirFullSpellingBeside) {
    const CRegKey key = CRegKey::Create(CRootKey::LocalMachine, "K", nullptr);
    // 300 bytes, 900 when encoded; two names alike but for their last byte.
    const std::string name = std::string(299, '/') + "a";
    const std::string twin = std::string(299, '/') + "b";
    ASSERT_TRUE(key.SetValue(name, "one"));
    ASSERT_TRUE(key.SetValue(twin, "two"));
    EXPECT_EQ(key.QueryValue(name, 260), "one");
    EXPECT_EQ(key.QueryValue(std::string(299, '/') + "A", 260), "one") << "case is ignored";
    EXPECT_EQ(key.QueryValue(twin, 260), "two");
    const CRegKey sub = key.CreateSubKey(name + "\\" + twin, nullptr);
    ASSERT_TRUE(sub);
    ASSERT_TRUE(sub.SetValue("v", "3"));
    EXPECT_EQ(CRegKey::Open(CRootKey::LocalMachine, "K\\" + name + "\\" + twin).QueryValue("v", 9),
              "3");

    const std::string folder = Home() + "/registry/HKEY_LOCAL_MACHINE/k/";
    EXPECT_EQ(ReadFile(folder + platform::StoredName(name, ".name")),
              platform::EncodeKeyName(name));
    std::set<std::string> files;
    Collect(folder, "", files);
    EXPECT_EQ(files.size(), 8u) << "two values, a key, its sub-key, v and three full spellings";
    for (const std::string& path : files) {
        for (std::size_t start = 0, slash = 0; slash != std::string::npos; start = slash + 1) {
            slash = path.find('/', start);
            EXPECT_LE(path.substr(start, slash - start).size(), 255u) << path;
        }
    }
}

TEST_F(KeyStore, ATakenTemporaryNameIsPassedOverNotWrittenThrough) {
    WriteFile(m_scratch / ".a", "leftover");
    const platform::CUnixFile folder(::open(m_scratch.Path().c_str(), O_RDONLY | O_DIRECTORY));
    std::vector<std::string> names = {".a", ".b"};
    std::size_t next = 0;
    std::string taken;
    const platform::CUnixFile created = platform::CreateUniqueFile(
        folder.Get(), [&] { return names[next++ % 2]; }, taken);
    EXPECT_TRUE(created);
    EXPECT_EQ(taken, ".b");
    EXPECT_EQ(ReadFile(m_scratch / ".a"), "leftover");
    // Every name taken: the create gives up instead of spinning.
    EXPECT_FALSE(platform::CreateUniqueFile(
        folder.Get(), [] { return std::string(".a"); }, taken));
}

TEST(KeyNameEncoding, IsReadableForPlainNamesAndEscapesTheRest) {
    EXPECT_EQ(platform::EncodeKeyName("Orvell Software"), "orvell software");
    EXPECT_EQ(platform::EncodeKeyName("col_0-x"), "col_0-x");
    EXPECT_EQ(platform::EncodeKeyName(".."), "%2E%2E");
    EXPECT_EQ(platform::EncodeKeyName("a/b"), "a%2Fb");
    EXPECT_EQ(platform::EncodeKeyName(""), "%");
}

}  // namespace
