#include "app/mainframe.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "app/aboutdlg.h"
#include "app/appicon.h"
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
#include "settings/regsettings.h"
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
    // A screen scaled twice shows a few logical pixels: the window takes the room its columns
    // need to be read, as far as there is any.
    const int readable = ReadableWindowWidth(7);
    EXPECT_EQ(CentredPlacement(1024, 768, readable).cx, 768);
    EXPECT_EQ(CentredPlacement(900, 600, readable).cx, readable);
    EXPECT_EQ(CentredPlacement(900, 600, readable).x, (900 - readable) / 2);
    EXPECT_EQ(CentredPlacement(640, 512, readable).cx, 640);
    EXPECT_EQ(CentredPlacement(640, 512, readable).cy, 384);
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

TEST_F(MainFrame, WebOptionsWritesItsFourSettingsOnOkAndNothingOnCancel) {
    CMainFrame& frame = Start();
    EXPECT_EQ(frame.Action(ID_WEB_OPTIONS)->text(), "&Web Options...");
    EXPECT_EQ(frame.Action(ID_PREFERENCES)->shortcut(), QKeySequence(Qt::Key_F2));
    CRegSettings& settings = m_app.Settings();
    settings.SetInt("Settings", "Jobs", 16);
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->findChild<QSpinBox*>(QStringLiteral("perHost"))->setValue(3);
            dialog->reject();
        }
    });
    frame.OnWebOptions();
    EXPECT_EQ(settings.GetInt("Settings", "PerHost", -1), -1) << "Cancel writes nothing";
    EXPECT_EQ(frame.View().m_perHost, 6);
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->findChild<QSpinBox*>(QStringLiteral("perHost"))->setValue(3);
            dialog->accept();
        }
    });
    frame.OnWebOptions();
    EXPECT_EQ(settings.GetInt("Settings", "Https", -1), 0);
    EXPECT_EQ(settings.GetInt("Settings", "Jobs", -1), 16) << "the stored value is shown and kept";
    EXPECT_EQ(settings.GetInt("Settings", "PerHost", -1), 3);
    EXPECT_EQ(settings.GetInt("Settings", "Scanner", -1), 0);
    EXPECT_EQ(frame.View().m_jobs, 16);
    EXPECT_EQ(frame.View().m_perHost, 3);

    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->findChild<QComboBox*>()->setCurrentIndex(1);
            dialog->accept();
        }
    });
    frame.OnWebOptions();
    EXPECT_TRUE(frame.View().m_htmlScan) << "the scanner chosen serves the next test";
}

// The write-back comes before the window is shown: its own moves are written only once they
// have settled.
TEST_F(MainFrame, TheFirstStartWritesTheCentredPlacement) {
    Start();
    const CWindowPlacement centred = CMainFrame::FirstStartPlacement();
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "x", -1), centred.x);
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "y", -1), centred.y);
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "cx", 0), centred.cx);
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "cy", 0), centred.cy);
}

// Run as well under QT_SCALE_FACTOR=2 (tests/app/CMakeLists.txt), where the offscreen screen
// is narrower than the readable width: the window then takes the work area's whole width.
TEST_F(MainFrame, AFirstStartOnAFewLogicalPixelsStillShowsReadableColumns) {
    CMainFrame& frame = Start();
    QCoreApplication::processEvents();
    const int work = QGuiApplication::primaryScreen()->availableGeometry().width();
    const int character = frame.View().fontMetrics().averageCharWidth();
    const int readable = ReadableWindowWidth(character);
    ASSERT_LT(work * 3 / 4, readable) << "the offscreen screen is narrow enough for the case";
    EXPECT_EQ(frame.width(), std::min(readable, work));
    if (readable <= work) {
        for (int column = 0; column < 4; ++column) {
            EXPECT_GE(frame.View().columnWidth(column), 24 * character) << column;
        }
    }
}

