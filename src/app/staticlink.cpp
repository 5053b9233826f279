#include "app/staticlink.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimerEvent>

#include "platform/messagebox.h"

namespace {

constexpr std::string_view kMailtoScheme = "mailto:";

}  // namespace

std::string LinkTarget(const std::string& link) {
    if (link.find(kMailMarker) != std::string::npos && !link.starts_with(kMailtoScheme)) {
        return std::string(kMailtoScheme) + link;
    }
    return link;
}

CStaticLink::CStaticLink(QWidget* parent) : QLabel(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

QColor CStaticLink::LinkColor() const {
    return m_pVisited != nullptr && *m_pVisited == 1 ? m_colorVisited : m_colorUnvisited;
}

// The visited flag may change behind the control's back, so the colour is chosen at every
// drawing.
void CStaticLink::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QFont underlined = font();
    underlined.setUnderline(true);
    painter.setFont(underlined);
    painter.setPen(LinkColor());
    QRect drawn;
    painter.drawText(contentsRect(), static_cast<int>(alignment()), text(), &drawn);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = drawn.adjusted(-1, 0, 1, 0);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void CStaticLink::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            OnClick();
            return;
        default:
            QLabel::keyPressEvent(event);
    }
}

void CStaticLink::OnMouseMove(const QPoint& at) {
    if (m_launching != 0) {
        return;
    }
    const bool inside = rect().contains(at);
    if (m_bCaptured == 0 && inside) {
        m_bCaptured = 1;
        setCursor(Qt::PointingHandCursor);
    } else if (m_bCaptured != 0 && !inside) {
        m_bCaptured = 0;
        setCursor(Qt::ArrowCursor);
    }
}

void CStaticLink::OnClick() {
    if (m_link.empty()) {
        m_link = text().toUtf8().toStdString();
    }
    m_link = LinkTarget(m_link);
    m_bCaptured = 0;
    m_launching = 1;
    m_launchTimer.start(kLaunchMillis, this);
    if (!platform::OpenUrl(m_link)) {
        platform::MessageBeep(0);
        return;
    }
    if (m_pVisited != nullptr) {
        *m_pVisited = 1;
    }
    setCursor(Qt::ArrowCursor);
    update();
}

void CStaticLink::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    OnMouseMove(event->position().toPoint());
}

// Without a mouse capture the pointer leaving is seen here rather than as a move outside.
void CStaticLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    OnMouseMove(QPoint(-1, -1));
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        OnClick();
    }
}

void CStaticLink::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_launchTimer.timerId()) {
        QLabel::timerEvent(event);
        return;
    }
    m_launchTimer.stop();
    m_launching = 0;
}
