#pragma once
// The project's queue of writes, oldest first. The window thread appends at the tail;
// the port thread sends the head and then frees and removes it. One lock is held for
// each single append or removal. The head stays where it is while the port thread uses
// it without the lock: only the port thread removes entries while a link runs.
#include "WRPackets.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>

class TWriteQueue {
public:
    // Window thread.
    void Append(std::unique_ptr<TWRPacket> write);
    // Port thread: the oldest write, nullptr when there is none.
    TWRPacket* Head() const;
    // Port thread: frees the oldest write; nothing when there is none.
    void RemoveHead();
    bool Empty() const;
    size_t Size() const;
    // Frees every write; only while no port thread uses the queue (the project closes).
    void Clear();

private:
    mutable std::mutex m_;
    std::deque<std::unique_ptr<TWRPacket>> writes_;
};
