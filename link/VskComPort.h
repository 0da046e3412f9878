#pragma once
// The link's request/reply record, its settings record, the Modbus RTU CRC and the
// serial port that runs one exchange at a time.
#include <cstdint>

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

// Appends the CRC behind Tx[0 .. len-1] and sets TxLen to len + 2.
void AppendCRC(TPortBuffer& buffer, uint8_t len);
