#pragma once
// Small helpers for link tests: elements from XML text, reply frames, a locale.
#include "VskComPort.h"
#include "XmlDocument.h"

#include <QLocale>
#include <QString>
#include <gtest/gtest.h>
#include <initializer_list>
#include <vector>

namespace linktest {

// Parses `xml` (UTF-8) and returns the root's child elements with the given local name.
inline std::vector<platform::XmlElement> Children(platform::XmlDocument& doc, const QString& xml,
                                                  const QString& localName) {
    const platform::XmlStatus status = doc.LoadFromData(xml.toUtf8());
    EXPECT_TRUE(status.Ok()) << status.message.toStdString();
    std::vector<platform::XmlElement> out;
    const platform::XmlNodeList nodes = doc.DocumentElement().ChildNodes();
    for (int i = 0; i < nodes.Count(); ++i)
        if (nodes.Item(i).LocalName() == localName)
            out.push_back(nodes.Item(i).ToElement());
    return out;
}

// A reply frame: the bytes given, then their CRC; RxCount counts both.
inline TPortBuffer Reply(std::initializer_list<uint8_t> bytes) {
    TPortBuffer b;
    std::copy(bytes.begin(), bytes.end(), b.Rx);
    const uint8_t n = static_cast<uint8_t>(bytes.size());
    const uint16_t crc = ModbusCRC16(b.Rx, n);
    b.Rx[n] = static_cast<uint8_t>(crc >> 8);
    b.Rx[n + 1] = static_cast<uint8_t>(crc);
    b.RxCount = static_cast<uint8_t>(n + 2);
    return b;
}

// Sets the default locale for the test's lifetime and restores the previous one.
class ScopedLocale {
public:
    explicit ScopedLocale(QLocale::Language language, QLocale::Territory territory)
        : saved_(QLocale()) {
        QLocale::setDefault(QLocale(language, territory));
    }
    ~ScopedLocale() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

} // namespace linktest
