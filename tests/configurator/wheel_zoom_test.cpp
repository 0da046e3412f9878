// The application-wide Ctrl + wheel hook: which turns zoom, by how many steps, and that
// the wheel still reaches the widget under the mouse.
#include "WheelZoom.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

namespace {

TEST(WheelZoom, CtrlAloneZoomsOneStepPerNotch) {
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    struct Case {
        int delta;
        Qt::KeyboardModifiers modifiers;
        Qt::MouseButtons buttons;
        int steps;
    } cases[] = {
        {120, ctrl, Qt::NoButton, 1},
        {-120, ctrl, Qt::NoButton, -1},
        {240, ctrl, Qt::NoButton, 2},
        {120, ctrl | Qt::AltModifier, Qt::NoButton, 1},
        {120, ctrl | Qt::ShiftModifier, Qt::NoButton, 0},
        {120, ctrl, Qt::LeftButton, 0},
        {120, ctrl, Qt::MiddleButton, 0},
        {120, Qt::NoModifier, Qt::NoButton, 0},
        {120, Qt::ShiftModifier, Qt::NoButton, 0},
        {0, ctrl, Qt::NoButton, 0},
    };
    for (const Case& c : cases) {
        TWheelZoom zoom;
        EXPECT_EQ(zoom.Feed(c.delta, c.modifiers, c.buttons), c.steps)
            << c.delta << " " << int(c.modifiers) << " " << int(c.buttons);
    }
}

TEST(WheelZoom, ANotchInPartsZoomsOnceAndADirectionChangeStartsAfresh) {
    TWheelZoom zoom;
    int steps = 0;
    for (int i = 0; i < 8; ++i)
        steps += zoom.Feed(15, Qt::ControlModifier, Qt::NoButton);
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(zoom.Feed(60, Qt::ControlModifier, Qt::NoButton), 0);
    EXPECT_EQ(zoom.Feed(-60, Qt::ControlModifier, Qt::NoButton), 0);
    EXPECT_EQ(zoom.Feed(-60, Qt::ControlModifier, Qt::NoButton), -1);
    // Letting go of Ctrl drops the part turned so far.
    EXPECT_EQ(zoom.Feed(60, Qt::ControlModifier, Qt::NoButton), 0);
    EXPECT_EQ(zoom.Feed(60, Qt::NoModifier, Qt::NoButton), 0);
    EXPECT_EQ(zoom.Feed(60, Qt::ControlModifier, Qt::NoButton), 0);
}

// A widget that counts the wheel events it gets.
class WheelTarget : public QWidget {
public:
    using QWidget::QWidget;
    int Wheels = 0;

protected:
    void wheelEvent(QWheelEvent* event) override {
        ++Wheels;
        event->accept();
    }
};

// One turn as the window system delivers it: to the window, which passes it on.
void Turn(QWidget& window, int delta, Qt::KeyboardModifiers modifiers) {
    QWheelEvent event(QPointF(20, 20), QPointF(20, 20), QPoint(), QPoint(0, delta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window.windowHandle(), &event);
}

TEST(WheelZoomHook, SeesEveryWindowOnceAndLetsTheWheelGoOn) {
    QList<int> steps;
    TWheelZoomHook hook([&steps](int step) { steps.append(step); });
    qApp->installEventFilter(&hook);

    QWidget main;
    main.resize(200, 200);
    auto* list = new WheelTarget(&main);
    list->setGeometry(0, 0, 200, 200);
    main.show();
    QDialog settings(&main);
    settings.resize(100, 100);
    auto* field = new WheelTarget(&settings);
    field->setGeometry(0, 0, 100, 100);
    settings.show();

    Turn(main, 120, Qt::ControlModifier);
    Turn(main, -120, Qt::ControlModifier);
    Turn(settings, 120, Qt::ControlModifier);
    Turn(main, 120, Qt::ControlModifier | Qt::ShiftModifier);
    Turn(main, 120, Qt::NoModifier);
    EXPECT_EQ(steps, (QList<int>{1, -1, 1}));
    EXPECT_EQ(list->Wheels, 4);
    EXPECT_EQ(field->Wheels, 1);
    qApp->removeEventFilter(&hook);
}

} // namespace
