// Message boxes raised outside the window thread: shown by the window thread from its
// event loop, answered back, or cancelled unseen.
#include "BoxHandOver.h"
#include "MessageBox.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

constexpr int kBound = 30000; // real ms; only a hang runs into it

// The window thread's own boxes: records the text and the thread, answers Retry, and
// may run something while "on screen".
class WindowBoxes : public platform::MessageBoxHandler {
public:
    std::function<void()> WhileShown;
    MsgResult Show(const QString& text, const QString&, MsgButtons, MsgIcon) override {
        shown << text;
        inWindowThread = inWindowThread && std::this_thread::get_id() == window;
        if (WhileShown)
            WhileShown();
        return MsgResult::Retry;
    }
    QStringList shown;
    const std::thread::id window = std::this_thread::get_id();
    bool inWindowThread = true;
};

// The window thread's event loop, made before any object of the hand-over, as the
// program makes it.
QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "box_hand_over_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

class BoxHandOverTest : public ::testing::Test {
protected:
    BoxHandOverTest() { App(); }

    // Shows a box from another thread; handedOver is ready once it waits in the queue.
    std::future<MsgResult> AskFromAnotherThread() {
        handOver->SetWaiterWake([this] {
            if (!signalled) {
                signalled = true;
                handedOver.set_value();
            }
        });
        return std::async(std::launch::async, [this] {
            return handOver->Show("refused", "Внимание", MsgButtons::Ok, MsgIcon::None);
        });
    }
    bool WaitHandedOver() {
        return handedOver.get_future().wait_for(std::chrono::milliseconds(kBound)) ==
               std::future_status::ready;
    }
    static bool Ready(std::future<MsgResult>& f) {
        return f.wait_for(std::chrono::milliseconds(kBound)) == std::future_status::ready;
    }

    WindowBoxes window;
    std::unique_ptr<TBoxHandOver> handOver = std::make_unique<TBoxHandOver>(window);
    std::promise<void> handedOver;
    bool signalled = false; // touched under the hand-over's lock only
};

TEST_F(BoxHandOverTest, TheWindowThreadShowsItsOwnBoxesAtOnce) {
    EXPECT_EQ(handOver->Show("own", "Внимание", MsgButtons::Ok, MsgIcon::None), MsgResult::Retry);
    EXPECT_EQ(window.shown, QStringList{"own"});
}

TEST_F(BoxHandOverTest, TheEventLoopShowsABoxOfAnotherThread) {
    auto answer = AskFromAnotherThread();
    ASSERT_TRUE(WaitHandedOver());
    QEventLoop loop;
    window.WhileShown = [&] { loop.quit(); };
    QTimer::singleShot(kBound, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_TRUE(Ready(answer));
    EXPECT_EQ(answer.get(), MsgResult::Retry);
    EXPECT_EQ(window.shown, QStringList{"refused"});
    EXPECT_TRUE(window.inWindowThread);
    EXPECT_EQ(handOver->Pending(), 0u);
}

TEST_F(BoxHandOverTest, CancelAnswersAWaitingBoxUnseen) {
    auto answer = AskFromAnotherThread();
    ASSERT_TRUE(WaitHandedOver());
    EXPECT_EQ(handOver->Pending(), 1u);
    handOver->CancelPending();
    ASSERT_TRUE(Ready(answer));
    EXPECT_EQ(answer.get(), MsgResult::Cancel);
    EXPECT_TRUE(window.shown.isEmpty());
    handOver->ServePending(); // nothing left to show
    EXPECT_TRUE(window.shown.isEmpty());
}

// The window thread ends the link while the box is on screen (from its nested loop):
// the asking thread goes on at once; the box's later answer is dropped.
TEST_F(BoxHandOverTest, CancelAlsoAnswersABoxOnScreen) {
    auto answer = AskFromAnotherThread();
    ASSERT_TRUE(WaitHandedOver());
    window.WhileShown = [&] {
        handOver->CancelPending();
        EXPECT_TRUE(Ready(answer));
    };
    handOver->ServePending();
    EXPECT_EQ(answer.get(), MsgResult::Cancel);
    EXPECT_EQ(window.shown, QStringList{"refused"});
}

// A box handed over before the program's close began and served after it stays unseen:
// the close asks the user nothing more.
TEST_F(BoxHandOverTest, ABoxServedOnceAQuietCloseHasBegunIsAnsweredUnseen) {
    auto answer = AskFromAnotherThread();
    ASSERT_TRUE(WaitHandedOver());
    platform::QuietClose close;
    close.Begin();
    handOver->ServePending();
    ASSERT_TRUE(Ready(answer));
    EXPECT_EQ(answer.get(), MsgResult::Ok);
    EXPECT_TRUE(window.shown.isEmpty());
    EXPECT_EQ(handOver->Pending(), 0u);
}

TEST_F(BoxHandOverTest, TheEndOfTheHandOverCancelsWhatWaits) {
    auto answer = AskFromAnotherThread();
    ASSERT_TRUE(WaitHandedOver());
    handOver.reset();
    ASSERT_TRUE(Ready(answer));
    EXPECT_EQ(answer.get(), MsgResult::Cancel);
    EXPECT_TRUE(window.shown.isEmpty());
}

} // namespace
