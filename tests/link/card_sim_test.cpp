// The card reader over a pseudo-terminal against the instrument simulator, served
// in-process on the real clock: mount, listing and downloads compared with mcopy's
// copies, the no-card reply, and faults on the line that the resend rule absorbs.
#include "CardFakes.h"
#include "Simulator.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using namespace cardtest;

namespace {

constexpr unsigned kPort = 9;

class CardSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ::setenv("VENDRILL_PORTS_DIR", Ports().c_str(), 1);
        reader_.Prompt = &prompt_;
        reader_.SetClock(sleeper_); // the pauses between tries need not be waited out
    }
    void TearDown() override {
        if (serving_.joinable()) {
            sim_->Stop();
            serving_.join();
        }
        ::unsetenv("VENDRILL_PORTS_DIR");
    }
    std::string Ports() const { return dir_.filePath("ports").toStdString(); }

    // Starts the simulator with the card image (none: an empty card receiver).
    void Start(const QString& card, std::vector<sim::Fault> faults = {}) {
        sim::Options options;
        options.PortsDir = Ports();
        options.Port = kPort;
        options.CardImage = card.toStdString();
        options.Faults = std::move(faults);
        sim_ = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(sim_->Open(error)) << error;
        serving_ = std::thread([this] { sim_->Serve(); });
        TPortSettings s;
        s.Port = kPort;
        s.Speed = 115200;
        s.TimeOut = 1000; // generous: a loaded machine must not turn replies into time-outs
        s.Pause = 100;
        port_ = std::make_unique<TVskComPort>(s);
        ASSERT_TRUE(port_->Open()) << port_->LastError().toStdString();
        reader_.Port = port_.get();
    }
    QString Image() const { return dir_.filePath("card.img"); }
    // What mcopy extracts, read before the simulator's thread starts.
    QByteArray Extracted(FatImage& image, const QString& path) {
        const QByteArray bytes = image.Extract(QLatin1Char('/') + path);
        EXPECT_TRUE(image.Error().isEmpty()) << image.Error().toStdString();
        return bytes;
    }

    QTemporaryDir dir_;
    std::unique_ptr<sim::Simulator> sim_;
    std::thread serving_;
    std::unique_ptr<TVskComPort> port_;
    platform::VirtualClock sleeper_;
    platform::RecordingMessageBox boxes_;
    ScriptedPrompt prompt_;
    TMMC reader_;
};

TEST_F(CardSimTest, MountListAndDownloadEveryFile) {
    FatImage image(Image());
    ASSERT_TRUE(MakeExampleCard(image)) << image.Error().toStdString();
    std::vector<QByteArray> expected;
    for (const ExampleFile& f : ExampleFiles())
        expected.push_back(Extracted(image, f.path));
    Start(image.Path());
    ASSERT_TRUE(reader_.Mount());
    ASSERT_TRUE(reader_.ReadDirectory());
    QStringList root;
    for (const TCardEntry& e : reader_.Entries)
        root << CardLocalFileName(e) + (e.Kind == ckDir ? "/" : "");
    root.sort();
    EXPECT_EQ(root, ExampleRoot());
    for (size_t i = 0; i < ExampleFiles().size(); ++i) {
        const QString& path = ExampleFiles()[i].path;
        EXPECT_EQ(DownloadAndCompare(reader_, expected[i], path, dir_.path()), QString())
            << path.toStdString();
    }
    EXPECT_TRUE(prompt_.Asked.empty());
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(CardSimTest, EmptyCardReceiverShowsTheNoCardPanel) {
    Start(QString());
    prompt_.Answers = {true};
    EXPECT_FALSE(reader_.Mount());
    EXPECT_EQ(prompt_.Asked, std::vector<TProblemKind>({pkNoCard, pkNoCard}));
    EXPECT_EQ(reader_.CurDir, TMMC::NotMounted);
}

TEST_F(CardSimTest, DroppedAndDamagedRepliesAreSentAgain) {
    FatImage image(Image());
    ASSERT_TRUE(image.Make(9000, 1)) << image.Error().toStdString();
    ASSERT_TRUE(image.MakeDir("/D")) << image.Error().toStdString();
    ASSERT_TRUE(image.Put("/D/F.BIN", VariedBytes(20000, 3))) << image.Error().toStdString();
    const QByteArray expected = Extracted(image, "D/F.BIN");
    Start(image.Path(), {{sim::FaultKind::Drop, 0, 61},
                         {sim::FaultKind::BadCrc, 0, 37},
                         {sim::FaultKind::Truncate, 0, 53}});
    ASSERT_TRUE(reader_.Mount());
    EXPECT_EQ(DownloadAndCompare(reader_, expected, "D/F.BIN", dir_.path()), QString());
    EXPECT_TRUE(prompt_.Asked.empty());
    EXPECT_GT(sleeper_.SleptMs(), 0);
}

} // namespace
