#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <optional>
#include <string>
#include <vector>

#include "platform/messagebox.h"
#include "run/progressdlg.h"
#include "run/selectfilesdlg.h"
#include "settings/regsettings.h"
#include "support/temphome.h"
#include "support/widgetfind.h"

namespace {

// Stands in for both pickers: records how each was asked and answers with m_answer.
class CScriptedSelectFilesDlg : public CSelectFilesDlg {
public:
    using CSelectFilesDlg::CSelectFilesDlg;

    std::optional<std::string> m_answer;
    std::vector<std::string> m_folderTitles;
    std::vector<std::string> m_fileInitialNames;

protected:
    std::optional<std::string> PickFolder(const std::string& title) override {
        m_folderTitles.push_back(title);
        return m_answer;
    }
    std::optional<std::string> PickFile(const std::string& initialName) override {
        m_fileInitialNames.push_back(initialName);
        return m_answer;
    }
};

class SelectFilesDlg : public CTempHomeTest {
protected:
    SelectFilesDlg() : m_dialog(m_settings) { OpenSettingsAtStartup(m_settings); }

    void Show() {
        m_dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_dialog));
    }
    QCheckBox& Box(const char* text) {
        QCheckBox* box = FindByText<QCheckBox>(m_dialog, QString::fromUtf8(text));
        EXPECT_NE(box, nullptr) << text;
        return *box;
    }
    QCheckBox& AllFilesBox() { return Box("Test other files in this directory"); }
    QCheckBox& RecurseBox() { return Box("Test in this directory and all sub-directories"); }
    QCheckBox& HtmlOnlyBox() {
        return Box("Only test files with extensions like \"htm\" or similar");
    }
    QPushButton& Button(const char* text) {
        return *FindByText<QPushButton>(m_dialog, QString::fromUtf8(text));
    }
    QLineEdit& PathEdit() { return *m_dialog.findChild<QLineEdit*>(); }

    CRegSettings m_settings;
    platform::CScriptedUserInterface m_ui;
    CScriptedSelectFilesDlg m_dialog;
};

TEST_F(SelectFilesDlg, TheSubDirectoriesBoxOnlyEverGoesWithTheOtherFilesBox) {
    Show();
    ASSERT_FALSE(AllFilesBox().isChecked());
    QTest::mouseClick(&RecurseBox(), Qt::LeftButton);
    EXPECT_TRUE(RecurseBox().isChecked());
    EXPECT_TRUE(AllFilesBox().isChecked()) << "checking 1002 checks 1001 too";

    QTest::mouseClick(&AllFilesBox(), Qt::LeftButton);
    EXPECT_FALSE(AllFilesBox().isChecked());
    EXPECT_FALSE(RecurseBox().isChecked()) << "unchecking 1001 unchecks 1002 too";

    QTest::mouseClick(&RecurseBox(), Qt::LeftButton);
    QTest::mouseClick(&RecurseBox(), Qt::LeftButton);
    EXPECT_FALSE(RecurseBox().isChecked());
    EXPECT_TRUE(AllFilesBox().isChecked()) << "unchecking 1002 leaves 1001 alone";

    QTest::mouseClick(&Button("OK"), Qt::LeftButton);
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(m_dialog.m_allFiles);
    EXPECT_FALSE(m_dialog.m_recurse);
}

TEST_F(SelectFilesDlg, MembersGoInWhenShownAndComeBackOnlyOnOk) {
    m_dialog.m_path = "/web/s\xC3\xA4tze/index.htm";
    m_dialog.m_allFiles = true;
    m_dialog.m_recurse = true;
    Show();
    EXPECT_EQ(PathEdit().text(), QString::fromUtf8("/web/s\xC3\xA4tze/index.htm"));
    EXPECT_TRUE(AllFilesBox().isChecked());
    EXPECT_TRUE(RecurseBox().isChecked());
    EXPECT_FALSE(HtmlOnlyBox().isChecked());

    QTest::mouseClick(&HtmlOnlyBox(), Qt::LeftButton);
    PathEdit().selectAll();
    QTest::keyClicks(&PathEdit(), "/other");
    EXPECT_EQ(m_dialog.m_path, "/web/s\xC3\xA4tze/index.htm") << "nothing is read before OK";
    EXPECT_FALSE(m_dialog.m_htmlOnly);

    QTest::keyClick(&PathEdit(), Qt::Key_Return);
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted) << "Return presses OK";
    EXPECT_EQ(m_dialog.m_path, "/other");
    EXPECT_TRUE(m_dialog.m_htmlOnly);
}

