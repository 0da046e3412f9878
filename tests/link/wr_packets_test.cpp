#include "LinkTestUtil.h"
#include "MessageBox.h"
#include "WRPackets.h"

#include <QByteArray>
#include <gtest/gtest.h>

namespace {

const QString kRefused = QString::fromUtf8("Не получилось записать региср!");

QByteArray Sent(const TPortBuffer& b) {
    return QByteArray(reinterpret_cast<const char*>(b.Tx), b.TxLen);
}

TWRPacket Write(uint8_t address, uint8_t func, uint16_t addr, uint16_t word, float real) {
    TWRPacket w;
    w.Address = address;
    w.Func = func;
    w.Addr = addr;
    w.WordValue = word;
    w.RealValue = real;
    return w;
}

TEST(TWRPacket, Defaults) {
    const TWRPacket w;
    EXPECT_EQ(w.Address, 0);
    EXPECT_EQ(w.Func, 0);
    EXPECT_EQ(w.Addr, 1);
    EXPECT_EQ(w.WordValue, 0);
    EXPECT_EQ(w.RealValue, 0.0f);
}

TEST(TWRPacket, Requests) {
    struct Case {
        TWRPacket write;
        const char* request;
    };
    const Case cases[] = {
        {Write(1, 6, 5, 1234, 0), "0106000404d24a96"},
        {Write(1, 16, 10, 0, 12.5f), "0110000900020400004148 03a3"},
        {Write(1, 6, 1, 0xFFFF, 0), "01060000ffff"},
        {Write(210, 16, 1, 0, -1.0f), "d2100000000204"
                                      "0000bf80"},
        {Write(1, 6, 0, 7, 0), "0106ffff0007"}, // wire address wraps in 16 bits
    };
    for (const Case& c : cases) {
        TPortBuffer buffer;
        ASSERT_TRUE(c.write.BuildRequest(buffer));
        const QByteArray expected = QByteArray::fromHex(QByteArray(c.request).replace(" ", ""));
        EXPECT_EQ(buffer.TxLen, c.write.Func == 6 ? 8 : 13);
        EXPECT_EQ(buffer.RxLen, 8);
        EXPECT_EQ(Sent(buffer).left(expected.size()).toHex(), expected.toHex());
        const uint16_t crc = ModbusCRC16(buffer.Tx, uint16_t(buffer.TxLen - 2));
        EXPECT_EQ(buffer.Tx[buffer.TxLen - 2], crc >> 8);
        EXPECT_EQ(buffer.Tx[buffer.TxLen - 1], crc & 0xFF);
    }
}

TEST(TWRPacket, OtherFunctionsBuildNothing) {
    for (const uint8_t func : {uint8_t(0), uint8_t(3), uint8_t(5), uint8_t(15), uint8_t(17)}) {
        TPortBuffer buffer;
        buffer.TxLen = 8; // left from an earlier request
        buffer.RxLen = 7;
        buffer.Tx[0] = 0x55;
        EXPECT_FALSE(Write(1, func, 5, 1, 0).BuildRequest(buffer));
        EXPECT_EQ(buffer.TxLen, 0);
        EXPECT_EQ(buffer.RxLen, 0);
    }
}

TEST(TWRPacket, CheckReply) {
    struct Case {
        const char* name;
        uint8_t func;
        TPortBuffer reply;
        bool accepted;
    };
    TPortBuffer badCrc = linktest::Reply({1, 0x10, 0, 9, 0, 2});
    badCrc.Rx[7] ^= 0xFF;
    TPortBuffer none;
    const Case cases[] = {
        {"normal 16", 16, linktest::Reply({1, 0x10, 0, 9, 0, 2}), true},
        {"normal 6", 6, linktest::Reply({1, 6, 0, 4, 4, 0xD2}), true},
        {"other address and value", 6, linktest::Reply({9, 6, 1, 1, 0, 0}), true},
        {"bad CRC", 16, badCrc, true},
        {"exception", 6, linktest::Reply({1, 0x86, 2}), false},
        {"no reply", 6, none, false},
        {"other function", 16, linktest::Reply({1, 6, 0, 9, 0, 2}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::RecordingMessageBox boxes;
        const TWRPacket w = Write(1, c.func, 10, 0, 0);
        TPortBuffer buffer = c.reply;
        ASSERT_TRUE(w.BuildRequest(buffer));
        EXPECT_EQ(w.CheckReply(buffer), c.accepted);
        ASSERT_EQ(boxes.Count(), c.accepted ? 0u : 1u);
        if (!c.accepted) {
            EXPECT_EQ(boxes.Boxes()[0].text, kRefused);
            EXPECT_EQ(boxes.Boxes()[0].caption, QString::fromUtf8("Внимание"));
            EXPECT_EQ(boxes.Boxes()[0].buttons, platform::MsgButtons::Ok);
            EXPECT_EQ(boxes.Boxes()[0].icon, platform::MsgIcon::None);
        }
    }
}

} // namespace
