#pragma once
// Small helpers for link tests that load elements from XML text.
#include "XmlDocument.h"

#include <QLocale>
#include <QString>
#include <gtest/gtest.h>
#include <vector>

namespace testxml {

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

} // namespace testxml
