#include "Chanal.h"
#include "Notice.h"
#include "ProjectFixture.h"
#include "link/LinkTestUtil.h"

#include <gtest/gtest.h>
#include <optional>
#include <variant>

namespace {

using testproject::Project;
using testproject::SetReal;
using testproject::WithRegisters;

const QString kBreak = QString(QChar(0x0A)) + QChar(0x0D);

QString Range(const char* bounds) {
    return "Значение должно быть " + kBreak + QString::fromUtf8(bounds);
}
QString Conversion(const char* typed) {
    return "Не смог перевести \"" + QString::fromUtf8(typed) + "\" в число";
}

enum Writer { Word, Hex, List, Real };

struct WriteCase {
    const char* chanal; // on W2 (address 2) or R1 (address 10)
    Writer writer;
    std::variant<const char*, int> input; // the typed text, or the chosen index
    std::optional<double> written;        // the value written, or nothing for a refusal
    QString notice;                       // the notice of a refusal
};

// Runs each case on a fresh project under the current locale.
void RunWrites(const std::vector<WriteCase>& cases, const char* locale) {
    for (const WriteCase& t : cases) {
        const std::string what = std::string(t.chanal) + " / " +
                                 (std::holds_alternative<int>(t.input)
                                      ? std::to_string(std::get<int>(t.input))
                                      : std::string("\"") + std::get<const char*>(t.input) + "\"") +
                                 " " + locale;
        SCOPED_TRACE(what);
        Project p(WithRegisters(t.chanal));
        TChanal& c = p.Chanal();
        ASSERT_FALSE(c.Registers.empty());
        TRegisterMB& reg = *c.Registers[0];
        reg.SetFromWord(3); // the value before the write
        const uint32_t before = reg.Value.load();
        TRecordingNotice notices;
        std::unique_ptr<TWRPacket> packet = std::make_unique<TWRPacket>(); // a stale one goes
        bool ok = false;
        switch (t.writer) {
        case Word:
            ok = c.WriteWord(QString::fromUtf8(std::get<const char*>(t.input)), packet);
            break;
        case Hex:
            ok = c.WriteHex(QString::fromUtf8(std::get<const char*>(t.input)), packet);
            break;
        case List:
            ok = c.WriteListIndex(std::get<int>(t.input), packet);
            break;
        case Real:
            ok = c.WriteReal(QString::fromUtf8(std::get<const char*>(t.input)), packet);
            break;
        }
        EXPECT_EQ(ok, t.written.has_value());
        if (!t.written) {
            EXPECT_EQ(packet, nullptr);
            EXPECT_EQ(reg.Value.load(), before);
            ASSERT_EQ(notices.Texts.size(), 1);
            EXPECT_EQ(notices.Texts[0], t.notice);
            continue;
        }
        EXPECT_TRUE(notices.Texts.isEmpty());
        ASSERT_NE(packet, nullptr);
        EXPECT_EQ(packet->Address, 0); // the browser stamps it
        EXPECT_EQ(packet->Addr, reg.Addr);
        if (t.writer == Real) {
            EXPECT_EQ(packet->Func, 16);
            EXPECT_EQ(packet->RealValue, float(*t.written));
            EXPECT_EQ(reg.AsReal(), float(*t.written));
        } else {
            EXPECT_EQ(packet->Func, 6);
            EXPECT_EQ(packet->WordValue, uint16_t(*t.written));
            EXPECT_EQ(reg.AsWord(), uint16_t(*t.written));
        }
    }
}

const char* const kWord = R"(<Chanal Type="RW"><Register>W2</Register></Chanal>)";
const char* const kHex = R"(<Chanal Type="RW" Format="Hex"><Register>W2</Register></Chanal>)";
const char* const kHex255 =
    R"(<Chanal Type="RW" Format="Hex" Max="255"><Register>W2</Register></Chanal>)";
const char* const kHexWide =
    R"(<Chanal Type="RW" Format="Hex" Min="-1" Max="$1FFFF"><Register>W2</Register></Chanal>)";
const char* const kStr =
    R"(<Chanal Type="RW" Format="Str" Min="1" Max="3"><Register>W2</Register><Str>a;b;c</Str></Chanal>)";
const char* const kReal =
    R"(<Chanal Type="RW" Format="Real" Min="0" Max="100"><Register>R1</Register></Chanal>)";

TEST(Writers, IntegerWriters) {
    const std::vector<WriteCase> cases = {
        {kWord, Word, "12", 12, {}},
        {kWord, Word, " 12", 12, {}},
        {kWord, Word, "$10", 16, {}},
        {kWord, Word, "0x10", 16, {}},
        {kWord, Word, "65535", 65535, {}},
        {kWord, Word, "70000", {}, Range("от 0 до 65535")},
        {kWord, Word, "-1", {}, Range("от 0 до 65535")},
        {kWord, Word, "12 ", {}, Conversion("12 ")},
        {kWord, Word, "", {}, Conversion("")},
        {kWord, Word, "1.5", {}, Conversion("1.5")},
        {kWord, Word, "$0000FFFF", 65535, {}},
        {kWord, Word, "$000000010", {}, Conversion("$000000010")}, // nine digits
        {kWord, Word, "0x000000010", {}, Conversion("0x000000010")},
        {kWord, Word, "000000000012", 12, {}}, // decimal has no digit limit
        {kHex, Hex, "ff", 255, {}},
        {kHex, Hex, "FF", 255, {}},
        {kHex, Hex, "FFFF", 65535, {}},
        {kHex, Hex, "", {}, Conversion("")},
        {kHex, Hex, "0xff", {}, Conversion("0xff")},
        {kHex, Hex, "$ff", {}, Conversion("$ff")},
        {kHex, Hex, " ff", {}, Conversion(" ff")},
        {kHex, Hex, "-1", {}, Conversion("-1")},
        {kHex, Hex, "00000010", 16, {}},
        {kHex, Hex, "000000010", {}, Conversion("000000010")}, // one to eight digits only
        {kHex, Hex, "10000", {}, Range("от $0000 до $FFFF")},
        {kHex255, Hex, "100", {}, Range("от $0000 до $00FF")},
        {kHexWide, Hex, "1FFFF", 0xFFFF, {}},    // the low-order 16 bits go out
        {kHexWide, Hex, "FFFFFFFF", 0xFFFF, {}}, // eight digits: the pattern of -1
        {kHexWide, Hex, "20000", {}, Range("от $FFFFFFFF до $1FFFF")},
        {kStr, List, 0, 1, {}},
        {kStr, List, 2, 3, {}},
        {kStr, List, -1, {}, Range("от 1 до 3")}, // no name chosen
        {kStr, List, 3, {}, Range("от 1 до 3")},
    };
    for (const auto& [language, territory, name] :
         {std::tuple{QLocale::Russian, QLocale::Russia, "comma"},
          std::tuple{QLocale::English, QLocale::UnitedStates, "point"}}) {
        linktest::ScopedLocale locale(language, territory);
        RunWrites(cases, name);
    }
}

TEST(Writers, RealUnderADecimalComma) {
    linktest::ScopedLocale locale(QLocale::Russian, QLocale::Russia);
    RunWrites(
        {
            {kReal, Real, "12.5", 12.5, {}},
            {kReal, Real, "12,5", 12.5, {}},
            {kReal, Real, "100", 100, {}},
            {kReal, Real, "0,1", double(0.1f), {}},
            {kReal, Real, "1e2", 100, {}},
            {kReal, Real, ".5", {}, Conversion(".5")},
            {kReal, Real, "1.2.3", {}, Conversion("1.2.3")},
            {kReal, Real, "abc", {}, Conversion("abc")},
            {kReal, Real, "", {}, Conversion("")},
            {kReal, Real, "100.5", {}, Range("от 0 до 100")},
            {kReal, Real, "-0,001", {}, Range("от 0 до 100")},
            {kReal, Real, "100,0000001", {}, Range("от 0 до 100")}, // before rounding to a float
            // Converted at extended precision: what a double would round to 100, or cannot
            // hold at all, is still compared with the bounds.
            {kReal, Real, "100,000000000000001", {}, Range("от 0 до 100")},
            {kReal, Real, "1e400", {}, Range("от 0 до 100")},
            {kReal, Real, "1e99999", {}, Conversion("1e99999")},
        },
        "comma");
}

TEST(Writers, RealUnderADecimalPoint) {
    linktest::ScopedLocale locale(QLocale::English, QLocale::UnitedStates);
    RunWrites(
        {
            {kReal, Real, "12.5", 12.5, {}},
            {kReal, Real, "12,5", 12.5, {}},
            {kReal, Real, ".5", 0.5, {}},
            {kReal, Real, "100", 100, {}},
            {kReal, Real, "1.2.3", {}, Conversion("1.2.3")},
            {kReal, Real, "1,2,3", {}, Conversion("1,2,3")},
            {kReal, Real, "100.5", {}, Range("от 0 до 100")},
        },
        "point");
}

TEST(Writers, CaseChannelUsesTheCaseSelectedAtTheWrite) {
    Project p(WithRegisters(R"(<Chanal Type="Case"><Register>W2</Register><Register>S1</Register>
        <Case Value="0" Type="RW" Min="0" Max="10"/>
        <Case Value="1" Type="RW" Format="Str" Min="20" Max="22"><Str>x;y;z</Str></Case>
      </Chanal>)"));
    TChanal& c = p.Chanal();
    TRecordingNotice notices;
    std::unique_ptr<TWRPacket> packet;
    EXPECT_FALSE(c.WriteWord("20", packet));
    EXPECT_EQ(notices.Texts.value(0), Range("от 0 до 10"));
    p.Register("S1").SetFromWord(1);
    EXPECT_TRUE(c.WriteWord("20", packet));
    ASSERT_TRUE(c.WriteListIndex(1, packet)); // counted from the case's Min
    EXPECT_EQ(packet->WordValue, 21);
    EXPECT_EQ(c.GetValueText(), "y"); // shown before the instrument answers
}

TEST(Writers, ChannelsThatBreakTheModelWriteNothing) {
    Project p(WithRegisters(R"(
        <Chanal Type="RW"/>
        <Chanal Type="Case"><Register>W2</Register><Case Type="RW"/></Chanal>)"));
    TRecordingNotice notices;
    for (const auto& chanal : p.chanals) {
        std::unique_ptr<TWRPacket> packet;
        EXPECT_FALSE(chanal->WriteWord("1", packet));
        EXPECT_FALSE(chanal->WriteHex("1", packet));
        EXPECT_FALSE(chanal->WriteListIndex(0, packet));
        EXPECT_FALSE(chanal->WriteReal("1", packet));
        EXPECT_EQ(packet, nullptr);
    }
    EXPECT_EQ(p.Register("W2").AsWord(), 0);
}

} // namespace
