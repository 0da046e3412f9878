// The connection-progress dialog end to end: the project connects over a pseudo-terminal
// to the instrument simulator (served in-process, real clock), the polling master reports
// from the port thread, and the real dialog shows the device search and the first full
// read, the mismatch and the silence, and keeps the status bar's counters.
#include "ConProcess.h"
#include "MessageBox.h"
#include "ProjectHost.h"
#include "ProjectListView.h"
#include "ServedSimulator.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

using namespace projecttest;

namespace {

// The main window as the dialog sees it, with the real dialog as the project's
// progress window. Every counted request records how the dialog stood at that moment:
// the reports of the requests before it have all been handled by then.
class ConnectHost : public TestHost, public TConnectProcessOwner {
public:
    struct Seen {
        bool Visible = false;
        QString Status;
        bool Error = false; // the error text shows
    };

    ConnectHost() : Form(*this) { Form.installEventFilter(&Shows); }

    TConnectProcessLink& ConnectProcessLink() override { return Form.Link(); }
    void CountRequest() override {
        ++Requests;
        Requested.push_back(
            {Form.isVisible(), Form.MesageLabel->text(), Form.ErrStaticText->isVisible()});
    }
    void CountAnswer() override { ++Answers; }
    int32_t RequestCount() const override { return Requests; }
    TConnectProject* OpenProject() override { return Project; }

    // Counts the dialog's showings.
    struct ShowCounter : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Show)
                ++Count;
            return false;
        }
        int Count = 0;
    };

    int32_t Requests = 0;
    int32_t Answers = 0;
    std::vector<Seen> Requested; // one per counted request, in order
    TXMLProject* Project = nullptr;
    ShowCounter Shows;
    TConnectProcessForm Form;
};

QByteArray ProjectXml(const QByteArray& reportId) {
    const QByteArray id = reportId.isEmpty() ? "" : " ReportID=\"" + reportId + "\"";
    return R"(<Device Name="Прибор" NetAddr="210")" + id + R"(>
  <Packet ID="P1"><Register ID="R1" Addr="1"/></Packet>
  <Packet ID="P2"><Register ID="R2" Addr="5"/></Packet>
  <Chanal ID="C1" Name="Первый"><Register>R1</Register></Chanal>
  <Chanal ID="C2" Name="Второй"><Register>R2</Register></Chanal>
  <Screen>
    <VItem Type="Chanal"><Chanal>C1</Chanal></VItem>
    <VItem Type="Chanal"><Chanal>C2</Chanal></VItem>
  </Screen>
</Device>
)";
}

class ProjectConnectTest : public ::testing::Test {
protected:
    // timeOutMs: the wait for each reply; short where every request goes unanswered.
    void Start(const QByteArray& reportId, sim::Options options, int32_t timeOutMs = 1000) {
        UseSimulatorPort(host_.Window, timeOutMs, 50);
        options.Registers = {{0, 321}, {4, 654}};
        std::string error;
        ASSERT_TRUE(sim_.Start(options, error)) << error;
        file_ = std::make_unique<ProjectFile>(ProjectXml(reportId));
        project_ = std::make_unique<TXMLProject>(host_);
        host_.Project = project_.get();
        ASSERT_TRUE(project_->LoadFromFile(file_->Path));
        Watch();
        project_->Connect();
    }
    void TearDown() override {
        closer_.stop();
        EXPECT_EQ(boxes_.Count(), 0u);
        host_.Project = nullptr;
        project_.reset();
        sim_.Stop();
    }
    // Looks at the dialog every 10 ms from within whatever loop runs, its modal loop
    // too: presses Cancel once cancelWhen_ holds, or after a bounded number of looks at
    // it shown, so that a dialog that never closes fails the test instead of hanging it.
    void Watch() {
        closer_.setInterval(10);
        QObject::connect(&closer_, &QTimer::timeout, [this] {
            if (!host_.Form.isVisible())
                return;
            if (cancelWhen_ && cancelWhen_()) {
                cancelWhen_ = nullptr;
                held_ = true;
                seenAtCancel_ = host_.Requested.size();
                host_.Form.CancelButtonClick();
            } else if (++looks_ > 6000) {
                ADD_FAILURE() << "the dialog stayed up";
                host_.Form.CancelButtonClick();
            }
        });
        closer_.start();
    }
    // For a dialog the master never closes: Cancel once ready holds; true when it did.
    bool CancelWhen(std::function<bool()> ready) {
        cancelWhen_ = std::move(ready);
        return QTest::qWaitFor([&] { return held_ && !host_.Form.isVisible(); }, 150000);
    }
    TProjectListView& List() { return *project_->ListView; }

    platform::RecordingMessageBox boxes_;
    ServedSimulator sim_;
    ConnectHost host_;
    std::unique_ptr<ProjectFile> file_;
    std::unique_ptr<TXMLProject> project_;
    QTimer closer_;
    std::function<bool()> cancelWhen_;
    bool held_ = false;
    size_t seenAtCancel_ = 0; // requests counted when Cancel was pressed
    int looks_ = 0;
};

