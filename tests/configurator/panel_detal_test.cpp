#include "PanelDetal.h"
#include "ProjectFixture.h"
#include "VItem.h"
#include "link/LinkTestUtil.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

using testproject::Project;
using testproject::WithRegisters;

// One channel of each layout; W1 holds 2, S1 selects the Case channel's case.
const char* const kChanals = R"(
    <Chanal ID="hexRW" Name="Шестн" Type="RW" Format="Hex"><Register>W1</Register></Chanal>
    <Chanal ID="wordR" Name="Слово"><Register>W1</Register></Chanal>
    <Chanal ID="strRW" Name="Имена" Type="RW" Format="Str" Min="1" Max="3"><Register>W1</Register><Str>а;б;в</Str></Chanal>
    <Chanal ID="strR" Name="Имена2" Format="Str" Min="5" Max="6"><Register>W1</Register><Str>x;y</Str></Chanal>
    <Chanal ID="realRW" Name="Вещ" Type="RW" Format="Real" Min="0" Max="10"><Register>R1</Register></Chanal>
    <Chanal ID="case" Type="Case"><Register>W1</Register><Register>S1</Register>
      <Case Value="0" Name="Пишется" Type="RW"/><Case Value="1" Name="Читается" Format="Hex"/></Chanal>
    <Chanal ID="broken" Name="Без регистров" Type="RW"/>)";

struct Layout {
    const char* name; // "Имя: " line, nullptr: hidden
    int nameTop;
    const char* kind; // nullptr: hidden
    const char* edit; // nullptr: hidden
    bool editable;
    int comboCount; // -1: hidden
    int comboIndex;
    bool hex;
    bool button;
};

class PanelDetal : public ::testing::Test {
public:
    PanelDetal() : project(WithRegisters(kChanals)) {
        project.Register("W1").SetFromWord(2);
        testproject::SetReal(project.Register("R1"), 12.5f);
        panel.resize(200, 400);
        panel.show();
    }

    TVItem& Item(TVItemKind kind, const QString& name = QString(), const char* chanal = nullptr) {
        items.push_back(std::make_unique<TVItem>());
        TVItem& item = *items.back();
        item.Kind = kind;
        item.Name = name;
        for (const auto& c : project.chanals)
            if (chanal && c->ID == chanal)
                item.Chanal = c.get();
        return item;
    }

    void Show(TVItem* item) {
        panel.Item = item;
        panel.ShowItem();
    }

    void Check(const Layout& l, const std::string& step) {
        SCOPED_TRACE(step);
        auto shown = [](const QWidget* w) { return !w->isHidden(); };
        EXPECT_EQ(shown(panel.NameLabel), l.name != nullptr);
        if (l.name) {
            EXPECT_EQ(panel.NameLabel->text(), QString("Имя: ") + QString::fromUtf8(l.name));
            EXPECT_EQ(panel.NameLabel->pos(), QPoint(10, l.nameTop));
        }
        EXPECT_EQ(shown(panel.KindLabel), l.kind != nullptr);
        if (l.kind) {
            EXPECT_EQ(panel.KindLabel->text(), QString::fromUtf8(l.kind));
            EXPECT_EQ(panel.KindLabel->pos(), QPoint(10, 10));
        }
        EXPECT_EQ(shown(panel.ValueEdit), l.edit != nullptr);
        if (l.edit) {
            EXPECT_EQ(panel.ValueEdit->text(), QString::fromUtf8(l.edit));
            EXPECT_EQ(panel.ValueEdit->isReadOnly(), !l.editable);
            EXPECT_EQ(panel.ValueEdit->geometry().topLeft(), QPoint(10, 50));
            EXPECT_EQ(panel.ValueEdit->width(), 180);
        }
        EXPECT_EQ(shown(panel.ValueComboBox), l.comboCount >= 0);
        if (l.comboCount >= 0) {
            EXPECT_EQ(panel.ValueComboBox->count(), l.comboCount);
            EXPECT_EQ(panel.ValueComboBox->currentIndex(), l.comboIndex);
            EXPECT_TRUE(panel.ValueComboBox->isEnabled());
            EXPECT_EQ(panel.ValueComboBox->geometry().topLeft(), QPoint(10, 50));
            EXPECT_EQ(panel.ValueComboBox->width(), 180);
        }
        EXPECT_EQ(shown(panel.HexLabel), l.hex);
        if (l.hex) {
            EXPECT_EQ(panel.HexLabel->pos(), QPoint(2, 55));
        }
        EXPECT_EQ(shown(panel.WriteButton), l.button);
        if (l.button) {
            EXPECT_EQ(panel.WriteButton->geometry().topLeft(), QPoint(10, 80));
            EXPECT_EQ(panel.WriteButton->width(), 180);
        }
    }

    Project project;
    std::vector<std::unique_ptr<TVItem>> items;
    TPanelDetal panel;
};

const Layout kNothing = {nullptr, 0, nullptr, nullptr, false, -1, -1, false, false};

