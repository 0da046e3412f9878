#include "ComPorts.h"
#include "FakeSerialLine.h"
#include "VskComPort.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

using platform::FakeSerialLine;
using Step = FakeSerialLine::Step;
using Bytes = std::vector<uint8_t>;

namespace {

const Bytes kRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
const Bytes kReply = {0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B}; // one register, value 42

Bytes Sequence(size_t n) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), uint8_t{1});
    return b;
}

Bytes Received(const TPortBuffer& b) {
    return Bytes(b.Rx, b.Rx + b.RxCount);
}

TPortSettings Settings(int32_t speed = 19200, uint16_t timeOut = 200, uint16_t pause = 10) {
    TPortSettings s;
    s.Port = 3;
    s.Speed = speed;
    s.TimeOut = timeOut;
    s.Pause = pause;
    s.Gap = 20;
    return s;
}

void ExpectSameSettings(const TPortSettings& a, const TPortSettings& b) {
    EXPECT_EQ(a.Port, b.Port);
    EXPECT_EQ(a.Speed, b.Speed);
    EXPECT_EQ(a.TimeOut, b.TimeOut);
    EXPECT_EQ(a.Pause, b.Pause);
    EXPECT_EQ(a.Gap, b.Gap);
}

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No COMn links from the machine's own ports folder.
        ASSERT_TRUE(ports_.isValid());
        qputenv("VENDRILL_PORTS_DIR", ports_.path().toUtf8());
        Make(Settings());
        buffer_.TxLen = static_cast<uint8_t>(kRequest.size());
        std::copy(kRequest.begin(), kRequest.end(), buffer_.Tx);
        buffer_.RxLen = static_cast<uint8_t>(kReply.size());
    }
    void TearDown() override { qunsetenv("VENDRILL_PORTS_DIR"); }

    void Make(const TPortSettings& settings) {
        auto line = std::make_unique<FakeSerialLine>(clock_);
        line_ = line.get();
        port_ = std::make_unique<TVskComPort>(settings, std::move(line), clock_);
    }
    // An open port with the buffer set.
    void Ready() {
        ASSERT_TRUE(port_->Open()) << port_->LastError().toStdString();
        port_->SetBuffer(&buffer_);
    }
    // Runs one exchange; returns the virtual milliseconds it took.
    int64_t Run(bool* result) {
        const int64_t start = clock_.NowMs();
        *result = port_->Exchange();
        return clock_.NowMs() - start;
    }

    QTemporaryDir ports_;
    platform::VirtualClock clock_{1000};
    FakeSerialLine* line_ = nullptr; // owned by port_
    std::unique_ptr<TVskComPort> port_;
    TPortBuffer buffer_;
};

TEST_F(ComPortTest, AcceptsOnlyFiveSpeeds) {
    struct Case {
        int32_t speed;
        uint8_t index;
    };
    for (const Case& c :
         {Case{9600, 6}, Case{19200, 8}, Case{38400, 9}, Case{57600, 11}, Case{115200, 12}}) {
        TPortSettings s = Settings(c.speed);
        s.TimeOut = 77;
        EXPECT_TRUE(port_->SetParams(s)) << c.speed;
        EXPECT_EQ(port_->BaudIndex(), c.index);
        EXPECT_EQ(TVskComPort::BaudRates[c.index], c.speed);
        ExpectSameSettings(port_->Settings(), s);
    }
    const TPortSettings before = port_->Settings();
    for (int32_t speed : {14400, 56000, 4800, 0, -9600}) {
        TPortSettings s = Settings(speed);
        s.Port = 9;
        EXPECT_FALSE(port_->SetParams(s));
        EXPECT_EQ(port_->LastError(), QString("Неверная скорость: %1").arg(speed));
        ExpectSameSettings(port_->Settings(), before);
        EXPECT_EQ(port_->BaudIndex(), 12);
    }
    EXPECT_EQ(TVskComPort::SelectBaudIndex(14400), 6);
}

