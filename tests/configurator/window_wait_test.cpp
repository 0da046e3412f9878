// The window while it waits for the port thread: the thread is held inside a turn until
// the window's own timer lets it go, so the wait can only end if the window's timers
// and repaints are served meanwhile; what the user does meanwhile is never taken.
#include "BoxHandOver.h"
#include "ConProcess.h"
#include "ConnectRecorders.h"
#include "Main.h"
#include "MemorySettings.h"
#include "OutsideClose.h"
#include "PortThread.h"
#include "QtMessageBox.h"
#include "TermSignals.h"
#include "WindowCloser.h"
#include "WindowWait.h"
#include "link/LinkFixtures.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <thread>

namespace {

constexpr int64_t kBound = 30000; // real ms; only a wait that is never served runs into it

class PaintCounter : public QWidget {
public:
    using QWidget::QWidget;
    int Paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++Paints; }
};

// Counts the events of one type that reach the object it watches.
class TEventCounter : public QObject {
public:
    TEventCounter(QEvent::Type type, int& count, QObject* parent)
        : QObject(parent), Type(type), Count(count) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == Type)
            ++Count;
        return false;
    }

private:
    QEvent::Type Type;
    int& Count;
};

bool BusyCursorShown() {
    return QApplication::overrideCursor() &&
           QApplication::overrideCursor()->shape() == Qt::BusyCursor;
}

class WindowWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock_.OnSleep = [this](int64_t) {
            std::unique_lock lock(m_);
            if (!holding_)
                return;
            ++held_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !holding_; });
            lock.unlock();
            if (AfterRelease)
                AfterRelease();
        };
        thread_.SetWaitHook(&wait_);
        thread_.Setup(TPortSettings{}, 100);
        thread_.Resume();
        ASSERT_TRUE(WaitHeld(1));
    }
    void TearDown() override {
        Release();
        thread_.Stop();
    }

    void Release() {
        std::lock_guard lock(m_);
        holding_ = false;
        changed_.notify_all();
    }
    // Until so many threads are held inside their turns.
    bool WaitHeld(int threads) {
        std::unique_lock lock(m_);
        return changed_.wait_for(lock, std::chrono::milliseconds(kBound),
                                 [&] { return held_ >= threads; });
    }
    // Lets the threads go after the bound, should the window never do it: a wait without
    // a bound that serves nothing then fails the test instead of hanging it.
    std::thread ReleaseAtBound() {
        return std::thread([this] {
            std::unique_lock lock(m_);
            changed_.wait_for(lock, std::chrono::milliseconds(kBound),
                              [this] { return !holding_; });
            holding_ = false;
            changed_.notify_all();
        });
    }
    // The wait of card mode: the thread is to pause after the turn it is held in.
    bool WaitForPause() {
        thread_.SetState(ptsPaused);
        return thread_.WaitReached(ptsPaused, kBound);
    }
    // Runs step once per timer tick while the window waits, until it returns true; then
    // lets the thread go.
    void EachTick(std::function<bool()> step) {
        ticker_.setInterval(0);
        QObject::connect(&ticker_, &QTimer::timeout, [this, step = std::move(step)] {
            if (step()) {
                ticker_.stop();
                Release();
            }
        });
        ticker_.start();
    }

    // The port thread, once let go, raises a refused write's box through the hand-over;
    // answer gets the box's answer.
    void RaiseBoxOnRelease(platform::MsgResult& answer) {
        thread_.SetBoxHandOver(&boxes_);
        AfterRelease = [this, &answer] {
            answer = boxes_.Show("Не получилось записать региср!", "Внимание",
                                 platform::MsgButtons::Ok, platform::MsgIcon::None);
        };
    }
    // Hands answer the message box on screen, once per timer tick while there is one.
    void OnEachBox(std::function<void(QMessageBox*)> answer) {
        answering_.setInterval(0);
        QObject::connect(&answering_, &QTimer::timeout, [answer = std::move(answer)] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                answer(box);
        });
        answering_.start();
    }

    std::function<void()> AfterRelease; // the port thread's, once it is let go

    TWindowWait wait_;
    QTimer ticker_;
    QTimer answering_;
    HookedClock clock_;
    LoggingLineFactory lines_{clock_};
    std::mutex m_;
    std::condition_variable changed_;
    bool holding_ = true; // the threads stay inside their sleeps
    int held_ = 0;        // threads that have got there
    platform::QtMessageBox boxWindow_;
    TBoxHandOver boxes_{boxWindow_}; // outlives the thread that hands boxes over
    TPortThread thread_{clock_, lines_.Factory()};
};

