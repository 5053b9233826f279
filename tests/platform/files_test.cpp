#include <sys/stat.h>

#include "platform/filefaults.h"
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

TEST_F(Files, ReplaceSwapsInTheNewBytesOrLeavesBothFilesAlone) {
    WriteFile(m_scratch / "new", "N");
    WriteFile(m_scratch / "old", "O");
    EXPECT_FALSE(platform::ReplaceFile(m_scratch / "missing", m_scratch / "old"));
    EXPECT_EQ(ReadFile(m_scratch / "old"), "O");
    EXPECT_TRUE(platform::ReplaceFile(m_scratch / "new", m_scratch / "old"));
    EXPECT_EQ(ReadFile(m_scratch / "old"), "N");
    EXPECT_FALSE(FileExists(m_scratch / "new"));
}

TEST_F(Files, CreateLikeTakesTheModelsModeAndNeverReusesAName) {
    WriteFile(m_scratch / "model", "M");
    ASSERT_EQ(::chmod((m_scratch / "model").c_str(), 0604), 0);
    const platform::CFilePtr model = platform::OpenFile(m_scratch / "model", "rb");
    const mode_t previousMask = ::umask(022);
    platform::CFilePtr created = platform::CreateFileLike(m_scratch / "copy", model.get());
    ::umask(previousMask);
    ASSERT_TRUE(created);
    std::fputs("text", created.get());
    EXPECT_TRUE(platform::FlushToDisk(created.get()));
    struct stat info {};
    ASSERT_EQ(::stat((m_scratch / "copy").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(ReadFile(m_scratch / "copy"), "text");

    EXPECT_FALSE(platform::CreateFileLike(m_scratch / "copy", model.get()));
    ASSERT_EQ(::symlink("elsewhere", (m_scratch / "link").c_str()), 0);
    EXPECT_FALSE(platform::CreateFileLike(m_scratch / "link", model.get()));
    EXPECT_FALSE(FileExists(m_scratch / "elsewhere")) << "nothing is created through a link";
}

TEST_F(Files, AnInjectedFailureHitsOnlyTheChosenCallOfItsOperation) {
    for (const char* name : {"a", "b", "c"}) {
        WriteFile(m_scratch / name, name);
    }
    platform::FailFileOperation(platform::CFileOperation::Delete, 1);
    EXPECT_TRUE(platform::DeleteFile(m_scratch / "a"));
    EXPECT_FALSE(platform::DeleteFile(m_scratch / "b"));
    EXPECT_TRUE(FileExists(m_scratch / "b"));
    EXPECT_TRUE(platform::DeleteFile(m_scratch / "c")) << "a failure strikes once";

    platform::FailFileOperation(platform::CFileOperation::OpenForReading);
    platform::FailFileOperation(platform::CFileOperation::Replace);
    EXPECT_TRUE(platform::OpenFile(m_scratch / "w", "wb")) << "writing is another operation";
    EXPECT_FALSE(platform::OpenFile(m_scratch / "b", "rb"));
    platform::ClearFileFailures();
    EXPECT_TRUE(platform::ReplaceFile(m_scratch / "b", m_scratch / "w"));
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

}  // namespace
