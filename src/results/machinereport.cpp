#include "machinereport.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QXmlStreamWriter>
#include <algorithm>
#include <numeric>
#include <set>

#include "results/bytetext.h"

namespace {

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// Puts name: text into the object, and name_base64 beside it when the text is not UTF-8.
void PutText(QJsonObject& object, const QString& name, const std::string& text) {
    object.insert(name, QString::fromUtf8(Bytes(text)));
    if (!IsValidUtf8(text)) {
        object.insert(name + "_base64", QString::fromLatin1(Bytes(text).toBase64()));
    }
}

QJsonObject RunObject(const CResultRows& rows, const CRunRecord& run) {
    QJsonObject object;
    object.insert("start", QString::fromStdString(IsoTime(run.started)));
    object.insert("end", QString::fromStdString(IsoTime(run.ended)));
    object.insert("finished", run.finished);
    object.insert("files_read", run.FilesRead());
    object.insert("links_found", run.linksFound);
    object.insert("links_excluded", run.linksExcluded);
    object.insert("links_tested", run.LinksTested());
    object.insert("rows_reported", rows.RowCount());
    return object;
}

QJsonObject RowObject(const CResultRows& rows, int row) {
    QJsonObject object;
    PutText(object, "link", rows.CellText(row, kColumnUrl));
    object.insert("code", static_cast<qint64>(rows.Code(row)));
    PutText(object, "reason", rows.CellText(row, kColumnReason));
    PutText(object, "anchor", rows.CellText(row, kColumnSiteName));
    PutText(object, "file", rows.CellText(row, kColumnFile));
    if (!rows.MovedTo(row).empty()) {
        PutText(object, "moved_to", rows.MovedTo(row));
    }
    return object;
}

// DEL and the C1 controls are valid in JSON strings and Qt writes them as they are; written as
// \u escapes they mean the same and cannot drive a terminal the report is shown on. In Qt's
// UTF-8 output a C1 control is always the two bytes C2 80 to C2 9F.
std::string WithControlsEscaped(const std::string& json) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        const auto byte = static_cast<unsigned char>(json[i]);
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
        if (byte == 0x7F) {
            out += "\\u007f";
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            out += std::string("\\u00") + kDigits[next >> 4] + kDigits[next & 0xF];
            ++i;
        } else {
            out += json[i];
        }
    }
    return out;
}

QString XmlText(const std::string& bytes) {
    return QString::fromUtf8(Bytes(EscapeForXml(bytes)));
}

QString Seconds(double seconds) {
    return QString::number(seconds, 'f', 3);
}

int Failures(const CReadFile& file) {
    return static_cast<int>(std::count_if(file.links.begin(), file.links.end(),
                                          [](const CTestedLink& link) { return link.reported; }));
}

int Errors(const CReadFile& file) {
    return file.unreadable ? 1 : 0;
}

int Tests(const CReadFile& file) {
    return static_cast<int>(file.links.size()) + Errors(file);
}

// Test case names are unique within a suite: a link that stands in a page more than once is
// numbered from its second place on.
QString UniqueName(std::set<QString>& taken, const QString& name) {
    QString unique = name;
    for (int place = 2; !taken.insert(unique).second; ++place) {
        unique = name + QStringLiteral(" (%1)").arg(place);
    }
    return unique;
}