TEST_F(MainFrame, TheLastColumnTakesTheGridsRemainingWidth) {
    CMainFrame& frame = Start();
    QCoreApplication::processEvents();
    const QHeaderView& header = *frame.View().horizontalHeader();
    EXPECT_EQ(header.sectionViewportPosition(3) + header.sectionSize(3),
              frame.View().viewport()->width());
    frame.resize(frame.width() + 40, frame.height());
    QCoreApplication::processEvents();
    EXPECT_EQ(header.sectionViewportPosition(3) + header.sectionSize(3),
              frame.View().viewport()->width());
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

const unsigned kTopics[] = {kHelpContents,      kHelpMainWindow, kHelpSelectFiles,
                            kHelpExport,        kHelpPreferences, kHelpWebOptions,
                            kHelpRepair,        kHelpRepairFailure, kHelpAbout};

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

// Answers the modal dialogs that follow one another, each once its event loop runs.
void AnswerDialogs(std::vector<std::function<void(QDialog&)>> answers) {
    QTimer::singleShot(0, [answers]() mutable {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        const std::function<void(QDialog&)> answer = answers.front();
        answers.erase(answers.begin());
        if (!answers.empty()) {
            AnswerDialogs(answers);
        }
        answer(*dialog);
    });
}

TEST_F(ExportCommand, RepairEndsWithTheSaveExportAlsoWhenItsLastRowWasIgnored) {
    CMainFrame& frame = StartWithRows();
    frame.View().m_runEnded = true;
    m_app.Settings().SetInt("Repair", "Type", 2);
    frame.UpdateCommandUi();
    std::vector<QString> titles;
    const auto accept = [&titles](QDialog& dialog) {
        titles.push_back(dialog.windowTitle());
        dialog.accept();
    };
    AnswerDialogs({accept,
                   [&titles](QDialog& failure) {
                       titles.push_back(failure.windowTitle());
                       failure.findChild<QCheckBox*>()->click();
                       failure.accept();
                   },
                   accept});
    frame.Action(ID_REPAIR_LINKS)->trigger();
    EXPECT_EQ(titles, (std::vector<QString>{"URL Link Disable and File Repair", "Repair Failure",
                                            "Export Bad URLs"}));
    EXPECT_EQ(frame.Doc().Results().RowCount(), 0) << "the ignored row was the last";
    EXPECT_TRUE(FileExists(m_report)) << "the Save export ran all the same";
}

}  // namespace

namespace {

TEST(AppIcon, SixteenPixelsGetADrawingOfTheirOwn) {
    const auto image = [](const QIcon& icon, int size) {
        return icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    const QIcon icon = LinkvetIcon();
    const QIcon small(QStringLiteral(":/linkvet-16.svg"));
    const QIcon full(QStringLiteral(":/linkvet.svg"));
    ASSERT_EQ(image(icon, 16).size(), QSize(16, 16));
    EXPECT_EQ(image(icon, 16), image(small, 16));
    EXPECT_NE(image(icon, 16), image(full, 16));
    EXPECT_EQ(image(icon, 48), image(full, 48));
}

TEST(ResultsModel, TextsThatAreNotUtf8ShowReadablyAndKeepTheirBytes) {
    CResultsModel rows;
    const std::string latin1 = "http://h/caf\xe9.htm";
    const std::string utf8 = "Caf\xc3\xa9";
    rows.AddResult(latin1, 0, "/site/\xff.htm", 10404);
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
    EXPECT_EQ(rows.data(rows.index(0, 1), CResultsModel::kCodeRole).toUInt(), 10404u)
        << "the row keeps its verdict's code, also one outside the table";
    EXPECT_EQ(rows.Code(0), 10404u);
}

}  // namespace

namespace {

// Rows as the scanner may leave them: a link that is not UTF-8, an anchor name with a tab and
// a line break, a file name with a blank.
class GridActions : public MainFrame {
protected:
    CMainFrame& StartWithRows() {
        CMainFrame& frame = Start();
        CResultsModel& rows = frame.Doc().Results();
        rows.AddResult("http://h/caf\xe9 1.htm", 0, "/site/a b.htm");
        rows.AddResult("HTTP Code 404 Not Found", 1, "/site/a b.htm");
        rows.AddResult("Caf\xc3\xa9\tMenu\r\nTwo\x1b[2J\xc2\x9b", 2, "/site/a b.htm");
        AddRow(frame, "http://h/second", 0);
        AddRow(frame, "http://h/third", 0);
        return frame;
    }

