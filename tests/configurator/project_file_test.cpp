// The project file: the load with its passes, messages and defaults, the save of the
// kept attributes only, SaveAs names, and loads that must not leave a half-built project.
#include "MessageBox.h"
#include "ProjectHost.h"
#include "ProjectListView.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <sys/stat.h>
#include <unistd.h>

using namespace projecttest;

namespace {

class ProjectFileTest : public ::testing::Test {
protected:
    // Loads xml from a fresh file; the project stays for the test.
    bool Load(const QByteArray& xml) {
        file_ = std::make_unique<ProjectFile>(xml);
        project_ = std::make_unique<TXMLProject>(host_);
        return project_->LoadFromFile(file_->Path);
    }
    QStringList BoxTexts() const {
        QStringList texts;
        for (const auto& b : boxes_.Boxes())
            texts << b.text;
        return texts;
    }
    QString Saved() { return QString::fromUtf8(ReadFile(project_->FileName)); }

    platform::RecordingMessageBox boxes_;
    TestHost host_;
    std::unique_ptr<ProjectFile> file_;
    std::unique_ptr<TXMLProject> project_;
};

const QByteArray kTwoPackets = R"(<?xml version="1.0" encoding="UTF-8"?>
<Device Name="ВКТ-7" Version="2" ReportID="ABC" NetAddr="17">
  <!-- a comment the save keeps -->
  <Chanal ID="C2" Name="Второй"><Register>B1</Register></Chanal>
  <Packet ID="P1" Func="3">
    <Register ID="A1" Addr="5" Value="1"/>
    <Register ID="A2" Addr="+" Value="2"/>
  </Packet>
  <Packet ID="P2">
    <Register ID="B1" Addr="+" Value="3"/>
    <Register ID="B2" Addr="+" Type="Real"/>
    <Register ID="B3" Addr="+"/>
  </Packet>
  <Chanal ID="C1" Name="Первый"><Register>A1</Register></Chanal>
  <Screen Width1="150" Width2="80" Style="Tab">
    <VItem Type="Chanal" Icon="1"><Chanal>C1</Chanal></VItem>
    <VItem Name="Папка" Style="Icon"><VItem Name="Вложенная" Style="Tab"/></VItem>
  </Screen>
  <Other/>
</Device>
)";

TEST_F(ProjectFileTest, LoadsDeviceAttributesPacketsChanalsAndScreen) {
    ASSERT_TRUE(Load(kTwoPackets));
    EXPECT_EQ(boxes_.Count(), 0u);
    EXPECT_EQ(project_->ProjectName, "ВКТ-7");
    EXPECT_EQ(project_->ProjectVersion, "2");
    EXPECT_EQ(project_->DeviceId, "ABC");
    EXPECT_EQ(project_->Address, 17);
    EXPECT_EQ(host_.DevicePanel, "ВКТ-7");

    // "+" goes on across packets: 5, 6, then 7, 8 (a real takes two), 10.
    ASSERT_EQ(project_->Registers.size(), 5u);
    QList<int> addrs;
    for (const auto& r : project_->Registers)
        addrs << r->Addr;
    EXPECT_EQ(addrs, (QList<int>{5, 6, 7, 8, 10}));
    ASSERT_EQ(project_->Packets.size(), 2u);
    EXPECT_EQ(project_->Packets[0]->Address, 17);
    EXPECT_EQ(project_->Packets[1]->Start, 7);
    EXPECT_EQ(project_->Packets[1]->Count, 4);

    // A channel standing before the packets still finds its register.
    ASSERT_EQ(project_->Chanals.size(), 2u);
    EXPECT_EQ(project_->Chanals[0]->ID, "C2");
    ASSERT_EQ(project_->Chanals[0]->Registers.size(), 1u);
    EXPECT_EQ(project_->Chanals[0]->Registers[0]->ID, "B1");

    EXPECT_EQ(project_->ListView->ColumnWidth(0), 150);
    EXPECT_EQ(project_->ListView->ColumnWidth(1), 80);
    EXPECT_EQ(project_->ViewStyle, 1);
    EXPECT_EQ(project_->ListView->ViewStyle(), 1);
    ASSERT_EQ(project_->Items.size(), 2u);
    EXPECT_EQ(project_->ListView->Count(), 2);
    EXPECT_EQ(project_->ListView->Caption(0), "Первый");
    EXPECT_EQ(project_->ListView->SubItem(0), "1");
    EXPECT_EQ(project_->ListView->SubItem(1), "<Папка>");
}

