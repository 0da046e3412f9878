#pragma once
// The instrument simulator: a Modbus RTU slave on a pseudo-terminal, with libmodbus as
// its protocol stack. It serves a register map (functions 3, 4, 6, 16), answers Report
// Slave ID (function 17) with its own text, reads a memory-card image through the
// page-select / quarter-read registers at 999, and damages replies on demand.
#include "Clock.h"
#include "SimOptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class Simulator {
public:
    // Sleeps (reply delay, pacing) go through the clock, so tests can count them.
    explicit Simulator(Options options, platform::Clock& clock = platform::SystemClock());
    // Removes the COMn link (if it is still ours) and closes everything.
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the card image, makes the pseudo-terminal and the COMn link.
    bool Open(std::string& error);
    const std::string& DevicePath() const; // the pseudo-terminal's slave side, e.g. /dev/pts/3
    const std::string& LinkPath() const;   // PortsDir/COMn
    std::string ReadyLine() const;         // "ready COMn DEVICE"

    // Waits at most timeoutMs (-1: no limit) for a request and answers it. True when a
    // request for this slave was taken (answered, or dropped by a fault); false on time-out,
    // a frame that was not for us or failed its CRC, or a pending Stop/RequestReload.
    bool ServeOne(int timeoutMs);
    // Serves until Stop(); after RequestReload() replaces the faults from the control
    // file and prints "reloaded" (or "reload failed", with the reason on stderr).
    void Serve();

    // Both are safe to call from a signal handler or another thread.
    void Stop();
    void RequestReload();

    // Replaces the faults and restarts the request count. Not while serving.
    void SetFaults(std::vector<Fault> faults);
    // The register map and the selected card page as they stand. Not while serving.
    uint16_t Register(uint16_t address) const;
    uint16_t Page() const;
    // Changes a register as the instrument's own measurement would. Not while serving.
    void SetRegister(uint16_t address, uint16_t value);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace sim
