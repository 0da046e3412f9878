#pragma once
// The configurator's only background thread. It owns the serial port and runs a small
// state machine over it: open, poll, close, idle, or pause while the card reader
// borrows the port. While polling it knows nothing of Modbus: it asks the polling
// master (OnRequest) for the next request, keeps at least Gap ms between asking and
// sending, runs the exchange and hands the same buffer, now holding the reply, back
// with the next question; when the master has nothing more it sleeps out the period.
//
// Threads: the window thread configures the thread (Setup, TestPort, OnRequest) only
// while it is suspended or has never run, and otherwise drives it through State and
// the suspend, resume and terminate requests, which the thread looks at between turns
// of its loop (terminate also before each question of a poll cycle). Every wait of the
// window thread for the port thread but the final one has a bound and, given a box
// hand-over, keeps answering the message boxes that the port thread raises meanwhile;
// given a wait hook, the waits but Stop keep the window alive through it.
#include "Clock.h"
#include "SerialLine.h"
#include "VskComPort.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TBoxHandOver;
class TWaitHook;

enum TPortThreadState : uint8_t {
    ptsOpen = 0,   // open the port; once it is open, poll
    ptsPoll = 1,   // one poll cycle per turn
    ptsClose = 2,  // close the port; once it is closed, idle
    ptsIdle = 3,   // sleep Gap ms per turn
    ptsPaused = 4, // sleep Gap ms per turn; the port is lent to the card reader
};

// What the window thread does with the message boxes that the port thread hands over
// while the window thread waits for it.
enum class TBoxesWhileWaiting {
    Show,   // show them: the wait goes on meanwhile
    Cancel, // answer them with Cancel unseen (the link is going away)
};

class TPortThread {
public:
    // Asks for the next request and hands back the reply. The reference is nullptr at
    // the first call of each cycle; the master sets it to a buffer holding the next
    // request, or to nullptr to end the cycle. At every later call it still points to
    // the buffer returned last, which then holds the reply of its exchange.
    using TRequestEvent = std::function<void(TPortBuffer*& buffer)>;
    // Makes the port's serial line; empty: the system's serial devices.
    using TLineFactory = std::function<std::unique_ptr<platform::SerialLine>()>;

    // A suspended thread that has never run: nothing runs before the first Resume.
    explicit TPortThread(platform::Clock& clock = platform::SystemClock(),
                         TLineFactory makeLine = {});
    // Terminates the thread, waits for its end (answering handed-over boxes with Cancel
    // when a hand-over was given to SetBoxHandOver) and frees the port.
    ~TPortThread();
    TPortThread(const TPortThread&) = delete;
    TPortThread& operator=(const TPortThread&) = delete;

    // --- Window thread, while the thread is suspended or has never run ---

    // State := ptsIdle; Settings := settings with Gap at least 10; Period := period when
    // it is 20 or more, else 1000. The first Setup creates the port, later ones hand it
    // the settings (an open port keeps its line settings until its next Open).
    void Setup(const TPortSettings& settings, uint16_t period);
    // Whether the port opens; leaves it closed.
    bool TestPort();
    TRequestEvent OnRequest;

    uint16_t Period() const { return period_; }
    const TPortSettings& Settings() const { return settings_; }
    // The port, created at the first Setup; lent to the card reader in ptsPaused.
    TVskComPort* Port() const { return port_.get(); }

    // --- Either thread ---

    TPortThreadState State() const { return static_cast<TPortThreadState>(state_.load()); }
    void SetState(TPortThreadState state) { state_.store(state); }
    // Stores desired only while the state is still expected; false when another store
    // came in between.
    bool ChangeState(TPortThreadState expected, TPortThreadState desired);

    // --- Window thread: suspend, resume, terminate and the waits ---

