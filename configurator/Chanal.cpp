#include "Chanal.h"

#include "Notice.h"
#include "NumberText.h"

#include <cmath>
#include <optional>

namespace {

const QString kUnavailable = QStringLiteral("Недоступно");
const QString kInvalid = QStringLiteral("Недопустимое значение");
const QString kUnknownCase = QStringLiteral("Не изсвено");

TChanalMode ModeFromKeyword(const QString& keyword) {
    if (keyword == u"RW")
        return cmRW;
    if (keyword == u"Case")
        return cmCase;
    return cmR;
}

TChanalFormat FormatFromKeyword(const QString& keyword) {
    if (keyword == u"Real")
        return cfReal;
    if (keyword == u"Str")
        return cfStr;
    if (keyword == u"Hex")
        return cfHex;
    if (keyword == u"SF1")
        return cfSF1;
    return cfWord;
}

QString AttributeText(const platform::XmlElement& node, const char16_t* name) {
    return node.Attribute(QString::fromUtf16(name)).value_or(QString());
}

// Min, then Max, each only when present; the first text that does not convert ends the
// step and leaves the rest as it was.
void ReadRange(const platform::XmlElement& node, int32_t& min, int32_t& max) {
    for (auto [name, field] : {std::pair{u"Min", &min}, std::pair{u"Max", &max}}) {
        const auto text = node.Attribute(QString::fromUtf16(name));
        if (!text)
            continue;
        const auto value = platform::AttributeToInt(*text);
        if (!value)
            return;
        *field = *value;
    }
}

bool InRange(uint16_t v, int32_t min, int32_t max) {
    return min <= int32_t(v) && int32_t(v) <= max;
}

bool InRange(float x, int32_t min, int32_t max) {
    return double(min) <= double(x) && double(x) <= double(max); // false for a NaN
}

// Upper-case hexadecimal digits, at least four; a negative bound shows its 32-bit pattern.
QString HexDigits(uint32_t v) {
    return QString::number(v, 16).toUpper().rightJustified(4, u'0');
}

// Name number v - min; "Недоступно" when the list has no such name.
QString NameOf(const QStringList& items, uint16_t v, int32_t min) {
    const int64_t index = int64_t(v) - min;
    return index < items.size() ? items[qsizetype(index)] : kUnavailable;
}

QString RangeNotice(int32_t min, int32_t max, bool hex) {
    // The break is a line feed followed by a carriage return; the form shows it as one.
    const QString lead = QStringLiteral("Значение должно быть ") + QChar(0x0A) + QChar(0x0D);
    if (!hex)
        return lead + QStringLiteral("от ") + QString::number(min) + QStringLiteral(" до ") +
               QString::number(max);
    return lead + QStringLiteral("от $") + HexDigits(uint32_t(min)) + QStringLiteral(" до ") +
           u'$' + HexDigits(uint32_t(max));
}

// The integer text rule as typed input takes it: a hexadecimal number has one to eight
// digits, so leading zeros cannot stretch it past the eight of a 32-bit pattern.
std::optional<int32_t> ParseTypedInteger(const QString& text) {
    const auto value = platform::ParseIntegerText(text);
    if (!value || !(text.contains(u'$') || text.contains(u'x') || text.contains(u'X')))
        return value;
    auto hexDigit = [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    };
    qsizetype digits = 0;
    for (qsizetype i = text.size() - 1; i >= 0 && hexDigit(text[i]); --i)
        ++digits;
    return digits <= 8 ? value : std::nullopt;
}

QString ConversionNotice(const QString& typed) {
    return QStringLiteral("Не смог перевести \"") + typed + QStringLiteral("\" в число");
}

} // namespace

bool TChanal::LoadFromNode(const platform::XmlElement& node, const TIdIndex<TRegisterMB>& registers,
                           QString* error) {
    if (const auto id = node.Attribute(QStringLiteral("ID")))
        ID = *id;
    if (const auto name = node.Attribute(QStringLiteral("Name")))
        Name = *name;
    Mode = ModeFromKeyword(AttributeText(node, u"Type"));
    Format = FormatFromKeyword(AttributeText(node, u"Format"));
    ReadRange(node, Min, Max);

    // Every attribute first, so that the cases start from the channel's final values.
    const platform::XmlNodeList children = node.ChildNodes();
    for (int i = 0; i < children.Count(); ++i) {
        const platform::XmlNode child = children.Item(i);
        const QString name = child.LocalName();
        if (name == u"Register") {
            if (TRegisterMB* reg = registers.Find(child.Text()))
                Registers.push_back(reg);
        } else if (name == u"Str") {
            SplitList(child.Text(), Items);
        } else if (name == u"Case") {
            if (!LoadCase(child.ToElement(), error))
                return false;
        }
    }
    return true;
}