TEST_F(ProjectConnectTest, IdentifiedDeviceShowsSearchAndFirstReadThenCounts) {
    ASSERT_NO_FATAL_FAILURE(
        Start("vendrill", {})); // the simulator's identification begins with the text
    // Polling on with the dialog closed, the list refreshed after the cycles.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return project_->DataMaster->State() == dmsPoll && !host_.Form.isVisible() &&
                   List().SubItem(1) == "654";
        },
        60000));
    EXPECT_EQ(List().SubItem(0), "321");
    EXPECT_EQ(host_.Shows.Count, 1);

    const std::vector<ConnectHost::Seen>& seen = host_.Requested;
    // The identification request goes out before the dialog shows; the first packet's
    // while it shows the search; the rest of the first read with the packet index.
    ASSERT_GE(seen.size(), 3u);
    EXPECT_FALSE(seen[0].Visible);
    EXPECT_TRUE(seen[1].Visible);
    EXPECT_EQ(seen[1].Status, TDataMaster::SearchText);
    size_t i = 2;
    QStringList reading;
    for (; i < seen.size() && seen[i].Visible; ++i)
        reading << seen[i].Status;
    EXPECT_TRUE(reading.contains(TDataMaster::UpdateText + "0")) << reading.join('|').toStdString();
    for (const QString& status : reading)
        EXPECT_TRUE(status.startsWith(TDataMaster::UpdateText)) << status.toStdString();
    for (const ConnectHost::Seen& s : seen)
        EXPECT_FALSE(s.Error);
    // Once closed it stays closed while the counters move with the poll.
    const int32_t requests = host_.Requests;
    const int32_t answers = host_.Answers;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return host_.Requests >= requests + 5 && host_.Answers >= answers + 5; }, 60000));
    for (; i < seen.size(); ++i)
        EXPECT_FALSE(seen[i].Visible) << i;
    EXPECT_EQ(host_.Shows.Count, 1);
}

TEST_F(ProjectConnectTest, ProjectWithoutIdentificationNeverShowsTheDialog) {
    ASSERT_NO_FATAL_FAILURE(Start("", {}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return project_->DataMaster->State() == dmsPoll && host_.Answers >= 6; }, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return List().SubItem(1) == "654"; }, 60000));
    EXPECT_EQ(List().SubItem(0), "321");
    EXPECT_EQ(host_.Shows.Count, 0);
    EXPECT_FALSE(host_.Form.isVisible());
}

TEST_F(ProjectConnectTest, WrongIdentificationShowsTheMismatchUntilCancel) {
    ASSERT_NO_FATAL_FAILURE(Start("Другой прибор", {}));
    ASSERT_TRUE(CancelWhen([&] { return host_.Form.ErrStaticText->isVisible(); }));
    // What the dialog showed: the stage text, and the three lines in place of the
    // animation; the master stopped at the reply.
    EXPECT_EQ(host_.Form.MesageLabel->text(), TDataMaster::SearchText);
    EXPECT_EQ(host_.Form.ErrorText,
              "Внимание!!!\n\rНайденое устройство не соответствует файлу описания.\n\r"
              "Дальнейшая работа с этим устройством не возможна.");
    EXPECT_EQ(host_.Form.ErrStaticText->text().split('\n'),
              (QStringList{"Внимание!!!", "Найденое устройство не соответствует файлу описания.",
                           "Дальнейшая работа с этим устройством не возможна."}));
    EXPECT_EQ(host_.Form.Animate1->CommonAVI(), 0);
    EXPECT_EQ(host_.Requests, 1);
    EXPECT_EQ(host_.Answers, 1);
    // Cancel disconnected.
    EXPECT_FALSE(host_.Form.isVisible());
    EXPECT_EQ(project_->DataMaster->State(), dmsStopped);
    EXPECT_EQ(host_.Window.Calls().back(), "disconnected");
}

// Requests after which the silent device is judged: a few past the first that shows.
constexpr int32_t kSilentLooks = 36;

struct SilentCase {
    const char* name;
    std::function<void(sim::Options&)> setUp;
    friend void PrintTo(const SilentCase& c, std::ostream* os) { *os << c.name; }
};

class SilentDeviceTest : public ProjectConnectTest,
                         public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SilentDeviceTest, ShowsNoAnswerOnceThe32ndRequestWentUnanswered) {
    sim::Options options;
    GetParam().setUp(options);
    ASSERT_NO_FATAL_FAILURE(Start("vendrill", options, 30));
    ASSERT_TRUE(CancelWhen([&] { return host_.Requests >= kSilentLooks; }));
    EXPECT_EQ(host_.Answers, 0);
    // Requests the master sent before it heard of the Cancel are counted with the dialog
    // gone: only those counted while it showed are judged.
    const std::vector<ConnectHost::Seen> seen(host_.Requested.begin(),
                                              host_.Requested.begin() + seenAtCancel_);
    ASSERT_GE(seen.size(), size_t(kSilentLooks));
    // seen[n] is the dialog as it stood when request n + 1 went out: n requests gone
    // unanswered, their reports handled. The 32nd failure's text is posted right after
    // the 33rd request, so it shows from seen[33] on.
    for (size_t n = 1; n <= 32; ++n) {
        EXPECT_TRUE(seen[n].Visible) << n;
        EXPECT_EQ(seen[n].Status, TDataMaster::SearchText) << n;
    }
    for (size_t n = 33; n < seen.size(); ++n) {
        EXPECT_TRUE(seen[n].Visible) << n;
        EXPECT_EQ(seen[n].Status, TDataMaster::SilentText) << n;
    }
    for (const ConnectHost::Seen& s : seen)
        EXPECT_FALSE(s.Error);
    EXPECT_EQ(host_.Form.Animate1->CommonAVI(), 1);
    // Cancel ended the search.
    EXPECT_FALSE(host_.Form.isVisible());
    EXPECT_EQ(project_->DataMaster->State(), dmsStopped);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, SilentDeviceTest,
    ::testing::Values(SilentCase{"DropsEveryRequest",
                                 [](sim::Options& o) {
                                     o.Faults = {{sim::FaultKind::Drop, 0, 1}};
                                 }},
                      SilentCase{"AnswersAnotherAddress", [](sim::Options& o) { o.Address = 1; }}),
    [](const ::testing::TestParamInfo<SilentCase>& info) { return info.param.name; });

} // namespace
