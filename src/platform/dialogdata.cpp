#include "platform/dialogdata.h"

#include <QBoxLayout>
#include <QDialog>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QPushButton>
#include <QShortcut>
#include <QWhatsThis>
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

void LayOutPathDialog(QDialog& dialog, QWidget& path, QPushButton& browse,
                      const std::vector<QWidget*>& options, QPushButton& ok, QPushButton& cancel) {
    const CDialogUnits units(dialog.font());
    path.setMinimumWidth(units.X(280));
    for (QPushButton* button : {&browse, &ok, &cancel}) {
        button->setMinimumWidth(units.X(50));
    }

    auto* top = new QHBoxLayout;
    top->setSpacing(units.X(5));
    top->addWidget(&path, 1);
    top->addWidget(&browse);

    auto* stacked = new QVBoxLayout;
    stacked->setSpacing(units.Y(3));
    for (QWidget* option : options) {
        stacked->addWidget(option);
    }

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(units.X(10));
    bottom->addLayout(stacked, 1);
    bottom->addWidget(&ok, 0, Qt::AlignBottom);
    bottom->addWidget(&cancel, 0, Qt::AlignBottom);

    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(units.X(5), units.Y(8), units.X(7), units.Y(5));
    layout->setSpacing(units.Y(5));
    layout->addLayout(top);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void SetDialogHelp(QDialog& dialog, unsigned topic) {
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), &dialog);
    QObject::connect(help, &QShortcut::activated, &dialog, [topic] { WinHelp(topic); });
    auto* whatsThis = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1), &dialog);
    QObject::connect(whatsThis, &QShortcut::activated, &dialog,
                     [] { QWhatsThis::enterWhatsThisMode(); });
}

}  // namespace platform