bool TChanal::LoadCase(const platform::XmlElement& node, QString* error) {
    TCaseRecord record;
    record.Name = Name;
    record.Min = Min;
    record.Max = Max;
    if (const auto key = node.Attribute(QStringLiteral("Value"))) {
        const auto value = platform::AttributeToInt(*key);
        if (!value) {
            if (error)
                *error = QStringLiteral("Ошибка в описании канала \"%1\": значение варианта "
                                        "\"%2\" не является целым числом!")
                             .arg(ID, *key);
            return false;
        }
        record.Key = *value;
    }
    if (const auto name = node.Attribute(QStringLiteral("Name")))
        record.Name = *name;
    ReadRange(node, record.Min, record.Max);
    record.Mode = AttributeText(node, u"Type") == u"RW" ? cmRW : cmR;
    record.Format = FormatFromKeyword(AttributeText(node, u"Format"));
    if (record.Format == cfStr)
        if (const platform::XmlElement str = node.FindChildElement(QStringLiteral("Str"));
            !str.IsNull())
            SplitList(str.Text(), record.Items);
    Cases.push_back(std::move(record));
    return true;
}

void TChanal::SplitList(const QString& text, QStringList& list) {
    list.clear();
    QStringView rest(text);
    while (!rest.isEmpty()) {
        const qsizetype separator = rest.indexOf(u';');
        if (separator < 0) {
            list.append(rest.toString());
            return;
        }
        list.append(rest.left(separator).toString());
        rest = rest.mid(separator + 1);
    }
}

bool TChanal::Usable() const {
    if (Registers.empty())
        return false;
    if (Mode == cmCase)
        return Registers.size() >= 2 && !Cases.empty();
    if (Format == cfSF1)
        return Registers.size() >= 2;
    return true;
}

const TCaseRecord* TChanal::FindCase() const {
    if (Mode != cmCase || !Usable())
        return nullptr;
    const int32_t key = Registers[1]->AsWord();
    for (const TCaseRecord& c : Cases)
        if (c.Key == key)
            return &c;
    return &Cases.front();
}

QString TChanal::GetName() const {
    const TCaseRecord* c = FindCase();
    return c ? c->Name : Name;
}

TChanalFormat TChanal::GetFormat() const {
    const TCaseRecord* c = FindCase();
    return c ? c->Format : Format;
}

TChanalMode TChanal::GetAccess() const {
    if (!Usable())
        return cmR;
    const TCaseRecord* c = FindCase();
    return c ? c->Mode : Mode;
}

int32_t TChanal::GetMin() const {
    const TCaseRecord* c = FindCase();
    return c ? c->Min : Min;
}

int32_t TChanal::GetMax() const {
    const TCaseRecord* c = FindCase();
    return c ? c->Max : Max;
}

const QStringList& TChanal::CurrentItems() const {
    const TCaseRecord* c = FindCase();
    return c ? c->Items : Items;
}

const QStringList* TChanal::GetList() const {
    return GetFormat() == cfStr ? &CurrentItems() : nullptr;
}

int32_t TChanal::GetListIndex() const {
    if (!Usable() || GetFormat() != cfStr)
        return -1;
    const uint16_t v = Registers[0]->AsWord();
    const int32_t min = GetMin();
    if (!InRange(v, min, GetMax()))
        return -1;
    const int64_t index = int64_t(v) - min;
    return index < CurrentItems().size() ? int32_t(index) : -1;
}

QString TChanal::GetValueText() const {
    if (!Usable())
        return kUnavailable;
    return Mode == cmCase ? FormatCaseValue() : FormatValue();
}

QString TChanal::FormatValue() const {
    const uint16_t v = Registers[0]->AsWord();
    const bool inRange = InRange(v, Min, Max);
    switch (Format) {
    case cfWord:
        return inRange ? QString::number(v) : kInvalid;
    case cfReal: {
        const float x = Registers[0]->AsReal();
        if (std::isnan(x))
            return QStringLiteral("Nan");
        return InRange(x, Min, Max) ? platform::FormatFixed(x, Digits, platform::DecimalSeparator())
                                    : kInvalid;
    }
    case cfStr:
        return inRange ? NameOf(Items, v, Min) : kInvalid;
    case cfHex:
        return inRange ? HexDigits(v) : kInvalid;
    case cfSF1:
        return FormatStatusValue();
    }
    return kUnavailable;
}

