#include "WindowWait.h"

#include "LinkWindows.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace {

enum class TInput { None, AtWidget, Anywhere };

TInput InputKind(const QEvent* event) {
    switch (event->type()) {
    // The window passes these on to a widget and keeps its own account of buttons,
    // grabs and drags: they are dropped at the widget, so that the account stays right.
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return TInput::AtWidget;
    // The Ctrl + wheel zoom counts wheel turns at the window already.
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
        return TInput::Anywhere;
    default:
        return TInput::None;
    }
}

// A modal window opened during the wait: what the port thread asked the user.
bool InModalWindow(QObject* watched) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return false;
    if (watched->isWidgetType())
        return static_cast<QWidget*>(watched)->window() == modal;
    return watched->isWindowType() && modal->windowHandle() == watched;
}

bool ShowsDialog(const QEvent* event) {
    return event->type() == WM_CONNECTPROGRESS &&
           static_cast<const TConnectProgressEvent*>(event)->Progress.Code == lnkShow;
}

} // namespace

void TWindowWait::BeginWait() {
    if (Depth++ == 0)
        qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::BusyCursor);
}

void TWindowWait::ServeWait() {
    QCoreApplication::processEvents();
}

void TWindowWait::EndWait() {
    QApplication::restoreOverrideCursor();
    if (--Depth > 0)
        return;
    qApp->removeEventFilter(this);
    emit Ended();
}

bool TWindowWait::eventFilter(QObject* watched, QEvent* event) {
    if (ShowsDialog(event))
        return true;
    const TInput input = InputKind(event);
    if (input == TInput::None || (input == TInput::AtWidget && !watched->isWidgetType()) ||
        InModalWindow(watched))
        return false;
    // A widget that overrides a shortcut takes the key itself, so no shortcut fires.
    event->accept();
    return true;
}
