#pragma once

#include <QString>
#include <QWidget>

// The control of type T that shows text, found the way a user finds it; null when none does.
template <class T>
T* FindByText(const QWidget& parent, const QString& text) {
    for (T* child : parent.findChildren<T*>()) {
        if (child->text() == text) {
            return child;
        }
    }
    return nullptr;
}