TEST_F(WindowWaitTest, RepaintsAndTimersAreServedAndUserInputIsDropped) {
    QWidget window;
    window.resize(300, 200);
    auto* canvas = new PaintCounter(&window);
    canvas->setGeometry(0, 0, 300, 150);
    auto* button = new QPushButton("Запуск", &window);
    button->setGeometry(0, 150, 100, 30);
    auto* action = new QAction(&window);
    action->setShortcut(Qt::CTRL | Qt::Key_G);
    window.addAction(action);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QCoreApplication::processEvents();

    int clicks = 0;
    int shortcuts = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    QObject::connect(action, &QAction::triggered, [&] { ++shortcuts; });
    // Outside a wait the window takes all of it.
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
    ASSERT_EQ(clicks, 1);
    ASSERT_EQ(shortcuts, 1);

    const int paintsBefore = canvas->Paints;
    int ticks = 0;
    bool busyCursor = false;
    bool painted = false;
    EachTick([&] {
        if (++ticks == 1) {
            busyCursor = BusyCursorShown();
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::mouseDClick(button, Qt::LeftButton);
            QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
            QTest::keyClick(button, Qt::Key_Space);
            canvas->update();
            return false;
        }
        painted = canvas->Paints > paintsBefore;
        return painted;
    });
    EXPECT_TRUE(WaitForPause());

    EXPECT_GE(ticks, 2);
    EXPECT_TRUE(painted);
    EXPECT_TRUE(busyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // Nothing of it comes through after the wait either.
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(shortcuts, 1);
    // The window takes input again.
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
}

// Reports of the link reach the dialog during the wait, except the one that would show
// it modally: its loop would take input, and its link is the one being stopped.
TEST_F(WindowWaitTest, LinkReportsAreServedButDoNotShowTheDialog) {
    RecordingConnectOwner owner;
    TConnectProcessForm dialog(owner);
    TConnectProgress show;
    show.Code = lnkShow;
    TConnectProgress status;
    status.Code = lnkStatus;
    status.MessageText = "Поиск устройства...";
    TConnectProgress cycle;
    cycle.Code = lnkCycle;
    bool shown = false;
    EachTick([&] {
        if (owner.Calls.isEmpty()) {
            for (const TConnectProgress& p : {show, status, cycle})
                dialog.Link().Post(p);
            return false;
        }
        shown = dialog.isVisible();
        if (shown)
            dialog.done(QDialog::Rejected); // else the wait would stay in its modal loop
        return true;
    });
    EXPECT_TRUE(WaitForPause());
    EXPECT_FALSE(shown);
    EXPECT_EQ(dialog.MesageLabel->text(), "Поиск устройства...");
    EXPECT_EQ(owner.Calls, QStringList{"refresh"});
}

// A message box that the port thread hands over during the wait is the one window that
// takes input: else neither thread could go on.
TEST_F(WindowWaitTest, ABoxHandedOverDuringTheWaitIsAnswered) {
    platform::MsgResult answer = platform::MsgResult::Cancel;
    RaiseBoxOnRelease(answer);
    int boxTicks = 0;
    OnEachBox([&](QMessageBox* box) {
        if (++boxTicks == 1)
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        else
            box->done(QMessageBox::Cancel); // the click was dropped: end the test
    });
    EachTick([] { return true; });
    EXPECT_TRUE(WaitForPause());
    EXPECT_EQ(answer, platform::MsgResult::Ok);
    EXPECT_EQ(boxTicks, 1);
}

// A box that the port thread hands over while the window is served for the thread's end
// is answered Cancel unseen, as when nothing is served: its link is going away.
TEST_F(WindowWaitTest, ABoxHandedOverWhileTheThreadEndsIsCancelledUnseen) {
    platform::MsgResult answer = platform::MsgResult::Ok;
    RaiseBoxOnRelease(answer);
    AfterRelease = [raise = AfterRelease] {
        // Once the window thread is back in its wait, which the box then wakes.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        raise();
    };
    int boxesSeen = 0;
    OnEachBox([&](QMessageBox* box) {
        ++boxesSeen;
        box->done(QMessageBox::Ok);
    });
    int ticks = 0;
    EachTick([&] { return ++ticks == 2; });
    thread_.StopServed();
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(answer, platform::MsgResult::Cancel);
    EXPECT_EQ(boxesSeen, 0);
}

// A close from outside during the wait, the window manager's or an end signal's: the
// window stays while the wait runs (the project must not go under it) and closes once it
// is over.
class WindowWaitClose : public WindowWaitTest, public ::testing::WithParamInterface<TCloseFrom> {};

TEST_P(WindowWaitClose, TheWindowClosesOnceTheWaitIsOver) {
    QTemporaryDir dir;
    MemorySettings store;
    TQeldForm form(TQeldFormSetup{&store, dir.path()});
    TOutsideClose outside(form);
    form.show();
    thread_.SetWaitHook(&form.WindowWait());
    int ticks = 0;
    bool openDuringWait = false;
    EachTick([&] {
        if (++ticks == 1) {
            outside.Ask(GetParam());
            return false;
        }
        openDuringWait = form.isVisible();
        // A close that is dropped is never asked: the wait ends all the same.
        return form.WindowWait().CloseAsked() || ticks == 100;
    });
    EXPECT_TRUE(WaitForPause());
    EXPECT_TRUE(form.WindowWait().CloseAsked());
    EXPECT_TRUE(openDuringWait);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
}

INSTANTIATE_TEST_SUITE_P(From, WindowWaitClose,
                         ::testing::Values(TCloseFrom::WindowManager, TCloseFrom::EndSignal),
                         ::testing::PrintToStringParamName());

// The project file the main window opens: no identification, so no dialog shows.
const QByteArray kProject = R"(<Device Name="Прибор" NetAddr="210">
  <Packet ID="P1"><Register ID="R1" Addr="1"/></Packet>
  <Chanal ID="C1" Name="Первый"><Register>R1</Register></Chanal>
  <Screen><VItem Type="Chanal"><Chanal>C1</Chanal></VItem></Screen>
</Device>
)";

