#include "SerialLine.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

// A single write of at most 256 bytes that has not gone out after this long means a
// broken line rather than a slow one.
constexpr int kWriteStallMs = 2000;

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool BaudConstant(int32_t baud, speed_t* out) {
    switch (baud) {
    case 110:
        *out = B110;
        return true;
    case 300:
        *out = B300;
        return true;
    case 600:
        *out = B600;
        return true;
    case 1200:
        *out = B1200;
        return true;
    case 2400:
        *out = B2400;
        return true;
    case 4800:
        *out = B4800;
        return true;
    case 9600:
        *out = B9600;
        return true;
    case 19200:
        *out = B19200;
        return true;
    case 38400:
        *out = B38400;
        return true;
    case 57600:
        *out = B57600;
        return true;
    case 115200:
        *out = B115200;
        return true;
    default:
        return false;
    }
}

// Polls fd for the given events at most timeoutMs, across interrupting signals.
// Returns the revents, 0 when the time ran out, -1 on failure.
int PollFor(int fd, short events, int timeoutMs) {
    const int64_t deadline = SteadyMs() + (timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
        pollfd p{fd, events, 0};
        const int64_t left = deadline - SteadyMs();
        const int r = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
        if (r > 0)
            return p.revents;
        if (r == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

class PosixSerialLine : public SerialLine {
public:
    ~PosixSerialLine() override { Close(); }

    bool Open(const QString& devicePath) override {
        if (fd_ >= 0 || devicePath.isEmpty())
            return false;
        // Non-blocking, so that a modem line without carrier does not hold the open.
        const int fd = ::open(QFile::encodeName(devicePath).constData(),
                              O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        // TIOCEXCL keeps other users out, but root passes it; the lock keeps out every
        // opener that goes through this layer, root included. It is taken before
        // TIOCEXCL so that a refused open never touches the owner's exclusive mode.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
            ::close(fd);
            return false;
        }
        fd_ = fd;
        return true;
    }

    bool SetLineSettings(int32_t baud) override {
        speed_t speed;
        termios t{};
        if (fd_ < 0 || !BaudConstant(baud, &speed) || ::tcgetattr(fd_, &t) != 0)
            return false;
        ::cfmakeraw(&t);
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        t.c_cflag &= ~(CSIZE | PARENB | CRTSCTS | HUPCL);
        t.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
        if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0 ||
            ::tcsetattr(fd_, TCSANOW, &t) != 0)
            return false;
        // Pseudo-terminals have no modem lines.
        int lines = TIOCM_DTR | TIOCM_RTS;
        return ::ioctl(fd_, TIOCMBIC, &lines) == 0 || errno == ENOTTY;
    }

    bool SetTimeouts(int readWaitMs) override {
        termios t{};
        if (fd_ < 0 || readWaitMs < 0 || ::tcgetattr(fd_, &t) != 0)
            return false;
        // Reads never block in the driver; the wait for a first byte is a poll here.
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (::tcsetattr(fd_, TCSANOW, &t) != 0)
            return false;
        readWaitMs_ = readWaitMs;
        return true;
    }

    bool SetQueueSizes(int inputBytes, int outputBytes) override {
        // The kernel's terminal queues have a fixed size, larger than any size asked
        // for here; what can fail is a line that is no terminal any more.
        termios t{};
        return fd_ >= 0 && inputBytes > 0 && outputBytes > 0 && ::tcgetattr(fd_, &t) == 0;
    }

    bool Purge() override { return fd_ >= 0 && ::tcflush(fd_, TCIOFLUSH) == 0; }

    bool Write(const uint8_t* data, size_t count, size_t* written) override {
        *written = 0;
        if (fd_ < 0)
            return false;
        while (*written < count) {
            const ssize_t n = ::write(fd_, data + *written, count - *written);
            if (n > 0) {
                *written += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return false;
            const int r = PollFor(fd_, POLLOUT, kWriteStallMs);
            if (r <= 0 || (r & (POLLERR | POLLHUP | POLLNVAL)))
                return false;
        }
        while (::tcdrain(fd_) != 0) {
            if (errno != EINTR)
                return false;
        }
        return true;
    }

    int Read(uint8_t* data, size_t maxCount) override {
        if (fd_ < 0)
            return -1;
        if (maxCount == 0)
            return 0;
        const int n = ReadWaiting(data, maxCount);
        if (n != 0 || readWaitMs_ == 0)
            return n;
        const int r = WaitReadable(readWaitMs_);
        return r <= 0 ? r : ReadWaiting(data, maxCount);
    }

    int WaitReadable(int timeoutMs) override {
        if (fd_ < 0)
            return -1;
        const int r = PollFor(fd_, POLLIN, timeoutMs);
        if (r < 0 || ((r & POLLIN) == 0 && (r & (POLLERR | POLLHUP | POLLNVAL))))
            return -1;
        return r ? 1 : 0;
    }

    bool Close() override {
        if (fd_ < 0)
            return true;
        // A pseudo-terminal's exclusive mode outlives our descriptor while its other
        // end keeps the slave open; leave it as we found it.
        ::ioctl(fd_, TIOCNXCL);
        const int r = ::close(fd_);
        // The descriptor is gone whatever close reports.
        fd_ = -1;
        return r == 0 || errno == EINTR;
    }

    bool IsOpen() const override { return fd_ >= 0; }

private:
    // What the driver holds now; with VMIN and VTIME 0 a read never blocks.
    int ReadWaiting(uint8_t* data, size_t maxCount) {
        for (;;) {
            const ssize_t n = ::read(fd_, data, maxCount);
            if (n >= 0)
                return static_cast<int>(n);
            if (errno == EAGAIN)
                return 0;
            if (errno != EINTR)
                return -1;
        }
    }

    int fd_ = -1;
    int readWaitMs_ = 0;
};

} // namespace

std::unique_ptr<SerialLine> MakeSystemSerialLine() {
    return std::make_unique<PosixSerialLine>();
}

} // namespace platform
