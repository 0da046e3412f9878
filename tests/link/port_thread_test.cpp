// The port thread on virtual time: its setup rules, the timing of a poll cycle, each
// turn of its state table, and suspend, resume, terminate and the waits of the window
// thread with the real thread running.
#include "BoxHandOver.h"
#include "LinkFixtures.h"
#include "MessageBox.h"
#include "PortThread.h"
#include "WaitHook.h"

#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

using Bytes = std::vector<uint8_t>;
using platform::MsgResult;

namespace {

const Bytes kRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
const Bytes kReply = {0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B};
constexpr int64_t kBound = 30000; // real ms; only a hung thread runs into it

TPortSettings Settings(uint16_t gap = 20) {
    TPortSettings s;
    s.Port = 3;
    s.Speed = 19200;
    s.TimeOut = 50;
    s.Pause = 10;
    s.Gap = gap;
    return s;
}

// Plays the polling master: hands out RequestsPerCycle requests per cycle, taking
// ThinkMs of virtual time for each, and notes when it was asked and what came back.
class ScriptedMaster {
public:
    explicit ScriptedMaster(platform::VirtualClock& clock) : clock_(clock) {
        std::copy(kRequest.begin(), kRequest.end(), buffer_.Tx);
        buffer_.TxLen = static_cast<uint8_t>(kRequest.size());
        buffer_.RxLen = static_cast<uint8_t>(kReply.size());
    }
    int RequestsPerCycle = 0; // -1: never ends a cycle
    int64_t ThinkMs = 0;
    std::function<void(int call)> OnAsk; // call counts from 1 over the whole run

    void Ask(TPortBuffer*& buffer) {
        int call;
        {
            std::lock_guard lock(m_);
            call = ++calls_;
            asks_.push_back(clock_.NowMs());
            if (buffer) {
                sameBuffer_ = sameBuffer_ && buffer == &buffer_;
                replies_.push_back(Bytes(buffer->Rx, buffer->Rx + buffer->RxCount));
            } else {
                inCycle_ = 0;
            }
        }
        if (OnAsk)
            OnAsk(call);
        std::lock_guard lock(m_);
        called_.notify_all();
        if (stopped_ || (RequestsPerCycle >= 0 && inCycle_ >= RequestsPerCycle)) {
            buffer = nullptr;
            return;
        }
        ++inCycle_;
        clock_.Advance(ThinkMs);
        buffer = &buffer_;
    }
    TPortThread::TRequestEvent Event() {
        return [this](TPortBuffer*& b) { Ask(b); };
    }
    // What a Disconnect does to the master: every later question is answered with none.
    void Stop() {
        std::lock_guard lock(m_);
        stopped_ = true;
    }

