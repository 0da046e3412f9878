#include "Chanal.h"
#include "ProjectFixture.h"
#include "link/LinkTestUtil.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

using linktest::ScopedLocale;
using testproject::Project;
using testproject::SetReal;
using testproject::WithRegisters;

const QString kUnavailable = "Недоступно";
const QString kInvalid = "Недопустимое значение";
const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

TEST(TChanal, EmptyElementKeepsTheDefaults) {
    Project p(WithRegisters("<Chanal/>"));
    const TChanal& c = p.Chanal();
    EXPECT_EQ(c.ID, "Unknow");
    EXPECT_TRUE(c.Name.isEmpty());
    EXPECT_EQ(c.Mode, cmR);
    EXPECT_EQ(c.Format, cfWord);
    EXPECT_EQ(c.Min, 0);
    EXPECT_EQ(c.Max, 65535);
    EXPECT_TRUE(c.Registers.empty());
    EXPECT_TRUE(c.Items.isEmpty());
    EXPECT_TRUE(c.Cases.empty());
    EXPECT_EQ(c.Digits, 2);
    EXPECT_TRUE(p.errors.isEmpty());
}

TEST(TChanal, KeywordsAreCaseSensitive) {
    const struct {
        const char* attrs;
        TChanalMode mode;
        TChanalFormat format;
    } cases[] = {
        {R"(Type="R" Format="Word")", cmR, cfWord},
        {R"(Type="RW" Format="Real")", cmRW, cfReal},
        {R"(Type="Case" Format="Str")", cmCase, cfStr},
        {R"(Format="Hex")", cmR, cfHex},
        {R"(Format="SF1")", cmR, cfSF1},
        {R"(Type="rw" Format="real")", cmR, cfWord},
        {R"(Type="case" Format="HEX")", cmR, cfWord},
        {R"(Type="" Format="")", cmR, cfWord},
    };
    for (const auto& t : cases) {
        Project p(WithRegisters(QString("<Chanal %1/>").arg(t.attrs)));
        EXPECT_EQ(p.Chanal().Mode, t.mode) << t.attrs;
        EXPECT_EQ(p.Chanal().Format, t.format) << t.attrs;
    }
}

TEST(TChanal, RangeIsReadInOneGuardedStep) {
    const struct {
        const char* attrs;
        int32_t min, max;
    } cases[] = {
        {R"(Min="abc" Max="100")", 0, 65535}, {R"(Min="5" Max="abc")", 5, 65535},
        {R"(Min="-5" Max="$10")", -5, 16},    {R"(Max="100")", 0, 100},
        {R"(Min="" Max="100")", 0, 65535},    {R"(Min="7")", 7, 65535},
    };
    for (const auto& t : cases) {
        Project p(WithRegisters(QString(R"(<Chanal %1/>)").arg(t.attrs)));
        EXPECT_EQ(p.Chanal().Min, t.min) << t.attrs;
        EXPECT_EQ(p.Chanal().Max, t.max) << t.attrs;
    }
}

