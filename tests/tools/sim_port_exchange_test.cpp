// Our serial port against the simulator's libmodbus slave: whole exchanges through
// TVskComPort on the pseudo-terminal, on the real clock.
#include "SimHarness.h"
#include "VskComPort.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using namespace simtest;
using Bytes = std::vector<uint8_t>;

class SimPortExchange : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("VENDRILL_PORTS_DIR", dir.File("ports").c_str(), 1); }
    void TearDown() override { ::unsetenv("VENDRILL_PORTS_DIR"); }

    std::vector<std::string> Args(std::vector<std::string> extra) const {
        std::vector<std::string> args = {"--ports-dir", dir.File("ports"), "--port", "6"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // Generous bounds: a loaded machine must not turn a good reply into a time-out.
    static TPortSettings Settings() {
        TPortSettings s;
        s.Port = 6;
        s.Speed = 115200;
        s.TimeOut = 5000;
        s.Pause = 200;
        return s;
    }

    // One exchange of the request (CRC appended) expecting rxLen bytes.
    bool Exchange(TVskComPort& port, const Bytes& request, uint8_t rxLen) {
        std::copy(request.begin(), request.end(), buffer.Tx);
        AppendCRC(buffer, static_cast<uint8_t>(request.size()));
        buffer.RxLen = rxLen;
        port.SetBuffer(&buffer);
        return port.Exchange();
    }
    Bytes Reply() const { return Bytes(buffer.Rx, buffer.Rx + buffer.RxCount); }

    TempDir dir;
    TPortBuffer buffer;
};

TEST_F(SimPortExchange, ReadsRegistersAndTheSlaveId) {
    SimProcess sim(Args({"--reg", "0=0x1234,1=42", "--id", "\xC2\xCA\xD2-7"}));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    TVskComPort port(Settings());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first open" : "reopened");
        ASSERT_TRUE(port.Open()) << port.LastError().toStdString();
        EXPECT_TRUE(Exchange(port, {210, 3, 0x00, 0x00, 0x00, 0x02}, 9));
        EXPECT_EQ(Reply(), WithCrc({210, 3, 4, 0x12, 0x34, 0x00, 0x2A}));

        // Read until the line falls silent: never "exactly RxLen", but the whole reply.
        EXPECT_FALSE(Exchange(port, {210, 0x11}, 255));
        EXPECT_EQ(Reply(), WithCrc({210, 0x11, 5, 0xC2, 0xCA, 0xD2, 0x2D, 0x37}));
        EXPECT_TRUE(CheckReplyCRC(buffer));
        EXPECT_TRUE(port.Close());
    }
}

TEST_F(SimPortExchange, ReadsACardQuarter) {
    const std::string data = VariedBytes(4096);
    const std::string imagePath = dir.File("card.img");
    std::string error;
    ASSERT_TRUE(MakeFat16Image(imagePath, 16384, {{"LOG.CSV", data}}, error)) << error;
    const std::string image = ReadWholeFile(imagePath);
    const size_t at = image.find(data);
    ASSERT_NE(at, std::string::npos);
    const size_t sector = at / 512;
    const unsigned k = sector % 256;

    SimProcess sim(Args({"--card", imagePath}));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    TVskComPort port(Settings());
    ASSERT_TRUE(port.Open()) << port.LastError().toStdString();
    const uint8_t page = static_cast<uint8_t>(sector / 256);
    EXPECT_TRUE(Exchange(port, {210, 6, 0x03, 0xE7, 0x00, page}, 8));
    EXPECT_EQ(Reply(), WithCrc({210, 6, 0x03, 0xE7, 0x00, page}));
    const uint16_t reg = static_cast<uint16_t>(999 + 4 * k + 1);
    ASSERT_TRUE(Exchange(
        port, {210, 3, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg), 0x00, 0x40},
        133));
    EXPECT_TRUE(CheckReplyCRC(buffer));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.Rx + 3), 128),
              image.substr(sector * 512 + 128, 128));
}

TEST_F(SimPortExchange, NoCardIsAShortAnswer) {
    SimProcess sim(Args({}));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    TVskComPort port(Settings());
    ASSERT_TRUE(port.Open()) << port.LastError().toStdString();
    EXPECT_FALSE(Exchange(port, {210, 3, 0x03, 0xE7, 0x00, 0x40}, 133));
    EXPECT_EQ(Reply(), WithCrc({210, 0x83, 8}));
    EXPECT_TRUE(CheckReplyCRC(buffer));
}

} // namespace