class ChosenFile : public TQeldFileDialogs {
public:
    QString File;
    QString RunOpenDialog() override { return File; }
    QString RunSaveDialog() override { return File; }
};

// The main window on the fixture's link, with the project file to open.
struct ProjectWindow {
    explicit ProjectWindow(TProjectLinkParts parts) {
        QFile file(dir.filePath("project.xml"));
        written = file.open(QIODevice::WriteOnly) && file.write(kProject) == kProject.size();
        file.close();
        form.SetForms({nullptr, &dialog, nullptr, nullptr});
        files.File = file.fileName();
        form.SetFileDialogs(&files);
        form.SetLinkParts(parts);
    }

    QTemporaryDir dir;
    MemorySettings store;
    TQeldForm form{TQeldFormSetup{&store, dir.path()}};
    TConnectProcessForm dialog{form};
    ChosenFile files;
    bool written = false;
};

// Closing a project whose thread is inside a turn: the window is served until the
// thread has ended, with the project whole meanwhile; then the project goes. The
// program's own close that comes meanwhile is not lost: the window closes afterwards.
TEST_F(WindowWaitTest, ClosingAProjectServesTheWindowUntilItsThreadHasEnded) {
    ProjectWindow window({&clock_, lines_.Factory()});
    ASSERT_TRUE(window.written);
    TQeldForm& form = window.form;
    auto* canvas = new PaintCounter(form.MainPanel);
    canvas->setGeometry(0, 0, 50, 50);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.MI_FileOpenClick();
    ASSERT_NE(form.Project(), nullptr);
    canvas->raise(); // above the project's list
    form.MI_ConectGoClick();
    ASSERT_EQ(form.StatusText(1), "Работа");
    ASSERT_TRUE(WaitHeld(2)); // the project's thread as well as the fixture's

    int stops = 0;
    QObject::connect(form.StopToolButton, &QToolButton::clicked, [&] { ++stops; });
    const int paintsBefore = canvas->Paints;
    int ticks = 0;
    bool busyCursor = false;
    bool whole = false;
    bool openDuringWait = false;
    bool painted = false;
    EachTick([&] {
        if (++ticks == 1) {
            busyCursor = BusyCursorShown();
            // What the link's reports reach: the dialog reaches the project through these.
            whole = form.Project() && form.OpenProject();
            QTest::mouseClick(form.StopToolButton, Qt::LeftButton);
            form.close();
            canvas->update();
            return false;
        }
        openDuringWait = form.isVisible();
        painted = canvas->Paints > paintsBefore;
        return painted;
    });
    std::thread guard = ReleaseAtBound();
    form.MI_FileCloseClick();
    guard.join();

    EXPECT_EQ(form.Project(), nullptr);
    EXPECT_GE(ticks, 2);
    EXPECT_TRUE(painted);
    EXPECT_TRUE(busyCursor);
    EXPECT_TRUE(whole);
    EXPECT_TRUE(openDuringWait);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    const QStringList line = lines_.log->Entries();
    EXPECT_TRUE(!line.isEmpty() && line.last().startsWith("close@")); // the port closed last
    QCoreApplication::processEvents();
    EXPECT_EQ(stops, 0);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.StopToolButton->isEnabled());
    QStringList panels;
    for (int i = 0; i < 4; ++i)
        panels << form.StatusText(i);
    EXPECT_EQ(panels, (QStringList{"Нет устройства", "Отключено", "Запросов 0", "Ответов 0"}));
}

