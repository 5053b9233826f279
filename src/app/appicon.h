#pragma once

#include <QIcon>

// The program's icon: the full drawing from 24 pixels up, and at 16 pixels a drawing of its
// own, since the full one shrunk that far is a blur. Both come from the program's resources;
// drawing them needs Qt's SVG plugins (Debian's libqt6svg6).
QIcon LinkvetIcon();
