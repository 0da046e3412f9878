#pragma once
// The configurator's windows are laid out for an 8-point font; the desktop's own family
// stands in for the layout's.
#include <QFont>
#include <QWidget>

inline void SetLayoutFont(QWidget* window) {
    QFont font = window->font();
    font.setPointSize(8);
    window->setFont(font);
}