// A second end signal while the first one's close waits for the project's port thread
// changes nothing: the close goes on, the project goes once its thread has ended, and
// the window closes once.
TEST_F(WindowWaitTest, ASecondEndSignalDuringTheCloseChangesNothing) {
    ProjectWindow window({&clock_, lines_.Factory()});
    ASSERT_TRUE(window.written);
    TQeldForm& form = window.form;
    platform::TermSignals endSignals;
    platform::CloseOnEndSignals(endSignals, &form);
    int received = 0;
    QObject::connect(&endSignals, &platform::TermSignals::Received, [&] { ++received; });
    int closes = 0;
    form.installEventFilter(new TEventCounter(QEvent::Close, closes, &form));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.MI_FileOpenClick();
    form.MI_ConectGoClick();
    ASSERT_TRUE(WaitHeld(2)); // the project's thread as well as the fixture's

    bool raisedAgain = false;
    bool wholeMeanwhile = false;
    bool secondReported = false; // while the close waits: the close holds nothing up
    EachTick([&] {
        if (!form.WindowWait().Waiting())
            return false; // not yet inside the close
        if (!raisedAgain) {
            raisedAgain = true;
            raise(SIGTERM);
            return false;
        }
        wholeMeanwhile = form.Project() && form.isVisible();
        secondReported = received == 2;
        return secondReported;
    });
    std::thread guard = ReleaseAtBound();
    raise(SIGTERM);
    for (int i = 0; i < 100000 && form.isVisible(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    guard.join();
    QCoreApplication::processEvents();

    EXPECT_TRUE(secondReported);
    EXPECT_EQ(received, 2);
    EXPECT_TRUE(wholeMeanwhile);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.Project(), nullptr);
    EXPECT_EQ(closes, 1);
    const QStringList line = lines_.log->Entries();
    EXPECT_TRUE(!line.isEmpty() && line.last().startsWith("close@")); // the port closed last
}

// Start after Stop waits for the cycle in flight; the program's own close asked meanwhile
// (an end signal's) wins: the Start that waited opens no port and no window, and the
// window closes once the wait is over, its project freed.
TEST_F(WindowWaitTest, ACloseAskedDuringStartsWaitKeepsTheLinkStopped) {
    ProjectWindow window({&clock_, lines_.Factory()});
    ASSERT_TRUE(window.written);
    TQeldForm& form = window.form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.MI_FileOpenClick();
    form.MI_ConectGoClick();
    ASSERT_TRUE(WaitHeld(2)); // the project's thread as well as the fixture's
    form.MI_ConectStopClick();

    bool waited = false;
    EachTick([&] {
        if (!form.WindowWait().Waiting())
            return false;
        waited = true;
        form.close();
        return true;
    });
    const int opensBefore = int(lines_.log->Entries().filter("open@").size());
    std::thread guard = ReleaseAtBound();
    form.MI_ConectGoClick();
    guard.join();
    const QStringList afterStart = lines_.log->Entries();
    for (int i = 0; i < 100 && form.isVisible(); ++i)
        QCoreApplication::processEvents();

    EXPECT_TRUE(waited);
    ASSERT_FALSE(afterStart.isEmpty());
    EXPECT_TRUE(afterStart.last().startsWith("close@")) << afterStart.join(' ').toStdString();
    EXPECT_EQ(afterStart.filter("open@").size(), opensBefore);
    EXPECT_NE(form.StatusText(1), "Работа");
    EXPECT_FALSE(window.dialog.isVisible());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.Project(), nullptr);
}

} // namespace
