#include "machinereport.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QXmlStreamWriter>
#include <algorithm>
#include <numeric>

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
    object.insert("files_read", static_cast<qint64>(run.files.size()));
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
    return QString::fromUtf8(Bytes(EscapeControls(bytes)));
}

int Failures(const CReadFile& file) {
    return static_cast<int>(std::count_if(file.links.begin(), file.links.end(),
                                          [](const CTestedLink& link) { return link.reported; }));
}

void WriteTestCase(QXmlStreamWriter& xml, const CReadFile& file, const CTestedLink& link) {
    xml.writeStartElement("testcase");
    xml.writeAttribute("name", XmlText(link.link));
    xml.writeAttribute("classname", XmlText(file.path));
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

void WriteTestSuite(QXmlStreamWriter& xml, const CReadFile& file) {
    xml.writeStartElement("testsuite");
    xml.writeAttribute("name", XmlText(file.path));
    xml.writeAttribute("tests", QString::number(file.links.size()));
    xml.writeAttribute("failures", QString::number(Failures(file)));
    xml.writeAttribute("errors", "0");
    for (const CTestedLink& link : file.links) {
        WriteTestCase(xml, file, link);
    }
    xml.writeEndElement();
}

}  // namespace

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
    int failures = 0;
    for (const CReadFile& file : run.files) {
        failures += Failures(file);
    }
    QByteArray text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("testsuites");
    xml.writeAttribute("name", "linkvet-check");
    xml.writeAttribute("tests", QString::number(run.LinksTested()));
    xml.writeAttribute("failures", QString::number(failures));
    xml.writeAttribute("errors", "0");
    xml.writeAttribute("timestamp", QString::fromStdString(IsoTime(run.started)));
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
