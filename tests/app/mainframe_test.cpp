#include "app/mainframe.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "app/aboutdlg.h"
#include "app/desktopui.h"
#include "app/linkvetapp.h"
#include "app/placement.h"
#include "app/preferencesdlg.h"
#include "platform/messagebox.h"
#include "platform/profile.h"
#include "repair/repairdlg.h"
#include "repair/repairfailuredlg.h"
#include "results/exportdlg.h"
#include "run/selectfilesdlg.h"
#include "support/temphome.h"
#include "support/widgetfind.h"

namespace {

TEST(Placement, AFirstStartCentresThreeQuartersOfTheWorkArea) {
    const CWindowPlacement none;
    EXPECT_FALSE(IsUsablePlacement(none, 1024, 768));
    const CWindowPlacement centred = CentredPlacement(1024, 768);
    EXPECT_EQ(centred.x, 128);
    EXPECT_EQ(centred.y, 96);
    EXPECT_EQ(centred.cx, 768);
    EXPECT_EQ(centred.cy, 576);
}

TEST(Placement, OnlyThePositionsOwnRangeIsTested) {
    EXPECT_FALSE(IsUsablePlacement({2000, 10, 800, 600}, 1600, 1200));
    EXPECT_TRUE(IsUsablePlacement({0, 0, 1600, 1200}, 1600, 1200)) << "cx equal to the width";
    EXPECT_TRUE(IsUsablePlacement({1500, 1100, 800, 600}, 1600, 1200)) << "x + cx is not tested";
    EXPECT_FALSE(IsUsablePlacement({-1, 0, 800, 600}, 1600, 1200));
    EXPECT_FALSE(IsUsablePlacement({0, 0, 0, 600}, 1600, 1200));
    EXPECT_FALSE(IsUsablePlacement({0, 0, 1601, 600}, 1600, 1200));
}

TEST(Placement, TheUpperRowKeepsAStoredHeightThatFits) {
    EXPECT_EQ(UpperRowHeight(0, 500), 250);
    EXPECT_EQ(UpperRowHeight(120, 500), 120);
    EXPECT_EQ(UpperRowHeight(499, 500), 499);
    EXPECT_EQ(UpperRowHeight(500, 500), 250);
    EXPECT_EQ(UpperRowHeight(-4, 501), 250);
}

class MainFrame : public CTempHomeTest {
protected:
    CMainFrame& Start() {
        EXPECT_TRUE(m_app.InitInstance());
        return *m_app.MainFrame();
    }

    static void AddRow(CMainFrame& frame, const std::string& url, std::uint32_t tag) {
        CResultsModel& rows = frame.Doc().Results();
        rows.AddResult(url, 0, "/site/page.htm");
        rows.AddResult("HTTP Code 404 Not Found", 1, "/site/page.htm");
        rows.AddResult("name", 2, "/site/page.htm");
        rows.SetTag(rows.RowCount() - 1, tag);
    }

    platform::CScriptedUserInterface m_ui;
    CLinkvetApp m_app;
};

TEST_F(MainFrame, StartsWithTheTitleTheStatusPanesAndTheCommandsAvailable) {
    CMainFrame& frame = Start();
    EXPECT_EQ(frame.windowTitle(), "Linkvet");
    EXPECT_EQ(frame.PaneText(1), "Connection Status" + QString(41, ' '));
    EXPECT_EQ(frame.PaneText(2), "HTTP Method Status" + QString(17, ' '));
    EXPECT_TRUE(frame.Action(ID_SELECT_FILES)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_STOP_TEST)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_EXPORT_RESULTS)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_REPAIR_LINKS)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_PREFERENCES)->isEnabled());
    EXPECT_EQ(frame.Action(ID_SELECT_FILES)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(frame.Action(ID_REPAIR_LINKS)->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(frame.Action(ID_EXPORT_RESULTS)->statusTip(),
              "Export Test Results after choosing format");
    EXPECT_EQ(frame.Action(ID_EXPORT_RESULTS)->toolTip(), "Export");
}

// The write-back comes before the window is shown: its own moves are written only once they
// have settled.
TEST_F(MainFrame, TheFirstStartWritesTheCentredPlacement) {
    Start();
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const CWindowPlacement centred = CentredPlacement(work.width(), work.height());
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "x", -1), centred.x);
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "y", -1), centred.y);
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "cx", 0), centred.cx);
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "cy", 0), centred.cy);
}

