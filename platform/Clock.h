#pragma once
// Monotonic time and sleeping for the link's timing. The wall clock jumps (midnight,
// DST, NTP), so every interval is measured on a monotonic clock; tests inject a
// virtual clock whose sleeps advance it instead of waiting.
#include <atomic>
#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed point; never goes back.
    virtual int64_t NowMs() const = 0;
    virtual void SleepMs(int64_t ms) = 0;
};

// The real monotonic clock and a real sleep.
Clock& SystemClock();

// Virtual time: SleepMs advances the clock at once. Safe to share between threads.
class VirtualClock : public Clock {
public:
    explicit VirtualClock(int64_t startMs = 0) : now_(startMs) {}
    int64_t NowMs() const override { return now_.load(); }
    void SleepMs(int64_t ms) override;
    void Advance(int64_t ms) { now_.fetch_add(ms); }
    // Total virtual milliseconds slept, for tests that check how long something waited.
    int64_t SleptMs() const { return slept_.load(); }

private:
    std::atomic<int64_t> now_;
    std::atomic<int64_t> slept_{0};
};

} // namespace platform
