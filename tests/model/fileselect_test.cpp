#include "model/fileselect.h"

#include <sys/stat.h>
#include <unistd.h>

#include "support/temphome.h"

namespace {

class FileSelection : public CTempHomeTest {
protected:
    void Touch(const std::string& relative) { WriteFile(m_scratch / relative, "x"); }
    void Folder(const std::string& relative) { MakeDirectory(m_scratch / relative); }

    // The selection with the scratch folder's prefix taken off, for readable expectations.
    std::vector<std::string> Select(const std::string& relative, bool allFiles, bool recurse,
                                    bool htmlOnly) {
        const CFileChoice choice{m_scratch / relative, recurse, allFiles, htmlOnly};
        std::vector<std::string> files;
        for (const std::string& file : SelectFiles(choice)) {
            files.push_back(file.rfind(m_scratch.Path(), 0) == 0
                                ? file.substr(m_scratch.Path().size() + 1)
                                : file);
        }
        return files;
    }
};

TEST_F(FileSelection, SingleFileModeTakesThePathWhateverItsExtension) {
    Touch("notes.txt");
    EXPECT_EQ(Select("notes.txt", false, false, true), (std::vector<std::string>{"notes.txt"}));
    EXPECT_EQ(Select("missing", false, false, false), (std::vector<std::string>{"missing"}));
}

TEST_F(FileSelection, RecurseWithoutAllFilesSelectsNothing) {
    Touch("a.htm");
    EXPECT_TRUE(Select("", false, true, false).empty());
}

TEST_F(FileSelection, ADirectoryListsItsFilesInNameOrderAndTheFilterAdmitsWebPages) {
    Folder("site");
    for (const char* name : {"c.jsp", "b.txt", "A.htm", "x.tin", "y.htx", "z.jhtml", "w.aspx",
                             "v.php", "u.xml", "PAGE.HTM.BAK", ".hidden.htm"}) {
        Touch(std::string("site/") + name);
    }
    Folder("site/sub.htm");
    EXPECT_EQ(Select("site", true, false, true),
              (std::vector<std::string>{"site/.hidden.htm", "site/A.htm", "site/c.jsp",
                                        "site/PAGE.HTM.BAK", "site/w.aspx", "site/x.tin",
                                        "site/y.htx", "site/z.jhtml"}));
    EXPECT_EQ(Select("site", true, false, false).size(), 11u) << "directories are no files";
}

TEST_F(FileSelection, TheExtensionTestIsASubstringOfTheWholePathPastItsStart) {
    EXPECT_TRUE(HasWebPageExtension("/web/x.html/readme.txt"));
    EXPECT_TRUE(HasWebPageExtension("a.ShTmL"));
    EXPECT_FALSE(HasWebPageExtension(".htm"));
    EXPECT_FALSE(HasWebPageExtension("page.ht"));
    EXPECT_FALSE(HasWebPageExtension("page.php"));
}

TEST_F(FileSelection, ATreeIsWalkedDepthFirstLaterSiblingsFirst) {
    Folder("root");
    Touch("root/top.htm");
    Folder("root/x");
    Touch("root/x/x1.htm");
    Folder("root/x/deep");
    Touch("root/x/deep/d.htm");
    Folder("root/y");
    Touch("root/y/y1.htm");
    Touch("root/z.htm");
    EXPECT_EQ(Select("root", true, true, false),
              (std::vector<std::string>{"root/top.htm", "root/z.htm", "root/y/y1.htm",
                                        "root/x/x1.htm", "root/x/deep/d.htm"}));
}

TEST_F(FileSelection, HiddenLinkedAndUnreadableDirectoriesAreNotWalked) {
    Folder("root");
    Folder("root/.svn");
    Touch("root/.svn/entries.htm");
    Folder("root/real");
    Touch("root/real/r.htm");
    ASSERT_EQ(::symlink("real", (m_scratch / "root/alias").c_str()), 0);
    ASSERT_EQ(::symlink("..", (m_scratch / "root/real/loop").c_str()), 0);
    const std::vector<std::string> walked = {"root/real/r.htm"};
    EXPECT_EQ(Select("root", true, true, false), walked);
    ASSERT_EQ(::chmod(m_scratch.Path().c_str(), 0755), 0);
    EXPECT_TRUE(AsOrdinaryUser([&] { return Select("root", true, true, false) == walked; }));
    ::chmod((m_scratch / "root/real").c_str(), 0);
    EXPECT_TRUE(AsOrdinaryUser([&] { return Select("root", true, true, false).empty(); }));
    ::chmod((m_scratch / "root/real").c_str(), 0755);
}

TEST_F(FileSelection, OnlyFilesAndLinksThatMayBeFilesAreListed) {
    Folder("d");
    Touch("d/page.htm");
    ASSERT_EQ(::mkfifo((m_scratch / "d/pipe.htm").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("page.htm", (m_scratch / "d/link.htm").c_str()), 0);
    ASSERT_EQ(::symlink("gone.htm", (m_scratch / "d/dangling.htm").c_str()), 0);
    ASSERT_EQ(::symlink("pipe.htm", (m_scratch / "d/pipelink.htm").c_str()), 0);
    // What repair leaves beside a page holds its links too, and is never a page to test.
    for (const char* left : {"d/page.rep", "d/page.htm.rep", "d/page.t~p", "d/page.Xy12ab.t~p"}) {
        Touch(left);
    }
    EXPECT_EQ(Select("d", true, false, false),
              (std::vector<std::string>{"d/dangling.htm", "d/link.htm", "d/page.htm"}));
    EXPECT_EQ(Select("d/page.rep", false, false, false), (std::vector<std::string>{"d/page.rep"}))
        << "a file named on its own is taken";
}

TEST_F(FileSelection, PathsArePlainlyJoinedSoATrailingSlashDoubles) {
    Folder("web");
    Touch("web/page.htm");
    EXPECT_EQ(Select("web/", true, false, false), (std::vector<std::string>{"web//page.htm"}));
}

TEST_F(FileSelection, AMissingDirectoryContributesNothing) {
    EXPECT_TRUE(Select("missing", true, false, false).empty());
    EXPECT_TRUE(Select("missing", true, true, false).empty());
}

}  // namespace