TEST_F(SelectFilesDlg, CancelReadsNothing) {
    m_dialog.m_path = "/web/index.htm";
    Show();
    QTest::mouseClick(&HtmlOnlyBox(), Qt::LeftButton);
    QTest::keyClicks(&PathEdit(), "x");
    QTest::mouseClick(&Button("Cancel"), Qt::LeftButton);
    EXPECT_EQ(m_dialog.result(), QDialog::Rejected);
    EXPECT_EQ(m_dialog.m_path, "/web/index.htm");
    EXPECT_FALSE(m_dialog.m_htmlOnly);
}

TEST(BrowseInitialName, TheFolderOfTheLastFileWithEveryFileShown) {
    EXPECT_EQ(BrowseInitialName("/web/site/index.htm"), "/web/site/*.*");
    EXPECT_EQ(BrowseInitialName("/web/site/"), "/web/site/*.*");
    EXPECT_EQ(BrowseInitialName(""), "*.*");
    // With a single slash nothing is cut, so a file at the top becomes a folder name.
    EXPECT_EQ(BrowseInitialName("/web"), "/web/*.*");
    EXPECT_EQ(BrowseInitialName("/index.htm"), "/index.htm/*.*");
    EXPECT_EQ(BrowseInitialName("/"), "/*.*");
    EXPECT_EQ(BrowseInitialName("index.htm"), "index.htm/*.*");
}

TEST_F(SelectFilesDlg, BrowseForAFileStartsInTheFolderLastTested) {
    m_settings.SetString("FileSel", "Starter", "/web/site/index.htm");
    m_dialog.m_path = "/elsewhere/page.htm";
    Show();
    m_dialog.m_answer = "/web/site/news.htm";
    QTest::mouseClick(&Button("Browse..."), Qt::LeftButton);
    EXPECT_EQ(m_dialog.m_fileInitialNames, (std::vector<std::string>{"/web/site/*.*"}))
        << "the setting decides, not the edit field";
    EXPECT_TRUE(m_dialog.m_folderTitles.empty());
    EXPECT_EQ(PathEdit().text(), "/web/site/news.htm");
    EXPECT_EQ(m_dialog.focusWidget(), &Button("OK"));

    m_dialog.m_answer.reset();
    PathEdit().setFocus();
    QTest::mouseClick(&Button("Browse..."), Qt::LeftButton);
    EXPECT_EQ(PathEdit().text(), "/web/site/news.htm") << "a cancelled picker changes nothing";
    EXPECT_EQ(m_dialog.focusWidget(), &Button("OK"));
}

TEST_F(SelectFilesDlg, BrowseWithoutAStarterOffersEveryFile) {
    Show();
    QTest::mouseClick(&Button("Browse..."), Qt::LeftButton);
    EXPECT_EQ(m_dialog.m_fileInitialNames, (std::vector<std::string>{"*.*"}));
}

TEST_F(SelectFilesDlg, BrowseInDirectoryModeAsksForAFolder) {
    m_settings.SetString("FileSel", "Starter", "/web/site/index.htm");
    m_dialog.m_path = "/web";
    Show();
    QTest::mouseClick(&AllFilesBox(), Qt::LeftButton);
    QTest::mouseClick(&Button("Browse..."), Qt::LeftButton);
    EXPECT_EQ(m_dialog.m_folderTitles, (std::vector<std::string>{"Folder to Test"}));
    EXPECT_TRUE(m_dialog.m_fileInitialNames.empty());
    EXPECT_EQ(PathEdit().text(), "/web") << "no folder picked, nothing changed";

    m_dialog.m_answer = "/srv/www";
    QTest::mouseClick(&Button("Browse..."), Qt::LeftButton);
    EXPECT_EQ(PathEdit().text(), "/srv/www");
    EXPECT_TRUE(AllFilesBox().isChecked()) << "the boxes survive the exchange";
}

TEST_F(SelectFilesDlg, ThePathFieldTakesAThousandCharacters) {
    Show();
    QTest::keyClicks(&PathEdit(), QString(1005, QLatin1Char('a')));
    EXPECT_EQ(PathEdit().text().size(), 1000);
}

class ProgressDlg : public ::testing::Test {
protected:
    ProgressDlg() : m_dialog(&m_mainWindow) { m_mainWindow.setGeometry(100, 80, 900, 700); }

    void Show() {
        m_mainWindow.show();
        m_dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_dialog));
    }
    QString Field(const char* name) { return m_dialog.findChild<QLabel*>(name)->text(); }
    QProgressBar& Bar(const char* name) { return *m_dialog.findChild<QProgressBar*>(name); }

    QWidget m_mainWindow;
    CProgressDlg m_dialog;
};

TEST_F(ProgressDlg, OpensEmptyAndModelessCentredOverTheMainWindow) {
    Show();
    EXPECT_EQ(m_dialog.windowTitle(), "Testing Progress");
    EXPECT_FALSE(m_dialog.isModal());
    for (const char* name :
         {"fileText", "fileIndex", "fileTotal", "urlText", "anchorText", "urlIndex", "urlTotal"}) {
        EXPECT_EQ(Field(name), "") << name;
    }
    EXPECT_EQ(Bar("fileBar").value(), Bar("fileBar").minimum());
    EXPECT_EQ(Bar("urlBar").value(), Bar("urlBar").minimum());
    const QPoint offset = m_dialog.geometry().center() - m_mainWindow.geometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);
}

