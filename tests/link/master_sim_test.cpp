// The polling master and its port thread end to end on the real clock, over a
// pseudo-terminal, against the instrument simulator served in-process.
#include "DataMaster.h"
#include "LinkRecorders.h"
#include "MasterFixtures.h"
#include "MessageBox.h"
#include "Simulator.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using namespace mastertest;

namespace {

constexpr unsigned kPort = 9;
constexpr int kBound = 60000; // real ms; only a hang runs into it

class MasterSim : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ::setenv("VENDRILL_PORTS_DIR", dir_.filePath("ports").toUtf8().constData(), 1);
        window_.PortValue = kPort;
        window_.PortSpeedValue = 115200;
        window_.TimeOutValue = 1000; // generous: a loaded machine must not lose replies
        window_.ScanRateValue = 50;
        // Packet i reads wire address 10 * i.
        options_.Registers = {{0, 0x1234}, {10, 42}, {20, 7}};
        options_.Id = "\xC2\xCA\xD2-7 rev 2"; // "ВКТ-7 rev 2" in Windows-1251
    }
    void TearDown() override {
        master_.reset();
        if (serving_.joinable()) {
            sim_->Stop();
            serving_.join();
        }
        ::unsetenv("VENDRILL_PORTS_DIR");
    }
    void StartSimulator() {
        options_.PortsDir = dir_.filePath("ports").toStdString();
        options_.Port = kPort;
        sim_ = std::make_unique<sim::Simulator>(options_);
        std::string error;
        ASSERT_TRUE(sim_->Open(error)) << error;
        serving_ = std::thread([this] { sim_->Serve(); });
    }
    void Connect(const QString& id = "ВКТ-7") {
        master_->Connect(id, project_.List, project_.Writes);
        ASSERT_EQ(window_.Calls().last(), "connected") << boxes_.Count();
    }
    bool WaitFor(TLinkCode code, size_t count) { return dialog_.WaitForCount(code, count, kBound); }

    QTemporaryDir dir_;
    sim::Options options_;
    std::unique_ptr<sim::Simulator> sim_;
    std::thread serving_;
    platform::RecordingMessageBox boxes_;
    TRecordingMainWindow window_;
    TRecordingConnectProcess dialog_;
    Project project_{3};
    std::unique_ptr<TDataMaster> master_ = std::make_unique<TDataMaster>(window_, dialog_);
};

TEST_F(MasterSim, IdentifiesReadsEveryPacketThenPolls) {
    StartSimulator();
    Connect();
    ASSERT_TRUE(WaitFor(lnkCycle, 2));
    EXPECT_EQ(dialog_.Lines().mid(0, 15),
              (QStringList{"request", "stage Поиск устройства... 1", "show",
                           "status Поиск устройства...",                                 //
                           "reply", "request", "status Обновляется пакет", "progress 0", //
                           "reply", "request", "progress 1",                             //
                           "reply", "request", "progress 2",                             //
                           "reply"}));
    EXPECT_EQ(dialog_.Count(lnkDone), 1u);
    EXPECT_EQ(master_->State(), dmsPoll);
    EXPECT_EQ(project_.Registers[0]->AsWord(), 0x1234);
    EXPECT_EQ(project_.Registers[1]->AsWord(), 42);
    EXPECT_EQ(project_.Registers[2]->AsWord(), 7);
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(MasterSim, AnotherDeviceIsAMismatch) {
    options_.Id = "OTHER";
    StartSimulator();
    Connect();
    ASSERT_TRUE(WaitFor(lnkMismatch, 1));
    EXPECT_EQ(master_->State(), dmsStopped);
    EXPECT_EQ(dialog_.Count(lnkDone), 0u);
    master_->Disconnect();
    EXPECT_TRUE(master_->Thread().WaitReached(ptsIdle, kBound));
}

TEST_F(MasterSim, AWriteReachesTheDeviceAndIsReadBack) {
    StartSimulator();
    Connect();
    ASSERT_TRUE(WaitFor(lnkCycle, 1));
    project_.QueueWrite(11, 555); // wire address 10: packet 1
    const size_t cycles = dialog_.Count(lnkCycle);
    ASSERT_TRUE(WaitFor(lnkCycle, cycles + 2));
    EXPECT_TRUE(project_.Writes.Empty());
    EXPECT_EQ(project_.Registers[1]->AsWord(), 555);
    EXPECT_EQ(boxes_.Count(), 0u);
}

// Card mode pauses the poll and lends the port; with no card in the simulator's receiver
// the mount fails, and the master returns to the poll.
TEST_F(MasterSim, CardModePausesAndPollingResumes) {
    StartSimulator();
    Connect();
    ASSERT_TRUE(WaitFor(lnkCycle, 1));
    EXPECT_FALSE(master_->EnterCardMode());
    EXPECT_EQ(master_->MMC().Port, master_->Thread().Port());
    EXPECT_EQ(master_->MMC().Address, kSlave);
    EXPECT_EQ(master_->State(), dmsPoll);
    EXPECT_EQ(master_->Thread().State(), ptsPoll);
    const size_t cycles = dialog_.Count(lnkCycle);
    EXPECT_TRUE(WaitFor(lnkCycle, cycles + 2));
}

TEST_F(MasterSim, DisconnectAndConnectAgain) {
    StartSimulator();
    Connect();
    ASSERT_TRUE(WaitFor(lnkCycle, 1));
    master_->Disconnect();
    EXPECT_EQ(master_->State(), dmsStopped);
    Connect();
    ASSERT_TRUE(WaitFor(lnkDone, 2));
    ASSERT_TRUE(WaitFor(lnkCycle, dialog_.Count(lnkCycle) + 1));
    EXPECT_EQ(window_.Calls(), (QStringList{"connected", "disconnected", "connected"}));
    EXPECT_EQ(boxes_.Count(), 0u);
}

// The device answers another address: the search never ends by itself, yet the master
// ends, and the port is free again afterwards.
TEST_F(MasterSim, DestroyWhileSearchingASilentDevice) {
    options_.Address = 211;
    StartSimulator();
    window_.TimeOutValue = 100;
    Connect();
    ASSERT_TRUE(WaitFor(lnkRequest, 3));
    master_.reset();
    TPortSettings settings;
    settings.Port = kPort;
    settings.Speed = 115200;
    TVskComPort port(settings);
    EXPECT_TRUE(port.Open()) << port.LastError().toStdString();
}

} // namespace