TEST_F(ComPortTest, RefusedSpeedAtCreationKeepsDefaults) {
    Make(Settings(14400));
    ExpectSameSettings(port_->Settings(), TPortSettings{1, 9600, 200, 10, 30});
    EXPECT_EQ(port_->BaudIndex(), 6);
    EXPECT_EQ(port_->LastError(), "Неверная скорость: 14400");
    EXPECT_FALSE(port_->IsOpen());
    EXPECT_EQ(port_->Buffer(), nullptr);
}

TEST_F(ComPortTest, OpenSetsTheLineUpAndReopens) {
    Ready();
    EXPECT_EQ(line_->OpenedPath(), platform::ResolveComPort("COM3"));
    EXPECT_EQ(line_->Baud(), 19200);
    EXPECT_EQ(line_->ReadWaitMs(), 1);
    EXPECT_EQ(line_->InputQueue(), 100);
    EXPECT_EQ(line_->OutputQueue(), 100);

    // New settings wait for the next Open; Open on an open port closes it first.
    ASSERT_TRUE(port_->SetParams(Settings(115200)));
    EXPECT_EQ(line_->Baud(), 19200);
    ASSERT_TRUE(port_->Open());
    EXPECT_EQ(line_->Baud(), 115200);
    EXPECT_EQ(line_->OpenCount(), 2);
    EXPECT_EQ(line_->CloseCount(), 1);
    EXPECT_TRUE(port_->IsOpen());
}

TEST_F(ComPortTest, EachOpenStepFailsWithItsText) {
    struct Case {
        Step step;
        bool throws;
        const char* text;
    };
    for (const Case& c : {Case{Step::Open, false, "Неудалось открыть порт COM3"},
                          Case{Step::LineSettings, false, "Неудалось настроить порт COM3"},
                          Case{Step::Timeouts, false, "Неудалось настроить таймауты порта COM3"},
                          Case{Step::QueueSizes, false, "Неудалось запустить порт COM3"},
                          Case{Step::Open, true, "Ошибка при открытии порта COM3"},
                          Case{Step::QueueSizes, true, "Ошибка при открытии порта COM3"}}) {
        Make(Settings());
        if (c.throws)
            line_->Throw(c.step);
        else
            line_->Fail(c.step);
        EXPECT_FALSE(port_->Open()) << c.text;
        EXPECT_EQ(port_->LastError(), QString(c.text));
        EXPECT_FALSE(port_->IsOpen()) << c.text;
    }
}

TEST_F(ComPortTest, PortWithoutDevicePathDoesNotOpen) {
    TPortSettings s = Settings();
    s.Port = 200;
    Make(s);
    EXPECT_FALSE(port_->Open());
    EXPECT_EQ(port_->LastError(), "Неудалось открыть порт COM200");
    EXPECT_EQ(line_->OpenCount(), 0);
}

TEST_F(ComPortTest, CloseAndTestOpen) {
    EXPECT_TRUE(port_->Close()); // not open: nothing to fail

    EXPECT_TRUE(port_->TestOpen());
    EXPECT_FALSE(port_->IsOpen());
    EXPECT_EQ(line_->OpenCount(), 1);

    line_->Fail(Step::LineSettings);
    EXPECT_FALSE(port_->TestOpen());
    EXPECT_FALSE(port_->IsOpen());
    line_->Fail(Step::LineSettings, false);

    Ready();
    line_->Fail(Step::Close);
    EXPECT_FALSE(port_->Close());
    EXPECT_TRUE(port_->IsOpen());
    line_->Fail(Step::Close, false);
    EXPECT_TRUE(port_->Close());
    EXPECT_FALSE(port_->IsOpen());
}

