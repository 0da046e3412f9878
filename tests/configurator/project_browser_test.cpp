// The project browser without a link: levels and Back, the registers flagged for
// polling, refreshes that rewrite only what changed, the write path, styles and zoom.
#include "MessageBox.h"
#include "Notice.h"
#include "PanelDetal.h"
#include "ProjectHost.h"
#include "ProjectListView.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTreeView>

using namespace projecttest;

namespace {

const QByteArray kProject = R"(<Device NetAddr="17">
  <Packet ID="P">
    <Register ID="R1" Addr="1" Value="5"/><Register ID="R2" Addr="2" Value="255"/>
    <Register ID="R3" Addr="3" Value="2"/><Register ID="R4" Addr="4" Type="Real"/>
    <Register ID="R6" Addr="6"/>
  </Packet>
  <Chanal ID="Root" Name="Корневой" Type="RW"><Register>R1</Register></Chanal>
  <Chanal ID="Hex" Name="Шестн" Type="RW" Format="Hex"><Register>R2</Register></Chanal>
  <Chanal ID="Named" Name="Режим" Type="RW" Format="Str" Min="1" Max="3">
    <Register>R3</Register><Str>Один;Два;Три</Str></Chanal>
  <Chanal ID="Status" Name="Статус" Type="RW" Format="SF1">
    <Register>R4</Register><Register>R6</Register></Chanal>
  <Screen>
    <VItem Type="Chanal" Icon="1"><Chanal>Root</Chanal></VItem>
    <VItem Name="Папка" Icon="0">
      <VItem Type="Chanal"><Chanal>Hex</Chanal></VItem>
      <VItem Type="Chanal"><Chanal>Named</Chanal></VItem>
    </VItem>
    <VItem Type="MMC" Name="Карта" Icon="7"/>
    <VItem Type="Chanal"><Chanal>Status</Chanal></VItem>
  </Screen>
</Device>
)";

class ProjectBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        project_ = std::make_unique<TXMLProject>(host_);
        ASSERT_TRUE(project_->LoadFromFile(file_.Path));
        ASSERT_EQ(boxes_.Count(), 0u);
    }
    TProjectListView& List() { return *project_->ListView; }
    QStringList Captions() {
        QStringList out;
        for (int i = 0; i < List().Count(); ++i)
            out << List().Caption(i);
        return out;
    }
    TRegisterMB& Reg(const QString& id) {
        for (const auto& r : project_->Registers)
            if (r->ID == id)
                return *r;
        throw std::runtime_error("no register");
    }
    QString Watched() {
        QString out;
        for (const auto& r : project_->Registers)
            out += r->Watched ? '1' : '0';
        return out;
    }
    void Open(int row) {
        List().SelectRow(row);
        project_->OpenSelected();
    }

    platform::RecordingMessageBox boxes_;
    TRecordingNotice notices_;
    TestHost host_;
    ProjectFile file_{kProject};
    std::unique_ptr<TXMLProject> project_;
};

TEST_F(ProjectBrowserTest, FoldersBackAndWatchFlags) {
    EXPECT_EQ(Captions(), (QStringList{"Корневой", "Папка", "Карта", "Статус"}));
    EXPECT_FALSE(host_.Back);
    // R1, R4 (with R6, the status register) are on screen; the folder's are not.
    EXPECT_EQ(Watched(), "10011");

    // A channel opens nothing; the card item while the link is stopped opens nothing.
    Open(0);
    Open(2);
    EXPECT_TRUE(project_->NavStack.empty());
    EXPECT_EQ(Captions().size(), 4);

    Open(1);
    ASSERT_EQ(project_->NavStack.size(), 1u);
    EXPECT_TRUE(host_.Back);
    EXPECT_EQ(Captions(), (QStringList{"Шестн", "Режим"}));
    EXPECT_EQ(List().SubItem(0), "00FF");
    EXPECT_EQ(List().SubItem(1), "Два");
    EXPECT_EQ(List().SelectedRow(), -1);
    EXPECT_EQ(project_->Detail->Item, nullptr);
    // The root's flags stay while the user is inside the folder.
    EXPECT_EQ(Watched(), "11111");

    // Back clears what only the folder showed.
    project_->GoBack();
    EXPECT_TRUE(project_->NavStack.empty());
    EXPECT_FALSE(host_.Back);
    EXPECT_EQ(Captions().size(), 4);
    EXPECT_EQ(Watched(), "10011");

    // Back at the root stays there.
    project_->GoBack();
    EXPECT_TRUE(project_->NavStack.empty());
    EXPECT_EQ(Captions().size(), 4);
}