    std::vector<int64_t> Asks() const {
        std::lock_guard lock(m_);
        return asks_;
    }
    std::vector<Bytes> Replies() const {
        std::lock_guard lock(m_);
        return replies_;
    }
    int Calls() const {
        std::lock_guard lock(m_);
        return calls_;
    }
    bool WaitCalls(int calls) const {
        std::unique_lock lock(m_);
        return called_.wait_for(lock, std::chrono::milliseconds(kBound),
                                [&] { return calls_ >= calls; });
    }
    bool SameBuffer() const {
        std::lock_guard lock(m_);
        return sameBuffer_;
    }

private:
    platform::VirtualClock& clock_;
    mutable std::mutex m_;
    mutable std::condition_variable called_;
    TPortBuffer buffer_;
    int calls_ = 0;
    int inCycle_ = 0;
    bool stopped_ = false;
    bool sameBuffer_ = true;
    std::vector<int64_t> asks_;
    std::vector<Bytes> replies_;
};

class RecordingThreadBoxes : public platform::MessageBoxHandler {
public:
    MsgResult Show(const QString& text, const QString&, platform::MsgButtons,
                   platform::MsgIcon) override {
        std::lock_guard lock(m_);
        shown_ << text;
        inWindowThread_ = inWindowThread_ && std::this_thread::get_id() == window_;
        return MsgResult::Retry;
    }
    QStringList Shown() const {
        std::lock_guard lock(m_);
        return shown_;
    }
    bool InWindowThread() const {
        std::lock_guard lock(m_);
        return inWindowThread_;
    }

private:
    mutable std::mutex m_;
    QStringList shown_;
    const std::thread::id window_ = std::this_thread::get_id();
    bool inWindowThread_ = true;
};

class PortThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        // COM3 is then /dev/ttyS2 by name only: the fake line never opens a device.
        ASSERT_TRUE(ports_.isValid());
        qputenv("VENDRILL_PORTS_DIR", ports_.path().toUtf8());
    }
    void TearDown() override { qunsetenv("VENDRILL_PORTS_DIR"); }

    // The device answers every request after replyDelayMs.
    void Answering(int64_t replyDelayMs) {
        Line().Fake().SetResponder([replyDelayMs](const Bytes&) {
            return std::vector<platform::FakeSerialLine::Piece>{{replyDelayMs, kReply}};
        });
    }
    LoggingLine& Line() { return *lines_.made; }
    // The thread opens the port and polls the scripted master, the device answering.
    bool StartPolling() {
        thread_.Setup(Settings(), 100);
        thread_.OnRequest = master_.Event();
        Answering(3);
        thread_.SetState(ptsOpen);
        thread_.Resume();
        return thread_.WaitReached(ptsPoll, kBound);
    }

    QTemporaryDir ports_;
    HookedClock clock_;
    LoggingLineFactory lines_{clock_};
    ScriptedMaster master_{clock_}; // outlives the thread that asks it
    RecordingThreadBoxes window_;
    TBoxHandOver boxes_{window_};
    TPortThread thread_{clock_, lines_.Factory()};
};

TEST_F(PortThreadTest, SetupKeepsPeriodAndGapInTheirBounds) {
    struct Case {
        uint16_t period, gap, wantPeriod, wantGap;
    };
    for (const Case& c : {Case{19, 5, 1000, 10}, Case{20, 20, 20, 20}, Case{0, 9, 1000, 10},
                          Case{1000, 10, 1000, 10}, Case{65535, 65535, 65535, 65535}}) {
        SCOPED_TRACE(testing::Message() << "period " << c.period << ", gap " << c.gap);
        thread_.SetState(ptsPoll);
        thread_.Setup(Settings(c.gap), c.period);
        EXPECT_EQ(thread_.State(), ptsIdle);
        EXPECT_EQ(thread_.Period(), c.wantPeriod);
        EXPECT_EQ(thread_.Settings().Gap, c.wantGap);
        EXPECT_EQ(thread_.Port()->Settings().Gap, c.wantGap);
    }
}

TEST_F(PortThreadTest, SetupMakesThePortOnceAndHandsOnLaterSettings) {
    thread_.Setup(Settings(), 100);
    TVskComPort* port = thread_.Port();
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(thread_.TestPort());
    EXPECT_FALSE(port->IsOpen());

    TPortSettings other = Settings();
    other.Port = 7;
    other.Speed = 115200;
    thread_.Setup(other, 100);
    EXPECT_EQ(thread_.Port(), port);
    EXPECT_EQ(port->Settings().Port, 7);
    EXPECT_EQ(port->Settings().Speed, 115200);
    EXPECT_EQ(Line().Log(), (QStringList{"open@0", "close@0"}));
}

