// The end endSignals as a report from the window thread's event loop, and the program's own
// close of its main window with modal windows open over it.
#include "MessageBox.h"
#include "TermSignals.h"
#include "WindowCloser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using platform::TermSignals;
using platform::WindowCloser;

constexpr int kBound = 100000; // event-loop passes; only a report that never comes reaches it

// Serves the event loop until cond holds, boundedly.
bool ServeUntil(const std::function<bool()>& cond) {
    for (int i = 0; i < kBound && !cond(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return cond();
}

// The reports of one instance, each checked to come on the window thread.
class TermSignalsTest : public ::testing::TestWithParam<int> {
protected:
    TermSignalsTest() {
        QObject::connect(&endSignals, &TermSignals::Received, [this](int signal) {
            EXPECT_EQ(QThread::currentThread(), qApp->thread());
            received.push_back(signal);
        });
    }
    bool Reported() {
        return ServeUntil([this] { return !received.empty(); });
    }

    TermSignals endSignals;
    std::vector<int> received;
};

// The handler does nothing but note the signal: the report comes from the event loop,
// and errno of the code the signal interrupted is as it was.
TEST_P(TermSignalsTest, IsReportedFromTheEventLoopWithErrnoKept) {
    errno = EDOM;
    ASSERT_EQ(raise(GetParam()), 0);
    EXPECT_EQ(errno, EDOM);
    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(Reported());
    EXPECT_EQ(received, std::vector<int>{GetParam()});
}

// The port thread, or any other, may be the one the signal interrupts.
TEST_P(TermSignalsTest, ReachesTheWindowThreadFromAnotherThread) {
    std::thread([] { raise(GetParam()); }).join();
    EXPECT_TRUE(Reported());
    EXPECT_EQ(received, std::vector<int>{GetParam()});
}

INSTANTIATE_TEST_SUITE_P(EndSignals, TermSignalsTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

sighandler_t HandlerOf(int signal) {
    struct sigaction action = {};
    sigaction(signal, nullptr, &action);
    return action.sa_handler;
}

// A program started with a signal ignored (nohup) keeps it ignored; at the end the
// handlers that were there before are back.
TEST(TermSignals, KeepsAnIgnoredSignalAndGivesTheHandlersBack) {
    const sighandler_t hupBefore = signal(SIGHUP, SIG_IGN);
    {
        TermSignals endSignals;
        EXPECT_EQ(HandlerOf(SIGHUP), SIG_IGN);
        EXPECT_NE(HandlerOf(SIGTERM), SIG_DFL);
        EXPECT_NE(HandlerOf(SIGINT), SIG_DFL);
    }
    EXPECT_EQ(HandlerOf(SIGHUP), SIG_IGN);
    EXPECT_EQ(HandlerOf(SIGTERM), SIG_DFL);
    EXPECT_EQ(HandlerOf(SIGINT), SIG_DFL);
    signal(SIGHUP, hupBefore);
}

// A program's end takes the signals in until the process has gone: the handlers stay
// once the instance has, and the signals end nothing; an ignored one stays ignored.
TEST(TermSignals, KeptUntilExitTheyEndNothingAfterTheInstance) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGHUP, SIG_IGN);
        {
            TermSignals endSignals;
            endSignals.KeepUntilExit();
        }
        const bool hupIgnored = HandlerOf(SIGHUP) == SIG_IGN;
        for (int i = 0; i < 3; ++i)
            for (int sent : {SIGTERM, SIGINT, SIGHUP})
                raise(sent);
        _exit(hupIgnored ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A main window that notes its closes.
class Window : public QWidget {
public:
    QStringList* Log = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override {
        *Log << "window closed";
        event->accept();
    }
};

// A dialog that refuses its close button, as one whose only way out is its buttons.
class Stubborn : public QDialog {
public:
    using QDialog::QDialog;

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

class WindowCloserTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        window.Log = &log;
        window.show();
        // A modal loop that nothing closes fails the test instead of hanging it.
        watchdog.setInterval(30000);
        QObject::connect(&watchdog, &QTimer::timeout, [this] {
            log << "watchdog";
            while (QWidget* top = QApplication::activePopupWidget()
                                      ? QApplication::activePopupWidget()
                                      : QApplication::activeModalWidget())
                top->hide();
        });
        watchdog.start();
    }
    // Asks for the close from inside the modal loop that opens next.
    void CloseFromTheNextLoop() { QTimer::singleShot(0, &closer, &WindowCloser::Close); }
    bool WindowClosed() {
        return ServeUntil([&] { return !window.isVisible(); });
    }

    QStringList log;
    QTimer watchdog;
    Window window;
    WindowCloser closer{&window};
};

// Each modal window is answered as its close button (a message box: its Escape key)
// would answer it, and its caller goes on, before the main window closes.
TEST_F(WindowCloserTest, ModalWindowsAreClosedOneByOneBeforeTheWindow) {
    CloseFromTheNextLoop();
    QMessageBox box(QMessageBox::Question, "", "Сохранить?", QMessageBox::Yes | QMessageBox::No,
                    &window);
    const int answer = box.exec();
    log << (answer == QMessageBox::No ? "box: No" : "box: other");
    // Its caller then opens another, which goes the same way.
    Stubborn dialog(&window);
    dialog.setModal(true);
    log << (dialog.exec() == QDialog::Rejected ? "dialog: rejected" : "dialog: accepted");
    ASSERT_TRUE(WindowClosed());
    EXPECT_EQ(log.join(" | ").toStdString(), "box: No | dialog: rejected | window closed");
}

// Closing a modal window may open another one inside that close: it is closed too.
TEST_F(WindowCloserTest, AWindowOpenedByAClosingOneIsClosedToo) {
    CloseFromTheNextLoop();
    QDialog outer(&window);
    QObject::connect(&outer, &QDialog::rejected, [&] {
        QMessageBox inner(QMessageBox::Warning, "", "Отключено", QMessageBox::Ok, &window);
        log << (inner.exec() == QMessageBox::Ok ? "inner: Ok" : "inner: other");
    });
    outer.exec();
    log << "outer returned";
    ASSERT_TRUE(WindowClosed());
    EXPECT_EQ(log.join(" | ").toStdString(), "inner: Ok | outer returned | window closed");
}

// From the close's start on, a box that the caller of a closed window asks next is
// answered unseen, as its close button would answer it: the close asks nothing more.
TEST_F(WindowCloserTest, WhatAClosedWindowsCallerAsksNextIsAnsweredUnseen) {
    platform::RecordingMessageBox boxes;
    CloseFromTheNextLoop();
    QDialog dialog(&window);
    dialog.exec();
    EXPECT_EQ(platform::MessageBox("Сохранить?", "", platform::MsgButtons::YesNo),
              platform::MsgResult::No);
    ASSERT_TRUE(WindowClosed());
    EXPECT_EQ(boxes.Count(), 0u);
}

// An open menu goes as Escape would take it away.
TEST_F(WindowCloserTest, AnOpenMenuIsClosedFirst) {
    CloseFromTheNextLoop();
    QMenu menu(&window);
    menu.addAction("Открыть");
    log << (menu.exec(window.mapToGlobal(QPoint(5, 5))) ? "menu: chosen" : "menu: none");
    ASSERT_TRUE(WindowClosed());
    EXPECT_EQ(log.join(" | ").toStdString(), "menu: none | window closed");
}

// Asked again while the close is on its way, or after it, nothing more happens.
TEST_F(WindowCloserTest, AskedAgainItClosesOnce) {
    QTimer::singleShot(0, &closer, [&] {
        closer.Close();
        closer.Close();
    });
    QMessageBox box(QMessageBox::Information, "", "Готово", QMessageBox::Ok, &window);
    box.exec();
    ASSERT_TRUE(WindowClosed());
    closer.Close();
    QCoreApplication::processEvents();
    EXPECT_EQ(log.join(" | ").toStdString(), "window closed");
}

} // namespace
