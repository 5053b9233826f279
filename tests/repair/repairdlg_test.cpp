#include "repair/repairdlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <QTimer>
#include <functional>

#include "repair/dialogrepairhost.h"
#include "repair/repairfailuredlg.h"
#include "repair/repairreviewdlg.h"
#include "repair/repairfixture.h"

namespace {

QRadioButton* Radio(const QDialog& dialog, int method) {
    return dialog.findChildren<QRadioButton*>().at(method);
}

int CheckedRadios(const QDialog& dialog) {
    int checked = 0;
    for (const QRadioButton* radio : dialog.findChildren<QRadioButton*>()) {
        checked += radio->isChecked() ? 1 : 0;
    }
    return checked;
}

QPushButton* Button(const QDialog& dialog, const QString& text) {
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

QCheckBox* CheckBox(const QDialog& dialog, const QString& textStart) {
    for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) {
        if (box->text().startsWith(textStart)) {
            return box;
        }
    }
    return nullptr;
}

TEST(RepairDlg, TheSaveBoxOpensOnlyForRemoveAndKeepsItsTick) {
    CRepairDlg dialog;
    dialog.m_method = kRepairDisable;
    dialog.m_saveBadUrls = 1;
    dialog.OnInitDialog();
    EXPECT_TRUE(Radio(dialog, kRepairDisable)->isChecked());
    EXPECT_FALSE(dialog.m_saveBadUrlsButton->isEnabled());
    EXPECT_TRUE(dialog.m_saveBadUrlsButton->isChecked());

    Radio(dialog, kRepairRemove)->click();
    EXPECT_TRUE(dialog.m_saveBadUrlsButton->isEnabled());
    dialog.m_saveBadUrlsButton->click();
    Radio(dialog, kRepairReplace)->click();
    EXPECT_FALSE(dialog.m_saveBadUrlsButton->isEnabled());
    EXPECT_FALSE(dialog.m_saveBadUrlsButton->isChecked());
    dialog.accept();
    EXPECT_EQ(dialog.m_method, kRepairReplace);
    EXPECT_EQ(dialog.m_saveBadUrls, 0);

    CRepairDlg greyed;
    greyed.m_method = kRepairReplace;
    greyed.m_saveBadUrls = 1;
    greyed.OnInitDialog();
    greyed.accept();
    EXPECT_EQ(greyed.m_saveBadUrls, 1) << "a greyed box is read all the same";
}

TEST(RepairDlg, AMethodOutOfRangeSelectsNoButtonAndOkGivesMinusOne) {
    CRepairDlg dialog;
    dialog.m_method = kRepairReplace;
    dialog.OnInitDialog();
    ASSERT_EQ(CheckedRadios(dialog), 1);
    dialog.m_method = 7;
    dialog.OnInitDialog();
    EXPECT_EQ(CheckedRadios(dialog), 0);
    EXPECT_FALSE(dialog.m_saveBadUrlsButton->isEnabled());
    dialog.accept();
    EXPECT_EQ(dialog.m_method, -1);
}

TEST(RepairDlg, HelpOpensTheDialogsTopicAndLeavesItOpen) {
    const platform::CScriptedUserInterface ui;
    CRepairDlg dialog;
    dialog.show();
    Button(dialog, "Help")->click();
    EXPECT_EQ(ui.m_helpTopics, std::vector<unsigned>{0x20089});
    EXPECT_TRUE(dialog.isVisible());
    Button(dialog, "Cancel")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(RepairFailureDlg, ShowsWhereTheRepairStoppedAndEndsOnlyWithOkOrCancel) {
    CRepairFailureDlg dialog;
    dialog.m_failedFile = "/site/p\xe9.htm";
    dialog.m_failedUrl = "http://x.test/gone";
    dialog.OnInitDialog();
    const QList<QLineEdit*> edits = dialog.findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 2);
    EXPECT_EQ(edits[0]->text(), QString::fromUtf8("/site/p\xc3\xa9.htm")) << "as the grid shows it";
    EXPECT_EQ(edits[1]->text(), "http://x.test/gone");
    EXPECT_EQ(dialog.findChildren<QPushButton*>().size(), 1) << "OK only";
    edits[1]->setText("typed");
    dialog.findChild<QCheckBox*>()->click();
    dialog.accept();
    EXPECT_EQ(dialog.m_ignore, 1);
    EXPECT_EQ(dialog.m_failedUrl, "typed");
    EXPECT_EQ(dialog.m_failedFile, "/site/p\xe9.htm") << "untouched bytes stay as they were";

    CRepairFailureDlg escaped;
    escaped.show();
    escaped.findChild<QCheckBox*>()->click();
    QTest::keyClick(&escaped, Qt::Key_Escape);
    EXPECT_EQ(escaped.result(), QDialog::Rejected);
    EXPECT_EQ(escaped.m_ignore, 0);
}

// Acts on the next modal dialog once its event loop runs.
void AnswerNextDialog(std::function<void(QDialog&)> answer) {
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        answer(*dialog);
    });
}

