#include "VskComPort.h"

#include "ComPorts.h"

#include <algorithm>

namespace {
// Reflected-polynomial table for CRC-16/MODBUS (polynomial A001 hex).
struct CrcTable {
    uint16_t entry[256];
    constexpr CrcTable() : entry() {
        for (int i = 0; i < 256; ++i) {
            uint16_t crc = static_cast<uint16_t>(i);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                                : static_cast<uint16_t>(crc >> 1);
            entry[i] = crc;
        }
    }
};
constexpr CrcTable kCrcTable;
} // namespace

uint16_t ModbusCRC16(const uint8_t* data, uint16_t count) {
    uint16_t crc = 0xFFFF;
    for (uint16_t i = 0; i < count; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable.entry[(crc ^ data[i]) & 0xFF]);
    // The word is returned with its bytes swapped so that high-byte-first storage puts
    // the CRC's low-order byte on the wire first.
    return static_cast<uint16_t>((crc << 8) | (crc >> 8));
}

bool CheckReplyCRC(const TPortBuffer& buffer) {
    const unsigned n = buffer.RxCount;
    if (n <= 3)
        return false;
    const uint16_t c = ModbusCRC16(buffer.Rx, static_cast<uint16_t>(n - 2));
    return buffer.Rx[n - 2] == (c >> 8) && buffer.Rx[n - 1] == (c & 0xFF);
}

void AppendCRC(TPortBuffer& buffer, uint8_t len) {
    // TxLen counts at most 255 bytes; the CRC of a longer frame would not even fit Tx.
    if (len > sizeof buffer.Tx - 3) {
        buffer.TxLen = 0;
        return;
    }
    const uint16_t c = ModbusCRC16(buffer.Tx, len);
    buffer.Tx[len] = static_cast<uint8_t>(c >> 8);
    buffer.Tx[len + 1] = static_cast<uint8_t>(c & 0xFF);
    buffer.TxLen = static_cast<uint8_t>(len + 2);
}

namespace {
// One pass of the wait for the first reply bytes; also the silence that ends a reply
// when Pause is 0.
constexpr int kPassMs = 5;
// A read returns what is waiting or waits this long for a first byte.
constexpr int kReadWaitMs = 1;
constexpr int kQueueBytes = 100;
// Rx holds 256 bytes, but RxCount is never more than this.
constexpr int kMaxRxCount = 254;

bool IsAcceptedSpeed(int32_t speed) {
    return speed == 9600 || speed == 19200 || speed == 38400 || speed == 57600 || speed == 115200;
}
} // namespace

TVskComPort::TVskComPort(const TPortSettings& settings, std::unique_ptr<platform::SerialLine> line,
                         platform::Clock& clock)
    : line_(line ? std::move(line) : platform::MakeSystemSerialLine()), clock_(clock) {
    baudIndex_ = SelectBaudIndex(settings_.Speed);
    SetParams(settings);
}

bool TVskComPort::SetParams(const TPortSettings& settings) {
    const bool accepted = IsAcceptedSpeed(settings.Speed);
    if (accepted)
        settings_ = settings;
    else
        lastError_ = QStringLiteral("Неверная скорость: ") + QString::number(settings.Speed);
    baudIndex_ = SelectBaudIndex(settings_.Speed);
    return accepted;
}

QString TVskComPort::DeviceName() const {
    return QStringLiteral("COM") + QString::number(settings_.Port);
}

bool TVskComPort::Open() {
    const QString name = DeviceName();
    try {
        return OpenSteps(name);
    } catch (...) {
        return FailOpen(QStringLiteral("Ошибка при открытии порта "), name);
    }
}

bool TVskComPort::OpenSteps(const QString& name) {
    if (IsOpen())
        Close();
    const QString path = platform::ResolveComPort(name);
    if (path.isEmpty() || !line_->Open(path))
        return FailOpen(QStringLiteral("Неудалось открыть порт "), name);
    if (!line_->SetLineSettings(BaudRates[baudIndex_]))
        return FailOpen(QStringLiteral("Неудалось настроить порт "), name);
    if (!line_->SetTimeouts(kReadWaitMs))
        return FailOpen(QStringLiteral("Неудалось настроить таймауты порта "), name);
    if (!line_->SetQueueSizes(kQueueBytes, kQueueBytes))
        return FailOpen(QStringLiteral("Неудалось запустить порт "), name);
    return true;
}

