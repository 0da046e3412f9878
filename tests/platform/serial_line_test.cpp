#include "PtyPair.h"
#include "SerialLine.h"

#include <gtest/gtest.h>
#include <termios.h>

using platform::MakeSystemSerialLine;
using platform::SerialLine;
using Bytes = std::vector<uint8_t>;

namespace {

// Bytes that a cooked terminal would eat or change: ^C, CR, LF, XON, XOFF, DEL, NUL, FF hex.
const Bytes kAwkward = {0x03, 0x0D, 0x0A, 0x11, 0x13, 0x7F, 0x00, 0xFF};

class PosixLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty_.Valid());
        ASSERT_TRUE(line_->Open(pty_.SlavePath()));
        ASSERT_TRUE(line_->SetLineSettings(19200)); // no modem lines on a pty: still true
        ASSERT_TRUE(line_->SetTimeouts(1));
        ASSERT_TRUE(line_->SetQueueSizes(100, 100));
    }

    // Reads from the line until count bytes came or it stays silent for a second.
    Bytes ReadLine(size_t count) {
        Bytes got;
        uint8_t chunk[64];
        while (got.size() < count && line_->WaitReadable(1000) == 1) {
            const int n = line_->Read(chunk, std::min(sizeof chunk, count - got.size()));
            if (n <= 0)
                break;
            got.insert(got.end(), chunk, chunk + n);
        }
        return got;
    }

    PtyPair pty_;
    std::unique_ptr<SerialLine> line_ = MakeSystemSerialLine();
};

TEST_F(PosixLineTest, LineIsRawEightBitsTwoStopBits) {
    termios t{};
    ASSERT_EQ(::tcgetattr(pty_.Slave(), &t), 0);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_FALSE(t.c_cflag & (PARENB | CRTSCTS));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP));
    EXPECT_FALSE(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B19200));

    EXPECT_FALSE(line_->SetLineSettings(14400)); // no such rate on this platform
}

TEST_F(PosixLineTest, BytesPassUnchangedBothWays) {
    size_t written = 0;
    ASSERT_TRUE(line_->Write(kAwkward.data(), kAwkward.size(), &written));
    EXPECT_EQ(written, kAwkward.size());
    EXPECT_EQ(pty_.ReadMaster(kAwkward.size(), 1000), kAwkward);

    ASSERT_TRUE(pty_.WriteMaster(kAwkward));
    EXPECT_EQ(ReadLine(kAwkward.size()), kAwkward);
    // Nothing was echoed back to the far end.
    EXPECT_TRUE(pty_.ReadMaster(1, 0).empty());
}

TEST_F(PosixLineTest, PurgeDropsWaitingInput) {
    ASSERT_TRUE(pty_.WriteMaster({0x55}));
    ASSERT_EQ(line_->WaitReadable(1000), 1);
    ASSERT_TRUE(line_->Purge());
    EXPECT_EQ(line_->WaitReadable(0), 0);
    uint8_t b;
    EXPECT_EQ(line_->Read(&b, 1), 0);
}

TEST_F(PosixLineTest, OnlyOneOpenAtATime) {
    auto second = MakeSystemSerialLine();
    EXPECT_FALSE(second->Open(pty_.SlavePath()));
    EXPECT_FALSE(line_->Open(pty_.SlavePath())); // already open
    ASSERT_TRUE(line_->Close());
    EXPECT_TRUE(second->Open(pty_.SlavePath()));
}

TEST(PosixLine, ClosedLineRefusesEverything) {
    auto line = MakeSystemSerialLine();
    EXPECT_FALSE(line->Open("/nonexistent/tty"));
    EXPECT_FALSE(line->Open(""));
    EXPECT_FALSE(line->IsOpen());
    uint8_t b = 0;
    size_t written = 7;
    EXPECT_FALSE(line->SetLineSettings(9600));
    EXPECT_FALSE(line->SetTimeouts(1));
    EXPECT_FALSE(line->SetQueueSizes(100, 100));
    EXPECT_FALSE(line->Purge());
    EXPECT_FALSE(line->Write(&b, 1, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(line->Read(&b, 1), -1);
    EXPECT_EQ(line->WaitReadable(0), -1);
    EXPECT_TRUE(line->Close());
}

} // namespace