// Each case: the master's script, then when it was asked, when the requests went out
// and when the cycle ended (Gap 20, the device answers 3 ms after each request).
TEST_F(PortThreadTest, PollCycleKeepsGapAndPeriod) {
    struct Case {
        const char* name;
        uint16_t period;
        int requests;
        int64_t thinkMs;
        std::vector<int64_t> asks;
        QStringList writes;
        int64_t end;
    };
    const Case cases[] = {
        {"none at the first question sleeps the whole period", 100, 0, 0, {0}, {}, 100},
        {"Gap between asking and sending", 100, 2, 0, {0, 23, 46}, {"write@20", "write@43"}, 100},
        {"a master that takes 30 ms sends at once", 100, 1, 30, {0, 33}, {"write@30"}, 100},
        {"a cycle longer than the period is not followed by a sleep",
         20,
         2,
         0,
         {0, 23, 46},
         {"write@20", "write@43"},
         46},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HookedClock clock;
        LoggingLineFactory lines{clock};
        TPortThread thread(clock, lines.Factory());
        ScriptedMaster master(clock);
        master.RequestsPerCycle = c.requests;
        master.ThinkMs = c.thinkMs;
        thread.Setup(Settings(), c.period);
        thread.OnRequest = master.Event();
        lines.made->Fake().SetResponder([](const Bytes&) {
            return std::vector<platform::FakeSerialLine::Piece>{{3, kReply}};
        });
        ASSERT_TRUE(thread.Port()->Open());

        thread.PollCycle();

        EXPECT_EQ(master.Asks(), c.asks);
        QStringList writes = lines.made->Log().filter("write");
        EXPECT_EQ(writes, c.writes);
        EXPECT_EQ(clock.NowMs(), c.end);
        // Every question after the first brings back the master's own buffer, with the reply.
        EXPECT_TRUE(master.SameBuffer());
        for (const Bytes& reply : master.Replies())
            EXPECT_EQ(reply, kReply);
    }
}

TEST_F(PortThreadTest, ExchangeWithoutAReplyHandsBackAnEmptyReply) {
    master_.RequestsPerCycle = 1;
    thread_.Setup(Settings(), 100);
    thread_.OnRequest = master_.Event();
    ASSERT_TRUE(thread_.Port()->Open());
    thread_.PollCycle();
    EXPECT_EQ(master_.Replies(), std::vector<Bytes>{Bytes{}});
}

