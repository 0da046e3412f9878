#pragma once
// The instrument simulator for the project's end-to-end tests: served in-process (real
// clock) on a pseudo-terminal whose COMn link lies in a ports folder of its own, which
// the configurator's port list reads through $VENDRILL_PORTS_DIR.
#include "DataMaster.h"
#include "LinkRecorders.h"
#include "Simulator.h"

#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace projecttest {

class ServedSimulator {
public:
    static constexpr unsigned kPort = 9;

    ServedSimulator() { ::setenv("VENDRILL_PORTS_DIR", PortsDir().toUtf8().constData(), 1); }
    ~ServedSimulator() {
        Stop();
        ::unsetenv("VENDRILL_PORTS_DIR");
    }
    ServedSimulator(const ServedSimulator&) = delete;
    ServedSimulator& operator=(const ServedSimulator&) = delete;

    // Opens the simulator on COM9 of the ports folder and serves it in a thread of its
    // own until Stop.
    bool Start(sim::Options options, std::string& error) {
        options.PortsDir = PortsDir().toStdString();
        options.Port = kPort;
        sim_ = std::make_unique<sim::Simulator>(options);
        if (!sim_->Open(error))
            return false;
        serving_ = std::thread([this] {
            while (!stop_) {
                std::lock_guard lock(mutex_);
                sim_->ServeOne(10);
            }
        });
        return true;
    }
    // Ends the serving; the instrument is silent from then on.
    void Stop() {
        if (serving_.joinable()) {
            stop_ = true;
            sim_->Stop();
            serving_.join();
        }
    }
    // A register of the instrument, read or changed between two requests while it serves,
    // as its own measurement would change it.
    uint16_t Register(uint16_t address) {
        std::lock_guard lock(mutex_);
        return sim_->Register(address);
    }
    void SetRegister(uint16_t address, uint16_t value) {
        std::lock_guard lock(mutex_);
        sim_->SetRegister(address, value);
    }
    // Puts the faults on the line from the next request on, as a card taken out would.
    void SetFaults(std::vector<sim::Fault> faults) {
        std::lock_guard lock(mutex_);
        sim_->SetFaults(std::move(faults));
    }
    sim::Simulator& Sim() { return *sim_; }
    QString PortsDir() const { return dir_.filePath("ports"); }

private:
    QTemporaryDir dir_;
    std::unique_ptr<sim::Simulator> sim_;
    std::mutex mutex_; // the serving holds it for each request
    std::atomic<bool> stop_{false};
    std::thread serving_;
};

// The main window's link settings for the simulator's port. The time-out is each
// request's wait for its reply.
inline void UseSimulatorPort(TRecordingMainWindow& window, int32_t timeOutMs, int32_t scanRateMs) {
    window.PortValue = ServedSimulator::kPort;
    window.PortSpeedValue = 115200;
    window.TimeOutValue = timeOutMs;
    window.ScanRateValue = scanRateMs;
}

// Waits (bounded, without handling events) until the master reaches the state.
inline bool WaitForState(const TDataMaster& master, TDataMasterState state) {
    for (int i = 0; i < 6000; ++i) {
        if (master.State() == state)
            return true;
        QThread::msleep(10);
    }
    return false;
}

} // namespace projecttest
