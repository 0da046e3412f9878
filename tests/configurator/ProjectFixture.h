#pragma once
// Loads registers and channels from the children of a Device element, the way the
// project does, for the tests of channels, items and the detail panel.
#include "Chanal.h"
#include "MessageBox.h"
#include "RegistersMB.h"
#include "XmlDocument.h"

#include <QString>
#include <bit>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

// Failed expectations show texts as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace testproject {

struct Project {
    platform::XmlDocument doc;
    std::vector<std::unique_ptr<TRegisterMB>> registers;
    std::vector<std::unique_ptr<TChanal>> chanals;
    QStringList errors; // one per channel whose load failed

    // `xml`: the children of Device, Packet and Chanal elements in any order.
    explicit Project(const QString& xml) {
        platform::RecordingMessageBox boxes;
        const platform::XmlStatus status =
            doc.LoadFromData(("<Device>" + xml + "</Device>").toUtf8());
        EXPECT_TRUE(status.Ok()) << status.message.toStdString();
        uint16_t counter = 1;
        for (const platform::XmlElement& packet : Elements(doc.DocumentElement(), "Packet"))
            for (const platform::XmlElement& r : Elements(packet, "Register")) {
                registers.push_back(std::make_unique<TRegisterMB>());
                registers.back()->LoadFromNode(r, counter);
            }
        const TIdIndex<TRegisterMB> index(registers);
        for (const platform::XmlElement& c : Elements(doc.DocumentElement(), "Chanal")) {
            chanals.push_back(std::make_unique<TChanal>());
            QString error;
            if (!chanals.back()->LoadFromNode(c, index, &error))
                errors.append(error);
        }
    }

    static std::vector<platform::XmlElement> Elements(const platform::XmlElement& parent,
                                                      const QString& localName) {
        std::vector<platform::XmlElement> out;
        const platform::XmlNodeList nodes = parent.ChildNodes();
        for (int i = 0; i < nodes.Count(); ++i)
            if (nodes.Item(i).LocalName() == localName)
                out.push_back(nodes.Item(i).ToElement());
        return out;
    }

    TChanal& Chanal(size_t i = 0) { return *chanals.at(i); }
    TRegisterMB& Register(const QString& id) {
        for (const auto& r : registers)
            if (r->ID == id)
                return *r;
        ADD_FAILURE() << "no register " << id.toStdString();
        return *registers.front();
    }
};

// A packet of registers: W1 W2 W3 (words at 1-3), R1 (real at 10), S1 (word at 12), and
// W1 again (a duplicate ID at 13) followed by the given channels.
inline QString WithRegisters(const QString& chanals) {
    return R"(<Packet>
        <Register ID="W1" Addr="1"/><Register ID="W2" Addr="2"/><Register ID="W3" Addr="3"/>
        <Register ID="R1" Type="Real" Addr="10"/><Register ID="S1" Addr="12"/>
        <Register ID="W1" Addr="13"/>
      </Packet>)" +
           chanals;
}

inline void SetReal(TRegisterMB& r, float x) {
    r.Value.store(std::bit_cast<uint32_t>(x));
}

} // namespace testproject
