#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QSpinBox>
#include <QSplitter>
#include <QTest>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/linkvetapp.h"
#include "app/mainframe.h"
#include "app/placement.h"
#include "platform/messagebox.h"
#include "platform/profile.h"
#include "settings/regsettings.h"
#include "support/temphome.h"

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
}

TEST_F(MainFrame, TheFirstStartWritesTheCentredPlacement) {
    Start();
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const CWindowPlacement centred = CentredPlacement(work.width(), work.height());
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "cx", 0), centred.cx);
    EXPECT_EQ(m_app.Settings().GetInt("Screen", "cy", 0), centred.cy);
}

TEST_F(MainFrame, ExportIsAvailableAsSoonAsTheGridHasARow) {
    CMainFrame& frame = Start();
    AddRow(frame, "http://h/a", 0);
    frame.UpdateCommandUi();
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