TEST_F(MainFrame, MovesAreWrittenOnceSettledOrAtTheClose) {
    CMainFrame& frame = Start();
    const int storedX = m_app.Settings().GetInt("Screen", "x", -1);
    for (const int x : {storedX + 7, storedX + 9, storedX + 11}) {
        frame.move(x, 20);
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(frame.x(), storedX + 11);
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "x", -1), storedX) << "not while it moves";
    frame.resize(frame.width() - 30, frame.height());
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame.close());
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "x", -1), storedX + 11);
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "y", -1), 20);
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "cx", 0), frame.width());
}

TEST_F(MainFrame, ExportIsAvailableAsSoonAsTheGridHasARow) {
    CMainFrame& frame = Start();
    ASSERT_FALSE(frame.Action(ID_EXPORT_RESULTS)->isEnabled());
    AddRow(frame, "http://h/a", 0);
    EXPECT_TRUE(frame.Action(ID_EXPORT_RESULTS)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_REPAIR_LINKS)->isEnabled()) << "no run has ended yet";
}

TEST_F(MainFrame, QuittingDropsRepairedRowsAndAsksAboutTheRest) {
    CMainFrame& frame = Start();
    AddRow(frame, "http://h/a", 0);
    AddRow(frame, "http://h/b", 1);
    AddRow(frame, "http://h/c", 0x10000);
    m_ui.m_answers = {platform::kIdNo};
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(m_ui.m_messages,
              (std::vector<std::string>{"Not all of the bad URLs have been repaired\n\nDo you want to quit?"}));
    ASSERT_EQ(frame.Doc().Results().RowCount(), 2);
    EXPECT_EQ(frame.Doc().Results().CellText(1, 0), "http://h/c");
    EXPECT_TRUE(frame.isVisible());
}

// Tells whether the wait cursor showed while a message box was up.
class CCursorWatchingUserInterface : public platform::CScriptedUserInterface {
public:
    int MessageBox(const std::string& text, unsigned style) override {
        m_waitOverAMessage |= m_waiting > 0;
        return CScriptedUserInterface::MessageBox(text, style);
    }
    void SetWaitCursor(bool waiting) override {
        CScriptedUserInterface::SetWaitCursor(waiting);
        m_waiting += waiting ? 1 : -1;
    }
    int m_waiting = 0;
    bool m_waitOverAMessage = false;
};

TEST_F(MainFrame, TheQuitQuestionShowsNoWaitCursor) {
    CMainFrame& frame = Start();
    AddRow(frame, "http://h/a", 0);
    AddRow(frame, "http://h/b", 1);
    CCursorWatchingUserInterface ui;
    ui.m_answers = {platform::kIdNo};
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(ui.m_messages.size(), 1u);
    EXPECT_TRUE(ui.m_waitCursorShown) << "while the repaired rows go";
    EXPECT_FALSE(ui.m_waitOverAMessage);
    EXPECT_EQ(ui.m_waiting, 0);
}

TEST_F(MainFrame, PreferencesOkWritesTheTimeOutAndTheFilterAndCancelWritesNothing) {
    CMainFrame& frame = Start();
    const auto answer = [](bool ok) {
        QTimer::singleShot(0, [ok] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QLineEdit*>("timeout")->setText("30");
            FindByText<QPushButton>(*dialog, "Watch With One Eye Shut")->click();
            ok ? dialog->accept() : dialog->reject();
        });
    };
    answer(false);
    frame.Action(ID_PREFERENCES)->trigger();
    EXPECT_EQ(m_app.Settings().GetInt("Settings", "Timeout", -1), -1);
    EXPECT_EQ(m_app.Settings().GetString("Settings", "Filter", "none"), "none");
    EXPECT_EQ(frame.View().m_timeoutSeconds, 15);

    answer(true);
    frame.Action(ID_PREFERENCES)->trigger();
    EXPECT_EQ(m_app.Settings().GetInt("Settings", "Timeout", -1), 30);
    EXPECT_EQ(m_app.Settings().GetString("Settings", "Filter", "none"), "000000011110000001000");
    EXPECT_EQ(frame.View().m_timeoutSeconds, 30);
}

