// The serial port on a real pseudo-terminal, with the test playing the instrument.
#include "PtyPair.h"
#include "VskComPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

using Bytes = std::vector<uint8_t>;

namespace {

const Bytes kRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
const Bytes kReply = {0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B};

class PtyPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ports_.isValid());
        ASSERT_TRUE(pty_.Valid());
        ASSERT_TRUE(QFile::link(pty_.SlavePath(), ports_.path() + "/COM5"));
        qputenv("VENDRILL_PORTS_DIR", ports_.path().toUtf8());
        buffer_.TxLen = static_cast<uint8_t>(kRequest.size());
        std::copy(kRequest.begin(), kRequest.end(), buffer_.Tx);
        buffer_.RxLen = static_cast<uint8_t>(kReply.size());
    }
    void TearDown() override { qunsetenv("VENDRILL_PORTS_DIR"); }

    // Generous bounds: a loaded machine must not turn a good reply into a time-out.
    static TPortSettings Settings(uint16_t pause = 1000) {
        TPortSettings s;
        s.Port = 5;
        s.Speed = 115200;
        s.TimeOut = 5000;
        s.Pause = pause;
        return s;
    }

    // Opens COM5 in a child process; its exit status says how that went.
    static int OpenInAnotherProcess() {
        const pid_t child = ::fork();
        if (child == 0) {
            TVskComPort other(Settings());
            const bool opened = other.Open();
            ::_exit(opened ? 10 : other.LastError() == "Неудалось открыть порт COM5" ? 20 : 30);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }

    QTemporaryDir ports_;
    PtyPair pty_;
    TPortBuffer buffer_;
};

TEST_F(PtyPortTest, ExchangeWithTheFarEnd) {
    TVskComPort port(Settings());
    ASSERT_TRUE(port.Open()) << port.LastError().toStdString();
    port.SetBuffer(&buffer_);

    // The instrument: takes the request, answers in two pieces.
    Bytes request;
    std::thread instrument([&] {
        request = pty_.ReadMaster(kRequest.size(), 5000);
        pty_.WriteMaster(Bytes(kReply.begin(), kReply.begin() + 3));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pty_.WriteMaster(Bytes(kReply.begin() + 3, kReply.end()));
    });
    const bool ok = port.Exchange();
    instrument.join();

    EXPECT_EQ(request, kRequest);
    EXPECT_TRUE(ok) << port.LastError().toStdString();
    EXPECT_EQ(Bytes(buffer_.Rx, buffer_.Rx + buffer_.RxCount), kReply);
    EXPECT_TRUE(CheckReplyCRC(buffer_));
}

TEST_F(PtyPortTest, ShortReplyAndStaleBytes) {
    TVskComPort port(Settings(100));
    ASSERT_TRUE(port.Open());
    port.SetBuffer(&buffer_);
    // Bytes that came before the request are thrown away with the purge.
    ASSERT_TRUE(pty_.WriteMaster({0xEE, 0xEE, 0xEE}));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const Bytes exception = {0x01, 0x83, 0x02, 0xC0, 0xF1};
    std::thread instrument([&] {
        pty_.ReadMaster(kRequest.size(), 5000);
        pty_.WriteMaster(exception);
    });
    const bool ok = port.Exchange();
    instrument.join();

    EXPECT_FALSE(ok);
    EXPECT_EQ(Bytes(buffer_.Rx, buffer_.Rx + buffer_.RxCount), exception);
    EXPECT_EQ(port.LastError(), "");
}

TEST_F(PtyPortTest, AnotherProcessCannotOpenAnOpenPort) {
    TVskComPort port(Settings());
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(OpenInAnotherProcess(), 20);

    // Nor can a second port object in this process.
    TVskComPort second(Settings());
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.LastError(), "Неудалось открыть порт COM5");

    ASSERT_TRUE(port.Close());
    EXPECT_EQ(OpenInAnotherProcess(), 10);
    EXPECT_TRUE(port.TestOpen());
    EXPECT_EQ(OpenInAnotherProcess(), 10); // TestOpen left it closed
}

} // namespace