    static void Select(CLinkvetView& view, std::initializer_list<int> rows) {
        view.clearSelection();
        for (int row : rows) {
            view.selectionModel()->select(view.model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        view.selectionModel()->setCurrentIndex(view.model()->index(*rows.begin(), 0),
                                               QItemSelectionModel::NoUpdate);
    }

    static QAction* MenuAction(QMenu& menu, const QString& text) {
        for (QAction* action : menu.actions()) {
            if (action->text() == text) {
                return action;
            }
        }
        return nullptr;
    }
};

TEST_F(GridActions, CopiesShowTheTextsAsTheGridDoesOneLinePerRow) {
    CMainFrame& frame = StartWithRows();
    const CResultsModel& rows = frame.Doc().Results();
    EXPECT_EQ(CopiedRows(rows, {0}),
              QString::fromUtf8("http://h/caf\xc3\xa9 1.htm\tHTTP Code 404 Not Found\t"
                                "Caf\xc3\xa9 Menu  Two\\x1b[2J\\x9b\t/site/a b.htm"));
    EXPECT_EQ(CopiedRows(rows, {1, 2}),
              "http://h/second\tHTTP Code 404 Not Found\tname\t/site/page.htm\n"
              "http://h/third\tHTTP Code 404 Not Found\tname\t/site/page.htm");
    EXPECT_EQ(CopiedLinks(rows, {0, 2}),
              QString::fromUtf8("http://h/caf\xc3\xa9 1.htm\nhttp://h/third"));
    for (int column = 0; column < kResultColumnCount; ++column) {
        EXPECT_EQ(CopiedRows(rows, {0}).split('\t').at(column),
                  rows.data(rows.index(0, column), Qt::DisplayRole)
                      .toString()
                      .replace(QRegularExpression("[\t\r\n]"), " "))
            << "the copy shows what the grid shows, column " << column;
    }
    EXPECT_EQ(CopiedRows(rows, {}), "");
}

TEST_F(GridActions, TheShellIsHandedEveryByteOfALinkOrAPath) {
    EXPECT_EQ(BrowserTarget("http://h/caf\xe9 1.htm?a=%20&b=\"c\""),
              "http://h/caf%E9%201.htm?a=%20&b=\"c\"");
    EXPECT_EQ(BrowserTarget("ftp://h/\x1b[0m"), "ftp://h/%1B[0m");
    EXPECT_EQ(FileTarget("/site/a b\xff.htm"), "file:///site/a%20b%FF.htm");
    EXPECT_EQ(
        FileTarget("page.htm"),
        "file://" + QUrl::toPercentEncoding(QDir::currentPath(), "/").toStdString() + "/page.htm");
}

TEST_F(GridActions, DroppingTakesTheFirstLocalFileOrFolder) {
    MakeDirectory(m_scratch / "site");
    WriteFile(m_scratch / "site/caf\xe9.htm", "<a href=\"http://h/\">h</a>");
    const auto drop = [](std::vector<QUrl> urls) {
        QMimeData data;
        data.setUrls(QList<QUrl>(urls.begin(), urls.end()));
        return DroppedPath(data);
    };
    const QUrl folder = QUrl::fromLocalFile(QString::fromStdString(m_scratch / "site"));
    const QUrl latin1File(QString::fromStdString("file://" + m_scratch / "site/caf%E9.htm"));
    const QUrl web(QStringLiteral("http://h/page.htm"));
    const QUrl missing = QUrl::fromLocalFile(QString::fromStdString(m_scratch / "gone.htm"));
    const auto folderDrop = drop({web, folder, latin1File});
    ASSERT_TRUE(folderDrop);
    EXPECT_EQ(folderDrop->path, m_scratch / "site");
    EXPECT_TRUE(folderDrop->folder);
    const auto fileDrop = drop({missing, latin1File});
    ASSERT_TRUE(fileDrop);
    EXPECT_EQ(fileDrop->path, m_scratch / "site/caf\xe9.htm") << "the name's own bytes";
    EXPECT_FALSE(fileDrop->folder);
    EXPECT_FALSE(drop({web, missing}));
    QMimeData text;
    text.setText(QStringLiteral("/site"));
    EXPECT_FALSE(DroppedPath(text));
}

TEST_F(GridActions, TheContextMenuOpensAndCopies) {
    CMainFrame& frame = StartWithRows();
    CLinkvetView& view = frame.View();
    Select(view, {2, 0});
    auto menu = view.CreateContextMenu();
    for (const char* text : {"Open Link", "Open File", "Copy Link", "Copy Row"}) {
        ASSERT_NE(MenuAction(*menu, text), nullptr) << text;
        EXPECT_TRUE(MenuAction(*menu, text)->isEnabled()) << text;
    }
    MenuAction(*menu, "Open Link")->trigger();
    MenuAction(*menu, "Open File")->trigger();
    EXPECT_EQ(m_ui.m_openedUrls,
              (std::vector<std::string>{"http://h/third", "file:///site/page.htm"}));
    MenuAction(*menu, "Copy Link")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QString::fromUtf8("http://h/caf\xc3\xa9 1.htm\nhttp://h/third"));
    MenuAction(*menu, "Copy Row")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), CopiedRows(frame.Doc().Results(), {0, 2}));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), CopiedRows(frame.Doc().Results(), {0, 2}))
        << "Ctrl+C copies the selected rows as Copy Row does";
    m_ui.m_openSucceeds = false;
    MenuAction(*menu, "Open Link")->trigger();
    EXPECT_EQ(m_ui.m_beeps.size(), 1u) << "nothing could open the link";
    view.clearSelection();
    view.setCurrentIndex(QModelIndex());
    auto idle = view.CreateContextMenu();
    EXPECT_FALSE(MenuAction(*idle, "Open Link")->isEnabled());
    EXPECT_FALSE(MenuAction(*idle, "Copy Row")->isEnabled());
}

