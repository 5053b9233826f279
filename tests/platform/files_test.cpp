#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "platform/fileops.h"
#include "platform/systemdir.h"
#include "platform/textfile.h"
#include "support/temphome.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path, std::size_t bufferSize) {
    const platform::CFilePtr file = platform::OpenFile(path, "rb");
    platform::CTextModeReader reader(file.get());
    std::vector<std::string> lines;
    std::string line;
    while (reader.ReadLine(line, bufferSize)) {
        lines.push_back(line);
    }
    return lines;
}

class Files : public CTempHomeTest {};

// Sets or clears an environment variable for one scope.
class CScopedVariable {
public:
    CScopedVariable(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        Set(value);
    }
    ~CScopedVariable() { Set(m_old); }
    CScopedVariable(const CScopedVariable&) = delete;
    CScopedVariable& operator=(const CScopedVariable&) = delete;

private:
    void Set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(m_name, value->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

    const char* m_name;
    std::optional<std::string> m_old;
};

TEST_F(Files, TextModeReadingTurnsCrLfIntoOneLineEnd) {
    WriteFile(m_scratch / "t", "one\r\ntwo\rthree\n\r\nlast");
    EXPECT_EQ(ReadLines(m_scratch / "t", 100),
              (std::vector<std::string>{"one\n", "two\rthree\n", "\n", "last"}));
}

TEST_F(Files, TextModeReadingCutsLongLinesIntoBufferSizedPieces) {
    WriteFile(m_scratch / "t", "abcdefg\r\nxy");
    // A buffer of 4 holds three characters; the CR LF counts as the one character "\n".
    EXPECT_EQ(ReadLines(m_scratch / "t", 4), (std::vector<std::string>{"abc", "def", "g\n", "xy"}));
}

TEST_F(Files, CopyHonoursFailIfExistsAndKeepsBytes) {
    const std::string bytes("a\0\r\nb", 5);
    WriteFile(m_scratch / "from", bytes);
    WriteFile(m_scratch / "existing", "old");
    EXPECT_FALSE(platform::CopyFile(m_scratch / "from", m_scratch / "existing", true));
    EXPECT_EQ(ReadFile(m_scratch / "existing"), "old");
    EXPECT_TRUE(platform::CopyFile(m_scratch / "from", m_scratch / "existing", false));
    EXPECT_EQ(ReadFile(m_scratch / "existing"), bytes);
    EXPECT_TRUE(platform::CopyFile(m_scratch / "from", m_scratch / "new", true));
    EXPECT_EQ(ReadFile(m_scratch / "new"), bytes);
    EXPECT_FALSE(platform::CopyFile(m_scratch / "missing", m_scratch / "other", false));
    EXPECT_FALSE(FileExists(m_scratch / "other"));
    ASSERT_EQ(::mkfifo((m_scratch / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(platform::CopyFile(m_scratch / "pipe", m_scratch / "other", false))
        << "a FIFO fails at once instead of waiting for a writer";
    EXPECT_FALSE(FileExists(m_scratch / "other"));
}

TEST_F(Files, MoveRefusesAnExistingTarget) {
    WriteFile(m_scratch / "a", "A");
    WriteFile(m_scratch / "b", "B");
    EXPECT_FALSE(platform::MoveFile(m_scratch / "a", m_scratch / "b"));
    EXPECT_EQ(ReadFile(m_scratch / "b"), "B");
    EXPECT_TRUE(platform::MoveFile(m_scratch / "a", m_scratch / "c"));
    EXPECT_FALSE(FileExists(m_scratch / "a"));
    EXPECT_EQ(ReadFile(m_scratch / "c"), "A");
}

TEST_F(Files, DeleteRemovesFilesButNeverDirectories) {
    WriteFile(m_scratch / "a", "A");
    MakeDirectory(m_scratch / "d");
    EXPECT_TRUE(platform::DeleteFile(m_scratch / "a"));
    EXPECT_FALSE(FileExists(m_scratch / "a"));
    EXPECT_FALSE(platform::DeleteFile(m_scratch / "d"));
    EXPECT_FALSE(platform::DeleteFile(m_scratch / "a"));
}

TEST_F(Files, CreateUniqueLikeNeverSharesANameAndTakesTheModelsBits) {
    WriteFile(m_scratch / "model", "M");
    ASSERT_EQ(::chmod((m_scratch / "model").c_str(), 0604), 0);
    const platform::CFilePtr model = platform::OpenFile(m_scratch / "model", "rb");
    std::string first;
    std::string second;
    const platform::CFilePtr a =
        platform::CreateUniqueFileLike(m_scratch / "p.", ".t~p", model.get(), first);
    const platform::CFilePtr b =
        platform::CreateUniqueFileLike(m_scratch / "p.", ".t~p", model.get(), second);
    ASSERT_TRUE(a && b);
    EXPECT_NE(first, second);
    for (const std::string& name : {first, second}) {
        EXPECT_TRUE(name.starts_with(m_scratch / "p.") && name.ends_with(".t~p")) << name;
        struct stat info {};
        ASSERT_EQ(::lstat(name.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0604u) << "not mkstemp's 0600";
    }
}

TEST_F(Files, AKindIsToldWithoutFollowingLinksAndANoteStaysWithItsFile) {
    WriteFile(m_scratch / "f", "x");
    ASSERT_EQ(::symlink("f", (m_scratch / "link").c_str()), 0);
    EXPECT_EQ(platform::KindOfPathItself(m_scratch / "f"), platform::CPathKind::RegularFile);
    EXPECT_EQ(platform::KindOfPathItself(m_scratch / "link"), platform::CPathKind::Other);
    EXPECT_EQ(platform::KindOfPathItself(m_scratch / "none"), platform::CPathKind::Missing);

    EXPECT_EQ(platform::FileNote(m_scratch / "f", "linkvet.test"), std::nullopt);
    if (!platform::SetFileNote(m_scratch / "f", "linkvet.test", std::string(300, 'n'))) {
        GTEST_SKIP() << "this file system keeps no notes";
    }
    EXPECT_EQ(platform::FileNote(m_scratch / "f", "linkvet.test"), std::string(300, 'n'));
    EXPECT_EQ(platform::FileNote(m_scratch / "link", "linkvet.test"), std::nullopt)
        << "a link's note is its own, not its target's";
}

TEST_F(Files, FileAndDirectoryChecksTellKindsApart) {
    WriteFile(m_scratch / "f", "x");
    MakeDirectory(m_scratch / "d");
    ASSERT_EQ(::mkfifo((m_scratch / "p").c_str(), 0600), 0);
    EXPECT_TRUE(platform::IsRegularFile(m_scratch / "f"));
    EXPECT_FALSE(platform::IsRegularFile(m_scratch / "d"));
    EXPECT_FALSE(platform::IsRegularFile(m_scratch / "p"));
    EXPECT_TRUE(platform::IsEnterableDirectory(m_scratch / "d"));
    EXPECT_FALSE(platform::IsEnterableDirectory(m_scratch / "f"));
    EXPECT_FALSE(platform::IsEnterableDirectory(""));
}

TEST_F(Files, SystemDirectoryFollowsLinkvetHomeAndIsMade) {
    const std::string home = m_scratch / "state/deeper/";
    ::setenv("LINKVET_HOME", home.c_str(), 1);
    EXPECT_EQ(platform::SystemDirectory(), m_scratch / "state/deeper");
    EXPECT_TRUE(platform::IsEnterableDirectory(m_scratch / "state/deeper"));
    ::unsetenv("LINKVET_HOME");
    ::setenv("XDG_STATE_HOME", (m_scratch / "xdg").c_str(), 1);
    EXPECT_EQ(platform::SystemDirectory(), m_scratch / "xdg/linkvet");
    ::unsetenv("XDG_STATE_HOME");
}

TEST_F(Files, WithoutHomeTheHomeFolderIsThePasswordDatabasesNeverTmp) {
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    const std::string expected = entry->pw_dir;
    {
        const CScopedVariable home("HOME", std::nullopt);
        EXPECT_EQ(platform::HomeFolder(), expected);
    }
    const CScopedVariable home("HOME", m_scratch / "mine");
    EXPECT_EQ(platform::HomeFolder(), m_scratch / "mine");
}

TEST_F(Files, ASystemDirectoryOthersMayWriteInOrOwnIsRefused) {
    const std::string directory = m_scratch / "state";
    const CScopedVariable home("LINKVET_HOME", directory);
    ASSERT_EQ(platform::SystemDirectory(), directory);
    EXPECT_EQ(platform::SystemFilePath("f"), directory + "/f");
    for (const mode_t mode : {0777, 0770, 0702, 0720}) {
        ASSERT_EQ(::chmod(directory.c_str(), mode), 0);
        EXPECT_FALSE(platform::SystemDirectory()) << std::oct << mode;
        EXPECT_EQ(platform::SystemFilePath("f"), "") << std::oct << mode;
    }
    ASSERT_EQ(::chmod(directory.c_str(), 0755), 0);
    EXPECT_EQ(platform::SystemDirectory(), directory);

    // Root may give the directory away; anyone else finds one of root's own.
    const std::string foreign = ::geteuid() == 0 ? directory : std::string("/");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(directory.c_str(), 65534, 65534), 0);
    }
    const CScopedVariable other("LINKVET_HOME", foreign);
    EXPECT_FALSE(platform::SystemDirectory());
}

}  // namespace

#include "platform/profile.h"

namespace {

class Profile : public CTempHomeTest {};

TEST_F(Profile, ValuesRoundTripAndOtherSectionsSurvive) {
    EXPECT_EQ(platform::GetProfileInt("Screen", "High", 0), 0);
    WriteFile(platform::ProfilePath(), "[Other]\nHigh=5\n\n[screen]\nkeep=1\n");
    EXPECT_EQ(platform::GetProfileInt("Screen", "High", 0), 0) << "another section's value";
    EXPECT_TRUE(platform::WriteProfileInt("Screen", "High", 120));
    EXPECT_EQ(platform::GetProfileInt("Screen", "High", 0), 120);
    EXPECT_EQ(platform::GetProfileInt("SCREEN", "high", 0), 120);
    EXPECT_TRUE(platform::WriteProfileInt("Screen", "High", -3));
    EXPECT_EQ(platform::GetProfileInt("Screen", "High", 0), -3);
    EXPECT_EQ(platform::GetProfileInt("Screen", "keep", 0), 1);
    EXPECT_EQ(platform::GetProfileInt("Other", "High", 0), 5);
    EXPECT_EQ(ReadFile(platform::ProfilePath()), "[Other]\nHigh=5\n\n[screen]\nkeep=1\nHigh=-3\n");
}

TEST_F(Profile, ANewSectionIsAppendedAndGarbageReadsAsTheDefault) {
    WriteFile(platform::ProfilePath(), "[Screen]\nHigh=abc\n");
    EXPECT_EQ(platform::GetProfileInt("Screen", "High", 7), 7);
    EXPECT_TRUE(platform::WriteProfileInt("Grid", "x", 1));
    EXPECT_EQ(platform::GetProfileInt("Grid", "x", 0), 1);
}

}  // namespace