// One turn in each state: the state after it, what the port saw and how long it slept.
TEST_F(PortThreadTest, OneTurnOfEachState) {
    struct Case {
        const char* name;
        TPortThreadState state;
        bool portOpen;
        bool failOpen;
        bool failClose;
        TPortThreadState after;
        QStringList log;
        int64_t slept;
    };
    const Case cases[] = {
        {"open", ptsOpen, false, false, false, ptsPoll, {"open@0"}, 0},
        // A port that stays shut is tried again after Gap, not at once.
        {"open fails", ptsOpen, false, true, false, ptsOpen, {"open failed@0"}, 20},
        {"close", ptsClose, true, false, false, ptsIdle, {"close@0"}, 0},
        {"close fails", ptsClose, true, false, true, ptsClose, {"close failed@0"}, 20},
        {"close of a port that never opened", ptsClose, false, false, false, ptsIdle, {}, 0},
        {"idle", ptsIdle, true, false, false, ptsIdle, {}, 20},
        {"paused leaves the port alone", ptsPaused, true, false, false, ptsPaused, {}, 20},
        {"unknown state", static_cast<TPortThreadState>(9), true, false, false, ptsClose, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HookedClock clock;
        LoggingLineFactory lines{clock};
        TPortThread thread(clock, lines.Factory());
        thread.Setup(Settings(), 100);
        if (c.portOpen) {
            ASSERT_TRUE(thread.Port()->Open());
        }
        const int logged = static_cast<int>(lines.made->Log().size());
        lines.made->Fake().Fail(platform::FakeSerialLine::Step::Open, c.failOpen);
        lines.made->Fake().Fail(platform::FakeSerialLine::Step::Close, c.failClose);
        thread.SetState(c.state);

        thread.RunTurn(c.state);

        EXPECT_EQ(thread.State(), c.after);
        EXPECT_EQ(lines.made->Log().mid(logged), c.log);
        EXPECT_EQ(clock.SleptMs(), c.slept);
    }
}

// The thread's own state changes must not overwrite a state the window thread set
// while the port was opening or closing.
TEST_F(PortThreadTest, OwnStateChangesKeepAStateSetMeanwhile) {
    thread_.Setup(Settings(), 100);
    Line().DuringOpen = [&] { thread_.SetState(ptsClose); }; // a Disconnect
    thread_.SetState(ptsOpen);
    thread_.RunTurn(ptsOpen);
    EXPECT_EQ(thread_.State(), ptsClose);

    Line().DuringClose = [&] { thread_.SetState(ptsPaused); };
    thread_.RunTurn(ptsClose);
    EXPECT_EQ(thread_.State(), ptsPaused);
    EXPECT_EQ(Line().Log(), (QStringList{"open@0", "close@0"}));
}

// A device that never answers keeps the master asking within one cycle: terminate is
// looked at before every question, so the cycle ends after the exchange in flight.
TEST_F(PortThreadTest, TerminateEndsACycleThatNeverEnds) {
    master_.RequestsPerCycle = -1;
    master_.OnAsk = [&](int call) {
        if (call == 3)
            thread_.Terminate();
    };
    thread_.Setup(Settings(), 100);
    thread_.OnRequest = master_.Event();
    ASSERT_TRUE(thread_.Port()->Open());

    thread_.PollCycle();

    EXPECT_EQ(master_.Calls(), 3);
    EXPECT_EQ(Line().Log().filter("write").size(), 3);
}

TEST_F(PortThreadTest, AnExceptionInATurnKeepsTheThreadUsable) {
    thread_.Setup(Settings(), 100);
    thread_.OnRequest = [](TPortBuffer*&) { throw std::runtime_error("step failed"); };
    thread_.SetState(ptsOpen);
    clock_.OnSleep = [&](int64_t) {
        // After the failing cycle the window thread disconnects.
        if (thread_.State() == ptsPoll)
            thread_.SetState(ptsClose);
    };
    thread_.Resume();
    ASSERT_TRUE(thread_.WaitReached(ptsIdle, kBound));
    EXPECT_EQ(Line().Log(), (QStringList{"open@0", "close@20"}));
}

TEST_F(PortThreadTest, ANewThreadRunsNothingUntilResumed) {
    thread_.Setup(Settings(), 100);
    thread_.OnRequest = master_.Event();
    thread_.SetState(ptsOpen);
    EXPECT_FALSE(thread_.Started());
    EXPECT_TRUE(thread_.Suspend(0));
    EXPECT_FALSE(thread_.WaitReached(ptsOpen, 0));
    thread_.Stop();
    EXPECT_EQ(master_.Calls(), 0);
    EXPECT_TRUE(Line().Log().isEmpty());
}

TEST_F(PortThreadTest, TerminateWhileIdleEndsWithinOneGap) {
    thread_.Setup(Settings(), 100);
    clock_.OnSleep = [&](int64_t) { thread_.Terminate(); };
    thread_.Resume();
    ASSERT_TRUE(thread_.WaitReached(ptsIdle, kBound));
    thread_.Stop();
    EXPECT_TRUE(thread_.Finished());
    EXPECT_EQ(thread_.Turns(), 1);
    EXPECT_EQ(clock_.SleptMs(), 20);
}

// The window thread disconnects while a request is on the line: the exchange finishes,
// the master answers none, the rest of the period is slept out, then the port closes.
TEST_F(PortThreadTest, DisconnectDuringACycle) {
    master_.RequestsPerCycle = -1;
    thread_.Setup(Settings(), 100);
    thread_.OnRequest = master_.Event();
    Line().Fake().SetResponder([&](const Bytes&) {
        thread_.SetState(ptsClose);
        master_.Stop();
        return std::vector<platform::FakeSerialLine::Piece>{{3, kReply}};
    });
    thread_.SetState(ptsOpen);
    thread_.Resume();

    ASSERT_TRUE(thread_.WaitReached(ptsIdle, kBound));
    EXPECT_EQ(Line().Log(), (QStringList{"open@0", "write@20", "close@100"}));
    EXPECT_EQ(master_.Replies(), std::vector<Bytes>{kReply});
    EXPECT_EQ(master_.Asks(), (std::vector<int64_t>{0, 23}));
}

TEST_F(PortThreadTest, SuspendStopsAtATurnBoundaryAndResumeGoesOn) {
    master_.RequestsPerCycle = 1;
    ASSERT_TRUE(StartPolling());

    ASSERT_TRUE(thread_.Suspend(kBound));
    EXPECT_TRUE(thread_.Suspended());
    const int calls = master_.Calls();
    // Each cycle has asked twice (the request, then the end): none was cut short.
    EXPECT_EQ(calls % 2, 0);
    // Suspended, the thread may be set up again; it reconnects when resumed.
    thread_.Setup(Settings(), 200);
    thread_.SetState(ptsOpen);
    EXPECT_EQ(master_.Calls(), calls);
    thread_.Resume();
    ASSERT_TRUE(thread_.WaitReached(ptsPoll, kBound));
    EXPECT_FALSE(thread_.Suspended());
}

// A suspended thread that is resumed counts as running at once, before it has woken:
// else a Connect right after a Connect would set up a thread that is about to run.
TEST_F(PortThreadTest, AResumedThreadIsNoLongerSuspended) {
    thread_.Setup(Settings(), 100);
    thread_.Resume();
    for (int i = 0; i < 50; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(thread_.Suspend(kBound));
        ASSERT_TRUE(thread_.Suspended());
        thread_.Resume();
        EXPECT_FALSE(thread_.Suspended());
    }
}

// Card mode: once the thread has reached ptsPaused no exchange of the poll is in
// flight, and the port is the borrower's until the state goes back to ptsPoll.
TEST_F(PortThreadTest, PausedLendsThePortUntilPollingAgain) {
    master_.RequestsPerCycle = 3;
    ASSERT_TRUE(StartPolling());

    thread_.SetState(ptsPaused);
    ASSERT_TRUE(thread_.WaitReached(ptsPaused, kBound));
    // Every request has had its exchange and every cycle its end.
    const int writes = static_cast<int>(Line().Log().filter("write").size());
    EXPECT_EQ(static_cast<int>(master_.Replies().size()), writes);
    EXPECT_EQ(master_.Calls(), writes / 3 * 4);

    // The borrower's own exchange on the thread's port.
    TPortBuffer card;
    std::copy(kRequest.begin(), kRequest.end(), card.Tx);
    card.TxLen = 8;
    card.RxLen = 7;
    thread_.Port()->SetBuffer(&card);
    EXPECT_TRUE(thread_.Port()->Exchange());
    EXPECT_EQ(Line().Log().filter("write").size(), writes + 1);

    thread_.SetState(ptsPoll);
    EXPECT_TRUE(master_.WaitCalls(writes / 3 * 4 + 1));
}

TEST_F(PortThreadTest, WaitsEndAtTheirBound) {
    thread_.Setup(Settings(), 100);
    thread_.Resume();
    ASSERT_TRUE(thread_.WaitReached(ptsIdle, kBound));
    // Idle is never left by the thread itself.
    EXPECT_FALSE(thread_.WaitReached(ptsPaused, 20));
    ASSERT_TRUE(thread_.Suspend(kBound));
    EXPECT_FALSE(thread_.WaitReached(ptsIdle, 20)); // suspended: no turn begins
}

// Notes the window's side of the waits; consecutive serves count once.
class RecordingWaitHook : public TWaitHook {
public:
    void BeginWait() override { Calls << "begin"; }
    void ServeWait() override {
        if (OnServe)
            OnServe();
        if (Calls.isEmpty() || Calls.last() != "serve")
            Calls << "serve";
    }
    void EndWait() override { Calls << "end"; }

    std::function<void()> OnServe;
    QStringList Calls;
};

// A bounded wait keeps the window served until it ends, also at its bound; the wait for
// the thread's end (its owner is being freed) leaves the window alone.
TEST_F(PortThreadTest, BoundedWaitsServeTheWindowUntilTheyEnd) {
    RecordingWaitHook window;
    thread_.SetWaitHook(&window);
    thread_.Setup(Settings(), 100);
    thread_.Resume();
    ASSERT_TRUE(thread_.WaitReached(ptsIdle, kBound));

    // Only the window's own work lets the thread pause: the wait must serve it.
    window.Calls.clear();
    window.OnServe = [&] { thread_.SetState(ptsPaused); };
    EXPECT_TRUE(thread_.WaitReached(ptsPaused, kBound));
    EXPECT_EQ(window.Calls, (QStringList{"begin", "serve", "end"}));

    window.Calls.clear();
    window.OnServe = nullptr;
    EXPECT_FALSE(thread_.WaitReached(ptsIdle, 20)); // paused: never reached
    ASSERT_FALSE(window.Calls.isEmpty());
    EXPECT_EQ(window.Calls.first(), "begin");
    EXPECT_EQ(window.Calls.last(), "end");

    window.Calls.clear();
    thread_.Stop();
    EXPECT_TRUE(window.Calls.isEmpty());
}

// Boxes raised in the port thread while the window thread waits for it: a wait for a
// state shows them, the wait for the end cancels them. Neither hangs.
TEST_F(PortThreadTest, WaitsServeTheBoxesOfThePortThread) {
    thread_.SetBoxHandOver(&boxes_);
    std::vector<MsgResult> answers;
    master_.RequestsPerCycle = 1;
    master_.OnAsk = [&](int call) {
        if (call == 2) {
            answers.push_back(boxes_.Show("refused", "Внимание", platform::MsgButtons::Ok,
                                          platform::MsgIcon::None));
            thread_.SetState(ptsClose);
            master_.Stop();
        }
    };
    thread_.Setup(Settings(), 100);
    thread_.OnRequest = master_.Event();
    Answering(3);
    thread_.SetState(ptsOpen);
    thread_.Resume();

    ASSERT_TRUE(thread_.WaitReached(ptsIdle, kBound));
    EXPECT_EQ(window_.Shown(), QStringList{"refused"});
    EXPECT_TRUE(window_.InWindowThread());
    thread_.Stop();
    EXPECT_EQ(answers, std::vector<MsgResult>{MsgResult::Retry});
}

TEST_F(PortThreadTest, StopCancelsTheBoxesOfThePortThread) {
    thread_.SetBoxHandOver(&boxes_);
    std::promise<void> raising;
    std::vector<MsgResult> answers;
    master_.RequestsPerCycle = -1;
    master_.OnAsk = [&](int call) {
        if (call == 2) {
            raising.set_value();
            answers.push_back(boxes_.Show("refused", "Внимание", platform::MsgButtons::Ok,
                                          platform::MsgIcon::None));
        }
    };
    thread_.Setup(Settings(), 100);
    thread_.OnRequest = master_.Event();
    thread_.SetState(ptsOpen);
    thread_.Resume();
    ASSERT_EQ(raising.get_future().wait_for(std::chrono::milliseconds(kBound)),
              std::future_status::ready);

    thread_.Stop();
    EXPECT_TRUE(window_.Shown().isEmpty());
    EXPECT_EQ(answers, std::vector<MsgResult>{MsgResult::Cancel});
    EXPECT_EQ(master_.Calls(), 2);
    EXPECT_EQ(Line().Log().last().left(5), "close");
}

} // namespace