void WriteTestCase(QXmlStreamWriter& xml, const CReadFile& file, const CTestedLink& link,
                   const QString& name) {
    xml.writeStartElement("testcase");
    xml.writeAttribute("name", name);
    xml.writeAttribute("classname", XmlText(file.path));
    xml.writeAttribute("time", Seconds(link.seconds));
    if (link.reported) {
        xml.writeStartElement("failure");
        xml.writeAttribute("message", XmlText(link.reason));
        xml.writeAttribute("type", QString::number(link.code));
        xml.writeCharacters(XmlText(link.reason + " (code " + std::to_string(link.code) +
                                    "), anchor name: " + link.anchorName));
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

void WriteUnreadableCase(QXmlStreamWriter& xml, const CReadFile& file) {
    xml.writeStartElement("testcase");
    xml.writeAttribute("name", XmlText(file.path));
    xml.writeAttribute("classname", XmlText(file.path));
    xml.writeAttribute("time", Seconds(0));
    xml.writeStartElement("error");
    xml.writeAttribute("message", "Cannot open file");
    xml.writeAttribute("type", "file");
    xml.writeEndElement();
    xml.writeEndElement();
}

void WriteSuiteStart(QXmlStreamWriter& xml, const QString& name, int tests, int failures,
                     int errors) {
    xml.writeStartElement("testsuite");
    xml.writeAttribute("name", name);
    xml.writeAttribute("tests", QString::number(tests));
    xml.writeAttribute("failures", QString::number(failures));
    xml.writeAttribute("errors", QString::number(errors));
}

void WriteProperty(QXmlStreamWriter& xml, const QString& name, const QString& value) {
    xml.writeStartElement("property");
    xml.writeAttribute("name", name);
    xml.writeAttribute("value", value);
    xml.writeEndElement();
}

void WriteRunSuite(QXmlStreamWriter& xml, const CRunRecord& run) {
    WriteSuiteStart(xml, "linkvet-check", 0, 0, 0);
    xml.writeAttribute("time", Seconds(std::difftime(run.ended, run.started)));
    xml.writeAttribute("timestamp", QString::fromStdString(IsoTime(run.started)));
    xml.writeStartElement("properties");
    WriteProperty(xml, "start", QString::fromStdString(IsoTime(run.started)));
    WriteProperty(xml, "end", QString::fromStdString(IsoTime(run.ended)));
    WriteProperty(xml, "finished", run.finished ? "true" : "false");
    xml.writeEndElement();
    xml.writeEndElement();
}

void WriteTestSuite(QXmlStreamWriter& xml, const CReadFile& file) {
    WriteSuiteStart(xml, XmlText(file.path), Tests(file), Failures(file), Errors(file));
    xml.writeAttribute("skipped", QString::number(file.excluded));
    xml.writeAttribute("time", Seconds(file.seconds));
    xml.writeAttribute("timestamp", QString::fromStdString(IsoTime(file.started)));
    std::set<QString> names;
    for (const CTestedLink& link : file.links) {
        WriteTestCase(xml, file, link, UniqueName(names, XmlText(link.link)));
    }
    if (file.unreadable) {
        WriteUnreadableCase(xml, file);
    }
    xml.writeEndElement();
}

}  // namespace

int CRunRecord::FilesRead() const {
    return static_cast<int>(std::count_if(files.begin(), files.end(),
                                          [](const CReadFile& file) { return !file.unreadable; }));
}

int CRunRecord::LinksTested() const {
    return std::accumulate(files.begin(), files.end(), 0, [](int sum, const CReadFile& file) {
        return sum + static_cast<int>(file.links.size());
    });
}

std::string IsoTime(std::time_t moment) {
    std::tm utc{};
    gmtime_r(&moment, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string JsonReport(const CResultRows& rows, const CRunRecord& run) {
    QJsonArray rowArray;
    for (int row = 0; row < rows.RowCount(); ++row) {
        rowArray.append(RowObject(rows, row));
    }
    QJsonObject report;
    report.insert("run", RunObject(rows, run));
    report.insert("rows", rowArray);
    return WithControlsEscaped(QJsonDocument(report).toJson(QJsonDocument::Indented).toStdString());
}

std::string JunitReport(const CRunRecord& run) {
    int tests = 0;
    int failures = 0;
    int errors = 0;
    for (const CReadFile& file : run.files) {
        tests += Tests(file);
        failures += Failures(file);
        errors += Errors(file);
    }
    QByteArray text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("testsuites");
    xml.writeAttribute("name", "linkvet-check");
    xml.writeAttribute("tests", QString::number(tests));
    xml.writeAttribute("failures", QString::number(failures));
    xml.writeAttribute("errors", QString::number(errors));
    xml.writeAttribute("time", Seconds(std::difftime(run.ended, run.started)));
    WriteRunSuite(xml, run);
    for (const CReadFile& file : run.files) {
        WriteTestSuite(xml, file);
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return text.toStdString();
}

bool WriteMachineReport(std::FILE* file, CReportFormat format, const CResultRows& rows,
                        const CRunRecord& run) {
    const std::string text =
        format == CReportFormat::Json ? JsonReport(rows, run) : JunitReport(run);
    std::fwrite(text.data(), 1, text.size(), file);
    return std::fflush(file) == 0 && std::ferror(file) == 0;
}
