#pragma once
// Fixtures for tests of the polling master: a small project (registers, packets, write
// queue) and an instrument played in memory that answers request frames.
#include "Packets.h"
#include "RegistersMB.h"
#include "VskComPort.h"
#include "WRPackets.h"
#include "WriteQueue.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace mastertest {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t kSlave = 210;

inline Bytes WithCrc(Bytes frame) {
    const uint16_t c = ModbusCRC16(frame.data(), static_cast<uint16_t>(frame.size()));
    frame.push_back(static_cast<uint8_t>(c >> 8));
    frame.push_back(static_cast<uint8_t>(c & 0xFF));
    return frame;
}

// Packet i reads the one word register at 1-based address 10 * i + 1.
struct Project {
    explicit Project(int packets, bool watched = true) {
        for (int i = 0; i < packets; ++i) {
            auto reg = std::make_unique<TRegisterMB>();
            reg->Addr = static_cast<uint16_t>(10 * i + 1);
            reg->Watched = watched;
            auto packet = std::make_unique<TPacket>();
            packet->SetAddress(kSlave);
            packet->AddRegister(reg.get());
            packet->ComputeRange();
            List.push_back(packet.get());
            Registers.push_back(std::move(reg));
            Packets.push_back(std::move(packet));
        }
    }
    void QueueWrite(uint16_t addr, uint16_t value) {
        auto w = std::make_unique<TWRPacket>();
        w->Address = kSlave;
        w->Func = 6;
        w->Addr = addr;
        w->WordValue = value;
        Writes.Append(std::move(w));
    }
    std::vector<std::unique_ptr<TRegisterMB>> Registers;
    std::vector<std::unique_ptr<TPacket>> Packets;
    std::vector<TPacket*> List;
    TWriteQueue Writes;
};

// The instrument: registers by wire address and an identification text. It logs each
// request as "id", "p<i>" (a read of packet i's register) or "w<addr>" (a function 6
// write to the 1-based address). Safe to call from the port thread.
class Device {
public:
    Bytes Id = {'A', 'B', 'C'};
    std::map<uint16_t, uint16_t> Values;
    using TOverride =
        std::function<std::optional<Bytes>(const Bytes& request, const QString& label)>;
    // May answer a request its own way (std::nullopt: the normal answer).
    void SetOverride(TOverride override) {
        std::lock_guard lock(m_);
        override_ = std::move(override);
    }

    Bytes Answer(const Bytes& request) {
        const QString label = Label(request);
        TOverride override;
        {
            std::lock_guard lock(m_);
            log_ << label;
            override = override_;
        }
        if (override)
            if (auto reply = override(request, label))
                return *reply;
        if (request.size() < 4 || request[0] != kSlave)
            return {};
        switch (request[1]) {
        case 0x11: {
            Bytes r = {kSlave, 0x11, static_cast<uint8_t>(Id.size())};
            r.insert(r.end(), Id.begin(), Id.end());
            return WithCrc(r);
        }
        case 3:
        case 4: {
            const uint16_t start = Word(request, 2), count = Word(request, 4);
            Bytes r = {kSlave, request[1], static_cast<uint8_t>(count * 2)};
            std::lock_guard lock(m_);
            for (uint16_t i = 0; i < count; ++i) {
                const uint16_t v = Values[static_cast<uint16_t>(start + i)];
                r.push_back(static_cast<uint8_t>(v >> 8));
                r.push_back(static_cast<uint8_t>(v));
            }
            return WithCrc(r);
        }
        case 6: {
            std::lock_guard lock(m_);
            Values[Word(request, 2)] = Word(request, 4);
            return Bytes(request.begin(), request.begin() + 8);
        }
        default:
            return {};
        }
    }
    QStringList Log() const {
        std::lock_guard lock(m_);
        return log_;
    }
    void ClearLog() {
        std::lock_guard lock(m_);
        log_.clear();
    }
    static QString Label(const Bytes& request) {
        if (request.size() >= 2 && request[1] == 0x11)
            return QStringLiteral("id");
        if (request.size() >= 6 && (request[1] == 3 || request[1] == 4))
            return QStringLiteral("p%1").arg(Word(request, 2) / 10);
        if (request.size() >= 6 && request[1] == 6)
            return QStringLiteral("w%1").arg(Word(request, 2) + 1);
        return QStringLiteral("?");
    }

private:
    static uint16_t Word(const Bytes& b, size_t at) {
        return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
    }
    mutable std::mutex m_;
    QStringList log_;
    TOverride override_;
};

// Plays the port thread's side of one exchange on the master's buffer.
inline void Exchange(TPortBuffer& buffer, Device& device) {
    const Bytes reply = device.Answer(Bytes(buffer.Tx, buffer.Tx + buffer.TxLen));
    const size_t n = std::min<size_t>(reply.size(), 254);
    std::copy(reply.begin(), reply.begin() + n, buffer.Rx);
    buffer.RxCount = static_cast<uint8_t>(n);
}

} // namespace mastertest