TEST_F(ComPortTest, ExchangeNeedsAnOpenPortAndABuffer) {
    buffer_.RxCount = 7;
    port_->SetBuffer(&buffer_);
    EXPECT_FALSE(port_->Exchange());
    EXPECT_EQ(port_->LastError(), "Порт не проинициализирован!");
    EXPECT_EQ(buffer_.RxCount, 7);
    EXPECT_EQ(line_->OpenCount(), 0);

    Make(Settings());
    ASSERT_TRUE(port_->Open());
    port_->SetBuffer(nullptr);
    EXPECT_FALSE(port_->Exchange());
    EXPECT_EQ(port_->LastError(), "Буфер не проинициализирован!");
    EXPECT_TRUE(line_->Writes().empty());
    EXPECT_EQ(line_->PurgeCount(), 0);

    // nullptr keeps the buffer set before.
    port_->SetBuffer(&buffer_);
    port_->SetBuffer(nullptr);
    EXPECT_EQ(port_->Buffer(), &buffer_);
    line_->QueueReply({{3, kReply}});
    EXPECT_TRUE(port_->Exchange());
    EXPECT_EQ(line_->Writes(), std::vector<Bytes>{kRequest});
}

TEST_F(ComPortTest, PurgeAndWriteFailures) {
    Ready();
    buffer_.RxCount = 7;
    line_->Fail(Step::Purge);
    EXPECT_FALSE(port_->Exchange());
    EXPECT_EQ(port_->LastError(), "Ошибка при очистке порта.");
    EXPECT_EQ(buffer_.RxCount, 0);
    EXPECT_TRUE(line_->Writes().empty());

    line_->Fail(Step::Purge, false);
    line_->Fail(Step::Write);
    line_->SetWriteAccepts(3);
    EXPECT_FALSE(port_->Exchange());
    EXPECT_EQ(port_->LastError(), "Ошибка при записи в порт. Записалось 3 байт из 8");
}

TEST_F(ComPortTest, ReadFailuresKeepWhatCame) {
    struct Case {
        Step step;
        int successes;
        uint8_t rxCount;
    };
    // The first wait fails; the wait after the first piece fails; the second read fails.
    for (const Case& c : {Case{Step::Wait, 0, 0}, Case{Step::Wait, 1, 3}, Case{Step::Read, 1, 3}}) {
        Make(Settings());
        Ready();
        line_->FailAfter(c.step, c.successes);
        line_->QueueReply({{2, Bytes(kReply.begin(), kReply.begin() + 3)},
                           {6, Bytes(kReply.begin() + 3, kReply.end())}});
        EXPECT_FALSE(port_->Exchange());
        EXPECT_EQ(port_->LastError(), "Ошибка при чтении из порта.");
        EXPECT_EQ(buffer_.RxCount, c.rxCount);
    }
}

TEST_F(ComPortTest, ExactReplyInPiecesEndsAtItsLastByte) {
    Ready();
    line_->Schedule(0, {0xEE, 0xEE}); // left over on the line: purged
    line_->QueueReply({{3, {0x01, 0x03}}, {12, {0x02, 0x00, 0x2A}}, {21, {0x39, 0x9B, 0x55}}});
    bool ok = false;
    EXPECT_EQ(Run(&ok), 21);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Received(buffer_), kReply);
    EXPECT_TRUE(CheckReplyCRC(buffer_));
    EXPECT_EQ(line_->Pending(), 1u); // the byte beyond RxLen is not read
}

TEST_F(ComPortTest, ReplyOneByteShortEndsAfterOnePause) {
    Ready();
    port_->SetParams(Settings(14400)); // leaves an error text behind
    line_->QueueReply({{3, {0x01, 0x03, 0x02}}, {8, {0x00, 0x2A, 0x39}}});
    bool ok = true;
    EXPECT_EQ(Run(&ok), 8 + 10);
    EXPECT_FALSE(ok);
    EXPECT_EQ(buffer_.RxCount, kReply.size() - 1);
    EXPECT_EQ(port_->LastError(), "");
}

TEST_F(ComPortTest, SilenceWaitsTimeOutInPassesOfFive) {
    struct Case {
        uint16_t timeOut;
        int64_t waited;
    };
    for (const Case& c : {Case{200, 200}, Case{12, 10}, Case{5, 5}, Case{3, 5}, Case{0, 5}}) {
        Make(Settings(19200, c.timeOut));
        Ready();
        port_->SetParams(Settings(1, c.timeOut));
        buffer_.RxCount = 9;
        bool ok = true;
        EXPECT_EQ(Run(&ok), c.waited) << c.timeOut;
        EXPECT_FALSE(ok);
        EXPECT_EQ(buffer_.RxCount, 0);
        EXPECT_EQ(port_->LastError(), "Неверная скорость: 1");
    }
}

