#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QLabel>
#include <string>

// Marks a link text as a mail address: the author's mail user name and the at sign.
inline constexpr const char* kMailMarker = "linkvet@";

// A text that is a hyperlink: drawn underlined in blue, purple once visited, with the hand
// cursor while the pointer is over it. A click opens the target with the user's default
// handler, as do Enter and Space once Tab has brought the focus to it. The visited flag belongs
// to the owner, so it outlives the control.
class CStaticLink : public QLabel {
public:
    explicit CStaticLink(QWidget* parent = nullptr);

    QColor m_colorUnvisited{0, 0, 255};
    QColor m_colorVisited{128, 0, 128};
    int* m_pVisited = nullptr;
    // The pointer is over the link and the hand cursor shows.
    int m_bCaptured = 0;
    // Set for a second after a click, so the hand is not taken again at once.
    int m_launching = 0;
    // The target; taken from the text at the first click when empty.
    std::string m_link;

protected:
    void OnClick();
    void OnMouseMove(const QPoint& at);

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    static constexpr int kLaunchMillis = 1000;

    // The colour the link is drawn in now.
    QColor LinkColor() const;

    QBasicTimer m_launchTimer;
};

// The target a link opens: "mailto:" put in front of a mail address that lacks it.
std::string LinkTarget(const std::string& link);
