// Poll-cycle time of the polling master against the instrument simulator, which paces
// its replies at 115200 baud 8N2, compared with the sum of Gap and the wire time of
// every frame of the cycle; and the port thread's CPU use while polling and while idle.
//
//   poll_cycle_bench [cycles]        (default 30 measured cycles per packet count)
#include "DataMaster.h"
#include "MasterFixtures.h"
#include "MessageBox.h"
#include "Simulator.h"

#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr unsigned kPort = 12;
constexpr int kBaud = 115200;
constexpr double kBitsPerByte = 11; // start, 8 data, 2 stop
constexpr int kGapMs = 20;          // what Connect gives the thread
constexpr int kRequestBytes = 8;
constexpr int kReplyBytes = 7; // one register per packet

class NoWindow : public TMainWindowLink {
public:
    int32_t Port() const override { return kPort; }
    int32_t PortSpeed() const override { return kBaud; }
    int32_t TimeOut() const override { return 1000; }
    int32_t ScanRate() const override { return 20; } // the shortest period: cycles follow at once
    void SetConnectedUI() override {}
    void SetDisconnectedUI() override {}
};

// Notes when each cycle ended and the port thread's CPU clock, taken in the port thread.
class CycleClock : public TConnectProcessLink {
public:
    void SetStage(const QString&, int32_t) override {}
    void Post(const TConnectProgress& progress) override {
        if (progress.Code != lnkCycle)
            return;
        std::lock_guard lock(m_);
        if (!haveCpuClock_)
            haveCpuClock_ = pthread_getcpuclockid(pthread_self(), &cpuClock_) == 0;
        ends_.push_back(SteadyClock::now());
        cv_.notify_all();
    }
    // Waits for count more cycle ends; their times.
    std::vector<SteadyClock::time_point> WaitCycles(size_t count) {
        std::unique_lock lock(m_);
        const size_t from = ends_.size();
        cv_.wait_for(lock, std::chrono::minutes(2), [&] { return ends_.size() >= from + count; });
        return std::vector<SteadyClock::time_point>(ends_.begin() + from, ends_.end());
    }
    double ThreadCpuSeconds() {
        std::lock_guard lock(m_);
        timespec t{};
        if (!haveCpuClock_ || clock_gettime(cpuClock_, &t) != 0)
            return -1;
        return t.tv_sec + t.tv_nsec / 1e9;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<SteadyClock::time_point> ends_;
    clockid_t cpuClock_{};
    bool haveCpuClock_ = false;
};

double WireMs(int bytes) {
    return bytes * kBitsPerByte * 1000.0 / kBaud;
}

double Seconds(SteadyClock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
    platform::RecordingMessageBox boxes; // a refused write would show nothing here
    QTemporaryDir dir;
    const std::string ports = dir.filePath("ports").toStdString();
    ::setenv("VENDRILL_PORTS_DIR", ports.c_str(), 1);

    sim::Options options;
    options.PortsDir = ports;
    options.Port = kPort;
    options.Baud = kBaud;
    for (uint16_t i = 0; i < 32; ++i)
        options.Registers[static_cast<uint16_t>(10 * i)] = i;
    sim::Simulator simulator(options);
    std::string error;
    if (!simulator.Open(error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    std::thread serving([&] { simulator.Serve(); });

    std::printf("Poll cycle at %d baud 8N2, Gap %d ms, %d cycles each\n", kBaud, kGapMs, cycles);
    std::printf("%8s %12s %14s %8s %12s\n", "packets", "cycle ms", "Gap+wire ms", "ratio",
                "thread CPU");
    NoWindow window;
    double idleCpu = -1;
    for (int packets : {1, 8, 32}) {
        CycleClock clock;
        mastertest::Project project(packets);
        TDataMaster master(window, clock);
        master.Connect("", project.List, project.Writes);
        clock.WaitCycles(3); // the first full read and a settled poll
        const double cpuStart = clock.ThreadCpuSeconds();
        const auto ends = clock.WaitCycles(static_cast<size_t>(cycles) + 1);
        const double cpuEnd = clock.ThreadCpuSeconds();
        if (ends.size() < 2) {
            std::fprintf(stderr, "no poll cycles with %d packets\n", packets);
            return 1;
        }
        const double wall = Seconds(ends.back() - ends.front());
        const double cycleMs = wall * 1000 / (ends.size() - 1);
        const double expected = packets * (kGapMs + WireMs(kRequestBytes) + WireMs(kReplyBytes));
        std::printf("%8d %12.2f %14.2f %8.3f %11.2f%%\n", packets, cycleMs,
                    std::max(expected, 20.0), cycleMs / std::max(expected, 20.0),
                    100 * (cpuEnd - cpuStart) / wall);

        if (packets == 32) {
            // Idle: disconnected, the thread sleeps Gap per turn.
            master.Disconnect();
            master.Thread().WaitReached(ptsIdle, 60000);
            const double before = clock.ThreadCpuSeconds();
            const auto start = SteadyClock::now();
            std::this_thread::sleep_for(std::chrono::seconds(3));
            idleCpu =
                100 * (clock.ThreadCpuSeconds() - before) / Seconds(SteadyClock::now() - start);
        }
    }
    std::printf("Port thread CPU while idle: %.3f%%\n", idleCpu);

    simulator.Stop();
    serving.join();
    return 0;
}
