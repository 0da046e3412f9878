#include "ProjectFixture.h"
#include "VItem.h"

#include <gtest/gtest.h>

namespace {

using testproject::Project;
using testproject::WithRegisters;

const QString kNotSet = "Не задано";
const QString kFolderValue = "<Папка>";

// Two channels with ID T1 (the first named "Температура"), a Case channel K1 and the
// VItem children of the given Screen.
struct View : Project {
    std::vector<std::unique_ptr<TVItem>> roots;
    QString error;
    bool loaded = true;

    explicit View(const QString& screen)
        : Project(WithRegisters(R"(
            <Chanal ID="T1" Name="Температура" Format="Hex"><Register>W1</Register></Chanal>
            <Chanal ID="T1" Name="Второй"><Register>W2</Register></Chanal>
            <Chanal ID="K1" Type="Case"><Register>W3</Register><Register>S1</Register>
              <Case Value="0" Name="Ноль"/><Case Value="1" Name="Один"/></Chanal>
            <Screen>)" + screen +
                                "</Screen>")) {
        const TIdIndex<TChanal> index(chanals);
        for (const platform::XmlElement& e :
             Elements(Elements(doc.DocumentElement(), "Screen").at(0), "VItem")) {
            roots.push_back(std::make_unique<TVItem>());
            if (!roots.back()->LoadFromNode(e, index, &error)) {
                loaded = false;
                break;
            }
        }
    }
    TVItem& Root(size_t i = 0) { return *roots.at(i); }
};

TEST(TVItem, CreatedEmpty) {
    TVItem item;
    EXPECT_EQ(item.Kind, vkFolder);
    EXPECT_TRUE(item.Name.isEmpty());
    EXPECT_TRUE(item.Children.empty());
    EXPECT_TRUE(item.IconEntries.empty());
    EXPECT_EQ(item.Icon, -1);
    EXPECT_EQ(item.Chanal, nullptr);
    EXPECT_EQ(item.Style, 0);
    EXPECT_TRUE(item.Node.IsNull());
    item.SaveToNode(); // no element: nothing to write, no failure
}

TEST(TVItem, KindsCaptionsValuesAndIcons) {
    View v(R"(
        <VItem Name="Папка" Icon="4"/>
        <VItem Type="Folder" Name="Ещё"/>
        <VItem Type="folder" Name="f"/>
        <VItem Type="chanal" Name="c"><Chanal>T1</Chanal></VItem>
        <VItem Type="mmc" Name="m"/>
        <VItem Type="Chanal" Name="Своё" Icon="2"><Chanal>T1</Chanal></VItem>
        <VItem Type="Chanal"><Chanal>none</Chanal></VItem>
        <VItem Type="Chanal"><Other>T1</Other></VItem>
        <VItem Type="MMC" Name="Карта" Icon="$10"/>
        <VItem Type="Chanal"><Chanal>K1</Chanal></VItem>)");
    ASSERT_TRUE(v.loaded) << v.error.toStdString();
    v.Register("W1").SetFromWord(255);
    const struct {
        TVItemKind kind;
        const char* caption;
        const char* value;
        int32_t icon;
    } expected[] = {
        {vkFolder, "Папка", "<Папка>", 4},        {vkFolder, "Ещё", "<Папка>", -1},
        {vkFolder, "f", "<Папка>", -1}, // keywords are case-sensitive
        {vkFolder, "c", "<Папка>", -1},           {vkFolder, "m", "<Папка>", -1},
        {vkChanal, "Температура", "00FF", 2}, // the channel's name, the first T1
        {vkChanal, "Не задано", "Не задано", -1}, {vkChanal, "Не задано", "Не задано", -1},
        {vkMMC, "Карта", "<Папка>", 16},          {vkChanal, "Ноль", "0", -1},
    };
    ASSERT_EQ(v.roots.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const TVItem& item = v.Root(i);
        EXPECT_EQ(item.Kind, expected[i].kind) << i;
        EXPECT_EQ(item.GetCaption(), QString::fromUtf8(expected[i].caption)) << i;
        EXPECT_EQ(item.GetValueText(), QString::fromUtf8(expected[i].value)) << i;
        EXPECT_EQ(item.Icon, expected[i].icon) << i;
    }
    EXPECT_EQ(v.Root(5).Chanal, v.chanals[0].get());

    // A Case channel's caption follows its selector.
    v.Register("S1").SetFromWord(1);
    EXPECT_EQ(v.Root(9).GetCaption(), "Один");

    // Items the browser makes for card entries show no value.
    TVItem file;
    file.Kind = vkCardFile;
    file.Name = "LOG.TXT";
    EXPECT_EQ(file.GetCaption(), "LOG.TXT");
    EXPECT_TRUE(file.GetValueText().isEmpty());
}

