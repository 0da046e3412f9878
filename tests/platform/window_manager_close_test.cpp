// The window manager's close of a main window: taken for the window's closer while a modal
// window blocks the window, left to the window otherwise; and the close as X11 sends it.
#include "MessageBox.h"
#include "WindowCloser.h"
#include "WindowManagerClose.h"
#include "XcbWindowClose.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <xcb/xcb.h>

namespace {

using platform::BlockedWindowClose;

constexpr int kBound = 100000; // event-loop passes; only a close that never comes reaches it

// What a modal window up at the close is.
enum class Over { Nothing, Box, OtherWindowsDialog, ClosedBox };

struct TakeCase {
    const char* name;
    Over over;
    bool taken;
};

class WindowManagerCloseTest : public ::testing::TestWithParam<TakeCase> {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        window.show();
        other.show();
    }
    // The window manager's close, from the loop of the modal window that opens next.
    void TakeFromTheNextLoop(const std::function<void()>& then = [] {}) {
        QTimer::singleShot(0, &window, [this, then] {
            taken = blocked.Take();
            then();
        });
    }

    QWidget window;
    QWidget other;
    int asked = 0;
    BlockedWindowClose blocked{&window, [this] { ++asked; }};
    bool taken = false;
};

TEST_P(WindowManagerCloseTest, IsTakenOnlyWhileAModalWindowBlocksTheWindow) {
    switch (GetParam().over) {
    case Over::Nothing:
        taken = blocked.Take();
        break;
    case Over::Box: {
        QMessageBox box(QMessageBox::Question, "", "Сохранить?", QMessageBox::Yes, &window);
        TakeFromTheNextLoop([&] { box.reject(); });
        box.exec();
        break;
    }
    case Over::OtherWindowsDialog: {
        // Modal for its own window only: the window is free.
        QDialog dialog(&other);
        dialog.setWindowModality(Qt::WindowModal);
        TakeFromTheNextLoop([&] { dialog.reject(); });
        dialog.exec();
        break;
    }
    case Over::ClosedBox: {
        QMessageBox box(QMessageBox::Information, "", "Готово", QMessageBox::Ok, &window);
        QTimer::singleShot(0, &box, &QMessageBox::reject);
        box.exec();
        taken = blocked.Take();
        break;
    }
    }
    EXPECT_EQ(taken, GetParam().taken);
    EXPECT_EQ(asked, GetParam().taken ? 1 : 0);
}

const TakeCase kTakeCases[] = {
    {"NothingOver", Over::Nothing, false},
    {"UnderABox", Over::Box, true},
    {"BesideAnotherWindowsDialog", Over::OtherWindowsDialog, false},
    {"AfterTheBox", Over::ClosedBox, false},
};

INSTANTIATE_TEST_SUITE_P(Closes, WindowManagerCloseTest, ::testing::ValuesIn(kTakeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Taken, it is the closer's close: the dialog goes as its close button would, what its
// caller asks next is answered unseen, then the window closes.
TEST(WindowManagerClose, UnderADialogClosesAsAnEndSignalDoes) {
    QApplication::setQuitOnLastWindowClosed(false);
    QWidget window;
    window.show();
    platform::WindowCloser closer(&window);
    BlockedWindowClose blocked(&window, [&] { closer.Close(); });
    platform::RecordingMessageBox boxes;
    QDialog dialog(&window);
    bool taken = false;
    QTimer::singleShot(0, &dialog, [&] { taken = blocked.Take(); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(taken);
    EXPECT_EQ(platform::MessageBox("Сохранить?", "", platform::MsgButtons::YesNo),
              platform::MsgResult::No);
    for (int i = 0; i < kBound && window.isVisible(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(boxes.Count(), 0u);
}

// The X11 close: a WM_PROTOCOLS message to the window asking WM_DELETE_WINDOW, sent by
// another client (the window manager) or not.
TEST(WindowManagerClose, TheX11CloseIsKnownByWindowTypeAndProtocol) {
    constexpr uint32_t kWindow = 0x200006, kProtocols = 301, kDelete = 302, kTakeFocus = 303;
    const platform::XcbCloseAtoms atoms{kProtocols, kDelete};
    const auto message = [&](uint8_t code, uint32_t window, uint8_t format, uint32_t type,
                             uint32_t protocol) {
        xcb_client_message_event_t event = {};
        event.response_type = code;
        event.format = format;
        event.window = window;
        event.type = type;
        event.data.data32[0] = protocol;
        return event;
    };
    const struct {
        const char* what;
        xcb_client_message_event_t event;
        bool close;
    } cases[] = {
        {"the close", message(XCB_CLIENT_MESSAGE, kWindow, 32, kProtocols, kDelete), true},
        {"sent by another client",
         message(XCB_CLIENT_MESSAGE | 0x80, kWindow, 32, kProtocols, kDelete), true},
        {"another window's", message(XCB_CLIENT_MESSAGE, kWindow + 1, 32, kProtocols, kDelete),
         false},
        {"another protocol", message(XCB_CLIENT_MESSAGE, kWindow, 32, kProtocols, kTakeFocus),
         false},
        {"another message type", message(XCB_CLIENT_MESSAGE, kWindow, 32, kDelete, kDelete), false},
        {"bytes, not numbers", message(XCB_CLIENT_MESSAGE, kWindow, 8, kProtocols, kDelete), false},
        {"not a client message", message(XCB_PROPERTY_NOTIFY, kWindow, 32, kProtocols, kDelete),
         false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::IsWindowManagerClose(&c.event, kWindow, atoms), c.close) << c.what;
    // Atoms the server did not give match nothing.
    const auto unnamed = message(XCB_CLIENT_MESSAGE, kWindow, 32, XCB_ATOM_NONE, XCB_ATOM_NONE);
    EXPECT_FALSE(platform::IsWindowManagerClose(&unnamed, kWindow, {}));
}

} // namespace