bool TVskComPort::FailOpen(const QString& text, const QString& name) {
    lastError_ = text + name;
    try {
        Close();
    } catch (...) {
        // The text above already says that the open failed.
    }
    return false;
}

bool TVskComPort::Close() {
    // The port thread must reach idle after a disconnect of a port that never opened.
    if (!line_->IsOpen())
        return true;
    return line_->Close();
}

bool TVskComPort::TestOpen() {
    const bool opened = Open();
    Close();
    return opened;
}

void TVskComPort::SetBuffer(TPortBuffer* buffer) {
    if (buffer)
        buffer_ = buffer;
}

bool TVskComPort::Exchange() {
    if (!IsOpen()) {
        lastError_ = QStringLiteral("Порт не проинициализирован!");
        return false;
    }
    if (!buffer_) {
        lastError_ = QStringLiteral("Буфер не проинициализирован!");
        return false;
    }
    buffer_->RxCount = 0;
    if (!line_->Purge()) {
        lastError_ = QStringLiteral("Ошибка при очистке порта.");
        return false;
    }
    size_t written = 0;
    if (!line_->Write(buffer_->Tx, buffer_->TxLen, &written)) {
        lastError_ = QStringLiteral("Ошибка при записи в порт. Записалось ") +
                     QString::number(written) + QStringLiteral(" байт из ") +
                     QString::number(buffer_->TxLen);
        return false;
    }
    return ReadReply();
}

bool TVskComPort::ReadReply() {
    return WaitFirstBytes() && ReadRest();
}

int TVskComPort::ReadInto(int count) {
    TPortBuffer& b = *buffer_;
    const int n = line_->Read(b.Rx + b.RxCount, static_cast<size_t>(count));
    if (n < 0)
        return -1;
    b.RxCount = static_cast<uint8_t>(std::min(b.RxCount + n, kMaxRxCount));
    return n;
}

bool TVskComPort::ReadFailed() {
    lastError_ = QStringLiteral("Ошибка при чтении из порта.");
    return false;
}

bool TVskComPort::WaitFirstBytes() {
    TPortBuffer& b = *buffer_;
    b.RxCount = 0;
    const int capacity = std::min<int>(b.RxLen, kMaxRxCount);
    const int64_t start = clock_.NowMs();
    for (;;) {
        // Each pass lasts kPassMs unless bytes come sooner; they are read at once.
        if (capacity == 0) {
            clock_.SleepMs(kPassMs); // nothing to read into: waiting on the line would spin
        } else {
            const int ready = line_->WaitReadable(kPassMs);
            const int n = ready > 0 ? ReadInto(capacity) : ready;
            if (n < 0)
                return ReadFailed();
            if (n > 0)
                return true;
        }
        const int64_t elapsed = MsBetween(start, clock_.NowMs());
        const int64_t remaining = elapsed >= settings_.TimeOut ? 0 : settings_.TimeOut - elapsed;
        if (remaining < kPassMs)
            return false; // LastError stays as it was
    }
}

bool TVskComPort::ReadRest() {
    TPortBuffer& b = *buffer_;
    if (b.RxCount >= b.RxLen)
        return true;
    const int pause = settings_.Pause ? settings_.Pause : kPassMs;
    const int capacity = std::min<int>(b.RxLen, kMaxRxCount);
    while (b.RxCount < b.RxLen) {
        // Reading until silence: a line that never falls silent would otherwise keep
        // this loop going for ever once the buffer is full.
        if (b.RxCount >= capacity) {
            lastError_.clear();
            return false;
        }
        const int ready = line_->WaitReadable(pause);
        const int n = ready > 0 ? ReadInto(capacity - b.RxCount) : ready;
        if (n < 0)
            return ReadFailed();
        if (n == 0) {
            lastError_.clear(); // the line fell silent: the reply has ended
            return false;
        }
    }
    return true;
}

uint8_t TVskComPort::SelectBaudIndex(int32_t speed) {
    switch (speed) {
    case 19200:
        return 8;
    case 38400:
        return 9;
    case 57600:
        return 11;
    case 115200:
        return 12;
    default:
        return 6;
    }
}

int64_t TVskComPort::MsBetween(int64_t earlierMs, int64_t laterMs) {
    return laterMs > earlierMs ? laterMs - earlierMs : 0;
}
