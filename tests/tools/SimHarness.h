#pragma once
// Test helpers around the instrument simulator: start vendrill-sim as a child process
// (always stopped again), talk to a pseudo-terminal raw, run a command with a bounded
// wait, and make a FAT16 card image. Every wait here has a limit.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace simtest {

// The vendrill-sim program of this build.
std::string SimulatorPath();

// A fresh folder under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// vendrill-sim started with the given arguments. The constructor waits for its ready
// line; the destructor stops it (SIGTERM, then SIGKILL if it does not end). It also
// dies with the test process.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args, int readyTimeoutMs = 30000);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Ready() const { return !device_.empty(); }
    const std::string& Error() const { return error_; } // why it is not ready
    int EarlyExitStatus() const {
        return earlyStatus_;
    } // exit status if it ended before ready; else -1
    const std::string& Port() const { return port_; }     // "COMn" from the ready line
    const std::string& Device() const { return device_; } // the pseudo-terminal from the ready line

    // Waits for a line on its stdout, e.g. "reloaded" after a SIGHUP.
    bool WaitForLine(const std::string& line, int timeoutMs = 30000);
    void Signal(int signal);
    // SIGTERM and wait; the exit status (128 + signal when it was killed), -1 if already reaped.
    int Stop(int timeoutMs = 20000);

private:
    bool ReadLine(std::string& line, int timeoutMs);
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
    std::string error_;
    std::string port_;
    std::string device_;
    int earlyStatus_ = -1;
};

// Runs a program (looked up on PATH, then /usr/sbin and /sbin) with extra environment
// entries "NAME=VALUE"; its stdout and stderr go to output. The exit status, or -1 when
// it could not start or was killed after timeoutMs.
int RunCommand(const std::vector<std::string>& argv, std::string& output, int timeoutMs = 60000,
               const std::vector<std::string>& env = {});

// A FAT16 image of sizeKiB made by mkfs.fat, with the files (name on the card, contents)
// copied to its root by mcopy.
bool MakeFat16Image(const std::string& path, unsigned sizeKiB,
                    const std::vector<std::pair<std::string, std::string>>& files,
                    std::string& error);

// The whole file as bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// count bytes that vary (a fixed pseudo-random sequence), as file contents that are
// easy to find again in a card image.
std::string VariedBytes(size_t count);

// The frame with its Modbus CRC appended, in wire order.
std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame);

// A serial client on a pseudo-terminal (or a COMn link to one): raw mode, whole frames.
class RawLine {
public:
    explicit RawLine(const std::string& path);
    ~RawLine();
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Sends frame + CRC.
    bool Send(const std::vector<uint8_t>& frame);
    // Reads until `expected` bytes came, or the line stayed silent for silenceMs after
    // some bytes, or nothing came within firstByteMs.
    std::vector<uint8_t> Receive(size_t expected, int firstByteMs = 5000, int silenceMs = 2000);
    std::vector<uint8_t> Exchange(const std::vector<uint8_t>& frame, size_t expected,
                                  int firstByteMs = 5000);

private:
    int fd_ = -1;
};

} // namespace simtest
