#include "Clock.h"

#include <chrono>
#include <thread>

namespace platform {

namespace {
class SteadyClock : public Clock {
public:
    int64_t NowMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void SleepMs(int64_t ms) override {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};
} // namespace

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

void VirtualClock::SleepMs(int64_t ms) {
    if (ms <= 0)
        return;
    now_.fetch_add(ms);
    slept_.fetch_add(ms);
}

} // namespace platform