// Esc reaches the Stop command in whichever window has the focus: the main window, or the
// progress window should the desktop activate it all the same.
TEST_F(MainFrame, EscStopsARunWhileTheProgressWindowShows) {
    CMainFrame& frame = Start();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    for (int i = 0; i < 30; ++i) {
        WriteFile(m_scratch / ("page" + std::to_string(i) + ".htm"), "no links\n");
    }
    frame.View().StartTest(m_scratch.Path(), false, true, false);
    ASSERT_TRUE(m_ui.m_messages.empty()) << m_ui.m_messages.front();
    ASSERT_TRUE(frame.View().OnUpdateStopTest());
    auto* progress = frame.View().findChild<QDialog*>();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(progress));
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : QApplication::activeWindow(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.View().OnUpdateStopTest(); }, 5000))
        << "the run stopped";
    EXPECT_EQ(frame.View().findChild<QDialog*>(), nullptr) << "and its window is gone";
    EXPECT_EQ(frame.Doc().Log().toPlainText().split('\n').filter("Testing Stopped by User").size(),
              1);
    EXPECT_TRUE(frame.Action(ID_SELECT_FILES)->isEnabled());
}

TEST_F(MainFrame, PrintSetupChoosesThePrinterAsWellAsThePaper) {
    CMainFrame& frame = Start();
    bool printDialog = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        printDialog = qobject_cast<QPrintDialog*>(dialog) != nullptr;
        if (auto* modal = qobject_cast<QDialog*>(dialog)) {
            modal->reject();
        }
    });
    frame.Action(ID_FILE_PRINT_SETUP)->trigger();
    EXPECT_TRUE(printDialog);
}

TEST_F(MainFrame, QuittingWithOnlyRepairedRowsAsksNothingAndSavesTheWidths) {
    CMainFrame& frame = Start();
    AddRow(frame, "http://h/a", 1);
    frame.View().horizontalHeader()->resizeSection(1, 123);
    EXPECT_TRUE(frame.close());
    EXPECT_TRUE(m_ui.m_messages.empty());
    EXPECT_EQ(m_app.Settings().GetInt("Grid", "col1", 0), 123);
}

TEST_F(MainFrame, TheGridsHeightIsKeptForTheNextStart) {
    CMainFrame& frame = Start();
    QSplitter* splitter = frame.findChild<QSplitter*>();
    ASSERT_NE(splitter, nullptr);
    splitter->setSizes({120, splitter->height() - 120});
    QCoreApplication::processEvents();
    EXPECT_EQ(platform::GetProfileInt("Screen", "High", 0), frame.View().height());
    const int kept = frame.View().height();
    m_app.ExitInstance();
    CLinkvetApp again;
    again.InitInstance();
    QCoreApplication::processEvents();
    EXPECT_EQ(again.MainFrame()->View().height(), kept);
}

const unsigned kTopics[] = {kHelpContents,    kHelpMainWindow, kHelpSelectFiles,   kHelpExport,
                            kHelpPreferences, kHelpRepair,     kHelpRepairFailure, kHelpAbout};

