#include "PortThread.h"

#include "BoxHandOver.h"
#include "WaitHook.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr uint16_t kMinPeriod = 20;
constexpr uint16_t kDefaultPeriod = 1000;
constexpr uint16_t kMinGap = 10;

using SteadyTime = std::chrono::steady_clock::time_point;
// How often a wait lets the window do its own work: often enough to paint smoothly.
constexpr std::chrono::milliseconds kServeEvery{15};

// Lets a box handed over wake the window thread's wait, or be cancelled at once, for as
// long as the wait lasts.
class WaiterScope {
public:
    WaiterScope(TBoxHandOver* boxes, TBoxesWhileWaiting how, std::function<void()> wake)
        : boxes_(boxes) {
        if (!boxes_)
            return;
        outer_ = boxes_->SetWaiterWake(std::move(wake));
        outerCancelling_ = boxes_->SetCancelling(how == TBoxesWhileWaiting::Cancel);
    }
    ~WaiterScope() {
        if (!boxes_)
            return;
        boxes_->SetCancelling(outerCancelling_);
        boxes_->SetWaiterWake(std::move(outer_));
    }
    WaiterScope(const WaiterScope&) = delete;
    WaiterScope& operator=(const WaiterScope&) = delete;

private:
    TBoxHandOver* boxes_;
    std::function<void()> outer_;  // of a wait that this one runs inside
    bool outerCancelling_ = false; // likewise
};

// Brackets a wait for the window side.
class WindowWaitScope {
public:
    explicit WindowWaitScope(TWaitHook* hook) : hook_(hook) {
        if (hook_)
            hook_->BeginWait();
    }
    ~WindowWaitScope() {
        if (hook_)
            hook_->EndWait();
    }
    WindowWaitScope(const WindowWaitScope&) = delete;
    WindowWaitScope& operator=(const WindowWaitScope&) = delete;

private:
    TWaitHook* hook_;
};

void ServeBoxes(TBoxHandOver* boxes, TBoxesWhileWaiting how) {
    if (!boxes)
        return;
    if (how == TBoxesWhileWaiting::Show)
        boxes->ServePending();
    else
        boxes->CancelPending();
}
} // namespace

TPortThread::TPortThread(platform::Clock& clock, TLineFactory makeLine)
    : clock_(clock), makeLine_(std::move(makeLine)) {}

TPortThread::~TPortThread() {
    Stop();
}

void TPortThread::Setup(const TPortSettings& settings, uint16_t period) {
    state_.store(ptsIdle);
    settings_ = settings;
    period_ = period >= kMinPeriod ? period : kDefaultPeriod;
    if (settings_.Gap < kMinGap)
        settings_.Gap = kMinGap;
    if (!port_)
        port_ = std::make_unique<TVskComPort>(settings_, makeLine_ ? makeLine_() : nullptr, clock_);
    else
        port_->SetParams(settings_);
}

bool TPortThread::TestPort() {
    return port_ && port_->TestOpen();
}

bool TPortThread::ChangeState(TPortThreadState expected, TPortThreadState desired) {
    uint8_t e = expected;
    return state_.compare_exchange_strong(e, desired);
}

// --- Suspend, resume, terminate, waits ---

void TPortThread::Resume() {
    std::lock_guard lock(m_);
    if (finished_)
        return;
    suspendAsked_ = false;
    if (parked_ || !started_)
        reached_ = kNoTurn; // what the thread did before it was suspended is over
    // Running from now on, not once the thread has woken: a Suspended() in between
    // would let the thread be set up while it runs.
    parked_ = false;
    if (!started_) {
        started_ = true;
        thread_ = std::thread([this] { Execute(); });
    }
    cv_.notify_all();
}

bool TPortThread::Suspend(int64_t timeoutMs, TBoxesWhileWaiting boxes) {
    {
        std::lock_guard lock(m_);
        if (!started_ || finished_ || parked_)
            return true;
        suspendAsked_ = true;
    }
    if (WaitUntil([this] { return parked_ || finished_; }, timeoutMs, boxes, hook_))
        return true;
    std::lock_guard lock(m_);
    if (parked_ || finished_)
        return true; // parked just after the time was up: it stays suspended
    suspendAsked_ = false;
    cv_.notify_all();
    return false;
}

void TPortThread::Terminate() {
    terminate_.store(true);
    std::lock_guard lock(m_);
    cv_.notify_all();
}

bool TPortThread::WaitReached(TPortThreadState state, int64_t timeoutMs, TBoxesWhileWaiting boxes) {
    return WaitUntil([this, state] { return started_ && !parked_ && reached_ == state; }, timeoutMs,
                     boxes, hook_);
}

void TPortThread::Stop() {
    End(nullptr);
}

void TPortThread::StopServed() {
    End(hook_);
}

void TPortThread::End(TWaitHook* window) {
    Terminate();
    bool started = false;
    {
        std::lock_guard lock(m_);
        started = started_;
    }
    if (!started)
        return;
    WaitUntil([this] { return finished_; }, -1, TBoxesWhileWaiting::Cancel, window);
    if (thread_.joinable())
        thread_.join();
}

bool TPortThread::WaitUntil(const std::function<bool()>& done, int64_t timeoutMs,
                            TBoxesWhileWaiting boxes, TWaitHook* window) {
    WindowWaitScope windowScope(window);
    WaiterScope scope(boxes_, boxes, [this] { Nudge(); });
    ServeBoxes(boxes_, boxes); // those handed over before the wait began
    std::unique_lock lock(m_);
    return WaitLocked(lock, done, timeoutMs, boxes, window);
}