TEST_F(ProjectBrowserTest, RefreshRewritesOnlyChangedTextsAndReusesRows) {
    QSignalSpy changed(List().Model, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(List().Model, &QAbstractItemModel::rowsInserted);
    project_->RefreshView();
    EXPECT_EQ(changed.count(), 0);

    Reg("R1").SetFromWord(9);
    project_->RefreshView();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), List().Model->index(0, 1));
    EXPECT_EQ(List().SubItem(0), "9");

    // Entering a folder rewrites the rows it keeps and deletes the rest.
    const QPersistentModelIndex first(List().Model->index(0, 0));
    Open(1);
    EXPECT_TRUE(first.isValid());
    EXPECT_EQ(List().Count(), 2);
    project_->GoBack();
    EXPECT_TRUE(first.isValid());
    EXPECT_EQ(inserted.count(), 2); // only the two rows the folder lacked
}

TEST_F(ProjectBrowserTest, SelectionGoesToTheDetailPanel) {
    List().SelectRow(1);
    EXPECT_EQ(project_->Detail->Item, project_->Items[1].get());
    List().SelectRow(0);
    EXPECT_EQ(project_->Detail->Item, project_->Items[0].get());
    EXPECT_EQ(project_->Detail->ValueEdit->text(), "5");
    List().ClearSelection();
    EXPECT_EQ(project_->Detail->Item, nullptr);
}

TEST_F(ProjectBrowserTest, WriteQueuesTheRequestWithTheProjectsAddress) {
    List().SelectRow(0);
    project_->Detail->ValueEdit->setText("12");
    project_->WriteValue();
    ASSERT_EQ(project_->Writes.Size(), 1u);
    const TWRPacket& write = *project_->Writes.Head();
    EXPECT_EQ(write.Address, 17);
    EXPECT_EQ(write.Func, 6);
    EXPECT_EQ(write.Addr, 1);
    EXPECT_EQ(write.WordValue, 12);
    // The list shows the value before the instrument has answered.
    EXPECT_EQ(List().SubItem(0), "12");

    // A changed address reaches the next write, the packets keep theirs.
    project_->Address = 40;
    project_->Detail->ValueEdit->setText("13");
    project_->WriteValue();
    ASSERT_EQ(project_->Writes.Size(), 2u);
    project_->Writes.RemoveHead();
    EXPECT_EQ(project_->Writes.Head()->Address, 40);
    EXPECT_EQ(project_->Packets[0]->Address, 17);

    // The hexadecimal writer for a Hex channel.
    Open(1);
    List().SelectRow(0);
    project_->Detail->ValueEdit->setText("ff0");
    project_->WriteValue();
    ASSERT_EQ(project_->Writes.Size(), 2u);
    project_->Writes.RemoveHead();
    EXPECT_EQ(project_->Writes.Head()->WordValue, 0xFF0);
    EXPECT_TRUE(notices_.Texts.isEmpty());
}

TEST_F(ProjectBrowserTest, RefusedInputGetsTheFocusBackAndQueuesNothing) {
    host_.window.show();
    QApplication::setActiveWindow(&host_.window);
    Open(1);
    List().SelectRow(1); // the named channel
    project_->Detail->ValueComboBox->setCurrentIndex(-1);
    List().CurrentView()->setFocus();
    project_->WriteValue();
    EXPECT_EQ(notices_.Texts, QStringList{"Значение должно быть \n\rот 1 до 3"});
    EXPECT_TRUE(project_->Writes.Empty());
    EXPECT_EQ(QApplication::focusWidget(), project_->Detail->ValueComboBox);

    // A typed value that does not convert: the edit gets the focus.
    List().SelectRow(0);
    project_->Detail->ValueEdit->setText("xyz");
    List().CurrentView()->setFocus();
    project_->WriteValue();
    EXPECT_EQ(notices_.Texts.size(), 2);
    EXPECT_TRUE(project_->Writes.Empty());
    EXPECT_EQ(QApplication::focusWidget(), project_->Detail->ValueEdit);
}

TEST_F(ProjectBrowserTest, StatusChannelHasNoWriter) {
    List().SelectRow(3);
    project_->Detail->ValueEdit->setText("1");
    project_->WriteValue();
    EXPECT_TRUE(project_->Writes.Empty());
    EXPECT_TRUE(notices_.Texts.isEmpty());
}