TEST_F(ProgressDlg, TheFieldsChangeOnlyWhenTransferred) {
    Show();
    m_dialog.m_fileText = "/web/site/s\xC3\xA4tze.htm";
    m_dialog.m_fileIndex = "2";
    m_dialog.m_fileTotal = "7";
    m_dialog.m_urlText = "http://host/page";
    m_dialog.m_anchorText = "The page";
    m_dialog.m_urlIndex = "3";
    m_dialog.m_urlTotal = "12";
    EXPECT_EQ(Field("fileText"), "");
    m_dialog.UpdateData();
    EXPECT_EQ(Field("fileText"), QString::fromUtf8("/web/site/s\xC3\xA4tze.htm"));
    EXPECT_EQ(Field("fileIndex"), "2");
    EXPECT_EQ(Field("fileTotal"), "7");
    EXPECT_EQ(Field("urlText"), "http://host/page");
    EXPECT_EQ(Field("anchorText"), "The page");
    EXPECT_EQ(Field("urlIndex"), "3");
    EXPECT_EQ(Field("urlTotal"), "12");
}

TEST_F(ProgressDlg, ALongPathIsShownWholeAndNeverWidensTheWindow) {
    Show();
    const int width = m_dialog.width();
    const std::string path = "/web/" + std::string(400, 'd') + "/index.htm";
    m_dialog.m_fileText = path;
    m_dialog.m_urlText = "http://host/" + std::string(400, 'u');
    m_dialog.UpdateData();
    QTest::qWait(20);
    EXPECT_EQ(Field("fileText").toStdString(), path) << "the text is not shortened";
    EXPECT_EQ(m_dialog.width(), width);
    EXPECT_LE(m_dialog.findChild<QLabel*>("fileText")->geometry().right(),
              m_dialog.contentsRect().right());
}

TEST_F(ProgressDlg, NumbersOfSixDigitsAndTextsThatAreNotUtf8ShowWhole) {
    Show();
    m_dialog.m_fileIndex = "123456";
    m_dialog.m_fileTotal = "999999";
    m_dialog.m_urlIndex = "100000";
    m_dialog.m_urlTotal = "888888";
    m_dialog.m_fileText = "/site/caf\xe9.htm";
    m_dialog.m_anchorText = "Caf\xe9";
    m_dialog.UpdateData();
    for (const char* name : {"fileIndex", "fileTotal", "urlIndex", "urlTotal"}) {
        const QLabel& field = *m_dialog.findChild<QLabel*>(name);
        EXPECT_LE(field.fontMetrics().horizontalAdvance(field.text()), field.contentsRect().width())
            << name;
    }
    EXPECT_EQ(Field("fileText"), QString::fromUtf8("/site/caf\xc3\xa9.htm"))
        << "as the grid shows it";
    EXPECT_EQ(Field("anchorText"), QString::fromUtf8("Caf\xc3\xa9"));
}

TEST_F(ProgressDlg, TheBarsShowTheRunsBars) {
    Show();
    CProgressBar& files = m_dialog.FileBar();
    files.SetRange(0, 3);
    files.SetStep(1);
    files.StepIt();
    EXPECT_EQ(Bar("fileBar").minimum(), 0);
    EXPECT_EQ(Bar("fileBar").maximum(), 3);
    EXPECT_EQ(Bar("fileBar").value(), 1);
    files.StepIt();
    files.StepIt();
    files.StepIt();
    EXPECT_EQ(Bar("fileBar").value(), 0) << "past the top the bar starts over";

    CProgressBar& urls = m_dialog.UrlBar();
    urls.SetRange(0, 200000);
    urls.SetPos(150000);
    EXPECT_EQ(Bar("urlBar").maximum(), 200000);
    EXPECT_EQ(Bar("urlBar").value(), 150000);
    EXPECT_EQ(Bar("fileBar").value(), 0) << "each bar on its own";

    urls.SetRange(0, 0);
    EXPECT_GT(Bar("urlBar").maximum(), Bar("urlBar").minimum()) << "no busy animation";
    EXPECT_EQ(Bar("urlBar").value(), 0);
}

TEST_F(ProgressDlg, OnlyTheRunTakesTheWindowDown) {
    Show();
    EXPECT_FALSE(m_dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QTest::keyClick(&m_dialog, Qt::Key_Escape);
    EXPECT_TRUE(m_dialog.isVisible());
    EXPECT_FALSE(m_dialog.close());
    EXPECT_TRUE(m_dialog.isVisible());
}

}  // namespace