class CWindowHost : public CDialogRepairHost {
public:
    using CDialogRepairHost::CDialogRepairHost;
    void ExportResults() override { ++m_exports; }
    int m_exports = 0;
};

using RepairDialogs = CRepairTest;

TEST_F(RepairDialogs, TheWalkAsksThroughItsDialogsAndDropsAnIgnoredRow) {
    const std::string page = Page("page.htm", "http://x.test/gone\nkeep\n");
    AddRow("http://x.test/gone", page);
    AddRow("http://x.test/missing", page);
    CWindowHost host(nullptr);
    AnswerNextDialog([](QDialog& options) {
        EXPECT_EQ(options.windowTitle(), "URL Link Disable and File Repair");
        EXPECT_TRUE(Radio(options, kRepairDisable)->isChecked()) << "the stored default";
        Radio(options, kRepairRemove)->click();
        CheckBox(options, "Save")->click();
        AnswerNextDialog([](QDialog& failure) {
            EXPECT_EQ(failure.windowTitle(), "Repair Failure");
            EXPECT_EQ(failure.findChildren<QLineEdit*>().at(1)->text(), "http://x.test/missing");
            failure.findChild<QCheckBox*>()->click();
            Button(failure, "OK")->click();
        });
        Button(options, "OK")->click();
    });
    EXPECT_FALSE(CRepairWalk(m_rows, m_settings, host).RepairLinks());
    EXPECT_EQ(ReadFile(page), "keep\n");
    EXPECT_EQ(m_rows.RowCount(), 1);
    EXPECT_EQ(m_settings.GetInt("Repair", "Save", -9), 0);
    EXPECT_EQ(host.m_exports, 0);
}

// Asked for, the window shows every change before writing; only the rows left ticked are
// written, and a cancelled review writes nothing.
TEST_F(RepairDialogs, AReviewListsEveryChangeAndWritesOnlyTheTickedRows) {
    const std::string page = Page("page.htm", "<a href=\"http://x.test/a\">\n<a href=\"http://x.test/b\">\n");
    AddRow("http://x.test/a", page);
    AddRow("http://x.test/b", page);
    CWindowHost host(nullptr);
    const auto chooseWithReview = [](QDialog& options) {
        Radio(options, kRepairDisable)->click();
        CheckBox(options, "Show the changes")->click();
        Button(options, "OK")->click();
    };
    AnswerNextDialog([&](QDialog& options) {
        AnswerNextDialog([](QDialog& review) { Button(review, "Cancel")->click(); });
        chooseWithReview(options);
    });
    EXPECT_TRUE(CRepairWalk(m_rows, m_settings, host).RepairLinks());
    EXPECT_EQ(ReadFile(page), "<a href=\"http://x.test/a\">\n<a href=\"http://x.test/b\">\n");

    AnswerNextDialog([&](QDialog& options) {
        AnswerNextDialog([](QDialog& review) {
            EXPECT_EQ(review.windowTitle(), "Review the Repair");
            const QTreeWidget* changes = review.findChild<QTreeWidget*>();
            ASSERT_EQ(changes->topLevelItemCount(), 2);
            EXPECT_EQ(changes->topLevelItem(1)->text(0), "http://x.test/b");
            changes->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
            Button(review, "Write Changes")->click();
        });
        chooseWithReview(options);
    });
    EXPECT_TRUE(CRepairWalk(m_rows, m_settings, host).RepairLinks());
    EXPECT_EQ(ReadFile(page), "<a href=\"http://x.test/a\">\n<!--<a href=\"http://x.test/b\">-->\n");
    EXPECT_EQ(m_rows.Tag(0), 0u);
}

}  // namespace
