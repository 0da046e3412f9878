#include "LinkTestUtil.h"
#include "MessageBox.h"
#include "Packets.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

const QString kFuncMessage =
    QString::fromUtf8("Ошибка в извлечении фукции пакета. Функция будет 3!");

struct Reg {
    uint16_t addr;
    TRegisterType type;
};

// A packet over registers made in code, with its range computed.
struct Built {
    std::vector<std::unique_ptr<TRegisterMB>> regs;
    TPacket packet;
    TRangeCheck check;

    Built(uint8_t address, uint8_t func, const std::vector<Reg>& list) {
        packet.SetAddress(address);
        packet.Func = func;
        for (const Reg& r : list) {
            regs.push_back(std::make_unique<TRegisterMB>());
            regs.back()->Addr = r.addr;
            regs.back()->DataType = r.type;
            packet.AddRegister(regs.back().get());
        }
        check = packet.ComputeRange();
    }
};

QByteArray Sent(const TPortBuffer& b) {
    return QByteArray(reinterpret_cast<const char*>(b.Tx), b.TxLen);
}

TEST(TPacket, Defaults) {
    TPacket p;
    EXPECT_EQ(p.ID, "Unknow");
    EXPECT_EQ(p.Address, 210);
    EXPECT_EQ(p.Start, 1);
    EXPECT_EQ(p.Count, 1);
    EXPECT_EQ(p.Func, 3);
    EXPECT_TRUE(p.Registers.empty());
    EXPECT_TRUE(p.Name.isEmpty());
}

struct RequestCase {
    const char* name;
    uint8_t address;
    uint8_t func;
    std::vector<Reg> regs;
    uint16_t start;
    uint16_t count;
    const char* request; // hex, empty: the header only is checked
    uint8_t rxLen;
};

TEST(TPacket, RangesAndRequests) {
    const RequestCase cases[] = {
        {"one word", 1, 3, {{1, rtWord}}, 1, 1, "010300000001840a", 7},
        {"mixed", 210, 3, {{5, rtWord}, {6, rtReal}, {10, rtWord}}, 5, 6, "d2030004000697aa", 17},
        {"mixed reversed",
         210,
         3,
         {{10, rtWord}, {6, rtReal}, {5, rtWord}},
         5,
         6,
         "d2030004000697aa",
         17},
        {"one real", 1, 3, {{1, rtReal}}, 1, 2, "", 9},
        {"overlap and gap", 1, 3, {{20, rtReal}, {21, rtWord}, {30, rtInt}}, 20, 11, "", 27},
        {"function 4", 1, 4, {{1, rtWord}}, 1, 1, "", 7},
        {"124 registers", 1, 3, {{1, rtWord}, {124, rtWord}}, 1, 124, "", 253},
        {"real at the top", 1, 3, {{65535, rtReal}}, 65535, 2, "", 9},
        {"address 0", 1, 3, {{0, rtWord}, {1, rtWord}}, 0, 2, "", 9},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.name);
        Built b(c.address, c.func, c.regs);
        ASSERT_EQ(b.check, TRangeCheck::Ok);
        EXPECT_EQ(b.packet.Start, c.start);
        EXPECT_EQ(b.packet.Count, c.count);
        for (const auto& r : b.regs) { // every register inside the range
            EXPECT_LE(b.packet.Start, r->Addr);
            EXPECT_LE(r->Addr + r->WordCount(), b.packet.Start + b.packet.Count);
        }
        TPortBuffer buffer;
        buffer.RxCount = 99;
        b.packet.BuildRequest(buffer);
        EXPECT_EQ(buffer.TxLen, 8);
        EXPECT_EQ(buffer.RxLen, c.rxLen);
        EXPECT_EQ(buffer.RxCount, 99); // left to the port
        const uint16_t wire = uint16_t(c.start - 1);
        EXPECT_EQ(Sent(buffer).left(6),
                  QByteArray::fromHex(QByteArray::number(c.address, 16).rightJustified(2, '0') +
                                      QByteArray::number(c.func, 16).rightJustified(2, '0') +
                                      QByteArray::number(wire, 16).rightJustified(4, '0') +
                                      QByteArray::number(c.count, 16).rightJustified(4, '0')));
        if (*c.request) {
            EXPECT_EQ(Sent(buffer).toHex(), QByteArray(c.request));
        }
        EXPECT_TRUE(CheckReplyCRC([&] {
            TPortBuffer echo;
            std::copy(buffer.Tx, buffer.Tx + 8, echo.Rx);
            echo.RxCount = 8;
            return echo;
        }()));
    }
}

TEST(TPacket, RefusesARangeThatCannotBeRead) {
    const std::pair<std::vector<Reg>, TRangeCheck> cases[] = {
        {{}, TRangeCheck::NoRegisters},
        {{{1, rtWord}, {125, rtWord}}, TRangeCheck::TooLong},
        {{{1, rtWord}, {124, rtReal}}, TRangeCheck::TooLong},
        {{{65535, rtWord}, {1, rtWord}}, TRangeCheck::TooLong}, // no wrap-around makes it short
        {{{2, rtWord}, {125, rtWord}}, TRangeCheck::Ok},
    };
    for (const auto& [regs, check] : cases) {
        Built b(1, 3, regs);
        EXPECT_EQ(b.check, check);
        if (check != TRangeCheck::Ok) {
            EXPECT_EQ(b.packet.Start, 1); // untouched
            EXPECT_EQ(b.packet.Count, 1);
        }
    }
    EXPECT_EQ(RangeCheckText(TRangeCheck::NoRegisters, "P1"),
              QString::fromUtf8("В пакете \"P1\" нет ни одного регистра!"));
    EXPECT_EQ(RangeCheckText(TRangeCheck::TooLong, "P1"),
              QString::fromUtf8("Пакет \"P1\" охватывает больше 124 регистров!"));
    EXPECT_TRUE(RangeCheckText(TRangeCheck::Ok, "P1").isEmpty());
}

