#include "VskComPort.h"

namespace {
// Reflected-polynomial table for CRC-16/MODBUS (polynomial A001 hex).
struct CrcTable {
    uint16_t entry[256];
    constexpr CrcTable() : entry() {
        for (int i = 0; i < 256; ++i) {
            uint16_t crc = static_cast<uint16_t>(i);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
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
    const uint16_t c = ModbusCRC16(buffer.Tx, len);
    buffer.Tx[len] = static_cast<uint8_t>(c >> 8);
    buffer.Tx[len + 1] = static_cast<uint8_t>(c & 0xFF);
    buffer.TxLen = static_cast<uint8_t>(len + 2);
}