QString TChanal::FormatStatusValue() const {
    const float x = Registers[0]->AsReal();
    if (!std::isnan(x))
        return platform::FormatFixed(x, Digits, platform::DecimalSeparator());
    const uint16_t code = Registers[1]->AsWord();
    if (code == 0)
        return QStringLiteral("Выкл.");
    return QStringLiteral("Ошибка(") + QString::number(code) + u')';
}

QString TChanal::FormatCaseValue() const {
    const TCaseRecord& c = *FindCase();
    const uint16_t v = Registers[0]->AsWord();
    const bool inRange = InRange(v, c.Min, c.Max);
    switch (c.Format) {
    case cfWord:
        return inRange ? QString::number(v) : kInvalid;
    case cfReal: {
        const float x = Registers[0]->AsReal();
        return InRange(x, c.Min, c.Max)
                   ? platform::FormatGeneral(x, 15, -5, platform::DecimalSeparator())
                   : kInvalid;
    }
    case cfStr:
        return inRange ? NameOf(c.Items, v, c.Min) : kInvalid;
    case cfHex:
        return inRange ? HexDigits(v) : kInvalid;
    case cfSF1:
        break;
    }
    return kUnknownCase;
}

void TChanal::Watch() {
    for (TRegisterMB* reg : Registers)
        reg->Watched.store(true);
}

void TChanal::Unwatch() {
    for (TRegisterMB* reg : Registers)
        reg->Watched.store(false);
}

bool TChanal::WriteInteger(int64_t value, bool hexNotice, std::unique_ptr<TWRPacket>& packet) {
    const int32_t min = GetMin();
    const int32_t max = GetMax();
    if (value < min || value > max) {
        ShowNotice(RangeNotice(min, max, hexNotice));
        return false;
    }
    const auto word = static_cast<uint16_t>(value);
    TRegisterMB& reg = *Registers[0];
    reg.SetFromWord(word);
    packet = std::make_unique<TWRPacket>();
    packet->Func = 6;
    packet->Addr = reg.Addr;
    packet->WordValue = word;
    return true;
}

bool TChanal::WriteWord(const QString& text, std::unique_ptr<TWRPacket>& packet) {
    packet.reset();
    if (!Usable())
        return false;
    const auto value = ParseTypedInteger(text);
    if (!value) {
        ShowNotice(ConversionNotice(text));
        return false;
    }
    return WriteInteger(*value, false, packet);
}

bool TChanal::WriteHex(const QString& text, std::unique_ptr<TWRPacket>& packet) {
    packet.reset();
    if (!Usable())
        return false;
    // With "$" in front, only hexadecimal digits convert: no sign, blank or prefix.
    const auto value = ParseTypedInteger(QStringLiteral("$") + text);
    if (!value) {
        ShowNotice(ConversionNotice(text));
        return false;
    }
    return WriteInteger(*value, true, packet);
}

bool TChanal::WriteListIndex(int32_t index, std::unique_ptr<TWRPacket>& packet) {
    packet.reset();
    if (!Usable())
        return false;
    // No name chosen (-1) lies below the range and gets the range notice.
    return WriteInteger(int64_t(index) + GetMin(), false, packet);
}

bool TChanal::WriteReal(const QString& text, std::unique_ptr<TWRPacket>& packet) {
    packet.reset();
    if (!Usable())
        return false;
    // A "." after the first character stands for the decimal comma. The user's own
    // separator converts too, so that a point locale takes "12.5" as well as "12,5".
    QString s = text;
    if (const qsizetype point = s.indexOf(u'.'); point > 0)
        s[point] = u',';
    const QString separators = QString(platform::DecimalSeparator()) + u',';
    const auto value = platform::ParseRealTextExtended(s, separators);
    if (!value) {
        ShowNotice(ConversionNotice(text));
        return false;
    }
    const int32_t min = GetMin();
    const int32_t max = GetMax();
    if (*value < min || *value > max) {
        ShowNotice(RangeNotice(min, max, false));
        return false;
    }
    const auto x = static_cast<float>(*value);
    TRegisterMB& reg = *Registers[0];
    reg.SetFromReal(x);
    packet = std::make_unique<TWRPacket>();
    packet->Func = 16;
    packet->Addr = reg.Addr;
    packet->RealValue = x;
    return true;
}
