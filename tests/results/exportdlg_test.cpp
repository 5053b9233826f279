#include "results/exportdlg.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <optional>
#include <string>
#include <vector>

#include "platform/messagebox.h"
#include "support/widgetfind.h"

namespace {

TEST(SwapReportExtension, FollowsTheFormatBothWays) {
    EXPECT_EQ(SwapReportExtension("results.txt", CExportDlg::kHtmlFormat), "results.html");
    EXPECT_EQ(SwapReportExtension("results.html", CExportDlg::kTextFormat), "results.txt");
    EXPECT_EQ(SwapReportExtension("/web/out/results.txt", CExportDlg::kHtmlFormat),
              "/web/out/results.html");
    EXPECT_EQ(SwapReportExtension("results.txt", CExportDlg::kTextFormat), "results.txt");
    EXPECT_EQ(SwapReportExtension("results.html", CExportDlg::kHtmlFormat), "results.html");
    EXPECT_EQ(SwapReportExtension("results", CExportDlg::kHtmlFormat), "results");
    EXPECT_EQ(SwapReportExtension("results.txt", -1), "results.txt");
}

TEST(SwapReportExtension, KeepsItsOddCases) {
    // The search is case-sensitive, and skips a name that starts with the extension.
    EXPECT_EQ(SwapReportExtension("REPORT.TXT", CExportDlg::kHtmlFormat), "REPORT.TXT");
    EXPECT_EQ(SwapReportExtension("REPORT.HTML", CExportDlg::kTextFormat), "REPORT.HTML");
    EXPECT_EQ(SwapReportExtension(".txt", CExportDlg::kHtmlFormat), ".txt");
    EXPECT_EQ(SwapReportExtension(".html", CExportDlg::kTextFormat), ".html");
    // The last characters go, wherever the extension was found.
    EXPECT_EQ(SwapReportExtension("a.txt.bak", CExportDlg::kHtmlFormat), "a.txt.html");
    EXPECT_EQ(SwapReportExtension("a.html.bak", CExportDlg::kTextFormat), "a.htm.txt");
    // Only the first occurrence is looked at.
    EXPECT_EQ(SwapReportExtension(".txt.txt", CExportDlg::kHtmlFormat), ".txt.txt");
}

struct CSaveRequest {
    std::string initialName;
    std::string nameFilter;
    std::string defaultSuffix;
    bool operator==(const CSaveRequest&) const = default;
};

// Stands in for the Save As picker: records each request and answers with m_answer.
class CScriptedExportDlg : public CExportDlg {
public:
    std::optional<std::string> m_answer;
    std::vector<CSaveRequest> m_requests;

protected:
    std::optional<std::string> PickSaveFile(const std::string& initialName,
                                            const std::string& nameFilter,
                                            const std::string& defaultSuffix) override {
        m_requests.push_back({initialName, nameFilter, defaultSuffix});
        return m_answer;
    }
};

class ExportDlg : public ::testing::Test {
protected:
    void Show(const std::string& fileName, int format) {
        m_dialog.m_fileName = fileName;
        m_dialog.m_format = format;
        m_dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_dialog));
    }
    QLineEdit& NameEdit() { return *m_dialog.findChild<QLineEdit*>(); }
    QRadioButton& TextButton() {
        return *FindByText<QRadioButton>(m_dialog, "Export as Text file");
    }
    QRadioButton& HtmlButton() {
        return *FindByText<QRadioButton>(m_dialog, "Export as HTML file");
    }
    QPushButton& Button(const char* text) {
        return *FindByText<QPushButton>(m_dialog, QString::fromUtf8(text));
    }
    // Near the left edge: a radio button takes clicks on its circle and its text only.
    void Click(QWidget& widget) {
        QTest::mouseClick(&widget, Qt::LeftButton, {}, QPoint(8, widget.height() / 2));
    }

    platform::CScriptedUserInterface m_ui;
    CScriptedExportDlg m_dialog;
};

TEST_F(ExportDlg, StartsWithNoFormatChosen) {
    EXPECT_EQ(m_dialog.m_format, -1);
    EXPECT_EQ(m_dialog.m_fileName, "");
    Show("results.txt", -1);
    EXPECT_EQ(m_dialog.windowTitle(), "Export Bad URLs");
    EXPECT_FALSE(TextButton().isChecked());
    EXPECT_FALSE(HtmlButton().isChecked());
    Click(Button("OK"));
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.m_format, -1);
}

