// A read packet and write packets exchanged through the serial port with the instrument
// simulator, served in-process on a pseudo-terminal, on the real clock.
#include "MessageBox.h"
#include "Packets.h"
#include "RegistersMB.h"
#include "Simulator.h"
#include "VskComPort.h"
#include "WRPackets.h"

#include <QTemporaryDir>
#include <bit>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

namespace {

constexpr uint8_t kSlave = 210;
constexpr unsigned kPort = 8;

class SimPackets : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const std::string ports = dir_.filePath("ports").toStdString();
        ::setenv("VENDRILL_PORTS_DIR", ports.c_str(), 1);
        sim::Options options;
        options.PortsDir = ports;
        options.Port = kPort;
        options.Address = kSlave;
        // Wire 0: 1234; wire 1-2: 12.5 (low-order word first); wire 3: -1.
        options.Registers = {{0, 0x04D2}, {1, 0x0000}, {2, 0x4148}, {3, 0xFFFF}};
        sim_ = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(sim_->Open(error)) << error;
        serving_ = std::thread([this] { sim_->Serve(); });
    }
    void TearDown() override {
        StopServing();
        ::unsetenv("VENDRILL_PORTS_DIR");
    }
    void StopServing() {
        if (serving_.joinable()) {
            sim_->Stop();
            serving_.join();
        }
    }
    // Generous bounds: a loaded machine must not turn a good reply into a time-out.
    static TPortSettings Settings() {
        TPortSettings s;
        s.Port = kPort;
        s.Speed = 115200;
        s.TimeOut = 5000;
        s.Pause = 200;
        return s;
    }

    QTemporaryDir dir_;
    std::unique_ptr<sim::Simulator> sim_;
    std::thread serving_;
};

TEST_F(SimPackets, ReadThenWriteThenReadAgain) {
    platform::RecordingMessageBox boxes;
    TRegisterMB word, real, integer;
    word.Addr = 1;
    real.Addr = 2;
    real.DataType = rtReal;
    integer.Addr = 4;
    integer.DataType = rtInt;
    TPacket packet;
    packet.SetAddress(kSlave);
    for (TRegisterMB* r : {&word, &real, &integer})
        packet.AddRegister(r);
    ASSERT_EQ(packet.ComputeRange(), TRangeCheck::Ok);

    TVskComPort port(Settings());
    ASSERT_TRUE(port.Open()) << port.LastError().toStdString();
    TPortBuffer buffer;
    port.SetBuffer(&buffer);

    // One read of the packet; the values it left, as the list would show them.
    const auto read = [&](uint16_t w, float x) {
        packet.BuildRequest(buffer);
        ASSERT_TRUE(port.Exchange()) << port.LastError().toStdString();
        ASSERT_TRUE(packet.CheckReply(buffer));
        EXPECT_EQ(word.AsWord(), w);
        EXPECT_EQ(real.AsReal(), x);
        EXPECT_EQ(integer.AsInt(), -1);
    };
    read(1234, 12.5f);
    EXPECT_FALSE(packet.IsActive());

    TWRPacket setWord;
    setWord.Address = kSlave;
    setWord.Func = 6;
    setWord.Addr = 1;
    setWord.WordValue = 777;
    TWRPacket setReal;
    setReal.Address = kSlave;
    setReal.Func = 16;
    setReal.Addr = 2;
    setReal.RealValue = 12.345f; // both halves non-zero, so the word order shows
    for (const TWRPacket* w : {&setWord, &setReal}) {
        ASSERT_TRUE(w->BuildRequest(buffer));
        EXPECT_TRUE(port.Exchange()) << port.LastError().toStdString();
        EXPECT_TRUE(w->CheckReply(buffer));
    }
    EXPECT_EQ(boxes.Count(), 0u);

    read(777, 12.345f);
    EXPECT_TRUE(port.Close());

    StopServing();
    const uint32_t bits = std::bit_cast<uint32_t>(12.345f);
    EXPECT_EQ(sim_->Register(0), 777);
    EXPECT_EQ(sim_->Register(1), bits & 0xFFFF);
    EXPECT_EQ(sim_->Register(2), bits >> 16);
    EXPECT_EQ(sim_->Register(3), 0xFFFF);
}

} // namespace
