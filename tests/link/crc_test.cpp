#include "VskComPort.h"

#include <cstring>
#include <gtest/gtest.h>
#include <initializer_list>
#include <vector>

namespace {

TPortBuffer Reply(std::initializer_list<uint8_t> bytes) {
    TPortBuffer b;
    std::copy(bytes.begin(), bytes.end(), b.Rx);
    b.RxCount = static_cast<uint8_t>(bytes.size());
    return b;
}

TEST(ModbusCRC16, CheckValues) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(ModbusCRC16(digits, 9), 0x374B);
    EXPECT_EQ(ModbusCRC16(digits, 0), 0xFFFF);
    const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(ModbusCRC16(request, 6), 0x840A);
}

TEST(ModbusCRC16, AppendWritesHighByteFirst) {
    TPortBuffer b;
    const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    std::memcpy(b.Tx, request, 6);
    AppendCRC(b, 6);
    EXPECT_EQ(b.TxLen, 8);
    EXPECT_EQ(b.Tx[6], 0x84);
    EXPECT_EQ(b.Tx[7], 0x0A);

    // TxLen counts at most 255 bytes: 253 and their CRC. A longer frame goes out as nothing,
    // and nothing is written past Tx.
    TPortBuffer longest;
    AppendCRC(longest, 253);
    EXPECT_EQ(longest.TxLen, 255);
    const uint16_t crc = ModbusCRC16(longest.Tx, 253);
    EXPECT_EQ(longest.Tx[253], crc >> 8);
    EXPECT_EQ(longest.Tx[254], crc & 0xFF);
    for (const uint8_t len : {uint8_t(254), uint8_t(255)}) {
        TPortBuffer over;
        over.TxLen = 9;
        over.Rx[0] = 0x5A;
        AppendCRC(over, len);
        EXPECT_EQ(over.TxLen, 0) << int(len);
        EXPECT_EQ(over.Tx[254], 0) << int(len);
        EXPECT_EQ(over.Tx[255], 0) << int(len);
        EXPECT_EQ(over.Rx[0], 0x5A) << int(len);
    }
}

TEST(CheckReplyCRC, AcceptsAndRefuses) {
    // 01 03 00 00 00 01 84 0A is a well-formed frame of 8 bytes.
    EXPECT_TRUE(CheckReplyCRC(Reply({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A})));
    EXPECT_FALSE(CheckReplyCRC(Reply({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x0A, 0x84}))); // swapped

    // Four bytes can pass: two data bytes and their CRC.
    TPortBuffer four;
    four.Rx[0] = 0x12;
    four.Rx[1] = 0x34;
    const uint16_t c = ModbusCRC16(four.Rx, 2);
    four.Rx[2] = c >> 8;
    four.Rx[3] = c & 0xFF;
    four.RxCount = 4;
    EXPECT_TRUE(CheckReplyCRC(four));

    // Three bytes never pass, even when the last two match the CRC of the first.
    TPortBuffer three;
    three.Rx[0] = 0x12;
    const uint16_t c1 = ModbusCRC16(three.Rx, 1);
    three.Rx[1] = c1 >> 8;
    three.Rx[2] = c1 & 0xFF;
    three.RxCount = 3;
    EXPECT_FALSE(CheckReplyCRC(three));
}

TEST(CheckReplyCRC, LooksOnlyAtReceivedBytes) {
    TPortBuffer b = Reply({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A});
    b.Rx[8] = 0x55; // left over from an earlier exchange
    b.Rx[9] = 0xAA;
    EXPECT_TRUE(CheckReplyCRC(b));
    b.RxCount = 10;
    EXPECT_FALSE(CheckReplyCRC(b));
}

} // namespace