TEST_F(ProjectFileTest, SaveWritesOnlyTheKeptAttributes) {
    ASSERT_TRUE(Load(kTwoPackets));
    project_->Registers[0]->SetFromWord(42);
    project_->Address = 33;
    project_->ListView->SetColumnWidth(0, 210);
    project_->ViewStyle = 0;
    project_->Items[1]->Style = 1;
    ASSERT_TRUE(project_->Save());

    QString expected = QString::fromUtf8(kTwoPackets);
    expected.replace(R"(NetAddr="17")", R"(NetAddr="33")");
    expected.replace(R"(Addr="5" Value="1")", R"(Addr="5" Value="42")");
    expected.replace(R"(Type="Real"/>)", R"(Type="Real" Value="0"/>)");
    expected.replace(R"(ID="B3" Addr="+"/>)", R"(ID="B3" Addr="+" Value="0"/>)");
    expected.replace(R"(Width1="150" Width2="80" Style="Tab")",
                     R"(Width1="210" Width2="80" Style="Icon")");
    expected.replace(R"(Name="Папка" Style="Icon")", R"(Name="Папка" Style="Tab")");
    EXPECT_EQ(Saved(), expected);
}

TEST_F(ProjectFileTest, DocumentElementAndUnreadableFiles) {
    struct Case {
        QByteArray xml;
        QString text;
    };
    for (const Case& c : {
             Case{"<device/>", TXMLProject::NoDeviceText},
             Case{"<Device><Packet></Device>", TXMLProject::LoadFailedText},
             Case{"", TXMLProject::LoadFailedText},
             Case{"<Device><!DOCTYPE Device></Device>", TXMLProject::LoadFailedText},
             Case{"<!DOCTYPE Device><!DOCTYPE Device><Device/>", TXMLProject::LoadFailedText},
             // Bytes the declared encoding does not have.
             Case{"<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<Device Name=\"caf\xE9\"/>",
                  TXMLProject::LoadFailedText},
             Case{"<?xml version=\"1.0\" encoding=\"GBK\"?>\n<!--\x81\x22-->\n<Device/>",
                  TXMLProject::LoadFailedText},
         }) {
        boxes_.Clear();
        EXPECT_FALSE(Load(c.xml)) << c.xml.constData();
        EXPECT_EQ(BoxTexts(), QStringList{c.text}) << c.xml.constData();
    }

    // A file gone by the time it is loaded: the text alone.
    boxes_.Clear();
    project_ = std::make_unique<TXMLProject>(host_);
    EXPECT_FALSE(project_->LoadFromFile(file_->Dir.filePath("gone.xml")));
    EXPECT_EQ(BoxTexts(), QStringList{TXMLProject::LoadFailedText});

    // Only the document layer's own refusal adds its message.
    boxes_.Clear();
    project_ = std::make_unique<TXMLProject>(host_);
    EXPECT_FALSE(project_->LoadFromFile(QString()));
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_TRUE(BoxTexts()[0].startsWith(TXMLProject::LoadFailedText + "\n\r"));
    EXPECT_GT(BoxTexts()[0].size(), TXMLProject::LoadFailedText.size() + 2);
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Внимание");
}

