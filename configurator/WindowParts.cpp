#include "WindowParts.h"

#include <QFont>
#include <QWidget>

void SetLayoutFont(QWidget* window) {
    QFont font = window->font();
    font.setPointSize(8);
    window->setFont(font);
}

QString DisplayLines(QString text) {
    text.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

void CentreOn(QWidget* dialog, const QWidget* mainWindow) {
    // The window system knows the frame only once the native window exists.
    (void)dialog->winId();
    const QRect m = mainWindow->frameGeometry();
    const QRect f = dialog->frameGeometry();
    dialog->move(m.left() + (m.width() - f.width()) / 2, m.top() + (m.height() - f.height()) / 2);
}
