#pragma once
// A pseudo-terminal pair for tests that play the far end of a serial line: the code
// under test opens SlavePath(), the test reads and writes Master().
#include <QString>
#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>
#include <vector>

class PtyPair {
public:
    PtyPair() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0)
            path_ = QString::fromLocal8Bit(name);
    }
    ~PtyPair() {
        if (master_ >= 0)
            ::close(master_);
        if (slave_ >= 0)
            ::close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Valid() const { return !path_.isEmpty(); }
    QString SlavePath() const { return path_; }
    int Master() const { return master_; }
    int Slave() const { return slave_; }

    bool WriteMaster(const std::vector<uint8_t>& bytes) const {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Up to count bytes from the master side, waiting at most timeoutMs for each piece;
    // fewer when the other side falls silent that long.
    std::vector<uint8_t> ReadMaster(size_t count, int timeoutMs) const {
        std::vector<uint8_t> got;
        while (got.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                break;
            uint8_t chunk[256];
            const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - got.size()));
            if (n <= 0)
                break;
            got.insert(got.end(), chunk, chunk + n);
        }
        return got;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};