TEST_F(ProjectFileTest, NetAddr) {
    struct Case {
        QByteArray attribute;
        int address;
        bool message;
    };
    for (const Case& c : {
             Case{R"(NetAddr="abc")", 210, true},
             Case{R"(NetAddr="300")", 44, false},
             Case{R"(NetAddr="")", 210, true},
             Case{"", 210, false},
         }) {
        boxes_.Clear();
        ASSERT_TRUE(Load("<Device " + c.attribute +
                         R"(><Packet><Register ID="R" Addr="1"/></Packet></Device>)"))
            << c.attribute.constData();
        EXPECT_EQ(project_->Address, c.address) << c.attribute.constData();
        EXPECT_EQ(BoxTexts(), c.message ? QStringList{TXMLProject::BadAddressText} : QStringList{})
            << c.attribute.constData();
        // The rest loads, and the save writes the address the project has.
        EXPECT_EQ(project_->Registers.size(), 1u);
        ASSERT_TRUE(project_->Save());
        EXPECT_TRUE(Saved().contains(QString(R"(NetAddr="%1")").arg(c.address)))
            << Saved().toStdString();
    }
}

TEST_F(ProjectFileTest, ScreenAbsentTwiceAndStyles) {
    // No Screen: nothing at the root, icons, 200 and 100; the save appends one.
    ASSERT_TRUE(Load("<Device Name=\"X\"><Other/></Device>"));
    EXPECT_EQ(project_->ListView->Count(), 0);
    EXPECT_EQ(project_->ViewStyle, 0);
    EXPECT_EQ(project_->ListView->ColumnWidth(0), 200);
    EXPECT_EQ(project_->ListView->ColumnWidth(1), 100);
    ASSERT_TRUE(project_->Save());
    EXPECT_TRUE(
        Saved().endsWith(R"(<Other/><Screen Width1="200" Width2="100" Style="Icon"/></Device>)"
                         "\n"))
        << Saved().toStdString();

    // Two Screens: the first is read and written, the second stays as it was.
    ASSERT_TRUE(Load(
        R"(<Device><Screen Style="Tab"/><Screen Style="Tab" Width1="7"><VItem Name="B"/></Screen></Device>)"));
    EXPECT_EQ(project_->ViewStyle, 1);
    EXPECT_EQ(project_->Items.size(), 0u);
    ASSERT_TRUE(project_->Save());
    EXPECT_TRUE(Saved().contains(
        R"(<Screen Style="Tab" Width1="200" Width2="100"/><Screen Style="Tab" Width1="7">)"))
        << Saved().toStdString();

    // Keywords are exact: "tab" is icons, and the next save writes "Icon".
    ASSERT_TRUE(Load(R"(<Device><Screen Style="tab"/></Device>)"));
    EXPECT_EQ(project_->ViewStyle, 0);
    ASSERT_TRUE(project_->Save());
    EXPECT_TRUE(Saved().contains(R"(Style="Icon")"));
}

TEST_F(ProjectFileTest, PanelZeroTexts) {
    ASSERT_TRUE(Load("<Device/>"));
    EXPECT_EQ(host_.DevicePanel, "");
    project_.reset();
    EXPECT_EQ(host_.DevicePanel, "Нет устройства");
}

// What the load cannot build from: the message names it, the project is empty again.
TEST_F(ProjectFileTest, UnconvertibleContentLeavesNoHalfLoadedProject) {
    struct Case {
        QByteArray inner;
        QString detail;
    };
    const QByteArray packet = R"(<Packet ID="P"><Register ID="R" Addr="1"/></Packet>)";
    for (
        const Case& c : {
            Case{R"(<Packet ID="Empty"/>)", "Empty"},
            Case{R"(<Screen Width1="wide"/>)", "wide"},
            Case{R"(<Screen Width2="1.5"/>)", "1.5"},
            Case{R"(<Chanal ID="K" Type="Case"><Register>R</Register><Case Value="x"/></Chanal>)",
                 "K"},
            Case{
                R"(<Screen><VItem Name="A"/><VItem Name="F"><VItem Name="I" Icon="q"/></VItem></Screen>)",
                "q"},
        }) {
        boxes_.Clear();
        EXPECT_FALSE(Load("<Device>" + packet + c.inner + "</Device>")) << c.inner.constData();
        ASSERT_EQ(boxes_.Count(), 1u) << c.inner.constData();
        const QString text = BoxTexts()[0];
        EXPECT_TRUE(text.startsWith(TXMLProject::LoadFailedText + "\n\r")) << text.toStdString();
        EXPECT_TRUE(text.contains(c.detail)) << text.toStdString();
        EXPECT_TRUE(project_->Registers.empty());
        EXPECT_TRUE(project_->Packets.empty());
        EXPECT_TRUE(project_->Chanals.empty());
        EXPECT_TRUE(project_->Items.empty());
        EXPECT_EQ(project_->ListView->Count(), 0);
    }
}

