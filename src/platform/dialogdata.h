#pragma once

#include <QLineEdit>
#include <QSize>
#include <string>

class QFont;

namespace platform {

// Dialog-template units in pixels of a font, as MapDialogRect counts them: a horizontal unit
// is a quarter of the font's average character width, a vertical unit an eighth of its height.
// Layouts use them for the sizes the templates gave, so the proportions survive any font.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    int X(int units) const { return units * m_baseX / 4; }
    int Y(int units) const { return units * m_baseY / 8; }
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }

private:
    int m_baseX;
    int m_baseY;
};

// An edit field with a typing limit as EM_LIMITTEXT sets it: typing and pasting stop at the
// limit, but a longer text that the program puts in is kept whole, so that OK can refuse it
// instead of silently cutting a path short.
class CLimitedEdit : public QLineEdit {
public:
    explicit CLimitedEdit(int limit, QWidget* parent = nullptr);

    void SetText(const QString& text);
    bool IsWithinLimit() const { return text().size() <= m_limit; }
    int Limit() const { return m_limit; }

private:
    // Never below the current length, so a long text can only get shorter.
    void FitMaxLength(qsizetype length);

    int m_limit;
};

// A failed data exchange, as the platform's validation reports it: the message, then the focus
// in the offending field with its text selected, so the user can put it right at once.
void FailField(QWidget& field, const std::string& message);

// The message for a text over its limit.
std::string TooLongMessage(int limit);

}  // namespace platform
