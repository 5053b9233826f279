// A whole run through the window's own commands, against scripted hosts in a private network
// namespace; the window must report what the console reports for the same site.

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

#include "app/linkvetapp.h"
#include "app/mainframe.h"
#include "e2e/scriptedserver.h"
#include "platform/messagebox.h"
#include "results/reportwriter.h"
#include "support/runprogram.h"
#include "support/temphome.h"

namespace {

class WindowRun : public CTempHomeTest {
protected:
    // Accepts the next modal dialog as it stands, as a user pressing OK would.
    static void AcceptNextDialog() {
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                dialog->accept();
            }
        });
    }

    static bool WaitUntil(const std::function<bool()>& done, int timeoutMillis) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < timeoutMillis) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return done();
    }

    // The rows as the text export writes them.
    static std::string TextReport(const CResultRows& rows) {
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* memory = ::open_memstream(&text, &size);
        ExportAsText(memory, rows);
        std::fclose(memory);
        std::string report(text, size);
        std::free(text);
        return report;
    }

    platform::CScriptedUserInterface m_ui;
};

TEST_F(WindowRun, TheWindowReportsWhatTheConsoleReports) {
    const CScriptedServer notFound("127.0.0.11", 80,
                                   CScriptedServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
    const CScriptedServer ok("127.0.0.12", 80, CScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
    MakeDirectory(m_scratch / "site");
    WriteFile(m_scratch / "site/a.htm",
              "<A HREF=\"http://h1.test/gone.htm\">Gone</A><A HREF=\"http://h2.test/\">Home</A>"
              "<A HREF=\"http://nowhere.test/\">Nowhere</A>");
    WriteFile(m_scratch / "site/b.htm", "<A HREF=\"http://h1.test/b.htm\">B</A>");

    CLinkvetApp app;
    ASSERT_TRUE(app.InitInstance());
    app.Settings().SetString("FileSel", "Starter", m_scratch / "site");
    app.Settings().SetInt("FileSel", "AllFiles", 1);
    CMainFrame& frame = *app.MainFrame();
    AcceptNextDialog();
    frame.Action(ID_SELECT_FILES)->trigger();
    EXPECT_FALSE(frame.Action(ID_SELECT_FILES)->isEnabled()) << "no second run on top of the first";
    EXPECT_TRUE(frame.Action(ID_STOP_TEST)->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return frame.View().m_runEnded; }, 30000));

    EXPECT_EQ(frame.PaneText(1), "Search Complete");
    EXPECT_TRUE(frame.Action(ID_SELECT_FILES)->isEnabled());
    EXPECT_FALSE(frame.Action(ID_STOP_TEST)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_REPAIR_LINKS)->isEnabled());
    const QStringList log = frame.findChild<QPlainTextEdit*>()->toPlainText().split('\n');
    ASSERT_GE(log.size(), 8);
    EXPECT_TRUE(log[0].startsWith("Start of test "));
    EXPECT_EQ(log[2], QString::fromStdString("Testing: " + m_scratch / "site/a.htm"));
    EXPECT_EQ(log[3], QString::fromStdString("Results for " + m_scratch /
                                             "site/a.htm: URLs tested: 3. URL errors: 2."));
    EXPECT_TRUE(log[8].startsWith("End of test: "));

    const std::string windowReport = TextReport(frame.Doc().Results());
    CTempDir consoleHome;
    const CProgramResult console = RunProgram(LINKVET_CHECK, {"-q", "-a", m_scratch / "site"},
                                              consoleHome.Path());
    EXPECT_EQ(console.exitCode, 1);
    EXPECT_EQ(windowReport, console.out);
    EXPECT_EQ(frame.Doc().Results().RowCount(), 3);
}

// The stored Redirects setting takes the window's run where --redirects follow takes the
// console's: the same engine, the same rows.
TEST_F(WindowRun, FollowingRedirectsTheWindowReportsTheMovesTheConsoleReports) {
    const CScriptedServer moved(
        "127.0.0.11", 80,
        CScriptedServer::Reply("HTTP/1.1 301 Moved\r\nLocation: http://h2.test/new.htm\r\n\r\n"));
    const CScriptedServer ok("127.0.0.12", 80, CScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
    MakeDirectory(m_scratch / "site");
    WriteFile(m_scratch / "site/a.htm", "<A HREF=\"http://h1.test/old.htm\">Old</A>");

    CLinkvetApp app;
    ASSERT_TRUE(app.InitInstance());
    app.Settings().SetString("FileSel", "Starter", m_scratch / "site");
    app.Settings().SetInt("FileSel", "AllFiles", 1);
    app.Settings().SetInt("Settings", "Redirects", 1);
    CMainFrame& frame = *app.MainFrame();
    frame.View().LoadPreferences();
    AcceptNextDialog();
    frame.Action(ID_SELECT_FILES)->trigger();
    ASSERT_TRUE(WaitUntil([&] { return frame.View().m_runEnded; }, 30000));
    ASSERT_EQ(frame.Doc().Results().RowCount(), 1);
    EXPECT_EQ(frame.Doc().Results().CellText(0, kColumnReason),
              "Moved Permanently to http://h2.test/new.htm");
    EXPECT_EQ(frame.Doc().Results().MovedTo(0), "http://h2.test/new.htm");

    const std::string windowReport = TextReport(frame.Doc().Results());
    CTempDir consoleHome;
    const CProgramResult console = RunProgram(
        LINKVET_CHECK, {"-q", "-a", "--redirects", "follow", m_scratch / "site"}, consoleHome.Path());
    EXPECT_EQ(windowReport, console.out);
}

}  // namespace
