#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <algorithm>
#include <string>
#include <vector>

#include "app/aboutdlg.h"
#include "app/optionsdlg.h"
#include "app/preferencesdlg.h"
#include "app/staticlink.h"
#include "platform/messagebox.h"
#include "probe/resultcodes.h"
#include "results/reportwriter.h"
#include "support/widgetfind.h"

namespace {

CReasonTexts TableReasonTexts() {
    CReasonTexts texts;
    for (std::size_t i = 0; i < kResultCodeCount; ++i) {
        texts[i] = std::string(kResultCodes[i].reasonText);
    }
    return texts;
}

class PreferencesDlg : public ::testing::Test {
protected:
    PreferencesDlg() : m_dialog(m_filter, m_reasonTexts) { m_dialog.m_timeout = 15; }

    void Show() {
        m_dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_dialog));
    }
    QPushButton& Button(const char* text) {
        QPushButton* button = FindByText<QPushButton>(m_dialog, QString::fromUtf8(text));
        EXPECT_NE(button, nullptr) << text;
        return *button;
    }
    void Click(const char* text) { QTest::mouseClick(&Button(text), Qt::LeftButton); }
    QLineEdit& TimeoutEdit() { return *m_dialog.findChild<QLineEdit*>(); }
    void TypeTimeout(const char* text) {
        TimeoutEdit().selectAll();
        QTest::keyClick(&TimeoutEdit(), Qt::Key_Delete);
        QTest::keyClicks(&TimeoutEdit(), QString::fromUtf8(text));
    }
    // Clicks the check box of a row, as the user does.
    void ClickTick(int row) {
        CFilterCheckListBox& list = m_dialog.m_filterList;
        list.scrollToItem(list.item(row));
        QStyleOptionViewItem option;
        option.initFrom(&list);
        option.rect = list.visualItemRect(list.item(row));
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        const QRect check =
            list.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &list);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, check.center());
    }
    std::vector<int> TickedRows() {
        std::vector<int> rows;
        for (int row = 0; row < m_dialog.m_filterList.count(); ++row) {
            if (m_dialog.m_filterList.IsTicked(row)) {
                rows.push_back(row);
            }
        }
        return rows;
    }

    platform::CScriptedUserInterface m_ui;
    std::string m_filter{kWatchLikeAHawkFilter};
    CReasonTexts m_reasonTexts = TableReasonTexts();
    CPreferencesDlg m_dialog;
};

TEST_F(PreferencesDlg, TheDefaultFilterTicksEveryRowBut200) {
    Show();
    EXPECT_EQ(m_dialog.windowTitle(), "Preferences");
    ASSERT_EQ(m_dialog.m_filterList.count(), 21);
    EXPECT_FALSE(m_dialog.m_filterList.IsTicked(0));
    for (int row = 1; row < 21; ++row) {
        EXPECT_TRUE(m_dialog.m_filterList.IsTicked(row)) << row;
    }
    EXPECT_EQ(m_dialog.m_filterList.visualItemRect(m_dialog.m_filterList.item(3)).height(), 20);
    EXPECT_EQ(TimeoutEdit().text(), "15");
}

TEST_F(PreferencesDlg, RowsShowTheReasonTextsAsTheyStandWhenDrawn) {
    Show();
    QWidget& rows = *m_dialog.m_filterList.viewport();
    const QImage before = rows.grab().toImage();
    m_reasonTexts[0] = "A text of quite another length";
    EXPECT_NE(rows.grab().toImage(), before);
}

TEST_F(PreferencesDlg, OneEyeShutTicksTheWorstOffendersAndOkKeepsThem) {
    Show();
    Click("Watch With One Eye Shut");
    EXPECT_EQ(m_filter, "000000011110000001000") << "a preset changes the filter at once";
    EXPECT_EQ(TickedRows(), (std::vector<int>{7, 8, 9, 10, 17}))
        << "400, 401, 403, 404 and Can't Find Named Host";
    Click("OK");
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_filter, "000000011110000001000");
    EXPECT_EQ(m_dialog.m_timeout, 15);
}

TEST_F(PreferencesDlg, OkBuildsTheFilterFromTheTicks) {
    m_filter = "000000000000000000000";
    Show();
    Click("Watch Like a Hawk");
    EXPECT_EQ(TickedRows().size(), 20u);
    ClickTick(10);
    EXPECT_FALSE(m_dialog.m_filterList.IsTicked(10));
    EXPECT_EQ(m_filter, kWatchLikeAHawkFilter) << "a tick reaches the filter only on OK";
    Click("OK");
    std::string expected(kWatchLikeAHawkFilter);
    expected[10] = '0';
    EXPECT_EQ(m_filter, expected);
}