// The desktop's openers drop the "#anchor" of a file address, so each topic has a page of its
// own that leads on to its place in the index.
TEST(Help, EveryTopicOpensAPageOfItsOwnThatLeadsToItsAnchor) {
    const std::string index = ReadFile(HelpDirectory() + "/index.html");
    std::set<std::string> pages;
    for (const unsigned topic : kTopics) {
        const QUrl url = HelpUrl(topic);
        EXPECT_FALSE(url.hasFragment()) << topic;
        ASSERT_TRUE(url.isLocalFile()) << topic;
        const std::string page = ReadFile(url.toLocalFile().toStdString());
        const std::string anchor = HelpAnchor(topic);
        EXPECT_NE(index.find("id=\"" + anchor + "\""), std::string::npos) << anchor;
        if (anchor != "contents") {
            EXPECT_NE(page.find("url=index.html#" + anchor + "\""), std::string::npos) << page;
        }
        pages.insert(HelpPage(topic));
    }
    EXPECT_EQ(pages.size(), std::size(kTopics)) << "no two topics share a page";
}

TEST(MessageBoxIcon, AQuestionShowsTheQuestionMarkAndANoticeTheExclamationMark) {
    EXPECT_EQ(MessageBoxIcon(platform::kMbYesNo), QMessageBox::Question);
    EXPECT_EQ(MessageBoxIcon(platform::kMbOk), QMessageBox::Warning);
    EXPECT_EQ(MessageBoxIcon(platform::kMbOk | platform::kMbIconInformation),
              QMessageBox::Information);
    EXPECT_EQ(MessageBoxIcon(platform::kMbYesNo | platform::kMbIconExclamation),
              QMessageBox::Warning);
    EXPECT_EQ(MessageBoxIcon(platform::kMbOk | platform::kMbIconStop), QMessageBox::Critical);
}

// Every control a user can reach says what it does when asked with Shift+F1.
void ExpectWhatsThisTexts(const QWidget& dialog) {
    for (const QWidget* control : dialog.findChildren<QWidget*>()) {
        const bool reachable = qobject_cast<const QAbstractButton*>(control) != nullptr ||
                               qobject_cast<const QLineEdit*>(control) != nullptr ||
                               qobject_cast<const QListWidget*>(control) != nullptr ||
                               dynamic_cast<const CStaticLink*>(control) != nullptr;
        if (reachable && control->isVisibleTo(&dialog)) {
            EXPECT_FALSE(control->whatsThis().isEmpty())
                << dialog.windowTitle().toStdString() << ": " << control->metaObject()->className();
        }
    }
}

TEST_F(MainFrame, F1InADialogOpensItsTopicAndEveryControlIsExplained) {
    CMainFrame& frame = Start();
    std::string filter(kWatchLikeAHawkFilter);
    int visited = 0;
    const std::vector<std::pair<std::function<QDialog*()>, unsigned>> dialogs = {
        {[&] { return new CSelectFilesDlg(m_app.Settings(), &frame); }, kHelpSelectFiles},
        {[&] { return new CExportDlg(&frame); }, kHelpExport},
        {[&] { return new CPreferencesDlg(filter, frame.View().m_reasonText, &frame); },
         kHelpPreferences},
        {[&] { return new CRepairDlg(&frame); }, kHelpRepair},
        {[&] { return new CRepairFailureDlg(&frame); }, kHelpRepairFailure},
        {[&] { return new CAboutDlg(&visited, &visited, &frame); }, kHelpAbout},
    };
    for (const auto& [make, topic] : dialogs) {
        const std::unique_ptr<QDialog> dialog(make());
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus != nullptr ? focus : dialog.get(), Qt::Key_F1);
        ASSERT_FALSE(m_ui.m_helpTopics.empty());
        EXPECT_EQ(m_ui.m_helpTopics.back(), topic) << dialog->windowTitle().toStdString();
        m_ui.m_helpTopics.clear();
        ExpectWhatsThisTexts(*dialog);
    }
    for (const CCommandId id : {ID_SELECT_FILES, ID_EXPORT_RESULTS, ID_REPAIR_LINKS, ID_FILE_PRINT,
                                ID_PREFERENCES, ID_STOP_TEST, ID_APP_ABOUT}) {
        EXPECT_FALSE(frame.Action(id)->whatsThis().isEmpty()) << id;
    }
    EXPECT_FALSE(frame.View().whatsThis().isEmpty());
    EXPECT_FALSE(frame.findChild<QPlainTextEdit*>()->whatsThis().isEmpty());
}

