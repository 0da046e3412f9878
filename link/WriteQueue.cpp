#include "WriteQueue.h"

void TWriteQueue::Append(std::unique_ptr<TWRPacket> write) {
    if (!write)
        return;
    std::lock_guard lock(m_);
    writes_.push_back(std::move(write));
}

TWRPacket* TWriteQueue::Head() const {
    std::lock_guard lock(m_);
    return writes_.empty() ? nullptr : writes_.front().get();
}

void TWriteQueue::RemoveHead() {
    std::unique_ptr<TWRPacket> head;
    {
        std::lock_guard lock(m_);
        if (writes_.empty())
            return;
        head = std::move(writes_.front());
        writes_.pop_front();
    }
    // Freed outside the lock: an append never waits for a destructor.
}

bool TWriteQueue::Empty() const {
    std::lock_guard lock(m_);
    return writes_.empty();
}

size_t TWriteQueue::Size() const {
    std::lock_guard lock(m_);
    return writes_.size();
}

void TWriteQueue::Clear() {
    std::deque<std::unique_ptr<TWRPacket>> writes;
    std::lock_guard lock(m_);
    writes.swap(writes_);
}
