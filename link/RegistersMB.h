#pragma once
// One instrument register as the project describes it and the last accepted read left it.
//
// Threads: loading, saving, AsWord/AsReal for display, SetFromWord/SetFromReal and Watched
// belong to the window thread; TakeReply and NeedsPoll run in the port thread. Value,
// Stale and Watched are atomics, each update one store of its width, so a reader sees
// the old or the new value, never a mix.
#include "VskComPort.h"
#include "XmlDocument.h"

#include <QString>
#include <atomic>
#include <cstdint>

enum TRegisterType : uint8_t {
    rtWord = 0, // 16-bit unsigned; also every unknown or absent keyword
    rtInt = 1,  // the same 16 bits read as two's complement
    rtReal = 2, // IEEE single over Addr (low-order 16 bits) and Addr + 1 (high-order 16 bits)
};

class TRegisterMB {
public:
    TRegisterMB() = default;
    virtual ~TRegisterMB() = default;
    TRegisterMB(const TRegisterMB&) = delete;
    TRegisterMB& operator=(const TRegisterMB&) = delete;

    QString ID = QStringLiteral("Unknow");
    QString Name;
    TRegisterType DataType = rtWord;
    uint16_t Addr = 1;         // 1-based; a real also takes Addr + 1
    platform::XmlElement Node; // the Register element it came from; SaveToNode writes into it
    // rtWord, rtInt: the word in the low-order half, the high-order half 0; rtReal: the
    // bits of an IEEE single.
    std::atomic<uint32_t> Value{0};
    std::atomic<bool> Stale{true};    // no accepted read reply yet
    std::atomic<bool> Watched{false}; // on the current view level; set by the channels

    // Loads a Register element. Counter is the project's running address: "+" takes it,
    // a numeric Addr restarts it; afterwards it stands behind this register. A bad Addr
    // shows "Ошибка в извлечении адреса регистра!" and takes the counter. Always true.
    bool LoadFromNode(const platform::XmlElement& node, uint16_t& counter);

    uint16_t WordCount() const { return DataType == rtReal ? 2 : 1; }
    uint16_t AsWord() const { return static_cast<uint16_t>(Value.load()); }
    int16_t AsInt() const { return static_cast<int16_t>(AsWord()); }
    float AsReal() const;

    // Set by a channel before it queues a write, so the new value shows at once.
    void SetFromWord(uint16_t w);
    void SetFromReal(float x); // 16-bit types: rounded half to even, low-order 16 bits kept

    // Byte offset of this register's data in a read reply whose first register is at the
    // 0-based wire address `base`.
    int32_t ReplyOffset(int32_t base) const { return 3 + 2 * ((int32_t(Addr) - 1) - base); }
    // True when all of this register's bytes lie in the reply's data (before the CRC).
    bool InsideReply(const TPortBuffer& buffer, int32_t base) const;
    // Takes the value from an accepted read reply and clears Stale. Refuses (false,
    // nothing changed) a register whose bytes are not inside the reply.
    bool TakeReply(const TPortBuffer& buffer, int32_t base);

    bool NeedsPoll() const { return Stale.load() || Watched.load(); }

    // Writes Value into the Value attribute of Node (added when missing).
    void SaveToNode();
    // The text SaveToNode writes: unsigned or signed decimal, or the real with 15
    // significant digits and the user's decimal separator ("NAN", "INF").
    QString ValueText() const;
};