TEST_F(ComPortTest, FirstBytesMustComeWithinTimeOut) {
    struct Case {
        int64_t firstByteAt;
        bool ok;
    };
    for (const Case& c : {Case{199, true}, Case{200, true}, Case{201, false}}) {
        Make(Settings());
        Ready();
        line_->QueueReply({{c.firstByteAt, kReply}});
        EXPECT_EQ(port_->Exchange(), c.ok) << c.firstByteAt;
        EXPECT_EQ(buffer_.RxCount, c.ok ? kReply.size() : 0u);
    }
}

TEST_F(ComPortTest, SilenceOfOnePauseEndsTheReply) {
    struct Case {
        uint16_t pause;
        int64_t gap;
        bool ok;
    };
    // Pause 0 counts as 5.
    for (const Case& c : {Case{0, 4, true}, Case{0, 5, true}, Case{0, 6, false}, Case{10, 6, true},
                          Case{10, 11, false}, Case{20, 19, true}}) {
        Make(Settings(19200, 200, c.pause));
        Ready();
        line_->QueueReply({{3, {0x01, 0x03, 0x02}}, {3 + c.gap, {0x00, 0x2A, 0x39, 0x9B}}});
        EXPECT_EQ(port_->Exchange(), c.ok) << c.pause << " " << c.gap;
        EXPECT_EQ(buffer_.RxCount, c.ok ? 7 : 3);
    }
}

TEST_F(ComPortTest, ReadUntilSilenceNeverCountsMoreThan254) {
    struct Case {
        size_t bytes;
        uint8_t rxCount;
    };
    for (const Case& c : {Case{20, 20}, Case{254, 254}, Case{300, 254}}) {
        Make(Settings());
        Ready();
        buffer_.RxLen = 255;
        const Bytes reply = Sequence(c.bytes);
        line_->QueueReply({{4, reply}});
        EXPECT_FALSE(port_->Exchange()) << c.bytes;
        EXPECT_EQ(Received(buffer_), Bytes(reply.begin(), reply.begin() + c.rxCount));
        EXPECT_EQ(port_->LastError(), "");
    }
}

TEST_F(ComPortTest, LineThatNeverFallsSilentStopsAtAFullBuffer) {
    Ready();
    buffer_.RxLen = 255;
    std::vector<FakeSerialLine::Piece> endless;
    for (int i = 0; i < 2000; ++i)
        endless.push_back({3 + 2 * i, {static_cast<uint8_t>(i)}});
    line_->QueueReply(endless);
    bool ok = true;
    EXPECT_EQ(Run(&ok), 3 + 2 * 253);
    EXPECT_FALSE(ok);
    EXPECT_EQ(buffer_.RxCount, 254);
    EXPECT_EQ(line_->Pending(), 2000u - 254);
}

TEST_F(ComPortTest, NoReplyExpectedReadsNothing) {
    Ready();
    buffer_.RxLen = 0;
    line_->QueueReply({{3, kReply}});
    bool ok = true;
    EXPECT_EQ(Run(&ok), 200);
    EXPECT_FALSE(ok);
    EXPECT_EQ(buffer_.RxCount, 0);
}

TEST_F(ComPortTest, ShortExceptionReplyLeavesItsBytes) {
    Ready();
    const Bytes exception = {0x01, 0x83, 0x02, 0xC0, 0xF1};
    buffer_.Rx[5] = 0x77; // from an earlier exchange: stays
    line_->QueueReply({{5, exception}});
    EXPECT_FALSE(port_->Exchange());
    EXPECT_EQ(Received(buffer_), exception);
    EXPECT_TRUE(CheckReplyCRC(buffer_));
    EXPECT_EQ(buffer_.Rx[5], 0x77);
}

} // namespace
