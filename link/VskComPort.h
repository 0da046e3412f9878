#pragma once
// The link's request/reply record, its settings record, the Modbus RTU CRC and the
// serial port that runs one exchange at a time.
#include "Clock.h"
#include "SerialLine.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>

// One request frame and its reply.
struct TPortBuffer {
    uint8_t Tx[256] = {};
    uint8_t Rx[256] = {};
    uint8_t TxLen = 0;
    uint8_t RxLen = 0;   // reply bytes expected, CRC included; 255: until the line falls silent
    uint8_t RxCount = 0; // reply bytes received, at most 254
};

// The link settings, copied whole wherever they are handed on.
struct TPortSettings {
    uint8_t Port = 1;
    int32_t Speed = 9600;
    uint16_t TimeOut = 200;
    uint16_t Pause = 10;
    uint16_t Gap = 30;
};

// CRC-16/MODBUS. The caller stores the high-order byte of the result first: that byte
// is the CRC's low-order byte, which goes on the wire first.
uint16_t ModbusCRC16(const uint8_t* data, uint16_t count);

// True when Rx[0 .. RxCount-1] ends in a correct CRC; replies of 3 bytes or fewer never do.
bool CheckReplyCRC(const TPortBuffer& buffer);

// Appends the CRC behind Tx[0 .. len-1] and sets TxLen to len + 2. A frame of more than
// 253 bytes has no room for its CRC: TxLen becomes 0 and nothing goes out.
void AppendCRC(TPortBuffer& buffer, uint8_t len);

// One serial port that runs one Modbus RTU request/reply exchange at a time on a
// caller's buffer. Failures come back as false, with the text in LastError(). No lock:
// one thread at a time uses the port.
class TVskComPort {
public:
    // The standard rates by index; the accepted speeds are 9600, 19200, 38400, 57600
    // and 115200.
    static constexpr std::array<int32_t, 13> BaudRates = {
        110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200};

    // Starts from Port 1, 9600 baud, TimeOut 200, Pause 10, Gap 30, closed, without a
    // buffer, then takes the given settings if their speed is accepted. Without a line
    // the port drives the system's serial devices; the clock times the waits.
    explicit TVskComPort(const TPortSettings& settings,
                         std::unique_ptr<platform::SerialLine> line = nullptr,
                         platform::Clock& clock = platform::SystemClock());
    TVskComPort(const TVskComPort&) = delete;
    TVskComPort& operator=(const TVskComPort&) = delete;

    // Takes the settings whole when their speed is accepted, else keeps the previous
    // ones. An open port keeps its line settings until the next Open.
    bool SetParams(const TPortSettings& settings);
    // (Re)opens "COM" + Port and sets the line up.
    bool Open();
    // True when the line closed; closing a port that is not open succeeds.
    bool Close();
    // Whether the port opens; leaves it closed.
    bool TestOpen();
    // The buffer of the following exchanges; nullptr keeps the previous one.
    void SetBuffer(TPortBuffer* buffer);
    // Sends Tx[0 .. TxLen-1] and reads the reply into Rx: the first bytes within
    // TimeOut, the rest until RxLen bytes came or the line stays silent for one Pause
    // (5 ms when 0), each byte read as soon as it is there. True only when exactly
    // RxLen bytes came; RxCount holds how many did, at most 254.
    bool Exchange();

    const TPortSettings& Settings() const { return settings_; }
    const QString& LastError() const { return lastError_; }
    uint8_t BaudIndex() const { return baudIndex_; }
    bool IsOpen() const { return line_->IsOpen(); }
    TPortBuffer* Buffer() const { return buffer_; }
    // "COM" followed by the port number.
    QString DeviceName() const;

    // Index of a speed in BaudRates; 6 (9600) for any speed that is not accepted.
    static uint8_t SelectBaudIndex(int32_t speed);
    // Milliseconds from one monotonic clock reading to a later one; never negative.
    static int64_t MsBetween(int64_t earlierMs, int64_t laterMs);

private:
    bool OpenSteps(const QString& name);
    bool FailOpen(const QString& text, const QString& name);
    bool ReadReply();
    bool WaitFirstBytes();
    bool ReadRest();
    // Reads up to count bytes into Rx at RxCount: the number read, or -1 on failure.
    int ReadInto(int count);
    bool ReadFailed();

    TPortSettings settings_;
    QString lastError_;
    uint8_t baudIndex_ = 6;
    std::unique_ptr<platform::SerialLine> line_; // open or closed: the port's handle
    TPortBuffer* buffer_ = nullptr;              // not owned
    platform::Clock& clock_;
};
