#include "LayoutFont.h"

#include <QWidget>

namespace platform {

QFont LayoutFont(const QFont& desktop) {
    QFont font = desktop;
    font.setPointSize(8);
    return font;
}

void SetLayoutFont(QWidget* window) {
    window->setFont(LayoutFont(window->font()));
}

} // namespace platform
