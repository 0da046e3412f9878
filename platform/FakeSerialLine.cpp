#include "FakeSerialLine.h"

#include <algorithm>
#include <stdexcept>

namespace platform {

namespace {
unsigned Bit(FakeSerialLine::Step step) {
    return 1u << static_cast<unsigned>(step);
}
} // namespace

void FakeSerialLine::Fail(Step step, bool fail) {
    FailAfter(step, fail ? 0 : -1);
}

void FakeSerialLine::FailAfter(Step step, int successfulCalls) {
    std::lock_guard lock(mutex_);
    successesLeft_[static_cast<size_t>(step)] = successfulCalls;
}

void FakeSerialLine::Throw(Step step, bool doThrow) {
    std::lock_guard lock(mutex_);
    throwing_ = doThrow ? throwing_ | Bit(step) : throwing_ & ~Bit(step);
}

void FakeSerialLine::SetWriteAccepts(size_t bytes) {
    std::lock_guard lock(mutex_);
    writeAccepts_ = bytes;
}

void FakeSerialLine::Schedule(int64_t delayMs, std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    ScheduleLocked(clock_.NowMs() + delayMs, bytes);
}

void FakeSerialLine::QueueReply(std::vector<Piece> pieces) {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(pieces));
}

void FakeSerialLine::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

QString FakeSerialLine::OpenedPath() const {
    std::lock_guard lock(mutex_);
    return path_;
}

int32_t FakeSerialLine::Baud() const {
    std::lock_guard lock(mutex_);
    return baud_;
}

int FakeSerialLine::ReadWaitMs() const {
    std::lock_guard lock(mutex_);
    return readWaitMs_;
}

int FakeSerialLine::InputQueue() const {
    std::lock_guard lock(mutex_);
    return inputQueue_;
}

int FakeSerialLine::OutputQueue() const {
    std::lock_guard lock(mutex_);
    return outputQueue_;
}

int FakeSerialLine::OpenCount() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

int FakeSerialLine::CloseCount() const {
    std::lock_guard lock(mutex_);
    return closes_;
}

int FakeSerialLine::PurgeCount() const {
    std::lock_guard lock(mutex_);
    return purges_;
}

std::vector<std::vector<uint8_t>> FakeSerialLine::Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

size_t FakeSerialLine::Pending() const {
    std::lock_guard lock(mutex_);
    return input_.size();
}

bool FakeSerialLine::Proceed(Step step) {
    if (throwing_ & Bit(step))
        throw std::runtime_error("scripted failure of a serial line step");
    int& left = successesLeft_[static_cast<size_t>(step)];
    if (left < 0)
        return true;
    if (left == 0)
        return false;
    --left;
    return true;
}

void FakeSerialLine::ScheduleLocked(int64_t atMs, const std::vector<uint8_t>& bytes) {
    // Later bytes of one piece, and pieces scheduled for the same moment, keep their order.
    auto at = std::upper_bound(input_.begin(), input_.end(), atMs,
                               [](int64_t t, const Byte& b) { return t < b.atMs; });
    for (uint8_t value : bytes)
        at = std::next(input_.insert(at, Byte{atMs, value}));
}

int FakeSerialLine::WaitLocked(int timeoutMs) {
    const int64_t now = clock_.NowMs();
    if (!input_.empty() && input_.front().atMs <= now)
        return 1;
    if (timeoutMs <= 0)
        return 0;
    if (!input_.empty() && input_.front().atMs <= now + timeoutMs) {
        clock_.SleepMs(input_.front().atMs - now);
        return 1;
    }
    clock_.SleepMs(timeoutMs);
    return 0;
}

bool FakeSerialLine::Open(const QString& devicePath) {
    std::lock_guard lock(mutex_);
    if (open_ || !Proceed(Step::Open))
        return false;
    open_ = true;
    path_ = devicePath;
    ++opens_;
    return true;
}

bool FakeSerialLine::SetLineSettings(int32_t baud) {
    std::lock_guard lock(mutex_);
    if (!open_ || !Proceed(Step::LineSettings) || baud <= 0)
        return false;
    baud_ = baud;
    return true;
}

bool FakeSerialLine::SetTimeouts(int readWaitMs) {
    std::lock_guard lock(mutex_);
    if (!open_ || !Proceed(Step::Timeouts) || readWaitMs < 0)
        return false;
    readWaitMs_ = readWaitMs;
    return true;
}

bool FakeSerialLine::SetQueueSizes(int inputBytes, int outputBytes) {
    std::lock_guard lock(mutex_);
    if (!open_ || !Proceed(Step::QueueSizes) || inputBytes <= 0 || outputBytes <= 0)
        return false;
    inputQueue_ = inputBytes;
    outputQueue_ = outputBytes;
    return true;
}

bool FakeSerialLine::Purge() {
    std::lock_guard lock(mutex_);
    if (!open_ || !Proceed(Step::Purge))
        return false;
    // What has arrived is dropped; what the other end sends later still comes.
    const int64_t now = clock_.NowMs();
    while (!input_.empty() && input_.front().atMs <= now)
        input_.pop_front();
    ++purges_;
    return true;
}

bool FakeSerialLine::Write(const uint8_t* data, size_t count, size_t* written) {
    std::unique_lock lock(mutex_);
    *written = 0;
    if (!open_)
        return false;
    if (!Proceed(Step::Write)) {
        *written = std::min(writeAccepts_, count);
        writes_.emplace_back(data, data + *written);
        return false;
    }
    *written = count;
    std::vector<uint8_t> request(data, data + count);
    writes_.push_back(request);

    std::vector<Piece> pieces;
    if (responder_) {
        // The responder may schedule or inspect the line itself.
        Responder responder = responder_;
        lock.unlock();
        pieces = responder(request);
        lock.lock();
    } else if (!replies_.empty()) {
        pieces = std::move(replies_.front());
        replies_.pop_front();
    }
    const int64_t now = clock_.NowMs();
    for (const Piece& piece : pieces)
        ScheduleLocked(now + piece.delayMs, piece.bytes);
    return true;
}

int FakeSerialLine::Read(uint8_t* data, size_t maxCount) {
    std::lock_guard lock(mutex_);
    if (!open_ || !Proceed(Step::Read))
        return -1;
    if (maxCount == 0)
        return 0;
    if (WaitLocked(readWaitMs_) <= 0)
        return 0;
    const int64_t now = clock_.NowMs();
    size_t n = 0;
    while (n < maxCount && !input_.empty() && input_.front().atMs <= now) {
        data[n++] = input_.front().value;
        input_.pop_front();
    }
    return static_cast<int>(n);
}

int FakeSerialLine::WaitReadable(int timeoutMs) {
    std::lock_guard lock(mutex_);
    if (!open_ || !Proceed(Step::Wait))
        return -1;
    return WaitLocked(timeoutMs);
}

bool FakeSerialLine::Close() {
    std::lock_guard lock(mutex_);
    if (!open_)
        return true;
    if (!Proceed(Step::Close))
        return false;
    open_ = false;
    ++closes_;
    return true;
}

bool FakeSerialLine::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

} // namespace platform