TEST_F(PanelDetal, CreatedEmpty) {
    EXPECT_EQ(panel.Item, nullptr);
    EXPECT_FALSE(panel.OnWrite);
    EXPECT_EQ(panel.WriteButton->text(), "Записать!");
    EXPECT_EQ(panel.HexLabel->text(), "$");
    EXPECT_FALSE(panel.ValueComboBox->isEditable());
    Check(kNothing, "created");
    // The card item before any other layout: the name line where it was created.
    Show(&Item(vkMMC, "Карта"));
    Check({"Карта", 10, nullptr, nullptr, false, -1, -1, false, false}, "card item first");
}

TEST_F(PanelDetal, LayoutsFollowOneAnother) {
    struct Step {
        const char* what;
        TVItem* item;
        Layout layout;
    };
    const Step steps[] = {
        {"writable hex",
         &Item(vkChanal, "", "hexRW"),
         {"Шестн", 30, "Канал", "0002", true, -1, -1, true, true}},
        {"read-only word after it",
         &Item(vkChanal, "", "wordR"),
         {"Слово", 30, "Канал", "2", false, -1, -1, false, false}},
        {"writable by name",
         &Item(vkChanal, "", "strRW"),
         {"Имена", 30, "Канал", nullptr, false, 3, 1, false, true}},
        {"folder after a writable channel",
         &Item(vkFolder, "Папка 1"),
         {"Папка 1", 30, "Папка", nullptr, false, -1, -1, false, false}},
        {"read-only by name, value out of range",
         &Item(vkChanal, "", "strR"),
         {"Имена2", 30, "Канал", nullptr, false, 2, -1, false, false}},
        {"writable real",
         &Item(vkChanal, "", "realRW"),
         {"Вещ", 30, "Канал", "Недопустимое значение", true, -1, -1, false, true}},
        {"card item after a channel",
         &Item(vkMMC, "Карта"),
         {"Карта", 30, nullptr, nullptr, false, -1, -1, false, false}},
        {"case that is writable",
         &Item(vkChanal, "", "case"),
         {"Пишется", 30, "Канал", "2", true, -1, -1, false, true}},
        {"card file",
         &Item(vkCardFile, "LOG.TXT"),
         {"LOG.TXT", 30, "Файл", nullptr, false, -1, -1, false, false}},
        {"card folder",
         &Item(vkCardDir, "ARCH"),
         {"ARCH", 30, "Папка", nullptr, false, -1, -1, false, false}},
        {"channel that breaks the model",
         &Item(vkChanal, "", "broken"),
         {"Без регистров", 30, "Канал", "Недоступно", false, -1, -1, false, false}},
        {"channel item without a channel",
         &Item(vkChanal, "", "none"),
         {"Не задано", 30, "Канал", "Не задано", false, -1, -1, false, false}},
        {"no selection", nullptr, kNothing},
    };
    linktest::ScopedLocale comma(QLocale::Russian, QLocale::Russia);
    testproject::SetReal(project.Register("R1"), 12.5f);
    for (const Step& s : steps) {
        Show(s.item);
        Check(s.layout, s.what);
    }
}

TEST_F(PanelDetal, CaseChannelIsLaidOutByItsSelectedCase) {
    TVItem& item = Item(vkChanal, "", "case");
    project.Register("W1").SetFromWord(255);
    Show(&item);
    Check({"Пишется", 30, "Канал", "255", true, -1, -1, false, true}, "case 0");
    project.Register("S1").SetFromWord(1);
    Show(&item);
    Check({"Читается", 30, "Канал", "00FF", false, -1, -1, true, false}, "case 1");
}

TEST_F(PanelDetal, ShowsOneMoment) {
    TVItem& item = Item(vkChanal, "", "wordR");
    Show(&item);
    project.Register("W1").SetFromWord(7);
    EXPECT_EQ(panel.ValueEdit->text(), "2"); // the poll does not reach the panel
    Show(&item);
    EXPECT_EQ(panel.ValueEdit->text(), "7");
}

TEST_F(PanelDetal, WriteButtonRaisesOnWrite) {
    Show(&Item(vkChanal, "", "hexRW"));
    panel.WriteButton->click(); // no handler: nothing happens
    std::vector<QObject*> senders;
    panel.OnWrite = [&](QObject* sender) { senders.push_back(sender); };
    panel.ValueEdit->setText("1F");
    panel.WriteButton->click();
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0], panel.WriteButton);
    EXPECT_EQ(panel.ValueEdit->text(), "1F"); // the typed text stays for the owner to read
}

TEST_F(PanelDetal, NameLabelKeepsItsOwnFont) {
    const QFont created = panel.NameLabel->font();
    EXPECT_TRUE(created.bold());
    QFont larger = panel.font();
    larger.setPointSize(panel.font().pointSize() + 6);
    panel.setFont(larger);
    EXPECT_EQ(panel.NameLabel->font().pointSize(), created.pointSize());
    EXPECT_EQ(panel.KindLabel->font().pointSize(), larger.pointSize());
}

} // namespace