bool TPortThread::WaitLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done,
                             int64_t timeoutMs, TBoxesWhileWaiting boxes, TWaitHook* window) {
    using std::chrono::steady_clock;
    SteadyTime deadline = steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // The time a box stays on screen is the user's and the time the window spends on its
    // own work is the window's, not the thread's: the bound moves by both.
    const auto aside = [&](const std::function<void()>& work) {
        lock.unlock();
        const SteadyTime from = steady_clock::now();
        work();
        deadline += steady_clock::now() - from;
        lock.lock();
    };
    for (;;) {
        if (done())
            return true;
        if (nudged_) {
            nudged_ = false;
            aside([&] { ServeBoxes(boxes_, boxes); });
            continue;
        }
        const bool bounded = timeoutMs >= 0;
        if (!bounded && !window) {
            cv_.wait(lock);
            continue;
        }
        SteadyTime until = deadline;
        if (window) {
            const SteadyTime serve = steady_clock::now() + kServeEvery;
            until = bounded ? std::min(deadline, serve) : serve;
        }
        if (cv_.wait_until(lock, until) == std::cv_status::timeout && bounded && until == deadline)
            return done();
        if (window && !done())
            aside([&] { window->ServeWait(); });
    }
}

void TPortThread::Nudge() {
    std::lock_guard lock(m_);
    nudged_ = true;
    cv_.notify_all();
}

bool TPortThread::Started() const {
    std::lock_guard lock(m_);
    return started_;
}

bool TPortThread::Suspended() const {
    std::lock_guard lock(m_);
    return parked_;
}

bool TPortThread::Finished() const {
    std::lock_guard lock(m_);
    return finished_;
}

int64_t TPortThread::Turns() const {
    std::lock_guard lock(m_);
    return turns_;
}

int64_t TPortThread::CycleBoundMs() const {
    const int64_t pause = std::max<int64_t>(settings_.Pause, 5);
    // Sending 256 bytes at the slowest rate takes about 300 ms; a reply read until the
    // line falls silent takes at most one Pause per byte after the first.
    return settings_.Gap + 500 + settings_.TimeOut + 255 * pause + period_ + 2000;
}

// --- The thread body ---

bool TPortThread::PassGate(TPortThreadState& state) {
    std::unique_lock lock(m_);
    while (suspendAsked_ && !terminate_.load()) {
        parked_ = true;
        cv_.notify_all();
        cv_.wait(lock);
    }
    parked_ = false;
    if (terminate_.load())
        return false;
    state = State();
    reached_ = state;
    ++turns_;
    cv_.notify_all();
    return true;
}

void TPortThread::Execute() {
    TPortThreadState state;
    while (PassGate(state)) {
        try {
            RunTurn(state);
        } catch (...) {
            // Neither the master's step nor the port may end the thread: it must stay
            // usable for the next connect. Sleeping keeps a fault that repeats from
            // becoming a spin.
            clock_.SleepMs(settings_.Gap);
        }
    }
    try {
        if (port_)
            port_->Close();
    } catch (...) {
        // Ending all the same: nothing is left to report to.
    }
    std::lock_guard lock(m_);
    finished_ = true;
    cv_.notify_all();
}

void TPortThread::RunTurn(TPortThreadState state) {
    switch (state) {
    case ptsOpen:
        // A Disconnect during the open has already asked for ptsClose: keep it.
        if (port_ && port_->Open())
            ChangeState(ptsOpen, ptsPoll);
        else
            clock_.SleepMs(settings_.Gap); // a port that stays shut must not cost a core
        break;
    case ptsPoll:
        PollCycle();
        break;
    case ptsClose:
        if (!port_ || port_->Close())
            ChangeState(ptsClose, ptsIdle);
        else
            clock_.SleepMs(settings_.Gap);
        break;
    case ptsIdle:
    case ptsPaused:
        clock_.SleepMs(settings_.Gap);
        break;
    default:
        ChangeState(state, ptsClose);
        break;
    }
}

void TPortThread::PollCycle() {
    TPortBuffer* buffer = nullptr;
    const int64_t cycleStart = clock_.NowMs();
    for (;;) {
        // A search that is never answered never ends its cycle: the thread must still
        // be able to end.
        if (terminate_.load())
            return;
        const int64_t asked = clock_.NowMs();
        if (OnRequest)
            OnRequest(buffer);
        else
            buffer = nullptr;
        if (!buffer)
            break;
        const int64_t spent = TVskComPort::MsBetween(asked, clock_.NowMs());
        if (spent < settings_.Gap)
            clock_.SleepMs(settings_.Gap - spent);
        Exchange(*buffer);
    }
    const int64_t spent = TVskComPort::MsBetween(cycleStart, clock_.NowMs());
    if (spent < period_)
        SleepUnlessTerminated(period_ - spent);
}

void TPortThread::SleepUnlessTerminated(int64_t ms) {
    while (ms > 0 && !terminate_.load()) {
        const int64_t step = std::min<int64_t>(ms, settings_.Gap);
        clock_.SleepMs(step);
        ms -= step;
    }
}

void TPortThread::Exchange(TPortBuffer& buffer) {
    if (!port_) {
        buffer.RxCount = 0;
        return;
    }
    port_->SetBuffer(&buffer);
    port_->Exchange();
}