TEST_F(PreferencesDlg, APresetStaysInTheFilterAfterCancel) {
    Show();
    Click("Watch With One Eye Shut");
    Click("Cancel");
    EXPECT_EQ(m_dialog.result(), QDialog::Rejected);
    EXPECT_EQ(m_filter, kWatchWithOneEyeShutFilter);
}

TEST_F(PreferencesDlg, AStrayFilterCharacterShowsTicked) {
    m_filter = "0x2000000000000000000";
    Show();
    EXPECT_EQ(TickedRows(), (std::vector<int>{1, 2}));
}

TEST_F(PreferencesDlg, TheTimeOutMustLieFrom5To1000Seconds) {
    Show();
    for (const char* refused : {"4", "1001", "-5", "", "ten", "12s"}) {
        TypeTimeout(refused);
        Click("OK");
        EXPECT_TRUE(m_dialog.isVisible()) << refused;
        EXPECT_EQ(m_dialog.focusWidget(), &TimeoutEdit()) << refused;
    }
    EXPECT_EQ(m_ui.m_messages.size(), 6u);
    EXPECT_EQ(m_dialog.m_timeout, 15);

    TypeTimeout("5");
    Click("OK");
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.m_timeout, 5);
    EXPECT_EQ(m_ui.m_messages.size(), 6u);
}

TEST_F(PreferencesDlg, AThousandSecondsIsAccepted) {
    Show();
    TypeTimeout("1000");
    QTest::keyClick(&TimeoutEdit(), Qt::Key_Return);
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.m_timeout, 1000);
}

TEST_F(PreferencesDlg, ARefusedTimeOutStillLeavesTheTicksInTheFilter) {
    Show();
    ClickTick(4);
    TypeTimeout("2000");
    Click("OK");
    ASSERT_TRUE(m_dialog.isVisible());
    Click("Cancel");
    std::string expected(kWatchLikeAHawkFilter);
    expected[4] = '0';
    EXPECT_EQ(m_filter, expected);
    EXPECT_EQ(m_dialog.m_timeout, 15);
}

TEST_F(PreferencesDlg, HelpOpensTheDialogsTopic) {
    Show();
    Click("Help");
    EXPECT_EQ(m_ui.m_helpTopics, (std::vector<unsigned>{0x20088}));
    EXPECT_TRUE(m_dialog.isVisible());
}

TEST(OptionsDlg, ShowsTheOptionsAndHandsBackWhatTheControlsHold) {
    platform::CScriptedUserInterface ui;
    COptionsDlg dialog({true, 64, 2, 1, 1, "/srv/caf\xc3\xa9"});
    EXPECT_EQ(dialog.windowTitle(), "Web Options");
    EXPECT_EQ(dialog.m_https->text(), "Check https links");
    EXPECT_EQ(dialog.m_redirects->text(), "Follow redirects");
    EXPECT_EQ(dialog.Options(), (CWebOptions{true, 64, 2, 1, 1, "/srv/caf\xc3\xa9"}))
        << "a site root's bytes come back as they went in";
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.m_https->click();
    dialog.m_jobs->selectAll();
    QTest::keyClicks(dialog.m_jobs, "300");
    dialog.m_perHost->selectAll();
    QTest::keyClicks(dialog.m_perHost, "0");
    dialog.m_perHost->interpretText();
    dialog.m_scanner->setCurrentIndex(0);
    dialog.m_redirects->click();
    dialog.m_siteRoot->clear();
    const CWebOptions chosen = dialog.Options();
    EXPECT_FALSE(chosen.https);
    EXPECT_LE(chosen.jobs, 256) << "typing cannot go past the range";
    EXPECT_GE(chosen.perHost, 1);
    EXPECT_EQ(chosen.scanner, 0);
    EXPECT_EQ(chosen.redirects, 0);
    EXPECT_EQ(chosen.siteRoot, "");
    QTest::mouseClick(FindByText<QPushButton>(dialog, QStringLiteral("Help")), Qt::LeftButton);
    EXPECT_EQ(ui.m_helpTopics, (std::vector<unsigned>{0x2008B}));
}

