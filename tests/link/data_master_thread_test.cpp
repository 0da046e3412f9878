// The polling master with its port thread running on virtual time, a fake line and an
// instrument played in memory: connect, disconnect and reconnect, card mode, the end of
// the master, and the boxes of refused writes while the window thread waits.
#include "BoxHandOver.h"
#include "DataMaster.h"
#include "LinkFixtures.h"
#include "LinkRecorders.h"
#include "MasterFixtures.h"
#include "MessageBox.h"

#include <QTemporaryDir>
#include <chrono>
#include <future>
#include <gtest/gtest.h>

using namespace mastertest;
using platform::MsgResult;

namespace {

constexpr int kBound = 30000; // real ms; only a hung thread runs into it

class MasterThread : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ports_.isValid());
        qputenv("VENDRILL_PORTS_DIR", ports_.path().toUtf8());
        window_.PortValue = 3;
        window_.PortSpeedValue = 19200;
        window_.TimeOutValue = 50;
        window_.ScanRateValue = 100;
        master_ = std::make_unique<TDataMaster>(window_, dialog_, clock_, lines_.Factory());
        master_->Thread().Setup(TPortSettings{}, 100); // makes the line before the first connect
        Answering();
    }
    void TearDown() override {
        master_.reset();
        qunsetenv("VENDRILL_PORTS_DIR");
    }
    // The instrument answers on the line 2 ms after each request.
    void Answering() {
        Line().Fake().SetResponder([this](const Bytes& request) {
            const Bytes reply = device_.Answer(request);
            std::vector<platform::FakeSerialLine::Piece> pieces;
            if (!reply.empty())
                pieces.push_back({2, reply});
            return pieces;
        });
    }
    LoggingLine& Line() { return *lines_.made; }
    bool WaitFor(TLinkCode code, size_t count) { return dialog_.WaitForCount(code, count, kBound); }

    QTemporaryDir ports_;
    platform::RecordingMessageBox boxes_;
    HookedClock clock_;
    LoggingLineFactory lines_{clock_};
    TRecordingMainWindow window_;
    TRecordingConnectProcess dialog_;
    Device device_;
    Project project_{2};
    std::unique_ptr<TDataMaster> master_;
};

// The main window's port 260 is port 4 (its low 8 bits); its time-out and scan rate
// give their low 16 bits.
TEST_F(MasterThread, ConnectTakesTheLowBitsOfThePortNumber) {
    window_.PortValue = 260;
    window_.TimeOutValue = 65536 + 300;
    window_.ScanRateValue = 65536 + 150;
    // A silent device keeps the master searching while the test looks at it.
    device_.SetOverride([](const Bytes&, const QString&) { return Bytes{}; });
    master_->Connect("ABC", project_.List, project_.Writes);
    EXPECT_EQ(window_.Calls(), QStringList{"connected"});
    EXPECT_EQ(master_->State(), dmsSearch);
    EXPECT_EQ(lines_.log->OpenedPath(), "/dev/ttyS3");
    EXPECT_EQ(master_->Thread().Settings().Port, 4);
    EXPECT_EQ(master_->Thread().Settings().Speed, 19200);
    EXPECT_EQ(master_->Thread().Settings().TimeOut, 300);
    EXPECT_EQ(master_->Thread().Settings().Gap, 20);
    EXPECT_EQ(master_->Thread().Settings().Pause, 20);
    EXPECT_EQ(master_->Thread().Period(), 150);
}

TEST_F(MasterThread, AFailedConnectSaysSoAndLeavesTheThreadSuspended) {
    window_.PortValue = 260;
    Line().Fake().Fail(platform::FakeSerialLine::Step::Open);

    master_->Connect("ABC", project_.List, project_.Writes);

    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Не могу открыть порт 4");
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Внимание");
    EXPECT_EQ(boxes_.Boxes()[0].buttons, platform::MsgButtons::Ok);
    EXPECT_EQ(boxes_.Boxes()[0].icon, platform::MsgIcon::None);
    EXPECT_EQ(window_.Calls(), QStringList{"disconnected"});
    EXPECT_EQ(master_->State(), dmsStopped);
    EXPECT_FALSE(master_->Thread().Started());
}