TEST(TChanal, RegisterReferences) {
    // W1 twice in the file: the first (address 1) is taken; a reference to nothing adds
    // nothing, so the next one takes its role; a register named twice is held twice.
    Project p(WithRegisters(R"(<Chanal><Register>W1</Register><Register>none</Register>
        <Register>S1</Register><Register>w2</Register><Register>W1</Register></Chanal>)"));
    const TChanal& c = p.Chanal();
    ASSERT_EQ(c.Registers.size(), 3u);
    EXPECT_EQ(c.Registers[0]->Addr, 1);
    EXPECT_EQ(c.Registers[1]->ID, "S1");
    EXPECT_EQ(c.Registers[2], c.Registers[0]);

    // Channels placed before the packets still find their registers (the project loads
    // every packet first).
    Project before(
        R"(<Chanal><Register>A</Register></Chanal><Packet><Register ID="A" Addr="5"/></Packet>)");
    ASSERT_EQ(before.Chanal().Registers.size(), 1u);
    EXPECT_EQ(before.Chanal().Registers[0]->Addr, 5);
}

TEST(TChanal, SplitList) {
    const struct {
        const char* text;
        QStringList names;
    } cases[] = {
        {"x;y", {"x", "y"}},
        {"x;y;", {"x", "y"}},
        {"x;;y", {"x", "", "y"}},
        {";x", {"", "x"}},
        {";", {""}},
        {"x;;", {"x", ""}},
        {"", {}},
        {" a ; b", {" a ", " b"}},
    };
    for (const auto& t : cases) {
        QStringList list{"old"};
        TChanal::SplitList(QString::fromUtf8(t.text), list);
        EXPECT_EQ(list, t.names) << t.text;
    }
}

TEST(TChanal, StrElements) {
    Project p(WithRegisters(R"(
        <Chanal Format="Word"><Str>a;b</Str><Str>c;d;e</Str></Chanal>
        <Chanal Type="Case">
          <Case Format="Str"><Str>x;y</Str><Str>z</Str></Case>
          <Case Format="Word"><Str>ignored</Str></Case>
        </Chanal>)"));
    EXPECT_EQ(p.Chanal(0).Items, QStringList({"c", "d", "e"})); // the last counts, any format
    ASSERT_EQ(p.Chanal(1).Cases.size(), 2u);
    EXPECT_EQ(p.Chanal(1).Cases[0].Items, QStringList({"x", "y"})); // a case keeps its first
    EXPECT_TRUE(p.Chanal(1).Cases[1].Items.isEmpty());
    EXPECT_TRUE(p.Chanal(1).Items.isEmpty());
}

TEST(TChanal, CaseTakesTheChannelsValuesUnlessItGivesItsOwn) {
    Project p(WithRegisters(R"(
        <Chanal Type="Case" Format="Real" Name="Канал" Min="-10" Max="10">
          <Case/>
          <Case Value="3" Type="Case" Name="Свой" Min="1" Max="2" Format="Hex"/>
          <Case Value="$10" Type="RW" Min="x" Max="5"/>
          <Case Value="4" Type="rw" Format="real"/>
        </Chanal>)"));
    const TChanal& c = p.Chanal();
    EXPECT_EQ(c.Mode, cmCase);
    ASSERT_EQ(c.Cases.size(), 4u);
    const struct {
        int32_t key;
        const char* name;
        TChanalMode mode;
        TChanalFormat format;
        int32_t min, max;
    } expected[] = {
        {0, "Канал", cmR, cfWord, -10, 10}, // no Format: cfWord, not the channel's cfReal
        {3, "Свой", cmR, cfHex, 1, 2},      // "Case" is no access keyword of a case
        {16, "Канал", cmRW, cfWord, -10, 10},
        {4, "Канал", cmR, cfWord, -10, 10},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        const TCaseRecord& r = c.Cases[i];
        EXPECT_EQ(r.Key, expected[i].key) << i;
        EXPECT_EQ(r.Name, QString::fromUtf8(expected[i].name)) << i;
        EXPECT_EQ(r.Mode, expected[i].mode) << i;
        EXPECT_EQ(r.Format, expected[i].format) << i;
        EXPECT_EQ(r.Min, expected[i].min) << i;
        EXPECT_EQ(r.Max, expected[i].max) << i;
    }
}

TEST(TChanal, CaseValueThatDoesNotConvertFailsTheLoad) {
    Project p(WithRegisters(R"(
        <Chanal ID="K1" Type="Case"><Case Value="1"/><Case Value="abc"/><Case Value="2"/>
          <Register>W1</Register></Chanal>
        <Chanal ID="K2" Type="Case"><Case Value=""/></Chanal>
        <Chanal ID="K3"/>)"));
    ASSERT_EQ(p.errors.size(), 2);
    EXPECT_TRUE(p.errors[0].contains("K1")) << p.errors[0].toStdString();
    EXPECT_TRUE(p.errors[0].contains("\"abc\"")) << p.errors[0].toStdString();
    // The load stopped at the bad case: nothing after it was read.
    EXPECT_EQ(p.Chanal(0).Cases.size(), 1u);
    EXPECT_TRUE(p.Chanal(0).Registers.empty());
    EXPECT_TRUE(p.Chanal(1).Cases.empty());
    EXPECT_EQ(p.Chanal(2).ID, "K3");
}

// A Case channel on W1 (value) and S1 (selector).
const char* const kCaseChanal = R"(
    <Chanal Type="Case" Name="Общий" Min="0" Max="100">
      <Register>W1</Register><Register>S1</Register>
      <Case Value="1" Name="Первый" Type="RW" Format="Word" Min="1" Max="2"/>
      <Case Value="2" Name="Второй" Format="Hex"/>
      <Case Value="2" Name="Повтор" Type="RW"/>
      <Case Value="-1" Name="Минус"/>
      <Case Value="65536" Name="Большой"/>
    </Chanal>)";

TEST(TChanal, FindCaseFollowsTheSelector) {
    Project p(WithRegisters(kCaseChanal));
    TChanal& c = p.Chanal();
    TRegisterMB& selector = p.Register("S1");
    const struct {
        uint16_t selector;
        const char* name;
        TChanalFormat format;
        TChanalMode access;
        int32_t min, max;
    } cases[] = {
        {1, "Первый", cfWord, cmRW, 1, 2},
        {2, "Второй", cfHex, cmR, 0, 100},     // the first of two equal keys
        {7, "Первый", cfWord, cmRW, 1, 2},     // no match: the first case
        {65535, "Первый", cfWord, cmRW, 1, 2}, // keys outside 0 to 65535 never match
        {0, "Первый", cfWord, cmRW, 1, 2},
    };
    for (const auto& t : cases) {
        selector.SetFromWord(t.selector);
        ASSERT_NE(c.FindCase(), nullptr);
        EXPECT_EQ(c.GetName(), QString::fromUtf8(t.name)) << t.selector;
        EXPECT_EQ(c.GetFormat(), t.format) << t.selector;
        EXPECT_EQ(c.GetAccess(), t.access) << t.selector;
        EXPECT_EQ(c.GetMin(), t.min) << t.selector;
        EXPECT_EQ(c.GetMax(), t.max) << t.selector;
    }
}

// Value texts of plain channels on W1 (words) or R1 and S1 (reals with their status).
struct ValueCase {
    const char* chanal;
    std::function<void(Project&)> set;
    const char* comma;
    const char* point; // nullptr: as under the comma
};

void CheckValueTexts(const std::vector<ValueCase>& cases) {
    for (const auto& [language, territory, comma] :
         {std::tuple{QLocale::Russian, QLocale::Russia, true},
          std::tuple{QLocale::English, QLocale::UnitedStates, false}}) {
        ScopedLocale locale(language, territory);
        for (const ValueCase& t : cases) {
            Project p(WithRegisters(QString::fromUtf8(t.chanal)));
            t.set(p);
            const char* expected = comma || !t.point ? t.comma : t.point;
            EXPECT_EQ(p.Chanal().GetValueText(), QString::fromUtf8(expected))
                << t.chanal << (comma ? " under a comma" : " under a point");
        }
    }
}

auto Word(uint16_t v) {
    return [v](Project& p) { p.Register("W1").SetFromWord(v); };
}
auto Real(float x, uint16_t status = 0) {
    return [x, status](Project& p) {
        SetReal(p.Register("R1"), x);
        p.Register("S1").SetFromWord(status);
    };
}

TEST(TChanal, PlainValueTexts) {
    const char* word = R"(<Chanal Min="10" Max="20"><Register>W1</Register></Chanal>)";
    const char* hex = R"(<Chanal Format="Hex"><Register>W1</Register></Chanal>)";
    const char* str =
        R"(<Chanal Format="Str" Min="1" Max="4"><Register>W1</Register><Str>а;б;в</Str></Chanal>)";
    const char* real =
        R"(<Chanal Format="Real" Min="-1" Max="10000000"><Register>R1</Register></Chanal>)";
    const char* sf1 =
        R"(<Chanal Format="SF1" Min="0" Max="10"><Register>R1</Register><Register>S1</Register></Chanal>)";
    CheckValueTexts({
        {word, Word(15), "15", nullptr},
        {word, Word(10), "10", nullptr},
        {word, Word(25), "Недопустимое значение", nullptr},
        {hex, Word(255), "00FF", nullptr},
        {hex, Word(0xABCD), "ABCD", nullptr},
        {str, Word(2), "б", nullptr},
        {str, Word(0), "Недопустимое значение", nullptr},
        {str, Word(4), "Недоступно", nullptr}, // the list has no fourth name
        {real, Real(1234567.891f), "1234567,90", "1234567.90"},
        {real, Real(12.3456f), "12,35", "12.35"},
        {real, Real(0.1f), "0,10", "0.10"},
        {real, Real(-0.5f), "-0,50", "-0.50"},
        {real, Real(kNan), "Nan", nullptr},
        {real, Real(-2.0f), "Недопустимое значение", nullptr},
        {real, Real(kInf), "Недопустимое значение", nullptr},
        {sf1, Real(kNan, 0), "Выкл.", nullptr},
        {sf1, Real(kNan, 7), "Ошибка(7)", nullptr},
        {sf1, Real(1234.5f, 7), "1234,50", "1234.50"}, // no range test
        {sf1, Real(-kInf), "-INF", nullptr},
    });
}

TEST(TChanal, CaseValueTexts) {
    // One case per format, picked by S1; value register W1 or R1.
    const char* cases = R"(<Chanal Type="Case" Min="0" Max="1000">
        <Register>%1</Register><Register>S1</Register>
        <Case Value="0" Format="Word" Min="10" Max="20"/>
        <Case Value="1" Format="Real"/>
        <Case Value="2" Format="Str" Min="5" Max="7"><Str>x;y</Str></Case>
        <Case Value="3" Format="Hex"/>
        <Case Value="4" Format="SF1"/>
      </Chanal>)";
    const QString onWord = QString::fromUtf8(cases).arg("W1");
    const QString onReal = QString::fromUtf8(cases).arg("R1");
    auto pick = [](uint16_t selector, std::function<void(Project&)> value) {
        return [selector, value](Project& p) {
            value(p);
            p.Register("S1").SetFromWord(selector);
        };
    };
    auto real = [](float x) { return [x](Project& p) { SetReal(p.Register("R1"), x); }; };
    const QByteArray w = onWord.toUtf8(), r = onReal.toUtf8();
    CheckValueTexts({
        {w.data(), pick(0, Word(15)), "15", nullptr},
        {w.data(), pick(0, Word(25)), "Недопустимое значение", nullptr},
        {r.data(), pick(1, real(0.1f)), "0,100000001490116", "0.100000001490116"},
        {r.data(), pick(1, real(12.5f)), "12,5", "12.5"},
        {r.data(), pick(1, real(kNan)), "Недопустимое значение", nullptr}, // no "Nan" in a case
        {r.data(), pick(1, real(1000.5f)), "Недопустимое значение", nullptr},
        {w.data(), pick(2, Word(6)), "y", nullptr}, // counted from the case's Min
        {w.data(), pick(2, Word(7)), "Недоступно", nullptr},
        {w.data(), pick(2, Word(4)), "Недопустимое значение", nullptr},
        {w.data(), pick(3, Word(255)), "00FF", nullptr},
        {r.data(), pick(4, real(kNan)), "Не изсвено", nullptr},
    });
}

TEST(TChanal, ListAndListIndex) {
    Project p(WithRegisters(R"(
        <Chanal Format="Str" Min="1" Max="3"><Register>W1</Register><Str>a;b;c</Str></Chanal>
        <Chanal Format="Word" Min="1" Max="3"><Register>W1</Register><Str>a;b;c</Str></Chanal>
        <Chanal Format="Str" Min="1" Max="5"><Register>W1</Register><Str>a;b</Str></Chanal>)"));
    const struct {
        size_t chanal;
        uint16_t value;
        int32_t index;
    } cases[] = {
        {0, 1, 0},  {0, 3, 2},  {0, 0, -1}, {0, 4, -1}, // out of range
        {1, 2, -1},                                     // not cfStr
        {2, 2, 1},  {2, 3, -1},                         // beyond the list
    };
    for (const auto& t : cases) {
        p.Register("W1").SetFromWord(t.value);
        EXPECT_EQ(p.Chanal(t.chanal).GetListIndex(), t.index) << t.chanal << " " << t.value;
    }
    ASSERT_NE(p.Chanal(0).GetList(), nullptr);
    EXPECT_EQ(*p.Chanal(0).GetList(), QStringList({"a", "b", "c"}));
    EXPECT_EQ(p.Chanal(1).GetList(), nullptr);

    // A Case channel gives its selected case's names.
    Project k(WithRegisters(R"(<Chanal Type="Case"><Register>W1</Register><Register>S1</Register>
        <Case Value="0"/><Case Value="1" Format="Str" Min="10" Max="11"><Str>p;q</Str></Case></Chanal>)"));
    k.Register("W1").SetFromWord(11);
    EXPECT_EQ(k.Chanal().GetList(), nullptr);
    EXPECT_EQ(k.Chanal().GetListIndex(), -1);
    k.Register("S1").SetFromWord(1);
    ASSERT_NE(k.Chanal().GetList(), nullptr);
    EXPECT_EQ(*k.Chanal().GetList(), QStringList({"p", "q"}));
    EXPECT_EQ(k.Chanal().GetListIndex(), 1);
}

TEST(TChanal, ChannelsThatBreakTheModelAreUnavailable) {
    const char* cases[] = {
        R"(<Chanal Type="RW" Format="Str"><Str>a</Str></Chanal>)",
        R"(<Chanal Type="RW"><Register>none</Register></Chanal>)",
        R"(<Chanal Type="Case"><Register>W1</Register><Case Type="RW"/></Chanal>)",
        R"(<Chanal Type="Case"><Register>W1</Register><Register>S1</Register></Chanal>)",
        R"(<Chanal Type="RW" Format="SF1"><Register>R1</Register></Chanal>)",
    };
    for (const char* xml : cases) {
        Project p(WithRegisters(xml));
        TChanal& c = p.Chanal();
        EXPECT_FALSE(c.Usable()) << xml;
        EXPECT_EQ(c.GetValueText(), kUnavailable) << xml;
        EXPECT_EQ(c.GetAccess(), cmR) << xml;
        EXPECT_EQ(c.GetListIndex(), -1) << xml;
        EXPECT_EQ(c.FindCase(), nullptr) << xml;
        c.Watch();
        c.Unwatch();
    }
}

TEST(TChanal, WatchFlagsEveryRegister) {
    Project p(WithRegisters(R"(<Chanal Format="SF1"><Register>R1</Register><Register>S1</Register>
        <Register>W3</Register></Chanal>)"));
    TChanal& c = p.Chanal();
    c.Watch();
    for (const char* id : {"R1", "S1", "W3"})
        EXPECT_TRUE(p.Register(id).Watched.load()) << id;
    EXPECT_FALSE(p.Register("W2").Watched.load());
    c.Unwatch();
    for (const char* id : {"R1", "S1", "W3"})
        EXPECT_FALSE(p.Register(id).Watched.load()) << id;
}

} // namespace