TEST(OptionsDlg, StoredValuesOutsideTheRangesShowInsideThem) {
    const COptionsDlg dialog({false, 0, 1000, 7, 5});
    EXPECT_EQ(dialog.Options(), (CWebOptions{false, 1, 256, 0, 0, ""}));
}

TEST(ParseBoundedInt, TakesOneWholeNumberInTheRange) {
    int value = 0;
    EXPECT_EQ(ParseBoundedInt(" 30 ", 5, 1000, value), CNumberCheck::Ok);
    EXPECT_EQ(value, 30);
    EXPECT_EQ(ParseBoundedInt("+7", 5, 1000, value), CNumberCheck::Ok);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(ParseBoundedInt("99999999999999999999", 5, 1000, value), CNumberCheck::OutOfRange);
    EXPECT_EQ(ParseBoundedInt("-2147483649", 5, 1000, value), CNumberCheck::OutOfRange);
    EXPECT_EQ(ParseBoundedInt("1 0", 5, 1000, value), CNumberCheck::NotANumber);
    EXPECT_EQ(ParseBoundedInt("0x10", 5, 1000, value), CNumberCheck::NotANumber);
    EXPECT_EQ(ParseBoundedInt("+", 5, 1000, value), CNumberCheck::NotANumber);
    EXPECT_EQ(value, 7) << "a refused text leaves the value alone";
}

// How many pixels of a widget show exactly this colour.
int PixelsOf(QWidget& widget, const QColor& colour) {
    const QImage image = widget.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixelColor(x, y).rgb() == colour.rgb() ? 1 : 0;
        }
    }
    return count;
}

const QColor kBlue(0, 0, 255);
const QColor kPurple(128, 0, 128);

