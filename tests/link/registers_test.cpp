#include "CodePage.h"
#include "LinkTestUtil.h"
#include "MessageBox.h"
#include "RegistersMB.h"

#include <QFile>
#include <QTemporaryDir>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <initializer_list>
#include <limits>
#include <memory>

namespace {

const QString kAddrMessage = QString::fromUtf8("Ошибка в извлечении адреса регистра!");

// Loads every Register child of <Packet> in order with one counter.
struct Loaded {
    platform::XmlDocument doc;
    std::vector<std::unique_ptr<TRegisterMB>> regs;
    uint16_t counter = 1;

    explicit Loaded(const QString& registers, uint16_t start = 1) : counter(start) {
        const auto elements =
            linktest::Children(doc, "<Packet>" + registers + "</Packet>", "Register");
        EXPECT_FALSE(elements.empty());
        for (const platform::XmlElement& e : elements) {
            regs.push_back(std::make_unique<TRegisterMB>());
            EXPECT_TRUE(regs.back()->LoadFromNode(e, counter));
        }
    }
};

TEST(TRegisterMB, Defaults) {
    TRegisterMB r;
    EXPECT_EQ(r.ID, "Unknow");
    EXPECT_TRUE(r.Name.isEmpty());
    EXPECT_EQ(r.DataType, rtWord);
    EXPECT_EQ(r.Addr, 1);
    EXPECT_TRUE(r.Node.IsNull());
    EXPECT_EQ(r.Value.load(), 0u);
    EXPECT_TRUE(r.Stale.load());
    EXPECT_FALSE(r.Watched.load());
}

TEST(TRegisterMB, TextAttributes) {
    Loaded l(
        R"(<Register Addr="1"/><Register ID="" Name="Давление" Addr="2"/><Register ID="T1" Addr="3"/>)");
    EXPECT_EQ(l.regs[0]->ID, "Unknow");
    EXPECT_EQ(l.regs[1]->ID, "");
    EXPECT_EQ(l.regs[1]->Name, QString::fromUtf8("Давление"));
    EXPECT_EQ(l.regs[2]->ID, "T1");
}

TEST(TRegisterMB, TypeKeywordsAreExact) {
    const std::pair<const char*, TRegisterType> cases[] = {
        {R"(Type="Word")", rtWord},
        {R"(Type="Int")", rtInt},
        {R"(Type="Real")", rtReal},
        {R"(Type="int")", rtWord},
        {R"(Type="REAL")", rtWord},
        {R"(Type="")", rtWord},
        {"", rtWord},
    };
    for (const auto& [attr, type] : cases) {
        Loaded l(QString(R"(<Register Addr="1" %1/>)").arg(attr));
        EXPECT_EQ(l.regs[0]->DataType, type) << attr;
        EXPECT_EQ(l.regs[0]->WordCount(), type == rtReal ? 2 : 1);
    }
}

TEST(TRegisterMB, AddressCounter) {
    platform::RecordingMessageBox boxes;
    Loaded l(R"(<Register Type="Real" Addr="10"/><Register Addr="+"/><Register Addr="+"/>)");
    EXPECT_EQ(l.regs[0]->Addr, 10);
    EXPECT_EQ(l.regs[1]->Addr, 12);
    EXPECT_EQ(l.regs[2]->Addr, 13);
    EXPECT_EQ(l.counter, 14);

    Loaded first(R"(<Register Addr="+"/>)");
    EXPECT_EQ(first.regs[0]->Addr, 1);
    EXPECT_EQ(first.counter, 2);
    EXPECT_EQ(boxes.Count(), 0u);

    // The counter runs on across packets.
    Loaded next(R"(<Register Addr="+" Type="Real"/>)", l.counter);
    EXPECT_EQ(next.regs[0]->Addr, 14);
    EXPECT_EQ(next.counter, 16);
}

struct AddrCase {
    const char* attr; // the Addr attribute as written, or nullptr for none
    uint16_t addr;
    uint16_t counter; // after a 16-bit register, starting from 7
    bool message;
};

TEST(TRegisterMB, AddressTexts) {
    const AddrCase cases[] = {
        {"0x1A", 26, 27, false},      {"$1A", 26, 27, false},     {" 26", 26, 27, false},
        {"70000", 4464, 4465, false}, {"-1", 65535, 0, false},    {"+", 7, 8, false},
        {"26 ", 7, 8, true},          {"", 7, 8, true},           {"abc", 7, 8, true},
        {nullptr, 7, 8, true},        {"4294967296", 7, 8, true},
    };
    for (const AddrCase& c : cases) {
        platform::RecordingMessageBox boxes;
        Loaded l(c.attr ? QString(R"(<Register Addr="%1"/>)").arg(c.attr) : QString("<Register/>"),
                 7);
        SCOPED_TRACE(c.attr ? c.attr : "(absent)");
        EXPECT_EQ(l.regs[0]->Addr, c.addr);
        EXPECT_EQ(l.counter, c.counter);
        ASSERT_EQ(boxes.Count(), c.message ? 1u : 0u);
        if (c.message) {
            EXPECT_EQ(boxes.Boxes()[0].text, kAddrMessage);
            EXPECT_EQ(boxes.Boxes()[0].caption, QString::fromUtf8("Внимание"));
            EXPECT_EQ(boxes.Boxes()[0].buttons, platform::MsgButtons::Ok);
            EXPECT_EQ(boxes.Boxes()[0].icon, platform::MsgIcon::None);
        }
    }
}

struct WordValueCase {
    const char* value;
    const char* type;
    uint16_t word;
    const char* saved;
};

TEST(TRegisterMB, WordValuesLoadAndSave) {
    const WordValueCase cases[] = {
        {"-1", "Word", 65535, "65535"},
        {"-1", "Int", 65535, "-1"},
        {"$8000", "Int", 0x8000, "-32768"},
        {"70000", "Word", 4464, "4464"},
        {"abc", "Word", 0, "0"},
        {"", "Int", 0, "0"},
        {"12.5", "Word", 0, "0"},
    };
    platform::RecordingMessageBox boxes;
    for (const WordValueCase& c : cases) {
        Loaded l(QString(R"(<Register Addr="1" Type="%1" Value="%2"/>)").arg(c.type, c.value));
        TRegisterMB& r = *l.regs[0];
        EXPECT_EQ(r.AsWord(), c.word) << c.value;
        EXPECT_EQ(r.Value.load() >> 16, 0u);
        r.SaveToNode();
        EXPECT_EQ(r.Node.Attribute("Value"), QString(c.saved)) << c.value;
    }
    Loaded absent(R"(<Register Addr="1"/>)");
    EXPECT_EQ(absent.regs[0]->AsWord(), 0);
    absent.regs[0]->SaveToNode();
    EXPECT_EQ(absent.regs[0]->Node.Attribute("Value"), QString("0"));
    EXPECT_EQ(boxes.Count(), 0u);
}

struct RealLoadCase {
    const char* value;
    float expected;
};

TEST(TRegisterMB, RealValuesLoadUnderEitherSeparator) {
    const RealLoadCase cases[] = {
        {"12,5", 12.5f}, {"12.5", 12.5f}, {" -1.5e3 ", -1500.0f}, {"0,1", 0.1f}, {"NAN", 0.0f},
        {"-INF", 0.0f},  {"abc", 0.0f},   {"1e39", 0.0f},         {"", 0.0f},
    };
    for (const auto language : {QLocale::Russian, QLocale::English}) {
        linktest::ScopedLocale locale(
            language, language == QLocale::Russian ? QLocale::Russia : QLocale::UnitedStates);
        for (const RealLoadCase& c : cases) {
            Loaded l(QString(R"(<Register Addr="1" Type="Real" Value="%1"/>)").arg(c.value));
            EXPECT_EQ(l.regs[0]->AsReal(), c.expected) << c.value;
            if (c.expected == 0.0f) {
                EXPECT_EQ(l.regs[0]->Value.load(), 0u) << c.value; // +0, not -0 or a NaN
            }
        }
    }
}

TEST(TRegisterMB, RealValuesSaveWithRegionalSeparator) {
    struct Case {
        float value;
        const char* point;
        const char* comma;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {12.5f, "12.5", "12,5"},      {0.1f, "0.100000001490116", "0,100000001490116"},
        {-1500.0f, "-1500", "-1500"}, {1e20f, "1.00000002004088E20", "1,00000002004088E20"},
        {nan, "NAN", "NAN"},          {-nan, "-NAN", "-NAN"},
        {inf, "INF", "INF"},          {-inf, "-INF", "-INF"},
    };
    Loaded l(R"(<Register Addr="1" Type="Real" Value="0"/>)");
    TRegisterMB& r = *l.regs[0];
    for (const Case& c : cases) {
        r.SetFromReal(c.value);
        {
            linktest::ScopedLocale locale(QLocale::English, QLocale::UnitedStates);
            r.SaveToNode();
            EXPECT_EQ(r.Node.Attribute("Value"), QString(c.point));
        }
        {
            linktest::ScopedLocale locale(QLocale::Russian, QLocale::Russia);
            r.SaveToNode();
            EXPECT_EQ(r.Node.Attribute("Value"), QString(c.comma));
        }
    }
}

TEST(TRegisterMB, SavedRealLoadsBackToTheSameSingle) {
    // Egyptian Arabic separates decimals with U+066B, neither a point nor a comma.
    for (const auto& [language, territory] : {std::pair{QLocale::Russian, QLocale::Russia},
                                              std::pair{QLocale::Arabic, QLocale::Egypt}}) {
        linktest::ScopedLocale locale(language, territory);
        for (const float x :
             {0.1f, 1.0f / 3.0f, -123456.789f, 3.4028235e38f, 1.17549435e-38f, 1e-30f}) {
            Loaded saved(R"(<Register Addr="1" Type="Real"/>)");
            saved.regs[0]->SetFromReal(x);
            saved.regs[0]->SaveToNode();
            const QString text = *saved.regs[0]->Node.Attribute("Value");
            Loaded again(QString(R"(<Register Addr="1" Type="Real" Value="%1"/>)").arg(text));
            EXPECT_EQ(again.regs[0]->AsReal(), x) << text.toStdString();
        }
    }
}

TEST(TRegisterMB, TakeReplyByteOrders) {
    const TPortBuffer reply =
        linktest::Reply({1, 3, 8, 0x04, 0xD2, 0x00, 0x00, 0x41, 0x48, 0xFF, 0xFF});
    TRegisterMB word, integer, real, ones, onesInt;
    word.Addr = 5;
    integer.Addr = 5;
    integer.DataType = rtInt;
    real.Addr = 6;
    real.DataType = rtReal;
    ones.Addr = 8;
    onesInt.Addr = 8;
    onesInt.DataType = rtInt;
    for (TRegisterMB* r : {&word, &integer, &real, &ones, &onesInt})
        EXPECT_TRUE(r->TakeReply(reply, 4));
    EXPECT_EQ(word.AsWord(), 1234);
    EXPECT_EQ(integer.AsInt(), 1234);
    EXPECT_EQ(real.AsReal(), 12.5f);
    EXPECT_EQ(ones.AsWord(), 65535);
    EXPECT_EQ(onesInt.AsInt(), -1);
    EXPECT_FALSE(word.Stale.load());
    EXPECT_FALSE(real.Stale.load());
}

TEST(TRegisterMB, TakeReplyNeverReadsOutsideTheReply) {
    const TPortBuffer reply =
        linktest::Reply({1, 3, 4, 0x00, 0x01, 0x00, 0x02}); // registers 1 and 2
    struct Case {
        uint16_t addr;
        TRegisterType type;
        bool taken;
    };
    const Case cases[] = {
        {1, rtWord, true},  {2, rtWord, true},  {1, rtReal, true},      {2, rtReal, false},
        {3, rtWord, false}, {0, rtWord, false}, {65535, rtReal, false},
    };
    for (const Case& c : cases) {
        TRegisterMB r;
        r.Addr = c.addr;
        r.DataType = c.type;
        r.Value.store(0xDEADBEEF);
        EXPECT_EQ(r.TakeReply(reply, 0), c.taken) << c.addr;
        EXPECT_EQ(r.Stale.load(), !c.taken);
        if (!c.taken) {
            EXPECT_EQ(r.Value.load(), 0xDEADBEEFu);
        }
    }
}

TEST(TRegisterMB, SetFromRealRoundsHalfToEven) {
    const std::pair<float, uint16_t> cases[] = {
        {2.5f, 2},
        {3.5f, 4},
        {-1.0f, 65535},
        {70000.4f, 4464},
        {-0.5f, 0},
        {-1.5f, 65534},
        {65535.6f, 0},
        {1e10f, static_cast<uint16_t>(10000000000ll & 0xFFFF)},
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {std::numeric_limits<float>::infinity(), 0},
    };
    for (const auto type : {rtWord, rtInt}) {
        for (const auto& [x, w] : cases) {
            TRegisterMB r;
            r.DataType = type;
            r.Stale.store(false);
            r.Watched.store(true);
            r.SetFromReal(x);
            EXPECT_EQ(r.Value.load(), w) << x;
            EXPECT_FALSE(r.Stale.load());
            EXPECT_TRUE(r.Watched.load());
        }
    }
    TRegisterMB real;
    real.DataType = rtReal;
    real.SetFromReal(-0.1f);
    EXPECT_EQ(real.AsReal(), -0.1f);
}

TEST(TRegisterMB, SetFromWord) {
    TRegisterMB real;
    real.DataType = rtReal;
    real.SetFromWord(65535);
    EXPECT_EQ(real.AsReal(), 65535.0f);
    EXPECT_TRUE(real.Stale.load());
    TRegisterMB integer;
    integer.DataType = rtInt;
    integer.SetFromWord(0xFFFE);
    EXPECT_EQ(integer.AsInt(), -2);
    EXPECT_EQ(integer.Value.load(), 0xFFFEu);
}

TEST(TRegisterMB, NeedsPoll) {
    TRegisterMB r;
    EXPECT_TRUE(r.NeedsPoll());
    r.Stale.store(false);
    EXPECT_FALSE(r.NeedsPoll());
    r.Watched.store(true);
    EXPECT_TRUE(r.NeedsPoll());
}

} // namespace

