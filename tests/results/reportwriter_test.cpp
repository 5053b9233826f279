#include "results/reportwriter.h"

#include <gtest/gtest.h>

#include "platform/messagebox.h"

namespace {

// Writes a report into memory.
template <typename Write>
std::string Report(Write write) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = ::open_memstream(&data, &size);
    write(stream);
    std::fclose(stream);
    std::string text(data, size);
    std::free(data);
    return text;
}

class Reports : public ::testing::Test {
protected:
    void Add(const std::string& url, const std::string& reason, const std::string& name,
             const std::string& file) {
        m_rows.AddResult(url, 0, file);
        m_rows.AddResult(reason, 1, file);
        m_rows.AddResult(name, 2, file);
    }
    std::string Text() {
        return Report([&](std::FILE* out) { ExportAsText(out, m_rows); });
    }
    std::string Html() {
        return Report([&](std::FILE* out) { ExportAsHtml(out, m_rows, "ann", "DATE"); });
    }

    CResultTable m_rows;
    const std::string m_heading =
        "<HTML>\n<HEAD>\n<TITLE>Linkvet Results</TITLE>\n</HEAD>\n<BODY>\n<H3><A HREF=\"" +
        std::string(kHomePageUrl) + "\">Linkvet</A> results for ann</H3>\n<b>Start of report: </b>DATE\n";
    const std::string m_trailer = "\n</ul>\n<hr>\n\n</BODY>\n</HTML>\n";
};

TEST_F(Reports, AnEmptyGridGivesAnEmptyTextAndAHeadingWithTrailer) {
    EXPECT_EQ(Text(), "");
    EXPECT_EQ(Html(), m_heading + m_trailer);
}

TEST_F(Reports, OneRowInOneFile) {
    Add("http://h/a", "HTTP Code 404 Not Found", "Page A", "/site/p.htm");
    EXPECT_EQ(Text(), "FILE: /site/p.htm\nhttp://h/a\tHTTP Code 404 Not Found\tPage A\n");
    EXPECT_EQ(Html(), m_heading + "\n<hr>\n<b>FILE: /site/p.htm</b>\n<ul>" +
                          "\n<li><a href=\"http://h/a\">Page A</a> HTTP Code 404 Not Found" +
                          m_trailer);
}

TEST_F(Reports, GroupsFollowRunsOfEqualFileNames) {
    Add("u1", "r1", "n1", "a");
    Add("u2", "r2", "n2", "a");
    Add("u3", "r3", "n3", "b");
    Add("u4", "r4", "n4", "a");
    EXPECT_EQ(Text(), "FILE: a\nu1\tr1\tn1\nu2\tr2\tn2\n\nFILE: b\nu3\tr3\tn3\n\nFILE: a\nu4\tr4\tn4\n");
    EXPECT_EQ(Html(), m_heading + "\n<hr>\n<b>FILE: a</b>\n<ul>" +
                          "\n<li><a href=\"u1\">n1</a> r1\n<li><a href=\"u2\">n2</a> r2" +
                          "\n</ul>\n\n<hr>\n<b>FILE: b</b>\n<ul>\n<li><a href=\"u3\">n3</a> r3" +
                          "\n</ul>\n\n<hr>\n<b>FILE: a</b>\n<ul>\n<li><a href=\"u4\">n4</a> r4" +
                          m_trailer);
}

TEST_F(Reports, ARowWithoutAFileNameOpensNoGroup) {
    Add("u", "r", "n", "");
    EXPECT_EQ(Text(), "u\tr\tn\n");
}

TEST_F(Reports, TextKeepsCellsAsTheyStandAndHtmlEscapesThem) {
    Add("http://h/?a=1&b=\"2\"", "R<x>", "<script>alert(1)</script>\tT", "/s/<b>&.htm");
    EXPECT_EQ(Text(), "FILE: /s/<b>&.htm\nhttp://h/?a=1&b=\"2\"\tR<x>\t<script>alert(1)</script>\tT\n");
    const std::string html = Html();
    EXPECT_NE(html.find("<b>FILE: /s/&lt;b&gt;&amp;.htm</b>"), std::string::npos);
    EXPECT_NE(html.find("<li><a href=\"http://h/?a=1&amp;b=&quot;2&quot;\">"
                        "&lt;script&gt;alert(1)&lt;/script&gt;\tT</a> R&lt;x&gt;"),
              std::string::npos);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
}

TEST_F(Reports, ANullFileIsRefusedWithAMessage) {
    platform::CScriptedUserInterface ui;
    ExportAsText(nullptr, m_rows);
    EXPECT_EQ(ui.m_messages, (std::vector<std::string>{"File Error"}));
}

TEST(ResultTable, RowsAreBuiltInThreeParts) {
    CResultTable rows;
    rows.AddResult("ignored", 1, "F");
    rows.AddResult("ignored", 2, "F");
    EXPECT_EQ(rows.RowCount(), 0) << "the reason and the name need a row";
    rows.AddResult("L", 0, "F");
    rows.AddResult("HTTP Code 404 Not Found", 1, "F");
    rows.AddResult("A", 2, "F");
    rows.AddResult("nothing", 3, "F");
    ASSERT_EQ(rows.RowCount(), 1);
    EXPECT_EQ(rows.Row(0).cells,
              (std::array<std::string, 4>{"L", "HTTP Code 404 Not Found", "A", "F"}));
    EXPECT_EQ(rows.Row(0).tag, 0u);
}

}  // namespace
