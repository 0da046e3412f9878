#include "WindowParts.h"

#include <QPushButton>
#include <QStyle>
#include <QWidget>

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

int FittingWidth(const QPushButton* button, int layoutWidth) {
    const QStyle* style = button->style();
    const int needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width() +
                       style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                       2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    return std::max(layoutWidth, needed);
}
