#include "platform/direnum.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "support/temphome.h"

namespace {

using platform::CDirEntry;
using platform::ListDirectory;
using platform::ListsBefore;

std::vector<std::string> Names(const std::vector<CDirEntry>& entries) {
    std::vector<std::string> names;
    for (const CDirEntry& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

std::uint32_t AttributesOf(const std::vector<CDirEntry>& entries, const std::string& name) {
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const CDirEntry& entry) { return entry.name == name; });
    EXPECT_NE(found, entries.end()) << name;
    return found == entries.end() ? 0 : found->attributes;
}

TEST(ListOrder, ComparesAsciiLettersAsUpperCaseThenBytewise) {
    std::vector<std::string> names = {"b.htm", "A.htm", "a.htm", "_x", "Z", "[y", "10", "1"};
    std::sort(names.begin(), names.end(), ListsBefore);
    // '[' and '_' sit between 'Z' and 'a' in ASCII; folded, '_' (0x5F) follows 'Z' (0x5A) and
    // '[' (0x5B), and every lower-case letter sorts as its capital.
    EXPECT_EQ(names, (std::vector<std::string>{"1", "10", "A.htm", "a.htm", "b.htm", "Z", "[y",
                                                "_x"}));
}

TEST(ListOrder, BytesAboveAsciiAreNotFolded) {
    EXPECT_TRUE(ListsBefore("z", "\xc3\xa9"));
    EXPECT_FALSE(ListsBefore("\xc3\xa9", "Z"));
}

class DirectoryListing : public CTempHomeTest {};

TEST_F(DirectoryListing, ListsEntriesSortedWithAttributeWords) {
    WriteFile(m_scratch / "b.txt", "b");
    WriteFile(m_scratch / "A.htm", "a");
    WriteFile(m_scratch / ".hidden", "h");
    MakeDirectory(m_scratch / "sub");
    MakeDirectory(m_scratch / ".svn");
    ASSERT_EQ(::symlink("sub", (m_scratch / "linkdir").c_str()), 0);
    ASSERT_EQ(::symlink("b.txt", (m_scratch / "linkfile").c_str()), 0);
    ASSERT_EQ(::symlink("missing", (m_scratch / "dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo((m_scratch / "pipe").c_str(), 0600), 0);

    const auto entries = ListDirectory(m_scratch.Path());
    ASSERT_TRUE(entries);
    EXPECT_EQ(Names(*entries), (std::vector<std::string>{".hidden", ".svn", "A.htm", "b.txt",
                                                          "dangling", "linkdir", "linkfile",
                                                          "pipe", "sub"}));
    EXPECT_EQ(AttributesOf(*entries, "A.htm"), platform::kAttributeNormal);
    EXPECT_EQ(AttributesOf(*entries, "sub"), platform::kAttributeDirectory);
    EXPECT_EQ(AttributesOf(*entries, ".svn"),
              platform::kAttributeDirectory | platform::kAttributeHidden);
    EXPECT_EQ(AttributesOf(*entries, ".hidden"),
              platform::kAttributeNormal | platform::kAttributeHidden);
    EXPECT_EQ(AttributesOf(*entries, "linkdir"),
              platform::kAttributeDirectory | platform::kAttributeReparsePoint);
    EXPECT_EQ(AttributesOf(*entries, "linkfile"),
              platform::kAttributeNormal | platform::kAttributeReparsePoint);
    EXPECT_EQ(AttributesOf(*entries, "dangling"), platform::kAttributeReparsePoint);
    EXPECT_EQ(AttributesOf(*entries, "pipe"), platform::kAttributeDevice);
}

TEST_F(DirectoryListing, FailsOnMissingOrUnreadableDirectories) {
    EXPECT_FALSE(ListDirectory(m_scratch / "missing"));
    EXPECT_FALSE(ListDirectory(""));
    WriteFile(m_scratch / "file", "x");
    EXPECT_FALSE(ListDirectory(m_scratch / "file"));
    ASSERT_EQ(::chmod(m_scratch.Path().c_str(), 0755), 0);
    MakeDirectory(m_scratch / "closed");
    const std::string closed = m_scratch / "closed";
    EXPECT_TRUE(AsOrdinaryUser([&] { return ListDirectory(closed).has_value(); }));
    ::chmod(closed.c_str(), 0);
    EXPECT_TRUE(AsOrdinaryUser([&] { return !ListDirectory(closed); }));
}

}  // namespace
