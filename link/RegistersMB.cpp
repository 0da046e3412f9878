#include "RegistersMB.h"

#include "MessageBox.h"
#include "NumberText.h"

#include <bit>
#include <cmath>

namespace {

const QString kCaption = QStringLiteral("Внимание");

TRegisterType TypeFromKeyword(const QString& keyword) {
    if (keyword == u"Int")
        return rtInt;
    if (keyword == u"Real")
        return rtReal;
    return rtWord;
}

std::optional<uint16_t> LowWord(const QString& text) {
    if (const auto value = platform::ParseIntegerText(text))
        return static_cast<uint16_t>(static_cast<uint32_t>(*value));
    return std::nullopt;
}

// A real Value may have been saved under other regional settings: take the user's decimal
// separator, a point or a comma, so that a change of settings does not turn the value into 0.
uint32_t RealBitsFromText(const QString& text) {
    const QString separators = QStringLiteral(".,") + platform::DecimalSeparator();
    const auto value = platform::ParseRealText(text, separators);
    const auto single = value ? platform::RoundToSingle(*value) : std::nullopt;
    return std::bit_cast<uint32_t>(single.value_or(0.0f));
}

} // namespace

bool TRegisterMB::LoadFromNode(const platform::XmlElement& node, uint16_t& counter) {
    Node = node;
    if (const auto id = node.Attribute(QStringLiteral("ID")))
        ID = *id;
    if (const auto name = node.Attribute(QStringLiteral("Name")))
        Name = *name;
    DataType = TypeFromKeyword(node.Attribute(QStringLiteral("Type")).value_or(QString()));

    const QString addr = node.Attribute(QStringLiteral("Addr")).value_or(QString());
    if (addr == u"+") {
        Addr = counter;
    } else if (const auto word = LowWord(addr)) {
        Addr = *word;
        counter = Addr;
    } else {
        platform::MessageBox(QStringLiteral("Ошибка в извлечении адреса регистра!"), kCaption);
        Addr = counter;
    }

    const QString value = node.Attribute(QStringLiteral("Value")).value_or(QString());
    if (DataType == rtReal)
        Value.store(RealBitsFromText(value));
    else
        Value.store(LowWord(value).value_or(0));

    counter = static_cast<uint16_t>(counter + WordCount());
    return true;
}

float TRegisterMB::AsReal() const {
    return std::bit_cast<float>(Value.load());
}

void TRegisterMB::SetFromWord(uint16_t w) {
    if (DataType == rtReal)
        Value.store(std::bit_cast<uint32_t>(static_cast<float>(w)));
    else
        Value.store(w);
}

void TRegisterMB::SetFromReal(float x) {
    if (DataType == rtReal) {
        Value.store(std::bit_cast<uint32_t>(x));
        return;
    }
    // nearbyint rounds half to even; fmod keeps the low-order 16 bits exactly for every
    // finite value. Nothing sensible fits a NaN or an infinity: those store 0.
    if (!std::isfinite(x)) {
        Value.store(0);
        return;
    }
    double low = std::fmod(std::nearbyint(static_cast<double>(x)), 65536.0);
    if (low < 0)
        low += 65536.0;
    Value.store(static_cast<uint32_t>(low));
}

bool TRegisterMB::InsideReply(const TPortBuffer& buffer, int32_t base) const {
    const int32_t offset = ReplyOffset(base);
    return offset >= 3 && offset + 2 * WordCount() <= int32_t(buffer.RxCount) - 2;
}

bool TRegisterMB::TakeReply(const TPortBuffer& buffer, int32_t base) {
    if (!InsideReply(buffer, base))
        return false;
    const uint8_t* rx = buffer.Rx + ReplyOffset(base);
    if (DataType == rtReal)
        Value.store(uint32_t(rx[2]) << 24 | uint32_t(rx[3]) << 16 | uint32_t(rx[0]) << 8 | rx[1]);
    else
        Value.store(uint32_t(rx[0]) << 8 | rx[1]);
    Stale.store(false);
    return true;
}

QString TRegisterMB::ValueText() const {
    switch (DataType) {
    case rtInt:
        return QString::number(AsInt());
    case rtReal:
        return platform::FormatGeneral15(AsReal(), platform::DecimalSeparator());
    case rtWord:
        break;
    }
    return QString::number(AsWord());
}

void TRegisterMB::SaveToNode() {
    if (!Node.IsNull())
        Node.SetAttribute(QStringLiteral("Value"), ValueText());
}
