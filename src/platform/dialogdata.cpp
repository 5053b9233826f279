#include "platform/dialogdata.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <algorithm>

#include "platform/messagebox.h"

namespace platform {
namespace {

// The sample Windows averages over for a dialog font's character width.
constexpr const char* kWidthSample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    m_baseX = (metrics.horizontalAdvance(QLatin1String(kWidthSample)) / 26 + 1) / 2;
    m_baseY = metrics.height();
}

CFileNameEdit::CFileNameEdit(int limit, QWidget* parent) : QLineEdit(parent), m_limit(limit) {
    setMaxLength(limit);
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { FitMaxLength(text.size()); });
}

void CFileNameEdit::SetFileName(const std::string& bytes) {
    m_shownBytes = bytes;
    m_shownText = QFile::decodeName(QByteArray::fromStdString(bytes));
    FitMaxLength(m_shownText.size());
    setText(m_shownText);
}

std::string CFileNameEdit::FileName() const {
    return text() == m_shownText ? m_shownBytes : QFile::encodeName(text()).toStdString();
}

void CFileNameEdit::FitMaxLength(qsizetype length) {
    const int maxLength = static_cast<int>(std::max<qsizetype>(m_limit, length));
    if (maxLength == this->maxLength()) {
        return;
    }
    // A new maximum puts the text in again, which would move the cursor to its end.
    const int cursor = cursorPosition();
    setMaxLength(maxLength);
    setCursorPosition(cursor);
}

void FailField(QWidget& field, const std::string& message) {
    MessageBox(message, kMbOk | kMbIconExclamation);
    field.setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(&field)) {
        edit->selectAll();
    }
}

std::string TooLongMessage(int limit) {
    return "Enter no more than " + std::to_string(limit) + " characters.";
}

}  // namespace platform
