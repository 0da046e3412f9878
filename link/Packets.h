#pragma once
// One Modbus read request over a contiguous range of its registers.
//
// Threads: created and loaded in the window thread; BuildRequest, CheckReply and IsActive
// run in the port thread (register values and flags are atomics, see RegistersMB.h).
#include "RegistersMB.h"
#include "VskComPort.h"
#include "XmlDocument.h"

#include <QString>
#include <cstdint>
#include <vector>

// What ComputeRange found. A refused packet must not be polled: the project load shows
// RangeCheckText and fails.
enum class TRangeCheck {
    Ok,
    NoRegisters, // nothing to compute a range from
    TooLong,     // more than TPacket::MaxCount registers: the reply cannot fit a TPortBuffer
};

// The message for a refused packet, naming it by its ID.
QString RangeCheckText(TRangeCheck check, const QString& packetId);

class TPacket {
public:
    // Count * 2 + 5 reply bytes must fit the 254 a TPortBuffer takes in.
    static constexpr int MaxCount = 124;

    TPacket() = default;
    virtual ~TPacket() = default;
    TPacket(const TPacket&) = delete;
    TPacket& operator=(const TPacket&) = delete;

    QString ID = QStringLiteral("Unknow");
    uint8_t Address = 210; // slave address, fixed at load
    uint16_t Start = 1;    // 1-based address of the first register read
    uint16_t Count = 1;    // registers read
    uint8_t Func = 3;
    std::vector<TRegisterMB*> Registers; // in document order; owned by the project
    QString Name;

    // Reads ID, Name and Func (low-order 8 bits of the attribute's integer). A Func that
    // does not convert shows "Ошибка в извлечении фукции пакета. Функция будет 3!" and
    // leaves 3. Always true.
    bool LoadFromNode(const platform::XmlElement& node);
    void SetAddress(uint8_t address) { Address = address; }
    void AddRegister(TRegisterMB* reg) { Registers.push_back(reg); }
    // Start and Count from the registers (any order, gaps read too, overlaps allowed),
    // in 32 bits so that no address wraps. Start and Count stay as they were when refused.
    TRangeCheck ComputeRange();
    // The 8-byte read request; RxLen := Count * 2 + 5.
    void BuildRequest(TPortBuffer& buffer) const;
    // Accepts a reply of RxLen bytes from Address with Func and a good CRC (the byte
    // count is not examined), and then hands it to every register. Otherwise false and no
    // register changes.
    bool CheckReply(const TPortBuffer& buffer);
    // True when some register is stale or watched.
    bool IsActive() const;
};
