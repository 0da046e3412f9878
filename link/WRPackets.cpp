#include "WRPackets.h"

#include "MessageBox.h"

#include <QString>
#include <bit>

bool TWRPacket::BuildRequest(TPortBuffer& buffer) const {
    if (Func != 6 && Func != 16) {
        buffer.TxLen = 0;
        buffer.RxLen = 0;
        return false;
    }
    const uint16_t wire = static_cast<uint16_t>(Addr - 1);
    buffer.Tx[0] = Address;
    buffer.Tx[1] = Func;
    buffer.Tx[2] = static_cast<uint8_t>(wire >> 8);
    buffer.Tx[3] = static_cast<uint8_t>(wire);
    buffer.RxLen = 8;
    if (Func == 6) {
        buffer.Tx[4] = static_cast<uint8_t>(WordValue >> 8);
        buffer.Tx[5] = static_cast<uint8_t>(WordValue);
        AppendCRC(buffer, 6);
        return true;
    }
    const uint32_t bits = std::bit_cast<uint32_t>(RealValue);
    buffer.Tx[4] = 0;
    buffer.Tx[5] = 2;
    buffer.Tx[6] = 4;
    buffer.Tx[7] = static_cast<uint8_t>(bits >> 8);
    buffer.Tx[8] = static_cast<uint8_t>(bits);
    buffer.Tx[9] = static_cast<uint8_t>(bits >> 24);
    buffer.Tx[10] = static_cast<uint8_t>(bits >> 16);
    AppendCRC(buffer, 11);
    return true;
}

bool TWRPacket::CheckReply(const TPortBuffer& buffer) const {
    if (buffer.RxCount == buffer.RxLen && buffer.Rx[1] == Func)
        return true;
    platform::MessageBox(QStringLiteral("Не получилось записать региср!"),
                         QStringLiteral("Внимание"));
    return false;
}