TEST(TVItem, FolderChildrenAndStyles) {
    View v(R"(
        <VItem Name="A" Style="Tab">
          <VItem Name="A1" Style="Icon"/>
          <!-- a comment is no item -->
          <Other Name="A2" Type="Chanal"><Chanal>T1</Chanal></Other>
          <VItem Name="A3" Style="tab"/>
        </VItem>
        <VItem Type="Chanal" Style="Tab"><Chanal>T1</Chanal></VItem>)");
    ASSERT_TRUE(v.loaded);
    const TVItem& a = v.Root(0);
    EXPECT_EQ(a.Style, 1);
    ASSERT_EQ(a.Children.size(), 3u);
    EXPECT_EQ(a.Children[0]->Style, 0);
    EXPECT_EQ(a.Children[1]->Kind, vkChanal); // any child element is an item
    EXPECT_EQ(a.Children[1]->GetCaption(), "Температура");
    EXPECT_EQ(a.Children[2]->Style, 0);
    EXPECT_EQ(v.Root(1).Style, 0); // only folders read a style
}

TEST(TVItem, SaveWritesTheStyleOfEveryFolder) {
    View v(R"(
        <VItem Name="L1">
          <VItem Name="L2">
            <VItem Name="L3" Style="Tab"/>
            <VItem Type="Chanal"><Chanal>T1</Chanal></VItem>
          </VItem>
          <VItem Type="MMC" Name="Карта"><Icon Type="DIR" Icon="1"/></VItem>
        </VItem>)");
    ASSERT_TRUE(v.loaded);
    TVItem& l1 = v.Root();
    l1.Style = 1;
    l1.Children[1]->Style = 1; // the card item's style lasts only while the project is open
    l1.SaveToNode();
    const QString xml = QString::fromUtf8(*v.doc.ToBytes());
    EXPECT_TRUE(xml.contains(R"(<VItem Name="L1" Style="Tab">)")) << xml.toStdString();
    EXPECT_TRUE(xml.contains(R"(<VItem Name="L2" Style="Icon">)")) << xml.toStdString();
    EXPECT_TRUE(xml.contains(R"(<VItem Name="L3" Style="Tab"/>)")) << xml.toStdString();
    EXPECT_TRUE(xml.contains(R"(<VItem Type="Chanal"><Chanal>)")) << xml.toStdString();
    EXPECT_TRUE(xml.contains(R"(<VItem Type="MMC" Name="Карта">)")) << xml.toStdString();
}

TEST(TVItem, CardItemIcons) {
    View v(R"(
        <VItem Type="MMC">
          <Icon Type=".TXT" Icon="5"/><Icon Type="DIR" Icon="3"/><Icon Type="." Icon="7"/>
          <Other Type=".TXT" Icon="9"/><Icon Type=".CSV"/>
        </VItem>
        <VItem Type="MMC"/>)");
    ASSERT_TRUE(v.loaded);
    const struct {
        const char* key;
        int32_t icon;
    } cases[] = {
        {".TXT", 5}, {".txt", -1}, {"DIR", 3}, {".", 7}, {".CSV", -1}, {".XXX", -1}, {"", -1},
    };
    EXPECT_EQ(v.Root(0).IconEntries.size(), 5u);
    EXPECT_TRUE(v.Root(0).Children.empty());
    for (const auto& t : cases) {
        EXPECT_EQ(v.Root(0).FindIcon(t.key), t.icon) << t.key;
        EXPECT_EQ(v.Root(1).FindIcon(t.key), -1) << t.key;
    }
}

TEST(TVItem, IconThatIsNotAnIntegerFailsTheLoad) {
    const struct {
        const char* screen;
        size_t roots;         // items loaded before the failure, the failing root included
        size_t firstChildren; // children the first root kept
    } cases[] = {
        {R"(<VItem Name="A" Icon="x"/>)", 1, 0},
        {R"(<VItem Name="A"><VItem Name="B"/><VItem><VItem Name="C" Icon="abc"/></VItem></VItem>)",
         1, 1},
        {R"(<VItem/><VItem Type="MMC"><Icon Type="DIR" Icon="1"/><Icon Type="." Icon="?"/></VItem>)",
         2, 0},
    };
    for (const auto& t : cases) {
        View v(t.screen);
        EXPECT_FALSE(v.loaded) << t.screen;
        EXPECT_FALSE(v.error.isEmpty()) << t.screen;
        EXPECT_EQ(v.roots.size(), t.roots) << t.screen;
        EXPECT_EQ(v.Root(0).Children.size(), t.firstChildren) << t.screen;
    }
    View v(R"(<VItem Name="Ящик" Icon="abc"/>)");
    EXPECT_TRUE(v.error.contains("\"abc\"")) << v.error.toStdString();
    EXPECT_TRUE(v.error.contains("Ящик")) << v.error.toStdString();
}

TEST(TVItem, WatchFlagsChannelItemsOnly) {
    View v(R"(
        <VItem Type="Chanal"><Chanal>K1</Chanal></VItem>
        <VItem Type="Chanal"><Chanal>none</Chanal></VItem>
        <VItem Name="Папка"><VItem Type="Chanal"><Chanal>T1</Chanal></VItem></VItem>
        <VItem Type="MMC"/>)");
    ASSERT_TRUE(v.loaded);
    for (auto& item : v.roots)
        item->Watch();
    EXPECT_TRUE(v.Register("W3").Watched.load());
    EXPECT_TRUE(v.Register("S1").Watched.load());  // the selector is polled too
    EXPECT_FALSE(v.Register("W1").Watched.load()); // a folder does not watch its children
    for (auto& item : v.roots)
        item->Unwatch();
    EXPECT_FALSE(v.Register("W3").Watched.load());
    EXPECT_FALSE(v.Register("S1").Watched.load());
}

} // namespace