int PdfPages(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string pdf = bytes.str();
    const std::regex page("/Type\\s*/Page[^s]");
    return static_cast<int>(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page),
                                          std::sregex_iterator()));
}

TEST_F(MainFrame, PrintingMakesAPageForEveryPageOfRows) {
    CMainFrame& frame = Start();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const auto print = [&](const std::string& name) {
        printer.setOutputFileName(QString::fromStdString(m_scratch / name));
        frame.View().PrintRows(printer);
        return PdfPages(m_scratch / name);
    };
    EXPECT_EQ(print("empty.pdf"), 1);
    const int perPage = frame.View().PrintLayoutFor(printer).linesPerPage;
    ASSERT_GT(perPage, 10);
    for (int i = 0; i < perPage; ++i) {
        AddRow(frame, "http://h/" + std::to_string(i), 0);
    }
    EXPECT_EQ(print("full.pdf"), 1);
    AddRow(frame, "http://h/one-more", 0);
    EXPECT_EQ(print("more.pdf"), 2);
    EXPECT_EQ(frame.View().FormatRowLine(0),
              "http://h/0 - HTTP Code 404 Not Found - name - /site/page.htm");
    for (int i = 0; i < perPage; ++i) {
        AddRow(frame, "http://h/third/" + std::to_string(i), 0);
    }
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    EXPECT_EQ(print("range.pdf"), 2) << "pages 2 and 3 of 3";
    printer.setFromTo(3, 9);
    EXPECT_EQ(print("tail.pdf"), 1) << "a range past the end stops at the last page";
}

// The smallest rectangle holding every pixel of an area that is darker than the paper; empty
// when there is none.
QRect InkBounds(const QImage& image, const QRect& area) {
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

TEST_F(MainFrame, ARowWiderThanThePageIsCutAtTheEdgeNotWrapped) {
    CMainFrame& frame = Start();
    // A pitch of several text lines, so that a wrapped row would show its second line.
    const CPrintLayout layout = LayOutPrint(80, 1100, 1);
    // The row's ink on a page of 8.5 by 11 inches at one pixel for each 0.01 inch.
    const auto printed = [&](const std::string& file) {
        CResultsModel& rows = frame.Doc().Results();
        rows.Clear();
        rows.AddResult("http://h/a", 0, file);
        rows.AddResult("HTTP Code 404 Not Found", 1, file);
        rows.AddResult("name", 2, file);
        QImage page(850, 1100, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        frame.View().PrintPage(painter, layout, 1, QSizeF(850, 1100));
        painter.end();
        return InkBounds(page, page.rect());
    };
    const QRect narrow = printed("/site/f.htm");
    const QRect wide = printed("/site/" + std::string(400, 'f') + ".htm");
    ASSERT_FALSE(narrow.isEmpty());
    EXPECT_LT(narrow.right(), 800);
    EXPECT_GE(wide.right(), 845) << "drawn up to the page's edge";
    EXPECT_LE(wide.bottom(), narrow.bottom() + 1) << "on one line";
    EXPECT_GE(wide.top(), narrow.top() - 1);
}

}  // namespace

namespace {

// Accepts the next modal dialog as it stands, as a user pressing OK would.
void AcceptNextDialog() {
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->accept();
        }
    });
}

class ExportCommand : public MainFrame {
protected:
    CMainFrame& StartWithRows() {
        CMainFrame& frame = Start();
        AddRow(frame, "http://h/a", 0);
        m_app.Settings().SetString("XportSel", "Starter", m_report);
        return frame;
    }

    const std::string m_report = m_scratch / "report.txt";
    const std::string m_expected =
        "FILE: /site/page.htm\nhttp://h/a\tHTTP Code 404 Not Found\tname\n";
};

