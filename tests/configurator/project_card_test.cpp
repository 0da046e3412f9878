// The browser's card view end to end: the project connects over a pseudo-terminal to the
// instrument simulator (served in-process, real clock) that carries a FAT16 card image,
// opens the card item, lists, sorts, enters and leaves card folders, downloads files and
// hands them to the desktop seam, and leaves card mode again.
#include "CardFakes.h"
#include "MessageBox.h"
#include "PanelDetal.h"
#include "ProjectHost.h"
#include "ProjectListView.h"
#include "ServedSimulator.h"
#include "SimHarness.h"
#include "VItem.h"
#include "WaitHook.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QThread>

using namespace projecttest;

namespace {

const QByteArray kProject = R"(<Device Name="Карта">
  <Packet ID="P"><Register ID="R1" Addr="1"/></Packet>
  <Chanal ID="C1" Name="Канал"><Register>R1</Register></Chanal>
  <Screen>
    <VItem Type="Chanal"><Chanal>C1</Chanal></VItem>
    <VItem Type="MMC" Name="Карта памяти" Icon="7">
      <Icon Type="DIR" Icon="8"/><Icon Type=".TXT" Icon="10"/><Icon Type="." Icon="9"/>
    </VItem>
  </Screen>
</Device>
)";

const std::string kBig = simtest::VariedBytes(20000);

class ProjectCardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        if (CardInReceiver())
            MakeImage();
        UseSimulatorPort(host_.Window, 1000,
                         50); // generous: a loaded machine must not lose replies
        host_.Progress = &progress_;
        host_.Prompt = &prompt_;

        sim::Options options;
        options.Registers = {{0, 321}};
        options.CardImage = image_;
        std::string error;
        ASSERT_TRUE(sim_.Start(options, error)) << error;

        TProjectLinkParts parts;
        parts.CardClock = &cardSleeper_; // the pauses between tries need not be waited out
        project_ = std::make_unique<TXMLProject>(host_, parts);
        ASSERT_TRUE(project_->LoadFromFile(file_.Path));
        project_->Connect();
        ASSERT_TRUE(WaitForState(*project_->DataMaster, dmsPoll));
        project_->RefreshView(); // what the progress dialog does at the end of each cycle
    }
    virtual bool CardInReceiver() const { return true; }
    void TearDown() override {
        // Destroyed while the link runs: the port thread ends before anything is freed.
        project_.reset();
        sim_.Stop();
    }
    void MakeImage() {
        image_ = dir_.filePath("card.img").toStdString();
        std::string error;
        ASSERT_TRUE(simtest::MakeFat16Image(
            image_, 16384, {{"c.txt", "ccc"}, {"a.txt", "aaaa"}, {"BIG.BIN", kBig}}, error))
            << error;
        std::string out;
        const std::vector<std::string> env = {"MTOOLS_SKIP_CHECK=1"};
        ASSERT_EQ(simtest::RunCommand({"mmd", "-i", image_, "::B", "::A"}, out, 60000, env), 0)
            << out;
        const std::string inner = dir_.filePath("inner").toStdString();
        ASSERT_TRUE(WriteFile(QString::fromStdString(inner), "inside"));
        ASSERT_EQ(
            simtest::RunCommand({"mcopy", "-i", image_, inner, "::A/INNER.TXT"}, out, 60000, env),
            0)
            << out;
    }
    TProjectListView& List() { return *project_->ListView; }
    QStringList Rows() {
        QStringList out;
        for (int i = 0; i < List().Count(); ++i)
            out << List().Caption(i) + "|" + List().SubItem(i) + "|" +
                       QString::number(List().IconIndex(i));
        return out;
    }
    int RowOf(const QString& caption) {
        for (int i = 0; i < List().Count(); ++i)
            if (List().Caption(i) == caption)
                return i;
        return -1;
    }
    void Open(const QString& caption) {
        const int row = RowOf(caption);
        ASSERT_GE(row, 0) << caption.toStdString();
        List().SelectRow(row);
        project_->OpenSelected();
    }
    void OpenCard() {
        Open("Карта памяти");
        ASSERT_TRUE(project_->InCardView());
    }

    QTemporaryDir dir_;
    std::string image_;
    ServedSimulator sim_;
    platform::RecordingMessageBox boxes_;
    platform::VirtualClock cardSleeper_;
    cardtest::RecordingProgress progress_;
    cardtest::ScriptedPrompt prompt_;
    TestHost host_;
    ProjectFile file_{kProject};
    std::unique_ptr<TXMLProject> project_;
};

