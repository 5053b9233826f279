#include "platform/keystore.h"

#include <dirent.h>
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

TEST(KeyNameEncoding, IsReadableForPlainNamesAndEscapesTheRest) {
    EXPECT_EQ(platform::EncodeKeyName("Orvell Software"), "orvell software");
    EXPECT_EQ(platform::EncodeKeyName("col_0-x"), "col_0-x");
    EXPECT_EQ(platform::EncodeKeyName(".."), "%2E%2E");
    EXPECT_EQ(platform::EncodeKeyName("a/b"), "a%2Fb");
    EXPECT_EQ(platform::EncodeKeyName(""), "%");
}

}  // namespace