TEST_F(ExportCommand, WritesTheReportAndRemembersItsNameAndFormat) {
    CMainFrame& frame = StartWithRows();
    m_app.Settings().SetInt("XportSel", "Text", 1);
    m_app.Settings().SetString("XportSel", "Starter", m_scratch / "report.html");
    AcceptNextDialog();
    frame.Action(ID_EXPORT_RESULTS)->trigger();
    const std::string html = ReadFile(m_scratch / "report.html");
    EXPECT_NE(html.find("<li><a href=\"http://h/a\">name</a>"), std::string::npos) << html;
    EXPECT_EQ(m_app.Settings().GetInt("XportSel", "Text", 0), 1);
    EXPECT_TRUE(m_ui.m_messages.empty());
}

TEST_F(ExportCommand, AsksBeforeReplacingAFile) {
    CMainFrame& frame = StartWithRows();
    WriteFile(m_report, "old");
    m_app.Settings().SetInt("XportSel", "Text", 0);
    m_ui.m_answers = {platform::kIdNo};
    AcceptNextDialog();
    frame.View().OnExportResults();
    EXPECT_EQ(m_ui.m_messages,
              (std::vector<std::string>{m_report + "\nThis file already exists\n\nReplace existing file?"}));
    EXPECT_EQ(ReadFile(m_report), "old");
    m_ui.m_answers = {platform::kIdYes};
    AcceptNextDialog();
    frame.View().OnExportResults();
    EXPECT_EQ(ReadFile(m_report), m_expected);
}

TEST_F(ExportCommand, AFileThatCannotBeWrittenSaysSoButKeepsTheChoice) {
    CMainFrame& frame = StartWithRows();
    const std::string unwritable = m_scratch / "no/such/dir/r.txt";
    m_app.Settings().SetString("XportSel", "Starter", unwritable);
    AcceptNextDialog();
    frame.View().OnExportResults();
    EXPECT_EQ(m_ui.m_messages, (std::vector<std::string>{"file write error"}));
    EXPECT_EQ(m_app.Settings().GetString("XportSel", "Starter", ""), unwritable);
}

TEST_F(ExportCommand, RepairAsksFirstAfterAnUnknownReason) {
    CMainFrame& frame = StartWithRows();
    frame.View().m_runEnded = true;
    frame.View().m_unknownErrorSeen = true;
    frame.UpdateCommandUi();
    ASSERT_TRUE(frame.Action(ID_REPAIR_LINKS)->isEnabled());
    m_ui.m_answers = {platform::kIdNo};
    frame.Action(ID_REPAIR_LINKS)->trigger();
    EXPECT_EQ(m_ui.m_messages,
              (std::vector<std::string>{"The testing found at least one URL\nwith an UNKNOWN ERROR!\n"
                                        "(See the window text.)\n\nAre you sure you want to repair now?"}));
    EXPECT_EQ(frame.Doc().Results().Tag(0), 0u) << "No leaves everything as it was";
}

}  // namespace

namespace {

TEST(ResultsModel, TextsThatAreNotUtf8ShowReadablyAndKeepTheirBytes) {
    CResultsModel rows;
    const std::string latin1 = "http://h/caf\xe9.htm";
    const std::string utf8 = "Caf\xc3\xa9";
    rows.AddResult(latin1, 0, "/site/\xff.htm");
    rows.AddResult("HTTP Code 404 Not Found", 1, "/site/\xff.htm");
    rows.AddResult(utf8, 2, "/site/\xff.htm");
    EXPECT_EQ(rows.data(rows.index(0, 0), Qt::DisplayRole).toString(),
              QString::fromUtf8("http://h/caf\xc3\xa9.htm"));
    EXPECT_EQ(rows.data(rows.index(0, 2), Qt::DisplayRole).toString(), QString::fromUtf8(utf8.c_str()));
    EXPECT_EQ(rows.data(rows.index(0, 3), Qt::DisplayRole).toString(),
              QString::fromUtf8("/site/\xc3\xbf.htm"));
    EXPECT_EQ(rows.CellText(0, 0), latin1) << "export and repair see the scanner's bytes";
    EXPECT_EQ(rows.CellText(0, 3), "/site/\xff.htm");
    EXPECT_EQ(rows.data(rows.index(0, 0), CResultsModel::kBytesRole).toByteArray().toStdString(),
              latin1);
}

}  // namespace