class AboutDlg : public ::testing::Test {
protected:
    void Show(CAboutDlg& dialog) {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    void ClickLink(CStaticLink& link) {
        QTest::mouseClick(&link, Qt::LeftButton, {}, link.rect().center());
    }
    void MoveTo(QWidget& widget, QPoint at) { QTest::mouseMove(&widget, at); }

    platform::CScriptedUserInterface m_ui;
    int m_mailVisited = 0;
    int m_homeVisited = 0;
};

TEST_F(AboutDlg, ShowsTheProgramsTexts) {
    CAboutDlg dialog(&m_mailVisited, &m_homeVisited);
    Show(dialog);
    EXPECT_EQ(dialog.windowTitle(), "About Linkvet");
    EXPECT_NE(FindByText<QLabel>(dialog, "Linkvet Version 2.4"), nullptr);
    EXPECT_NE(FindByText<QLabel>(dialog, "Checks HTTP links\n in HTML documents"), nullptr);
    EXPECT_EQ(dialog.m_mailLink.text(), "linkvet@linkvet.example");
    EXPECT_EQ(dialog.m_homeLink.text(), kHomePageUrl);
    QTest::mouseClick(FindByText<QPushButton>(dialog, "OK"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(AboutDlg, TheMailLinkOpensAMailTargetEveryTime) {
    CAboutDlg dialog(&m_mailVisited, &m_homeVisited);
    Show(dialog);
    ClickLink(dialog.m_mailLink);
    ClickLink(dialog.m_mailLink);
    EXPECT_EQ(m_ui.m_openedUrls, (std::vector<std::string>{"mailto:linkvet@linkvet.example",
                                                           "mailto:linkvet@linkvet.example"}));
    EXPECT_EQ(m_mailVisited, 1);
    EXPECT_EQ(m_homeVisited, 0);
}

TEST_F(AboutDlg, TheHomeLinkOpensItsAddressUnchanged) {
    CAboutDlg dialog(&m_mailVisited, &m_homeVisited);
    Show(dialog);
    ClickLink(dialog.m_homeLink);
    EXPECT_EQ(m_ui.m_openedUrls, (std::vector<std::string>{kHomePageUrl}));
    EXPECT_EQ(m_homeVisited, 1);
    EXPECT_EQ(m_mailVisited, 0);
}

TEST_F(AboutDlg, AVisitedLinkStaysPurpleInTheNextAboutBox) {
    {
        CAboutDlg dialog(&m_mailVisited, &m_homeVisited);
        Show(dialog);
        EXPECT_GT(PixelsOf(dialog.m_homeLink, kBlue), 0);
        EXPECT_EQ(PixelsOf(dialog.m_homeLink, kPurple), 0);
        ClickLink(dialog.m_homeLink);
        EXPECT_GT(PixelsOf(dialog.m_homeLink, kPurple), 0);
        EXPECT_EQ(PixelsOf(dialog.m_homeLink, kBlue), 0);
    }
    CAboutDlg again(&m_mailVisited, &m_homeVisited);
    Show(again);
    EXPECT_GT(PixelsOf(again.m_homeLink, kPurple), 0);
    EXPECT_GT(PixelsOf(again.m_mailLink, kBlue), 0);
    EXPECT_EQ(PixelsOf(again.m_mailLink, kPurple), 0);
}

TEST_F(AboutDlg, AFailedOpenOnlyBeeps) {
    m_ui.m_openSucceeds = false;
    CAboutDlg dialog(&m_mailVisited, &m_homeVisited);
    Show(dialog);
    ClickLink(dialog.m_homeLink);
    EXPECT_EQ(m_ui.m_openedUrls.size(), 1u);
    EXPECT_EQ(m_ui.m_beeps, (std::vector<unsigned>{0}));
    EXPECT_TRUE(m_ui.m_messages.empty());
    EXPECT_EQ(m_homeVisited, 0);
    EXPECT_GT(PixelsOf(dialog.m_homeLink, kBlue), 0);
    EXPECT_EQ(PixelsOf(dialog.m_homeLink, kPurple), 0);
}

TEST_F(AboutDlg, TheHandShowsOverTheLinkButNotInTheSecondAfterAClick) {
    CAboutDlg dialog(&m_mailVisited, &m_homeVisited);
    Show(dialog);
    CStaticLink& link = dialog.m_homeLink;
    const QPoint outside = link.geometry().bottomRight() + QPoint(5, 20);
    MoveTo(dialog, outside);
    MoveTo(link, link.rect().center());
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link.m_bCaptured, 1);
    MoveTo(dialog, outside);
    EXPECT_EQ(link.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(link.m_bCaptured, 0);

    MoveTo(link, link.rect().center());
    ClickLink(link);
    EXPECT_EQ(link.m_launching, 1);
    EXPECT_EQ(link.m_bCaptured, 0);
    EXPECT_EQ(link.cursor().shape(), Qt::ArrowCursor);
    MoveTo(dialog, outside);
    MoveTo(link, link.rect().center() + QPoint(1, 0));
    EXPECT_EQ(link.cursor().shape(), Qt::ArrowCursor) << "moves are ignored while launching";
    EXPECT_EQ(link.m_bCaptured, 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return link.m_launching == 0; }, 3000));
    MoveTo(link, link.rect().center());
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(AboutDlg, TheLinksAreReachedByTabAndOpenedByEnterOrSpace) {
    CAboutDlg dialog(&m_mailVisited, &m_homeVisited);
    Show(dialog);
    QApplication::setActiveWindow(&dialog);
    QPushButton* ok = FindByText<QPushButton>(dialog, "OK");
    EXPECT_EQ(dialog.focusWidget(), ok) << "Enter at once closes the box";
    std::vector<QWidget*> reached;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
        reached.push_back(dialog.focusWidget());
    }
    EXPECT_NE(std::find(reached.begin(), reached.end(), &dialog.m_mailLink), reached.end());
    EXPECT_NE(std::find(reached.begin(), reached.end(), &dialog.m_homeLink), reached.end());
    dialog.m_homeLink.setFocus();
    QTest::keyClick(&dialog.m_homeLink, Qt::Key_Return);
    dialog.m_mailLink.setFocus();
    QTest::keyClick(&dialog.m_mailLink, Qt::Key_Space);
    EXPECT_EQ(m_ui.m_openedUrls,
              (std::vector<std::string>{kHomePageUrl, "mailto:linkvet@linkvet.example"}));
    EXPECT_TRUE(dialog.isVisible()) << "Enter on a link opens it rather than closing the box";
}

TEST(LinkTarget, PutsMailtoBeforeAMailAddressOnly) {
    EXPECT_EQ(LinkTarget("linkvet@linkvet.example"), "mailto:linkvet@linkvet.example");
    EXPECT_EQ(LinkTarget("mailto:linkvet@linkvet.example"), "mailto:linkvet@linkvet.example");
    EXPECT_EQ(LinkTarget("https://linkvet.example/"), "https://linkvet.example/");
    EXPECT_EQ(LinkTarget("someone@else.example"), "someone@else.example")
        << "only the author's own address is known as mail";
}

}  // namespace