const QStringList kCardRoot = {"A       |<Папка>|8", "B       |<Папка>|8", "A       .TXT|4 |10",
                               "BIG     .BIN|20 000 |9", "C       .TXT|3 |10"};

TEST_F(ProjectCardTest, ListsEntersAndLeavesTheCard) {
    EXPECT_EQ(List().SubItem(0), "321");
    OpenCard();
    EXPECT_EQ(project_->DataMaster->State(), dmsCard);
    EXPECT_TRUE(host_.Back);
    EXPECT_EQ(List().ColumnCaption(1), "Размер");
    EXPECT_EQ(Rows(), kCardRoot);

    // The list keeps its own entries: the reader's may be gone by the next click.
    project_->DataMaster->MMC().Entries.clear();
    List().SelectRow(0);
    ASSERT_NE(project_->Detail->Item, nullptr);
    EXPECT_EQ(project_->Detail->Item->Kind, vkCardDir);
    EXPECT_EQ(project_->Detail->Item->GetCaption(), "A       ");
    List().SelectRow(2);
    EXPECT_EQ(project_->Detail->Item->Kind, vkCardFile);
    EXPECT_EQ(project_->Detail->Item->GetCaption(), "A       .TXT");

    // A card folder, and Back inside the card.
    Open("A       ");
    EXPECT_EQ(Rows(), QStringList{"INNER   .TXT|6 |10"});
    EXPECT_NE(project_->DataMaster->MMC().CurDir, 0);
    EXPECT_EQ(List().SelectedRow(), -1);
    project_->GoBack();
    EXPECT_EQ(Rows(), kCardRoot);
    EXPECT_EQ(project_->DataMaster->State(), dmsCard);

    // The card view's style is its own.
    project_->SetViewStyle(1);
    EXPECT_EQ(List().ViewStyle(), 1);
    EXPECT_EQ(project_->ViewStyle, 0);

    // Back at the card's root leaves card mode: values again, the master polls.
    project_->GoBack();
    EXPECT_FALSE(project_->InCardView());
    EXPECT_TRUE(project_->NavStack.empty());
    EXPECT_FALSE(host_.Back);
    EXPECT_EQ(project_->DataMaster->State(), dmsPoll);
    EXPECT_EQ(List().ColumnCaption(1), "Значение");
    EXPECT_EQ(List().Count(), 2);
    EXPECT_EQ(List().SubItem(0), "321");
    EXPECT_EQ(List().ViewStyle(), 0);
    EXPECT_TRUE(prompt_.Asked.empty());
}

TEST_F(ProjectCardTest, DownloadsIntoTheTemporaryFolderAndOpens) {
    OpenCard();
    Open("A       .TXT");
    const QString path = QDir(host_.TempDir()).filePath("A.TXT");
    EXPECT_EQ(host_.Opened, QStringList{path});
    EXPECT_EQ(ReadFile(path), "aaaa");
    EXPECT_EQ(host_.CommandCalls, (QStringList{"off", "on"}));
    EXPECT_TRUE(List().isEnabled());

    Open("BIG     .BIN");
    ASSERT_EQ(host_.Opened.size(), 2);
    EXPECT_EQ(ReadFile(host_.Opened[1]).toStdString(), kBig);
    EXPECT_TRUE(prompt_.Asked.empty());
}

