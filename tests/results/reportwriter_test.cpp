#include "results/reportwriter.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include "platform/clock.h"
#include "platform/messagebox.h"
#include "results/machinereport.h"

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

TEST_F(Reports, TheHtmlHeadingNamesTheAccountAndTheMomentOfWriting) {
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const std::time_t before = std::time(nullptr);
    const std::string html =
        Report([&](std::FILE* out) { EXPECT_TRUE(WriteReport(out, CReportFormat::Html, m_rows)); });
    const std::time_t after = std::time(nullptr);
    const std::string lead =
        std::string("</A> results for ") + account->pw_name + "</H3>\n<b>Start of report: </b>";
    const std::size_t at = html.find(lead);
    ASSERT_NE(at, std::string::npos) << html;
    const std::size_t dateStart = at + lead.size();
    const std::string date = html.substr(dateStart, html.find('\n', dateStart) - dateStart);
    bool matched = false;
    for (std::time_t moment = before; moment <= after; ++moment) {
        matched = matched || date == platform::LongDateTime(moment);
    }
    EXPECT_TRUE(matched) << date;
}

QString Utf8(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

TEST_F(Reports, JsonHoldsTheRunAndEveryRowLosslessly) {
    struct CCase {
        std::string link;
        std::uint32_t code;
        std::string reason;
        std::string anchor;
        std::string file;
    };
    const std::vector<CCase> cases = {
        {"http://h/a", 404, "HTTP Code 404 Not Found", "A", "/s/p.htm"},
        {"http://h/\xc3\xbc", 10002, "Can't Find Named Host", "\xe6\x97\xa5\xe6\x9c\xac",
         "/s/p.htm"},
        {"http://h/\xe9", 405, "--------------> UNKNOWN REASON !!!!!", "caf\xe9", "/s/\xff.htm"},
        {"http://h/\"q\\", 4294967295u, "--------------> UNKNOWN REASON !!!!!",
         "\x1b[2J\x7f\xc2\x9b\t", "/s/q.htm"},
    };
    for (const CCase& c : cases) {
        m_rows.AddResult(c.link, 0, c.file, c.code);
        m_rows.AddResult(c.reason, 1, c.file);
        m_rows.AddResult(c.anchor, 2, c.file);
    }
    CRunRecord run;
    run.started = 1700000000;
    run.ended = 1700000042;
    run.files = {CReadFile{"/s/p.htm", {CTestedLink{}, CTestedLink{}, CTestedLink{}}},
                 CReadFile{"/s/q.htm", {}}};
    run.linksFound = 5;
    run.linksExcluded = 2;
    const std::string json = JsonReport(m_rows, run);
    for (char c : json) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte != 0x7F)) << "no raw control byte";
    }
    EXPECT_EQ(json.find("\xc2\x9b"), std::string::npos);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << json;
    const QJsonObject runObject = document.object()["run"].toObject();
    EXPECT_EQ(runObject["start"].toString(), "2023-11-14T22:13:20Z");
    EXPECT_EQ(runObject["end"].toString(), "2023-11-14T22:14:02Z");
    EXPECT_EQ(runObject["files_read"].toInt(), 2);
    EXPECT_TRUE(runObject["finished"].toBool());
    EXPECT_EQ(runObject["links_found"].toInt(), 5);
    EXPECT_EQ(runObject["links_excluded"].toInt(), 2);
    EXPECT_EQ(runObject["links_tested"].toInt(), 3);
    EXPECT_EQ(runObject["rows_reported"].toInt(), 4);
    const QJsonArray rows = document.object()["rows"].toArray();
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const QJsonObject row = rows[static_cast<qsizetype>(i)].toObject();
        EXPECT_EQ(row["code"].toInteger(), static_cast<qint64>(cases[i].code));
        const std::vector<std::pair<QString, std::string>> texts = {{"link", cases[i].link},
                                                                    {"reason", cases[i].reason},
                                                                    {"anchor", cases[i].anchor},
                                                                    {"file", cases[i].file}};
        for (const auto& [name, bytes] : texts) {
            const bool utf8 = Utf8(bytes).toUtf8().toStdString() == bytes;
            EXPECT_EQ(row[name].toString(), Utf8(bytes)) << i << " " << name.toStdString();
            EXPECT_EQ(row.contains(name + "_base64"), !utf8) << i << " " << name.toStdString();
            if (!utf8) {
                EXPECT_EQ(QByteArray::fromBase64(row[name + "_base64"].toString().toLatin1())
                              .toStdString(),
                          bytes);
            }
        }
    }
}

