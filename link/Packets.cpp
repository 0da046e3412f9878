#include "Packets.h"

#include "MessageBox.h"
#include "NumberText.h"

#include <algorithm>

QString RangeCheckText(TRangeCheck check, const QString& packetId) {
    switch (check) {
    case TRangeCheck::NoRegisters:
        return QStringLiteral("В пакете \"%1\" нет ни одного регистра!").arg(packetId);
    case TRangeCheck::TooLong:
        return QStringLiteral("Пакет \"%1\" охватывает больше %2 регистров!")
            .arg(packetId)
            .arg(TPacket::MaxCount);
    case TRangeCheck::Ok:
        break;
    }
    return QString();
}

bool TPacket::LoadFromNode(const platform::XmlElement& node) {
    if (const auto id = node.Attribute(QStringLiteral("ID")))
        ID = *id;
    if (const auto name = node.Attribute(QStringLiteral("Name")))
        Name = *name;
    if (const auto func = node.Attribute(QStringLiteral("Func"))) {
        if (const auto value = platform::AttributeToInt(*func))
            Func = static_cast<uint8_t>(*value);
        else
            platform::MessageBox(
                QStringLiteral("Ошибка в извлечении фукции пакета. Функция будет 3!"),
                QStringLiteral("Внимание"));
    }
    return true;
}

TRangeCheck TPacket::ComputeRange() {
    if (Registers.empty())
        return TRangeCheck::NoRegisters;
    int32_t lo = Registers.front()->Addr;
    int32_t hi = lo + Registers.front()->WordCount();
    for (const TRegisterMB* r : Registers) {
        lo = std::min<int32_t>(lo, r->Addr);
        hi = std::max<int32_t>(hi, r->Addr + r->WordCount());
    }
    if (hi - lo > MaxCount)
        return TRangeCheck::TooLong;
    Start = static_cast<uint16_t>(lo);
    Count = static_cast<uint16_t>(hi - lo);
    return TRangeCheck::Ok;
}

void TPacket::BuildRequest(TPortBuffer& buffer) const {
    const uint16_t wire = static_cast<uint16_t>(Start - 1);
    buffer.Tx[0] = Address;
    buffer.Tx[1] = Func;
    buffer.Tx[2] = static_cast<uint8_t>(wire >> 8);
    buffer.Tx[3] = static_cast<uint8_t>(wire);
    buffer.Tx[4] = static_cast<uint8_t>(Count >> 8);
    buffer.Tx[5] = static_cast<uint8_t>(Count);
    AppendCRC(buffer, 6);
    buffer.RxLen = static_cast<uint8_t>(Count * 2 + 5);
}

bool TPacket::CheckReply(const TPortBuffer& buffer) {
    if (buffer.RxCount != buffer.RxLen || buffer.Rx[0] != Address || buffer.Rx[1] != Func ||
        !CheckReplyCRC(buffer))
        return false;
    const int32_t base = int32_t(Start) - 1;
    if (!std::all_of(Registers.begin(), Registers.end(),
                     [&](const TRegisterMB* r) { return r->InsideReply(buffer, base); }))
        return false;
    for (TRegisterMB* r : Registers)
        r->TakeReply(buffer, base);
    return true;
}

bool TPacket::IsActive() const {
    return std::any_of(Registers.begin(), Registers.end(),
                       [](const TRegisterMB* r) { return r->NeedsPoll(); });
}