    // Starts the thread at the first call; afterwards lets a suspended thread go on.
    void Resume();
    // Asks the thread to stop at its next turn boundary and waits at most timeoutMs
    // until it has. True once it is suspended; also for a thread that has never run or
    // has ended. On false the request is withdrawn.
    bool Suspend(int64_t timeoutMs, TBoxesWhileWaiting boxes = TBoxesWhileWaiting::Show);
    // Asks the thread to end: it finishes its turn (in a poll cycle the exchange in
    // flight), closes the port and ends. A suspended thread is woken to end.
    void Terminate();
    bool Terminated() const { return terminate_.load(); }
    // Waits at most timeoutMs until the thread has begun a turn in state: a turn in
    // ptsPaused or ptsIdle means that no exchange of a poll cycle is in flight any more.
    bool WaitReached(TPortThreadState state, int64_t timeoutMs,
                     TBoxesWhileWaiting boxes = TBoxesWhileWaiting::Show);
    // Terminates the thread and waits until it has ended, without a bound: every step
    // of the thread is bounded once it is told to end, and handed-over boxes are
    // cancelled meanwhile.
    void Stop();
    // Stop, serving the wait hook meanwhile: for the window side, before the thread's
    // owner starts being freed, while all that the served window reaches is still whole.
    void StopServed();

    // Message boxes that the port thread raises go through this hand-over; the waits
    // above keep answering them. Set before the first Resume; must outlive the thread.
    void SetBoxHandOver(TBoxHandOver* boxes) { boxes_ = boxes; }
    // Served by Suspend, WaitReached and StopServed while they wait (not by Stop, which
    // runs while the link's owner is being freed). nullptr: none. Must outlive the thread.
    void SetWaitHook(TWaitHook* hook) { hook_ = hook; }
    TWaitHook* WaitHook() const { return hook_; }

    bool Started() const;
    bool Suspended() const; // stopped at a turn boundary by Suspend
    bool Finished() const;
    // Turns begun so far.
    int64_t Turns() const;

    // --- The thread body and its parts (the port thread; tests drive them directly) ---

    // The loop: one turn at a time until told to terminate, then the port's Close.
    void Execute();
    // One turn of the state table, for the state read at the turn boundary.
    void RunTurn(TPortThreadState state);
    // One poll cycle: ask, keep Gap, exchange, ask again with the reply; at the end
    // sleep out the rest of Period.
    void PollCycle();
    // The port's exchange on buffer; the master judges the reply from the buffer.
    void Exchange(TPortBuffer& buffer);

    // Room a wait for a turn boundary should allow: the exchange in flight, Gap and
    // the rest of a period, with a margin; in ms.
    int64_t CycleBoundMs() const;

private:
    // Parks the thread while a suspend is asked; false once it is to end, else the
    // state of the turn that begins.
    bool PassGate(TPortThreadState& state);
    // Sleeps ms in steps of at most Gap, ending early once the thread is to end.
    void SleepUnlessTerminated(int64_t ms);
    // Terminates the thread and waits for its end, serving window (nullptr: nothing).
    void End(TWaitHook* window);
    // Waits until done() (called with m_ held) or the time is up, serving the boxes
    // handed over meanwhile and window (nullptr: nothing). A negative timeout waits
    // without a bound.
    bool WaitUntil(const std::function<bool()>& done, int64_t timeoutMs, TBoxesWhileWaiting boxes,
                   TWaitHook* window);
    bool WaitLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done,
                    int64_t timeoutMs, TBoxesWhileWaiting boxes, TWaitHook* window);
    void Nudge();

    platform::Clock& clock_;
    TLineFactory makeLine_;
    std::atomic<uint8_t> state_{ptsIdle};
    std::atomic<bool> terminate_{false};
    uint16_t period_ = 1000;
    TPortSettings settings_;
    std::unique_ptr<TVskComPort> port_;
    TBoxHandOver* boxes_ = nullptr;
    TWaitHook* hook_ = nullptr;

    mutable std::mutex m_;
    std::condition_variable cv_;
    bool started_ = false;
    bool suspendAsked_ = false;
    bool parked_ = false;
    bool finished_ = false;
    bool nudged_ = false; // a box was handed over while the window thread waits
    static constexpr uint8_t kNoTurn = 0xFF;
    uint8_t reached_ = kNoTurn; // state of the turn begun last since the thread went on
    int64_t turns_ = 0;
    std::thread thread_;
};
