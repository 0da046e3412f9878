#pragma once
// One queued write: function 6 for one 16-bit register, function 16 for a real over two.
//
// Threads: built and queued in the window thread; BuildRequest and CheckReply (with its
// message box) run in the port thread.
#include "VskComPort.h"

#include <cstdint>

class TWRPacket {
public:
    TWRPacket() = default;
    virtual ~TWRPacket() = default;

    uint8_t Address = 0;    // stamped by the project at the moment of the write
    uint8_t Func = 0;       // 6 or 16, set by the channel
    uint16_t Addr = 1;      // 1-based address of the (first) register written
    uint16_t WordValue = 0; // function 6
    float RealValue = 0;    // function 16: low-order 16 bits to Addr, high-order to Addr + 1

    // The function 6 request (8 bytes) or the function 16 request (13 bytes), RxLen 8.
    // Any other function builds nothing: TxLen and RxLen 0 and the result false, and the
    // caller drops the write.
    bool BuildRequest(TPortBuffer& buffer) const;
    // True when RxCount = RxLen and the reply carries Func; otherwise shows
    // "Не получилось записать региср!" once and gives false.
    bool CheckReply(const TPortBuffer& buffer) const;
};
