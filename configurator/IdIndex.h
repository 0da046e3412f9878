#pragma once
// The first object of a list with each ID, found in constant time. A load resolves every
// reference by ID; a walk of the list per reference grows with the square of the file.
#include <QHash>
#include <QString>
#include <memory>
#include <vector>

template <class T> class TIdIndex {
public:
    // Build it once per list, not once per lookup.
    explicit TIdIndex(const std::vector<std::unique_ptr<T>>& list) {
        byId_.reserve(static_cast<qsizetype>(list.size()));
        for (const auto& object : list)
            if (!byId_.contains(object->ID))
                byId_.insert(object->ID, object.get());
    }
    // Null when no object has this ID.
    T* Find(const QString& id) const { return byId_.value(id, nullptr); }

private:
    QHash<QString, T*> byId_;
};