// Folders nested deeper than any project holds fail the load, and nothing of the file
// stays; up to the limit they load.
TEST_F(ProjectFileTest, FolderNestingLimit) {
    const auto folders = [](int depth) {
        return "<Device><Screen>" + QByteArray("<VItem Name=\"F\">").repeated(depth) +
               QByteArray("</VItem>").repeated(depth) + "</Screen></Device>";
    };
    const int deepest = platform::kMaxDepth - 2; // Device and Screen hold the first two
    ASSERT_TRUE(Load(folders(deepest)));
    int depth = 0;
    for (const TVItem* item = project_->Items.at(0).get(); item;
         item = item->Children.empty() ? nullptr : item->Children[0].get())
        ++depth;
    EXPECT_EQ(depth, deepest);

    for (const int levels : {deepest + 1, 40000}) {
        boxes_.Clear();
        EXPECT_FALSE(Load(folders(levels))) << levels;
        EXPECT_EQ(BoxTexts(), QStringList{TXMLProject::LoadFailedText}) << levels;
        EXPECT_TRUE(project_->Items.empty());
        EXPECT_EQ(project_->ListView->Count(), 0);
    }
}

// The document layer's limits refuse a file as the parser refuses a damaged one: the
// text alone, in the user's language.
TEST_F(ProjectFileTest, LimitRefusalsShowTheTextAlone) {
    QByteArray attributes;
    for (int i = 0; i <= platform::kMaxAttributes; ++i)
        attributes += " a" + QByteArray::number(i) + "=\"1\"";
    for (const QByteArray& xml : {
             "<Device>" + QByteArray("<VItem>").repeated(platform::kMaxDepth) + "</Device>",
             "<Device" + attributes + "/>",
             // The second byte of the GBK name is '['.
             "<?xml version=\"1.0\" encoding=\"GBK\"?>\n<!DOCTYPE D\x81\x5B>\n<Device" +
                 attributes + "/>",
             QByteArray("<!DOCTYPE Device [<!ATTLIST Device a CDATA '1'>]><Device/>"),
             // Each reference would stand for 4,000 characters.
             "<!DOCTYPE Device [<!ENTITY e '" + QByteArray(4000, 'x') + "'>]><Device><Str>" +
                 QByteArray("&e;").repeated(50000) + "</Str></Device>",
             QByteArray("<!DOCTYPE Device [%p;]><Device/>"),
         }) {
        boxes_.Clear();
        EXPECT_FALSE(Load(xml)) << xml.left(60).constData();
        EXPECT_EQ(BoxTexts(), QStringList{TXMLProject::LoadFailedText}) << xml.left(60).constData();
        EXPECT_TRUE(project_->Packets.empty());
    }
}

// A document type that declares nothing (its comments and instructions) is saved as the
// file held it, once, save after save, and the project opens again each time.
TEST_F(ProjectFileTest, ADocumentTypeIsSavedAsItWasRead) {
    const QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE Device [<!-- c --><?pi x?>]>\n"
                           "<Device Name=\"X\" NetAddr=\"1\">\n"
                           "  <Screen Width1=\"200\" Width2=\"100\" Style=\"Icon\"/>\n"
                           "</Device>\n";
    ASSERT_TRUE(Load(xml));
    for (int save = 0; save < 3; ++save) {
        ASSERT_TRUE(project_->Save());
        EXPECT_EQ(ReadFile(project_->FileName), xml) << "save " << save;
        ASSERT_TRUE(project_->LoadFromFile(project_->FileName));
    }
    EXPECT_EQ(boxes_.Count(), 0u);
}