TEST_F(ProjectBrowserTest, EachLevelKeepsItsOwnStyle) {
    project_->SetViewStyle(1);
    EXPECT_EQ(project_->ViewStyle, 1);
    EXPECT_EQ(List().ViewStyle(), 1);
    Open(1);
    EXPECT_EQ(List().ViewStyle(), 0);
    project_->SetViewStyle(1);
    project_->SetViewStyle(0);
    EXPECT_EQ(project_->Items[1]->Style, 0);
    EXPECT_EQ(project_->ViewStyle, 1);
    project_->SetViewStyle(1);
    project_->GoBack();
    EXPECT_EQ(List().ViewStyle(), 1);
    EXPECT_EQ(project_->Items[1]->Style, 1);

    // The folder's style is saved with it.
    ASSERT_TRUE(project_->Save());
    EXPECT_TRUE(ReadFile(file_.Path).contains(R"(<VItem Name="Папка" Icon="0" Style="Tab">)"));
}

TEST_F(ProjectBrowserTest, ZoomStaysWithinItsLimits) {
    struct Case {
        int from;
        bool in;
        int to;
    };
    for (const Case& c : {Case{10, true, 12}, Case{27, true, 28}, Case{28, true, 28},
                          Case{9, false, 8}, Case{8, false, 8}, Case{20, false, 18}}) {
        List().SetFontSize(c.from);
        c.in ? project_->ZoomIn() : project_->ZoomOut();
        EXPECT_EQ(List().FontSize(), c.to) << c.from << (c.in ? " in" : " out");
    }
}

TEST_F(ProjectBrowserTest, DisableAndEnableUi) {
    project_->DisableUI();
    EXPECT_FALSE(host_.Commands);
    EXPECT_FALSE(List().isEnabled());
    project_->EnableUI();
    EXPECT_TRUE(host_.Commands);
    EXPECT_TRUE(List().isEnabled());
}

TEST(ProjectListViewImages, EachViewDrawsItsImagesAtTheirOwnSize) {
    TProjectListView list;
    const auto image = [](int side) {
        QImage i(side, side, QImage::Format_ARGB32);
        i.fill(Qt::red);
        return i;
    };
    // A damaged image keeps its place and does not decide the size.
    list.SetLargeImages({QImage(), image(48)});
    list.SetSmallImages({image(24), QImage()});
    list.AppendRow();
    list.SetCaption(0, "x");
    list.SetIconIndex(0, 1);
    EXPECT_EQ(list.Icons->iconSize(), QSize(48, 48));
    EXPECT_GE(list.Icons->sizeHintForIndex(list.Model->index(0, 0)).height(), 48);
    list.SetIconIndex(0, 0);
    EXPECT_EQ(list.Table->iconSize(), QSize(24, 24));
    EXPECT_GE(list.Table->sizeHintForIndex(list.Model->index(0, 0)).height(), 24);
}

TEST(ProjectCardOrder, FormatSize) {
    struct Case {
        uint32_t size;
        const char* text;
    };
    for (const Case& c : {Case{0, "0 "}, Case{999, "999 "}, Case{1000, "1 000 "},
                          Case{1234567, "1 234 567 "}, Case{4294967295u, "4 294 967 295 "}})
        EXPECT_EQ(TXMLProject::FormatSize(c.size), QString(c.text)) << c.size;
}

TEST(ProjectCardOrder, FoldersFirstThenByCaptionBytes) {
    auto entry = [](uint8_t kind, const char* name, const char* ext) {
        TCardEntry e;
        e.Kind = kind;
        e.Name = name;
        e.Ext = ext;
        return e;
    };
    const TCardEntry dirA = entry(ckDir, "A       ", "");
    const TCardEntry dirB = entry(ckDir, "B       ", "");
    const TCardEntry fileA = entry(ckFile, "A       ", "TXT");
    const TCardEntry fileC = entry(ckFile, "C       ", "TXT");
    const TCardEntry fileYa = entry(ckFile, "\xDF       ", "TXT"); // "Я": above ASCII
    EXPECT_EQ(TXMLProject::CompareCardEntries(fileA, dirB), 1);
    EXPECT_EQ(TXMLProject::CompareCardEntries(dirB, fileA), 0);
    EXPECT_EQ(TXMLProject::CompareCardEntries(dirB, dirA), 1);
    EXPECT_EQ(TXMLProject::CompareCardEntries(dirA, dirB), 0);
    EXPECT_EQ(TXMLProject::CompareCardEntries(dirA, dirA), 0);
    EXPECT_EQ(TXMLProject::CompareCardEntries(fileYa, fileC), 1);
    EXPECT_EQ(TXMLProject::CompareCardEntries(fileC, fileA), 1);
}

} // namespace
