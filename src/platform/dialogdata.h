#pragma once

#include <QLineEdit>
#include <QSize>
#include <string>
#include <vector>

class QDialog;
class QFont;
class QPushButton;

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

// An edit field for a file name, with a typing limit as EM_LIMITTEXT sets it: typing and
// pasting stop at the limit, but a longer name that the program puts in is kept whole, so that
// OK can refuse it instead of silently cutting a path short. A name the user leaves alone
// comes back as the very bytes that went in, even when they are not valid UTF-8.
class CFileNameEdit : public QLineEdit {
public:
    explicit CFileNameEdit(int limit, QWidget* parent = nullptr);

    void SetFileName(const std::string& bytes);
    std::string FileName() const;
    bool IsWithinLimit() const { return text().size() <= m_limit; }

private:
    // Never below the current length, so a long text can only get shorter.
    void FitMaxLength(qsizetype length);

    int m_limit;
    std::string m_shownBytes;
    QString m_shownText;
};

// A failed data exchange, as the platform's validation reports it: the message, then the focus
// in the offending field with its text selected, so the user can put it right at once.
void FailField(QWidget& field, const std::string& message);

// The layout of a dialog that asks for a path, 347 units wide: the path (280 units) and its
// Browse button on top, the options stacked below on the left, OK and Cancel at the bottom
// right.
void LayOutPathDialog(QDialog& dialog, QWidget& path, QPushButton& browse,
                      const std::vector<QWidget*>& options, QPushButton& ok, QPushButton& cancel);

// F1 in the dialog opens its help topic; Shift+F1 then a click explains a control (its What's
// This text), as in the main window.
void SetDialogHelp(QDialog& dialog, unsigned topic);

// The message for a text over its limit.
std::string TooLongMessage(int limit);

}  // namespace platform
