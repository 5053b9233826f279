#pragma once

#include <QWidget>

// Dialog units across, in pixels of the widget's font: the dialogs keep the proportions of
// their templates, whatever the font.
inline int DialogUnitsWide(const QWidget& widget, int units) {
    return widget.fontMetrics().averageCharWidth() * units / 4;
}