TEST_F(ExportDlg, ChoosingAFormatSwapsTheExtensionInTheField) {
    Show("results.txt", CExportDlg::kTextFormat);
    EXPECT_EQ(NameEdit().text(), "results.txt");
    EXPECT_TRUE(TextButton().isChecked());
    Click(HtmlButton());
    EXPECT_EQ(NameEdit().text(), "results.html");
    Click(TextButton());
    EXPECT_EQ(NameEdit().text(), "results.txt");
    Click(HtmlButton());
    Click(Button("OK"));
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.m_fileName, "results.html");
    EXPECT_EQ(m_dialog.m_format, CExportDlg::kHtmlFormat);
}

TEST_F(ExportDlg, ANameThatIsNotUtf8KeepsItsBytes) {
    const std::string latin1 = "/reports/caf\xE9.txt";
    Show(latin1, CExportDlg::kTextFormat);
    Click(HtmlButton());
    Click(Button("OK"));
    EXPECT_EQ(m_dialog.m_fileName, "/reports/caf\xE9.html");
}

TEST_F(ExportDlg, AnEditedNameIsTakenAsTyped) {
    Show("/reports/caf\xE9.txt", CExportDlg::kTextFormat);
    NameEdit().selectAll();
    NameEdit().insert(QString::fromUtf8("/reports/\xC3\xA9t\xC3\xA9.txt"));  // as pasted
    Click(Button("OK"));
    EXPECT_EQ(m_dialog.m_fileName, "/reports/\xC3\xA9t\xC3\xA9.txt");
}

TEST_F(ExportDlg, CancelReadsNothing) {
    Show("results.txt", CExportDlg::kTextFormat);
    QTest::keyClicks(&NameEdit(), ".bak");
    Click(Button("Cancel"));
    EXPECT_EQ(m_dialog.result(), QDialog::Rejected);
    EXPECT_EQ(m_dialog.m_fileName, "results.txt");
}

TEST_F(ExportDlg, TypingStopsAtTwoHundredCharacters) {
    Show("", CExportDlg::kTextFormat);
    QTest::keyClicks(&NameEdit(), QString(250, QLatin1Char('n')));
    EXPECT_EQ(NameEdit().text().size(), 200);
    Click(Button("OK"));
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.m_fileName, std::string(200, 'n'));
}

TEST_F(ExportDlg, ALongerNameFromElsewhereIsShownWholeAndRefusedUntilShortened) {
    const std::string longName = "/reports/" + std::string(241, 'r') + ".txt";
    Show(longName, CExportDlg::kTextFormat);
    EXPECT_EQ(NameEdit().text().toStdString(), longName);
    QTest::keyClick(&NameEdit(), Qt::Key_End);
    QTest::keyClicks(&NameEdit(), "x");
    EXPECT_EQ(NameEdit().text().toStdString(), longName) << "no typing beyond the limit";

    Click(Button("OK"));
    EXPECT_TRUE(m_dialog.isVisible());
    EXPECT_EQ(m_ui.m_messages, (std::vector<std::string>{"Enter no more than 200 characters."}));
    EXPECT_EQ(m_dialog.focusWidget(), &NameEdit());

    Click(Button("Browse..."));
    EXPECT_TRUE(m_dialog.m_requests.empty()) << "Browse reads the field first";
    EXPECT_EQ(m_ui.m_messages.size(), 2u);

    NameEdit().setCursorPosition(9);
    for (int i = 0; i < 58; ++i) {
        QTest::keyClick(&NameEdit(), Qt::Key_Delete);
    }
    ASSERT_EQ(NameEdit().text().size(), 196);
    Click(Button("OK"));
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.m_fileName, "/reports/" + std::string(183, 'r') + ".txt");
}

TEST_F(ExportDlg, BrowseOffersTheChosenFormatAndFillsTheName) {
    Show("results.txt", CExportDlg::kTextFormat);
    m_dialog.m_answer = "/home/me/broken.txt";
    Click(Button("Browse..."));
    EXPECT_EQ(NameEdit().text(), "/home/me/broken.txt");
    EXPECT_EQ(m_dialog.focusWidget(), &Button("OK"));

    Click(HtmlButton());
    m_dialog.m_answer.reset();
    Click(Button("Browse..."));
    EXPECT_EQ(NameEdit().text(), "/home/me/broken.html") << "a cancelled picker changes nothing";
    EXPECT_EQ(m_dialog.focusWidget(), &Button("Browse...")) << "nor moves the focus";

    const std::vector<CSaveRequest> expected = {
        {"results.txt", "Text Files (*.txt);;All Files (*)", "txt"},
        {"/home/me/broken.html", "HTML Files (*.html);;All Files (*)", "html"},
    };
    EXPECT_EQ(m_dialog.m_requests, expected);
}

}  // namespace
