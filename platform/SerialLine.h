#pragma once
// One serial line, shaped by what the link's serial port needs: open a device for this
// process alone, set the line up in separate steps that can each fail, and move bytes
// without blocking longer than asked. The real line is POSIX termios; tests use
// FakeSerialLine (FakeSerialLine.h).
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Opens the device (a path, symbolic links followed) for reading and writing, for
    // this open alone: while it is open, any other open of the same device fails, in
    // this process or another. False when the device cannot be opened or is taken.
    virtual bool Open(const QString& devicePath) = 0;

    // Raw 8 data bits, no parity, 2 stop bits, no flow control, the given baud rate,
    // DTR and RTS held off. False for a rate the line does not know.
    virtual bool SetLineSettings(int32_t baud) = 0;

    // A read returns at once with the bytes that are waiting or, when none are, waits
    // at most readWaitMs for a first byte. Writes have no time-out.
    virtual bool SetTimeouts(int readWaitMs) = 0;

    // The sizes of the input and output queues the caller asks for.
    virtual bool SetQueueSizes(int inputBytes, int outputBytes) = 0;

    // Throws away what waits in both queues, unread input and unsent output.
    virtual bool Purge() = 0;

    // Writes all bytes and waits until they have left. False on failure, with *written
    // holding how many the line took.
    virtual bool Write(const uint8_t* data, size_t count, size_t* written) = 0;

    // Reads up to maxCount bytes as SetTimeouts says. Returns the number read (0 when
    // nothing came) or -1 on failure.
    virtual int Read(uint8_t* data, size_t maxCount) = 0;

    // Waits at most timeoutMs until bytes wait to be read. 1: they do; 0: the time
    // ran out; -1: the line failed.
    virtual int WaitReadable(int timeoutMs) = 0;

    // Closes the line; closing a line that is not open succeeds. A line that fails to
    // close reports false.
    virtual bool Close() = 0;

    virtual bool IsOpen() const = 0;
};

// A new, closed line on the system's serial devices.
std::unique_ptr<SerialLine> MakeSystemSerialLine();

} // namespace platform