TEST_F(GridActions, OpenLinkOpensALocalLinkWhereTheRunFoundItsTarget) {
    MakeDirectory(m_scratch / "site");
    MakeDirectory(m_scratch / "site/sub");
    const std::string page = m_scratch / "site/sub/p.htm";
    WriteFile(page, "<base href=\"../\"><a href=\"gone%20x.htm#top\">g</a>");
    CMainFrame& frame = Start();
    CResultsModel& rows = frame.Doc().Results();
    rows.AddResult("gone%20x.htm#top", 0, page, kLocalFileMissing);
    rows.AddResult("Local File Not Found", 1, page);
    rows.AddResult("g", 2, page);
    frame.View().setCurrentIndex(rows.index(0, 0));
    frame.View().OnOpenLink();
    const std::string scratch =
        QUrl::toPercentEncoding(QString::fromStdString(m_scratch.Path()), "/").toStdString();
    EXPECT_EQ(m_ui.m_openedUrls,
              (std::vector<std::string>{"file://" + scratch + "/site/gone%20x.htm#top"}));

    // A name with an encoded "/" in it is no file: there is nothing to open.
    WriteFile(page, "<a href=\"a%2Fb.htm\">s</a>");
    rows.AddResult("a%2Fb.htm", 0, page, kLocalFileMissing);
    rows.AddResult("Local File Not Found", 1, page);
    rows.AddResult("s", 2, page);
    frame.View().setCurrentIndex(rows.index(1, 0));
    frame.View().OnOpenLink();
    EXPECT_EQ(m_ui.m_openedUrls.size(), 1u);
    EXPECT_EQ(m_ui.m_beeps.size(), 1u);
}