// A project saved unchanged is the file it was read from, byte for byte, whatever name its
// Unicode form is declared by and whatever character the encoding would write as the bytes
// of another; and it opens again.
TEST_F(ProjectFileTest, AProjectIsSavedInTheEncodingItWasRead) {
    const QString body = QString::fromUtf8("<Device Name=\"Прибор %1\" NetAddr=\"1\">\n"
                                           "  <Screen Width1=\"200\" Width2=\"100\" "
                                           "Style=\"Icon\"/>\n</Device>\n");
    const auto declared = [&](const char* encoding, const char* name) {
        return "<?xml version=\"1.0\" encoding=\"" + QString::fromLatin1(encoding) + "\"?>\n" +
               body.arg(QString::fromUtf8(name));
    };
    for (const QByteArray& xml : {
             QByteArray(QStringEncoder(QStringConverter::Utf16BE, QStringConverter::Flag::WriteBom)
                            .encode(declared("ISO-10646-UCS-2", "中"))),
             QByteArray(QStringEncoder(QStringConverter::Utf32LE, QStringConverter::Flag::WriteBom)
                            .encode(declared("ISO-10646-UCS-4", "😀"))),
             QByteArray(QStringEncoder("Shift_JIS").encode(declared("Shift_JIS", "&#xF86F;"))),
         }) {
        boxes_.Clear();
        ASSERT_TRUE(Load(xml)) << BoxTexts().join(' ').toStdString();
        ASSERT_TRUE(project_->Save());
        EXPECT_EQ(ReadFile(project_->FileName), xml);
        EXPECT_TRUE(project_->LoadFromFile(project_->FileName));
        EXPECT_EQ(boxes_.Count(), 0u);
    }
}

// Only a regular file is read: a FIFO without a writer, an endless device behind a link
// and a folder are refused at once, with nothing of them kept.
TEST_F(ProjectFileTest, NotARegularFile) {
    const testfiles::HangGuard guard;
    ASSERT_TRUE(Load(kTwoPackets));
    const QString fifo = file_->Dir.filePath("fifo.xml");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = file_->Dir.filePath("zero.xml");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    for (const QString& path : {fifo, zero, file_->Dir.path()}) {
        boxes_.Clear();
        project_ = std::make_unique<TXMLProject>(host_);
        EXPECT_FALSE(project_->LoadFromFile(path)) << path.toStdString();
        EXPECT_EQ(BoxTexts(), QStringList{TXMLProject::LoadFailedText}) << path.toStdString();
        EXPECT_TRUE(project_->Packets.empty());
        EXPECT_TRUE(project_->Document.DocumentElement().IsNull());
    }
}

// A project file that became a FIFO (or, for root, a device) since it was opened is not
// replaced by a regular file: the save fails with its message and leaves it.
TEST_F(ProjectFileTest, SavingOverWhatIsNotARegularFileFails) {
    const testfiles::HangGuard guard;
    ASSERT_TRUE(Load(kTwoPackets));
    for (const mode_t kind : testfiles::kNotRegular) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(QFile::remove(project_->FileName));
        if (!testfiles::MakeNotRegular(project_->FileName, kind))
            continue; // a device, and this process may not make one
        boxes_.Clear();
        EXPECT_FALSE(project_->Save());
        EXPECT_EQ(BoxTexts(), QStringList{TXMLProject::WriteFailedText + project_->FileName});
        EXPECT_EQ(testfiles::FileKind(project_->FileName), kind);
        EXPECT_EQ(
            QDir(file_->Dir.path())
                .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"project.xml"});
    }
}

TEST_F(ProjectFileTest, SaveAsNames) {
    struct Case {
        QString path, name;
    };
    for (const Case& c : {
             Case{"/a/b/project", "/a/b/project.xml"},
             Case{"/a/b/project.xml", "/a/b/project.xml"},
             Case{"/a/b/project.txt", "/a/b/project.txt"},
             Case{"/a/b.d/project", "/a/b.d/project.xml"},
             Case{"project", "project.xml"},
         })
        EXPECT_EQ(TXMLProject::SaveAsName(c.path), c.name) << c.path.toStdString();
}

