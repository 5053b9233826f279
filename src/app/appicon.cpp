#include "app/appicon.h"

#include <QPixmap>

// Each drawing at its pixel sizes, whatever the screen's scale: a screen scaled twice asks for
// the 32-pixel one where it shows 16 points.
QIcon LinkvetIcon() {
    const QIcon small(QStringLiteral(":/linkvet-16.svg"));
    const QIcon full(QStringLiteral(":/linkvet.svg"));
    QIcon icon;
    icon.addPixmap(small.pixmap(QSize(16, 16), 1.0));
    for (const int size : {24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(full.pixmap(QSize(size, size), 1.0));
    }
    return icon;
}