namespace {

// A project's registers loaded, changed as a channel and a poll would change them, saved
// and loaded again: only the Value attributes differ, in either file encoding.
TEST(TRegisterMB, DocumentRoundTrip) {
    const char* const layout = R"(%1<Device Name="Счётчик">
  <!-- значения -->
  <Packet ID="P1">
    <Register ID="A" Name="Уставка" Type="Real" Addr="1" Value="%2"/>
    <Register ID="B" Name="Режим" Type="Int" Addr="+" Value="%3"/>
    <Register ID="C" Name="Счёт" Addr="+"/>
  </Packet>
</Device>
)";
    struct Encoding {
        const char* declaration;
        QByteArray (*encode)(const QString&);
    };
    const Encoding encodings[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n", &platform::ToCodePage},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
         [](const QString& s) { return s.toUtf8(); }},
    };
    const auto text = [&](const Encoding& e, const char* a, const char* b, const char* c) {
        QString s = QString::fromUtf8(layout).arg(QString::fromLatin1(e.declaration), a, b);
        if (c)
            s.replace(QString::fromUtf8(R"(Name="Счёт" Addr="+")"),
                      QString::fromUtf8(R"(Name="Счёт" Addr="+" Value="%1")").arg(c));
        return e.encode(s);
    };
    linktest::ScopedLocale locale(QLocale::Russian, QLocale::Russia);
    for (const Encoding& e : encodings) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath("p.xml");
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text(e, "1.5", "-2", nullptr)); // a point although the locale has a comma
        }
        platform::XmlDocument doc;
        ASSERT_TRUE(doc.Load(path).Ok());
        std::vector<std::unique_ptr<TRegisterMB>> regs;
        uint16_t counter = 1;
        const platform::XmlNodeList nodes =
            doc.DocumentElement().ChildElement("Packet").ChildNodes();
        for (int i = 0; i < nodes.Count(); ++i) {
            if (nodes.Item(i).LocalName() != "Register")
                continue;
            regs.push_back(std::make_unique<TRegisterMB>());
            regs.back()->LoadFromNode(nodes.Item(i).ToElement(), counter);
        }
        ASSERT_EQ(regs.size(), 3u);
        EXPECT_EQ(regs[0]->AsReal(), 1.5f);
        EXPECT_EQ(regs[1]->AsInt(), -2);
        regs[0]->SetFromReal(-0.25f);
        regs[2]->TakeReply(linktest::Reply({1, 3, 8, 0, 0, 0, 0, 0, 0, 0x30, 0x39}), 0);
        for (const auto& r : regs)
            r->SaveToNode();
        ASSERT_TRUE(doc.Save(path).Ok());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), text(e, "-0,25", "-2", "12345"));
    }
}

} // namespace
