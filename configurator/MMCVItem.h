#pragma once
// One icon entry of the card item: the image of one kind of card entry.
#include "XmlDocument.h"

#include <QString>
#include <cstdint>

class TMMCVItem {
public:
    TMMCVItem() = default;
    virtual ~TMMCVItem() = default;

    int32_t Icon = -1; // image index; -1 is no image
    QString TypeName;  // "DIR", "." followed by an extension, or "."

    // Reads Type and Icon. False (and *error says why) when Icon is not an integer.
    bool LoadFromNode(const platform::XmlElement& node, QString* error = nullptr);
};

// Reads an Icon attribute into `icon` when present; false with a message for the project
// loader when its text is not an integer.
bool LoadIconAttribute(const platform::XmlElement& node, int32_t& icon, QString* error);
