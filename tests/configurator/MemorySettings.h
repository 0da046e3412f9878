#pragma once
// A settings store in memory for tests: values by section and name, with names that
// refuse to be written.
#include "SettingsStore.h"

#include <QSet>
#include <QString>
#include <map>
#include <utility>

class MemorySettings : public platform::SettingsStore {
public:
    std::optional<QVariant> Read(const QString& section, const QString& name) override {
        const auto it = Values.find({section, name});
        if (it == Values.end())
            return std::nullopt;
        return it->second;
    }
    bool Write(const QString& section, const QString& name, const QString& value) override {
        if (Refused.contains(name))
            return false;
        Values[{section, name}] = value;
        ++Writes;
        return true;
    }
    // The stored text, "" when absent.
    QString Text(const QString& section, const QString& name) const {
        const auto it = Values.find({section, name});
        return it == Values.end() ? QString() : it->second.toString();
    }

    std::map<std::pair<QString, QString>, QVariant> Values;
    QSet<QString> Refused;
    int Writes = 0;
};