// A suite as the report writes it: its attributes, and its cases' names and outcomes.
struct CSuiteSeen {
    QString name;
    QString counts;
    QStringList cases;

    bool operator==(const CSuiteSeen&) const = default;
};

void PrintTo(const CSuiteSeen& suite, std::ostream* out) {
    *out << (suite.name + " " + suite.counts + " " + suite.cases.join(", ")).toStdString();
}

std::vector<CSuiteSeen> SuitesSeen(const std::string& xml) {
    std::vector<CSuiteSeen> suites;
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        const auto counts = [&](std::initializer_list<const char*> names) {
            QStringList values;
            for (const char* name : names) {
                values.append(QString::fromLatin1(name) + "=" + attributes.value(name).toString());
            }
            return values.join(' ');
        };
        if (reader.name() == u"testsuites") {
            suites.push_back({"", counts({"tests", "failures", "errors", "timestamp"}), {}});
        } else if (reader.name() == u"testsuite") {
            suites.push_back({attributes.value("name").toString(),
                              counts({"tests", "failures", "errors", "skipped"}), {}});
        } else if (reader.name() == u"testcase") {
            suites.back().cases.append(attributes.value("name").toString());
        } else if (reader.name() != u"properties") {
            suites.back().cases.append(reader.name().toString() + ":" +
                                       attributes.value("message").toString() +
                                       attributes.value("value").toString());
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString() << xml;
    return suites;
}

TEST(MachineReports, JunitHasOneSuitePerFileAndOneCasePerLinkTestedAndMeetsTheSchema) {
    CRunRecord run;
    run.finished = false;
    CReadFile links{"/s/a.htm",
                    {CTestedLink{"http://h/1", "One", 200, false, ""},
                     CTestedLink{"http://h/2", "Two", 404, true, "HTTP Code 404 Not Found"},
                     CTestedLink{"http://h/\x1b\xe9", "\x01", 10004, true, "Can't Connect to Host"},
                     CTestedLink{"http://h/1", "Again", 200, false, ""}}};
    links.excluded = 2;
    links.seconds = 1.25;
    CReadFile unreadable{"/s/gone.htm", {}};
    unreadable.unreadable = true;
    run.files = {
        links,
        CReadFile{"/s/empty.htm", {}},
        CReadFile{"/s/\xc3\xa9.htm",
                  {CTestedLink{"ftp://h/\\xff\xef\xbf\xbe", "", 220, false, ""}}},
        unreadable,
    };
    const std::string xml = JunitReport(run);
    const std::vector<CSuiteSeen> expected = {
        {"", "tests=6 failures=2 errors=1 timestamp=", {}},
        {"linkvet-check", "tests=0 failures=0 errors=0 skipped=",
         {"property:1970-01-01T00:00:00Z", "property:1970-01-01T00:00:00Z", "property:false"}},
        {"/s/a.htm",
         "tests=4 failures=2 errors=0 skipped=2",
         {"http://h/1", "http://h/2", "failure:HTTP Code 404 Not Found", "http://h/\\x1b\\xe9",
          "failure:Can't Connect to Host", "http://h/1 (2)"}},
        {"/s/empty.htm", "tests=0 failures=0 errors=0 skipped=0", {}},
        {"/s/\u00e9.htm",
         "tests=1 failures=0 errors=0 skipped=0",
         {"ftp://h/\\\\xff\\xef\\xbf\\xbe"}},
        {"/s/gone.htm", "tests=1 failures=0 errors=1 skipped=0",
         {"/s/gone.htm", "error:Cannot open file"}},
    };
    EXPECT_EQ(SuitesSeen(xml), expected) << xml;
    EXPECT_NE(xml.find("<testsuite name=\"/s/a.htm\" tests=\"4\" failures=\"2\" errors=\"0\" "
                       "skipped=\"2\" time=\"1.250\" timestamp=\"1970-01-01T00:00:00Z\">"),
              std::string::npos)
        << xml;

    const std::string path = ::testing::TempDir() + "junit-report.xml";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(xml.data(), 1, xml.size(), file);
    std::fclose(file);
    const std::string validate =
        "xmllint --noout --schema '" LINKVET_JUNIT_XSD "' '" + path + "' 2>&1";
    EXPECT_EQ(std::system(validate.c_str()), 0) << xml;
    std::remove(path.c_str());
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
    rows.AddResult("M", 0, "F", 405);
    EXPECT_EQ(rows.Code(0), 0u);
    EXPECT_EQ(rows.Code(1), 405u) << "a code outside the table keeps its number";
}

}  // namespace