TEST_F(ProjectCardTest, WriteReachesTheInstrument) {
    List().SelectRow(0);
    project_->Detail->ValueEdit->setText("777");
    project_->WriteValue();
    EXPECT_EQ(List().SubItem(0), "777");
    // The master removes the write once the instrument has answered it.
    for (int i = 0; i < 6000 && !project_->Writes.Empty(); ++i)
        QThread::msleep(10);
    ASSERT_TRUE(project_->Writes.Empty());
    sim_.Stop();
    EXPECT_EQ(sim_.Sim().Register(0), 777);
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(ProjectCardTest, FileThatCannotBeWrittenIsNotOpened) {
    OpenCard();
    host_.TempPath = dir_.filePath("missing");
    Open("C       .TXT");
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Неудалось записать фаил" + dir_.filePath("missing/C.TXT"));
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Ошибка.");
    EXPECT_TRUE(host_.Opened.isEmpty());
    EXPECT_EQ(host_.CommandCalls, (QStringList{"off", "on"}));
}

TEST_F(ProjectCardTest, CancelledDownloadOpensThePartReadSoFar) {
    OpenCard();
    // One event per link of the chain walk, then one per data sector: Cancel at the first.
    const int clusterBytes = project_->DataMaster->MMC().SecPerClus * 512;
    progress_.CancelAtEvents = static_cast<int>(kBig.size()) / clusterBytes + 1;
    Open("BIG     .BIN");
    ASSERT_EQ(host_.Opened.size(), 1);
    EXPECT_EQ(ReadFile(host_.Opened[0]).toStdString(), kBig.substr(0, 512));
}

TEST_F(ProjectCardTest, FailedReadOpensNothingAndEnablesEverything) {
    OpenCard();
    sim_.Stop(); // every request goes unanswered now; the prompt gives up
    Open("BIG     .BIN");
    EXPECT_FALSE(prompt_.Asked.empty());
    EXPECT_TRUE(host_.Opened.isEmpty());
    EXPECT_EQ(host_.CommandCalls, (QStringList{"off", "on"}));
    EXPECT_TRUE(List().isEnabled());
    EXPECT_TRUE(project_->InCardView());
    EXPECT_FALSE(project_->Downloading());
}

TEST_F(ProjectCardTest, StopInTheCardViewShowsTheLevelHoldingTheCard) {
    OpenCard();
    List().SelectRow(0);
    project_->Disconnect();
    EXPECT_FALSE(project_->InCardView());
    EXPECT_TRUE(project_->NavStack.empty());
    EXPECT_FALSE(host_.Back);
    EXPECT_EQ(List().Count(), 2);
    EXPECT_EQ(List().Caption(1), "Карта памяти");
    EXPECT_EQ(project_->Detail->Item, nullptr);
    // The card item opens only while the master polls.
    Open("Карта памяти");
    EXPECT_FALSE(project_->InCardView());
    EXPECT_TRUE(project_->NavStack.empty());
}

// The simulator without a card image answers that the receiver holds no card.
class ProjectNoCardTest : public ProjectCardTest {
protected:
    bool CardInReceiver() const override { return false; }
};

TEST_F(ProjectNoCardTest, ACardThatDoesNotOpenLeavesTheDetailPanelAsItWas) {
    Open("Карта памяти");
    EXPECT_EQ(prompt_.Asked, std::vector<TProblemKind>{pkNoCard});
    EXPECT_FALSE(project_->InCardView());
    EXPECT_TRUE(project_->NavStack.empty());
    EXPECT_FALSE(host_.Back);
    EXPECT_EQ(project_->DataMaster->State(), dmsPoll);
    EXPECT_EQ(List().SelectedRow(), -1);
    EXPECT_EQ(List().SubItem(0), "321");
    ASSERT_NE(project_->Detail->Item, nullptr);
    EXPECT_EQ(project_->Detail->Item->Kind, vkMMC);
    EXPECT_EQ(project_->Detail->Item->GetCaption(), "Карта памяти");
}

// The main window serves its events while the card is entered; the poll cycle that the
// wait lets end reports with a refresh of the list. It is made as the wait begins, so that
// it comes however soon the cycle ends.
class RefreshOnWait : public TWaitHook {
public:
    explicit RefreshOnWait(TXMLProject& project) : project_(project) {}
    void BeginWait() override {
        project_.RefreshView();
        ++waits_;
    }
    void ServeWait() override {}
    void EndWait() override {}
    int Waits() const { return waits_; }

private:
    TXMLProject& project_;
    int waits_ = 0;
};

TEST_F(ProjectNoCardTest, ARefreshServedWhileTheCardIsEnteredLeavesTheDetailPanel) {
    RefreshOnWait hook(*project_);
    project_->DataMaster->SetWaitHook(&hook);
    Open("Карта памяти");
    project_->DataMaster->SetWaitHook(nullptr);
    EXPECT_GT(hook.Waits(), 0);
    EXPECT_FALSE(project_->InCardView());
    EXPECT_EQ(List().SubItem(0), "321");
    ASSERT_NE(project_->Detail->Item, nullptr);
    EXPECT_EQ(project_->Detail->Item->Kind, vkMMC);
}

} // namespace
