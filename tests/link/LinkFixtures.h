#pragma once
// Fixtures for tests of the port thread and the polling master on virtual time: a
// clock with a hook on every sleep, and a fake serial line that logs what happens to it
// with the virtual moment.
#include "Clock.h"
#include "FakeSerialLine.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>

// Virtual time whose sleeps can call back, e.g. to play the window thread at a chosen
// moment of the port thread's turn.
class HookedClock : public platform::VirtualClock {
public:
    std::function<void(int64_t ms)> OnSleep; // set before the thread runs
    void SleepMs(int64_t ms) override {
        if (OnSleep)
            OnSleep(ms);
        VirtualClock::SleepMs(ms);
    }
};

// A FakeSerialLine that logs "open@T", "write@T", "close@T" (T in virtual ms) and can
// run a hook inside Open and Close, where the window thread might act meanwhile.
class LoggingLine : public platform::SerialLine {
public:
    explicit LoggingLine(platform::VirtualClock& clock) : clock_(clock), fake_(clock) {}

    platform::FakeSerialLine& Fake() { return fake_; }
    std::function<void()> DuringOpen;
    std::function<void()> DuringClose;

    QStringList Log() const {
        std::lock_guard lock(m_);
        return log_;
    }

    bool Open(const QString& path) override {
        if (DuringOpen)
            DuringOpen();
        const bool ok = fake_.Open(path);
        Note(ok ? "open" : "open failed");
        return ok;
    }
    bool SetLineSettings(int32_t baud) override { return fake_.SetLineSettings(baud); }
    bool SetTimeouts(int ms) override { return fake_.SetTimeouts(ms); }
    bool SetQueueSizes(int in, int out) override { return fake_.SetQueueSizes(in, out); }
    bool Purge() override { return fake_.Purge(); }
    bool Write(const uint8_t* data, size_t count, size_t* written) override {
        Note("write");
        return fake_.Write(data, count, written);
    }
    int Read(uint8_t* data, size_t maxCount) override { return fake_.Read(data, maxCount); }
    int WaitReadable(int timeoutMs) override { return fake_.WaitReadable(timeoutMs); }
    bool Close() override {
        const bool wasOpen = fake_.IsOpen();
        if (DuringClose)
            DuringClose();
        const bool ok = fake_.Close();
        if (wasOpen)
            Note(ok ? "close" : "close failed");
        return ok;
    }
    bool IsOpen() const override { return fake_.IsOpen(); }

private:
    void Note(const char* what) {
        std::lock_guard lock(m_);
        log_ << QStringLiteral("%1@%2").arg(QLatin1String(what)).arg(clock_.NowMs());
    }

    platform::VirtualClock& clock_;
    platform::FakeSerialLine fake_;
    mutable std::mutex m_;
    QStringList log_;
};

// Hands the port a LoggingLine and keeps a pointer to it for the test.
struct LoggingLineFactory {
    platform::VirtualClock& clock;
    LoggingLine* made = nullptr;
    std::function<std::unique_ptr<platform::SerialLine>()> Factory() {
        return [this] {
            auto line = std::make_unique<LoggingLine>(clock);
            made = line.get();
            return std::unique_ptr<platform::SerialLine>(std::move(line));
        };
    }
};
