#pragma once
// A serial line for tests that runs on virtual time: the other end's bytes are
// scheduled at virtual moments, waits advance the clock to the next arrival (or by the
// whole wait), and every step can be made to fail or to throw. Safe to drive from one
// thread while another thread schedules bytes or reads the record.
#include "Clock.h"
#include "SerialLine.h"

#include <array>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace platform {

class FakeSerialLine : public SerialLine {
public:
    enum class Step { Open, LineSettings, Timeouts, QueueSizes, Purge, Write, Read, Wait, Close };

    // Bytes that arrive delayMs after the moment they are scheduled for.
    struct Piece {
        int64_t delayMs;
        std::vector<uint8_t> bytes;
    };
    // Answers a request just written; the pieces count from the end of the write.
    using Responder = std::function<std::vector<Piece>(const std::vector<uint8_t>& request)>;

    explicit FakeSerialLine(VirtualClock& clock) : clock_(clock) { successesLeft_.fill(-1); }

    // Scripting.
    void Fail(Step step, bool fail = true);     // the step returns false while set
    void FailAfter(Step step, int successes);   // ... once it has succeeded that often more
    void Throw(Step step, bool doThrow = true); // the step throws while set
    void SetWriteAccepts(size_t bytes);         // a failing write takes this many first
    void Schedule(int64_t delayMs, std::vector<uint8_t> bytes); // from now
    void QueueReply(std::vector<Piece> pieces); // for the next write without a responder
    void SetResponder(Responder responder);

    // What happened.
    QString OpenedPath() const;
    int32_t Baud() const;   // last baud set, 0 before any
    int ReadWaitMs() const; // last read wait set, -1 before any
    int InputQueue() const; // last queue sizes set, 0 before any
    int OutputQueue() const;
    int OpenCount() const;  // successful opens
    int CloseCount() const; // successful closes of an open line
    int PurgeCount() const;
    std::vector<std::vector<uint8_t>> Writes() const; // bytes each write took, in order
    size_t Pending() const;                           // scheduled bytes not yet read

    bool Open(const QString& devicePath) override;
    bool SetLineSettings(int32_t baud) override;
    bool SetTimeouts(int readWaitMs) override;
    bool SetQueueSizes(int inputBytes, int outputBytes) override;
    bool Purge() override;
    bool Write(const uint8_t* data, size_t count, size_t* written) override;
    int Read(uint8_t* data, size_t maxCount) override;
    int WaitReadable(int timeoutMs) override;
    bool Close() override;
    bool IsOpen() const override;

private:
    struct Byte {
        int64_t atMs;
        uint8_t value;
    };
    // True when the step is to go on; throws when told to.
    bool Proceed(Step step);
    void ScheduleLocked(int64_t atMs, const std::vector<uint8_t>& bytes);
    int WaitLocked(int timeoutMs);

    VirtualClock& clock_;
    mutable std::mutex mutex_;
    // Per step: how often it still succeeds before it fails; -1: it never fails.
    std::array<int, static_cast<size_t>(Step::Close) + 1> successesLeft_;
    unsigned throwing_ = 0;
    size_t writeAccepts_ = 0;
    std::deque<Byte> input_; // in order of arrival
    std::deque<std::vector<Piece>> replies_;
    Responder responder_;
    bool open_ = false;
    QString path_;
    int32_t baud_ = 0;
    int readWaitMs_ = -1;
    int inputQueue_ = 0;
    int outputQueue_ = 0;
    int opens_ = 0;
    int closes_ = 0;
    int purges_ = 0;
    std::vector<std::vector<uint8_t>> writes_;
};

} // namespace platform
