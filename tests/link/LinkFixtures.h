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
#include <string>

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

// What a LoggingLine logged; kept by its factory, so it can be read after the port is gone.
class LineLog {
public:
    void Note(const QString& entry) {
        std::lock_guard lock(m_);
        log_ << entry;
    }
    // A list of its own: one that shared log_'s storage would race with the next Note
    // on its count.
    QStringList Entries() const {
        std::lock_guard lock(m_);
        QStringList copy;
        copy.reserve(log_.size());
        for (const QString& entry : log_)
            copy << entry;
        return copy;
    }
    // A deep copy: a QString shared with the port thread would race on its count.
    void NoteOpened(const QString& path) {
        std::lock_guard lock(m_);
        openedPath_ = path.toStdString();
    }
    std::string OpenedPath() const {
        std::lock_guard lock(m_);
        return openedPath_;
    }

private:
    mutable std::mutex m_;
    QStringList log_;
    std::string openedPath_;
};

// A FakeSerialLine that logs "open@T", "write@T", "close@T" (T in virtual ms) and can
// run a hook inside Open and Close, where the window thread might act meanwhile.
class LoggingLine : public platform::SerialLine {
public:
    LoggingLine(platform::VirtualClock& clock, std::shared_ptr<LineLog> log)
        : clock_(clock), fake_(clock), log_(std::move(log)) {}

    platform::FakeSerialLine& Fake() { return fake_; }
    std::function<void()> DuringOpen;
    std::function<void()> DuringClose;

    QStringList Log() const { return log_->Entries(); }

    bool Open(const QString& path) override {
        if (DuringOpen)
            DuringOpen();
        const bool ok = fake_.Open(path);
        if (ok)
            log_->NoteOpened(path);
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
        log_->Note(QStringLiteral("%1@%2").arg(QLatin1String(what)).arg(clock_.NowMs()));
    }

    platform::VirtualClock& clock_;
    platform::FakeSerialLine fake_;
    std::shared_ptr<LineLog> log_;
};

// Hands the port a LoggingLine and keeps a pointer to it (valid while the port lives)
// and its log (valid for the factory's life).
struct LoggingLineFactory {
    platform::VirtualClock& clock;
    LoggingLine* made = nullptr;
    std::shared_ptr<LineLog> log = std::make_shared<LineLog>();
    std::function<std::unique_ptr<platform::SerialLine>()> Factory() {
        return [this] {
            auto line = std::make_unique<LoggingLine>(clock, log);
            made = line.get();
            return std::unique_ptr<platform::SerialLine>(std::move(line));
        };
    }
};
