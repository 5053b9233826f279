#include "displaytext.h"

#include <QByteArray>
#include <QStringDecoder>

namespace platform {

QString DisplayText(const std::string& bytes) {
    const QByteArray raw =
        QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(raw);
    if (utf8.hasError()) {
        return QString::fromLatin1(raw);
    }
    return text;
}

}  // namespace platform