TEST_F(ProjectFileTest, SaveAsTakesTheNewNameOnlyWhenWritten) {
    ASSERT_TRUE(Load("<Device NetAddr=\"5\"/>"));
    const QString original = project_->FileName;

    // Into a folder that does not exist: the write-failure box, the old name stays.
    const QString nowhere = file_->Dir.filePath("missing/copy");
    EXPECT_FALSE(project_->SaveAs(nowhere));
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Неудалось записать фаил" + nowhere + ".xml");
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Ошибка.");
    EXPECT_EQ(project_->FileName, original);

    // A name without extension gets ".xml", and later saves go there.
    boxes_.Clear();
    const QString copy = file_->Dir.filePath("copy");
    ASSERT_TRUE(project_->SaveAs(copy));
    EXPECT_EQ(project_->FileName, copy + ".xml");
    EXPECT_FALSE(QFileInfo::exists(copy));
    project_->Address = 6;
    ASSERT_TRUE(project_->Save());
    EXPECT_TRUE(ReadFile(copy + ".xml").contains(R"(NetAddr="6")"));
    EXPECT_TRUE(ReadFile(original).contains(R"(NetAddr="5")"));
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(ProjectFileTest, SaveAsAsksBeforeReplacingTheFileOnlyXmlNames) {
    ASSERT_TRUE(Load("<Device NetAddr=\"5\"/>"));
    const QString other = file_->Dir.filePath("other");
    ASSERT_TRUE(WriteFile(other + ".xml", "keep me"));

    boxes_.Answer(platform::MsgResult::No);
    EXPECT_FALSE(project_->SaveAs(other));
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, TXMLProject::ReplaceQuestion(other + ".xml"));
    EXPECT_EQ(boxes_.Boxes()[0].buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(ReadFile(other + ".xml"), "keep me");
    EXPECT_EQ(project_->FileName, file_->Path);

    boxes_.Answer(platform::MsgResult::Yes);
    ASSERT_TRUE(project_->SaveAs(other));
    EXPECT_TRUE(ReadFile(other + ".xml").contains(R"(NetAddr="5")"));

    // The name the user gave, with its extension, is the dialog's business: no question.
    boxes_.Clear();
    ASSERT_TRUE(project_->SaveAs(other + ".xml"));
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(ProjectFileTest, IconLibraryBesideTheProject) {
    const QByteArray xml = R"(<Device><Screen dll="icons.so"><VItem Icon="0"/></Screen></Device>)";
    // No file: no images, no message.
    ASSERT_TRUE(Load(xml));
    EXPECT_FALSE(project_->ListView->HasLargeImages());
    EXPECT_FALSE(project_->ListView->HasSmallImages());
    EXPECT_EQ(boxes_.Count(), 0u);

    // The library in the project's folder gives both lists.
    file_ = std::make_unique<ProjectFile>(xml);
    ASSERT_TRUE(QFile::copy(EXAMPLE_ICONS, file_->Dir.filePath("icons.so")));
    project_ = std::make_unique<TXMLProject>(host_);
    ASSERT_TRUE(project_->LoadFromFile(file_->Path));
    EXPECT_TRUE(project_->ListView->HasLargeImages());
    EXPECT_TRUE(project_->ListView->HasSmallImages());
    EXPECT_EQ(project_->ListView->IconIndex(0), 0);
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(ProjectFileTest, AnIconLibraryThatGivesNoListIsReportedInRussianOnly) {
    const QByteArray xml = R"(<Device><Screen dll="icons.so"/></Device>)";
    // A file that is no library; one whose small list is none; one with a damaged image.
    for (const char* library : {"", ICONS_COUNTING, ICONS_BOTH}) {
        file_ = std::make_unique<ProjectFile>(xml);
        const QString path = file_->Dir.filePath("icons.so");
        ASSERT_TRUE(*library ? QFile::copy(library, path) : WriteFile(path, "not a library\n"));
        boxes_.Clear();
        project_ = std::make_unique<TXMLProject>(host_);
        ASSERT_TRUE(project_->LoadFromFile(file_->Path)) << library;
        EXPECT_EQ(BoxTexts(), QStringList{"Не все значки получены из библиотеки " + path})
            << library;
    }
}

} // namespace