TEST_F(GridActions, ARightClickShowsTheMenuOverTheGrid) {
    CMainFrame& frame = StartWithRows();
    CLinkvetView& view = frame.View();
    Select(view, {1});
    QString shown;
    QTimer inspect;
    inspect.setSingleShot(true);
    QObject::connect(&inspect, &QTimer::timeout, [&shown] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions()) {
                shown += action->text() + ";";
            }
            menu->close();
        }
    });
    inspect.start(0);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), view.mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(view.viewport(), &event);
    EXPECT_EQ(shown, "Open Link;Open File;;Copy Link;Copy Row;");
    EXPECT_EQ(frame.menuBar()->actions().size(), 4) << "the window's menus stay as they are";
}

TEST_F(GridActions, DoubleClickAndEnterOpenTheRowsLink) {
    CMainFrame& frame = StartWithRows();
    CLinkvetView& view = frame.View();
    QCoreApplication::processEvents();
    const QRect second = view.visualRect(view.model()->index(1, 0));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(m_ui.m_openedUrls, (std::vector<std::string>{"http://h/second"}));
    view.setFocus();
    view.setCurrentIndex(view.model()->index(0, 0));
    QTest::keyClick(&view, Qt::Key_Return);
    ASSERT_EQ(m_ui.m_openedUrls.size(), 2u);
    EXPECT_EQ(m_ui.m_openedUrls[1], "http://h/caf%E9%201.htm");
}

// Drops what a file manager drops: a list of file URLs.
void DropOn(QWidget& window, const std::string& path, bool& accepted) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    accepted = enter.isAccepted() && drop.isAccepted();
}

// What the Select File(s) dialog shows once it opens; the dialog is then cancelled.
struct CSeenSelection {
    QString path;
    bool allFiles = false;
    bool recurse = false;
    bool shown = false;
};

CSeenSelection CancelNextSelection() {
    CSeenSelection seen;
    QTimer inspect;
    inspect.setSingleShot(true);
    QObject::connect(&inspect, &QTimer::timeout, [&seen] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        seen.shown = true;
        seen.path = dialog->findChild<QLineEdit*>(QStringLiteral("path"))->text();
        seen.allFiles =
            FindByText<QCheckBox>(*dialog, "Test other files in this directory")->isChecked();
        seen.recurse =
            FindByText<QCheckBox>(*dialog, "Test in this directory and all sub-directories")
                ->isChecked();
        dialog->reject();
    });
    inspect.start(0);
    // The drop's queued call opens the dialog; the timer fires inside its event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    return seen;
}

TEST_F(GridActions, DroppingAFolderOrAFileOpensTheSelectionWithItsPath) {
    CMainFrame& frame = Start();
    MakeDirectory(m_scratch / "site");
    WriteFile(m_scratch / "site/page.htm", "");
    m_app.Settings().SetInt("FileSel", "AllFiles", 1);
    m_app.Settings().SetInt("FileSel", "Recurse", 1);
    bool accepted = false;
    DropOn(frame, m_scratch / "site", accepted);
    EXPECT_TRUE(accepted);
    const CSeenSelection folder = CancelNextSelection();
    ASSERT_TRUE(folder.shown);
    EXPECT_EQ(folder.path.toStdString(), m_scratch / "site");
    EXPECT_TRUE(folder.allFiles);
    EXPECT_TRUE(folder.recurse) << "the stored choice of sub-directories stays";
    DropOn(frame, m_scratch / "site/page.htm", accepted);
    const CSeenSelection file = CancelNextSelection();
    ASSERT_TRUE(file.shown);
    EXPECT_EQ(file.path.toStdString(), m_scratch / "site/page.htm");
    EXPECT_FALSE(file.allFiles);
    EXPECT_FALSE(file.recurse);
    EXPECT_EQ(m_app.Settings().GetString("FileSel", "Starter", "none"), "none")
        << "a cancelled selection keeps nothing";
    DropOn(frame, m_scratch / "gone", accepted);
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(CancelNextSelection().shown);
}

}  // namespace