TEST(TPacket, LoadFromNode) {
    struct Case {
        const char* attrs;
        uint8_t func;
        bool message;
    };
    const Case cases[] = {
        {R"(Func="4")", 4, false},
        {R"(Func="260")", 4, false},
        {R"(Func="-1")", 255, false},
        {R"(Func="0x10")", 16, false},
        {"", 3, false},
        {R"(Func="abc")", 3, true},
        {R"(Func="")", 3, true},
        {R"(Func="3.0")", 3, true},
    };
    for (const Case& c : cases) {
        platform::RecordingMessageBox boxes;
        platform::XmlDocument doc;
        const auto packets = linktest::Children(
            doc, QString("<Device><Packet %1/></Device>").arg(c.attrs), "Packet");
        ASSERT_EQ(packets.size(), 1u);
        TPacket p;
        EXPECT_TRUE(p.LoadFromNode(packets[0]));
        EXPECT_EQ(p.Func, c.func) << c.attrs;
        ASSERT_EQ(boxes.Count(), c.message ? 1u : 0u) << c.attrs;
        if (c.message) {
            EXPECT_EQ(boxes.Boxes()[0].text, kFuncMessage);
            EXPECT_EQ(boxes.Boxes()[0].caption, QString::fromUtf8("Внимание"));
        }
    }
    platform::XmlDocument doc;
    const auto packets = linktest::Children(
        doc, R"(<Device><Packet ID="P" Name="Быстрые"/><Packet ID=""/></Device>)", "Packet");
    TPacket named, empty;
    named.LoadFromNode(packets[0]);
    empty.LoadFromNode(packets[1]);
    EXPECT_EQ(named.ID, "P");
    EXPECT_EQ(named.Name, QString::fromUtf8("Быстрые"));
    EXPECT_EQ(empty.ID, "");
}

// The mixed packet: 5 word, 6-7 real, 8-9 gap, 10 word.
Built Mixed() {
    return Built(210, 3, {{5, rtWord}, {6, rtReal}, {10, rtWord}});
}

TPortBuffer MixedReply(uint8_t address, uint8_t func, uint8_t byteCount) {
    return linktest::Reply(
        {address, func, byteCount, 0x04, 0xD2, 0x00, 0x00, 0x41, 0x48, 0, 0, 0, 0, 0xFF, 0xFF});
}

TEST(TPacket, CheckReplyAccepts) {
    for (const uint8_t byteCount : {uint8_t(12), uint8_t(0)}) { // the byte count is not examined
        Built b = Mixed();
        TPortBuffer buffer = MixedReply(210, 3, byteCount);
        b.packet.BuildRequest(buffer);
        ASSERT_TRUE(b.packet.CheckReply(buffer));
        EXPECT_EQ(b.regs[0]->AsWord(), 1234);
        EXPECT_EQ(b.regs[1]->AsReal(), 12.5f);
        EXPECT_EQ(b.regs[2]->AsWord(), 65535);
        for (const auto& r : b.regs)
            EXPECT_FALSE(r->Stale.load());
    }
}

TEST(TPacket, CheckReplyRefuses) {
    struct Case {
        const char* name;
        TPortBuffer reply;
    };
    TPortBuffer badCrc = MixedReply(210, 3, 12);
    badCrc.Rx[16] ^= 1;
    TPortBuffer longer = MixedReply(210, 3, 12);
    longer.RxCount = 18;
    TPortBuffer shorter = MixedReply(210, 3, 12);
    shorter.RxCount = 16;
    const Case cases[] = {
        {"bad CRC", badCrc},
        {"wrong address", MixedReply(1, 3, 12)},
        {"wrong function", MixedReply(210, 4, 12)},
        {"exception", linktest::Reply({210, 0x83, 2})},
        {"longer", longer},
        {"shorter", shorter},
        {"nothing", TPortBuffer{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Built b = Mixed();
        for (const auto& r : b.regs)
            r->Value.store(7);
        TPortBuffer buffer = c.reply;
        b.packet.BuildRequest(buffer);
        EXPECT_FALSE(b.packet.CheckReply(buffer));
        for (const auto& r : b.regs) {
            EXPECT_EQ(r->Value.load(), 7u);
            EXPECT_TRUE(r->Stale.load());
        }
    }
}

TEST(TPacket, CheckReplyNeverLeavesTheReply) {
    // A buffer whose expected length does not match the packet (built for another one):
    // the header and CRC pass, but the registers lie beyond the reply.
    Built b = Mixed();
    TPortBuffer buffer = linktest::Reply({210, 3, 2, 0x04, 0xD2});
    buffer.RxLen = buffer.RxCount;
    b.regs[0]->Value.store(7);
    EXPECT_FALSE(b.packet.CheckReply(buffer));
    EXPECT_EQ(b.regs[0]->Value.load(), 7u);
    EXPECT_TRUE(b.regs[0]->Stale.load());
}

TEST(TPacket, IsActive) {
    Built b = Mixed();
    EXPECT_TRUE(b.packet.IsActive()); // all stale
    for (const auto& r : b.regs)
        r->Stale.store(false);
    EXPECT_FALSE(b.packet.IsActive());
    b.regs[2]->Watched.store(true);
    EXPECT_TRUE(b.packet.IsActive());
    b.regs[2]->Watched.store(false);
    b.regs[1]->Stale.store(true);
    EXPECT_TRUE(b.packet.IsActive());
}

} // namespace