TEST_F(MasterThread, ConnectPollDisconnectAndConnectAgain) {
    master_->Connect("ABC", project_.List, project_.Writes);
    ASSERT_TRUE(WaitFor(lnkCycle, 2));
    EXPECT_EQ(window_.Calls(), QStringList{"connected"});

    master_->Disconnect();
    EXPECT_EQ(master_->State(), dmsStopped);
    // At once: the connect waits until the thread has closed the port.
    master_->Connect("ABC", project_.List, project_.Writes);
    EXPECT_EQ(window_.Calls(), (QStringList{"connected", "disconnected", "connected"}));
    ASSERT_TRUE(WaitFor(lnkCycle, 1));
    // Posts of the old cycle's last step may come before those of the new connection.
    const QStringList posts = dialog_.Lines();
    const int stage = posts.indexOf("stage Поиск устройства... 1");
    ASSERT_GT(stage, 0);
    EXPECT_EQ(posts.mid(stage - 1, 4), (QStringList{"request", "stage Поиск устройства... 1",
                                                    "show", "status Поиск устройства..."}));
    // Between the connections the thread closed the port before the port test opened it.
    const QStringList log = Line().Log();
    int opens = 0, reconnectTest = -1;
    for (int i = 0; i < log.size() && reconnectTest < 0; ++i)
        if (log[i].startsWith("open@") && ++opens == 3)
            reconnectTest = i;
    ASSERT_GT(reconnectTest, 0) << log.join(' ').toStdString();
    EXPECT_TRUE(log[reconnectTest - 1].startsWith("close@")) << log.join(' ').toStdString();
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(MasterThread, AConnectWhileConnectedClosesTheOldConnectionFirst) {
    master_->Connect("", project_.List, project_.Writes);
    ASSERT_TRUE(WaitFor(lnkCycle, 1));
    master_->Connect("ABC", project_.List, project_.Writes);
    EXPECT_EQ(window_.Calls(), (QStringList{"connected", "connected"}));
    EXPECT_TRUE(WaitFor(lnkShow, 1));
}

// The fake device does not answer card requests: mounting fails, and the master goes back
// to the poll.
TEST_F(MasterThread, CardModePausesThePollAndComesBackWhenTheCardFails) {
    EXPECT_FALSE(master_->EnterCardMode()); // not polling: nothing changes
    EXPECT_EQ(master_->State(), dmsStopped);

    master_->SetAddress(7);
    master_->Connect("", project_.List, project_.Writes);
    ASSERT_TRUE(WaitFor(lnkCycle, 1));
    const int64_t turns = master_->Thread().Turns();

    EXPECT_FALSE(master_->EnterCardMode());
    EXPECT_EQ(master_->MMC().Port, master_->Thread().Port());
    EXPECT_EQ(master_->MMC().Address, 7);
    EXPECT_EQ(master_->State(), dmsPoll);
    EXPECT_EQ(master_->Thread().State(), ptsPoll);
    EXPECT_GT(master_->Thread().Turns(), turns);
    const size_t cycles = dialog_.Count(lnkCycle);
    EXPECT_TRUE(WaitFor(lnkCycle, cycles + 2));
}

TEST_F(MasterThread, DestroyWhileSearchingASilentDevice) {
    device_.SetOverride([](const Bytes&, const QString&) { return Bytes{}; }); // nobody answers
    master_->Connect("ABC", project_.List, project_.Writes);
    ASSERT_TRUE(WaitFor(lnkRequest, 40));
    master_.reset();
    EXPECT_EQ(lines_.log->Entries().last().left(5), "close");
    EXPECT_GE(dialog_.Lines().count("status Устройство не отвечает..."), 1);
}

// A refused write's box comes up in the port thread; the window thread shows it even
// while it waits for the port thread, and cancels it when the master is destroyed.
class MasterBoxes : public MasterThread {
protected:
    // Tells the test that the port thread is raising a box, then hands it over.
    class Announcer : public platform::MessageBoxHandler {
    public:
        explicit Announcer(TBoxHandOver& handOver) : handOver_(handOver) {}
        MsgResult Show(const QString& text, const QString& caption, platform::MsgButtons b,
                       platform::MsgIcon i) override {
            {
                std::lock_guard lock(m_);
                if (!announced_) {
                    announced_ = true;
                    raising_.set_value();
                }
            }
            const MsgResult result = handOver_.Show(text, caption, b, i);
            std::lock_guard lock(m_);
            answers_.push_back(result);
            return result;
        }
        bool WaitRaising() {
            return future_.wait_for(std::chrono::milliseconds(kBound)) == std::future_status::ready;
        }
        std::vector<MsgResult> Answers() {
            std::lock_guard lock(m_);
            return answers_;
        }

    private:
        TBoxHandOver& handOver_;
        std::mutex m_;
        bool announced_ = false;
        std::promise<void> raising_;
        std::future<void> future_ = raising_.get_future();
        std::vector<MsgResult> answers_;
    };

    void SetUp() override {
        MasterThread::SetUp();
        master_->SetBoxHandOver(&handOver_);
        platform::SetMessageBoxHandler(&announcer_);
        master_->Connect("", project_.List, project_.Writes);
        ASSERT_TRUE(WaitFor(lnkCycle, 1));
        device_.SetOverride([](const Bytes&, const QString& label) -> std::optional<Bytes> {
            if (label.startsWith('w'))
                return WithCrc({kSlave, 0x86, 0x02});
            return std::nullopt;
        });
        boxes_.Answer(MsgResult::Ok);
        project_.QueueWrite(1, 5);
        ASSERT_TRUE(announcer_.WaitRaising());
    }
    void TearDown() override {
        master_.reset();
        platform::SetMessageBoxHandler(&boxes_);
        MasterThread::TearDown();
    }

    TBoxHandOver handOver_{boxes_}; // the window thread's own boxes: the recorder
    Announcer announcer_{handOver_};
};

TEST_F(MasterBoxes, AReconnectShowsTheBoxAndGoesOn) {
    master_->Connect("", project_.List, project_.Writes);
    EXPECT_EQ(window_.Calls(), (QStringList{"connected", "connected"}));
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Не получилось записать региср!");
    EXPECT_EQ(announcer_.Answers(), std::vector<MsgResult>{MsgResult::Ok});
    EXPECT_TRUE(project_.Writes.Empty());
}

TEST_F(MasterBoxes, CardModeShowsTheBoxWhileWaitingForThePause) {
    EXPECT_FALSE(master_->EnterCardMode());
    EXPECT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(master_->State(), dmsPoll);
}

TEST_F(MasterBoxes, DestroyCancelsTheBox) {
    master_.reset();
    EXPECT_EQ(boxes_.Count(), 0u);
    EXPECT_EQ(announcer_.Answers(), std::vector<MsgResult>{MsgResult::Cancel});
}

} // namespace
