#pragma once
// A settings store in memory for tests: values by section and name, with names that
// refuse to be written. A batch keeps its values apart until its commit, as a file would.
#include "SettingsStore.h"

#include <QSet>
#include <QString>
#include <map>
#include <utility>

class MemorySettings : public platform::SettingsStore {
public:
    using TValues = std::map<std::pair<QString, QString>, QVariant>;

    std::optional<QVariant> Read(const QString& section, const QString& name) override {
        for (const TValues* values : {&Pending, &Values}) {
            const auto it = values->find({section, name});
            if (it != values->end())
                return it->second;
        }
        return std::nullopt;
    }
    bool Write(const QString& section, const QString& name, const QString& value) override {
        if (Refused.contains(name))
            return false;
        (Batching ? Pending : Values)[{section, name}] = value;
        ++Writes;
        return true;
    }
    void Begin() override { Batching = true; }
    bool Commit() override {
        for (const auto& [key, value] : Pending)
            Values[key] = value;
        Pending.clear();
        Batching = false;
        ++Commits;
        return true;
    }
    // The committed text, "" when absent.
    QString Text(const QString& section, const QString& name) const {
        const auto it = Values.find({section, name});
        return it == Values.end() ? QString() : it->second.toString();
    }

    TValues Values;
    TValues Pending;
    QSet<QString> Refused;
    bool Batching = false;
    int Writes = 0;
    int Commits = 0;
};
