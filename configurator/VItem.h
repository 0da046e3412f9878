#pragma once
// The view tree the user browses: folders, channel items and the card item, loaded from
// the VItem elements of the project. An item owns its children; the channel a channel
// item shows belongs to the project.
//
// Window thread only; Watch and Unwatch write the registers' Watched flags, which the
// port thread reads.
#include "Chanal.h"
#include "IdIndex.h"
#include "MMCVItem.h"
#include "XmlDocument.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

enum TVItemKind : uint8_t {
    vkFolder = 0,   // "Folder", any other Type, or none
    vkChanal = 1,   // "Chanal": shows one channel
    vkMMC = 2,      // "MMC": the card item; its entries give the card view's images
    vkCardFile = 3, // made by the browser for a selected card file
    vkCardDir = 4,  // made by the browser for a selected card folder
};

class TVItem {
public:
    TVItem() = default;
    virtual ~TVItem() = default; // children go in list order
    TVItem(const TVItem&) = delete;
    TVItem& operator=(const TVItem&) = delete;

    TVItemKind Kind = vkFolder;
    QString Name;                                        // caption of every kind but vkChanal
    std::vector<std::unique_ptr<TVItem>> Children;       // a folder's items
    std::vector<std::unique_ptr<TMMCVItem>> IconEntries; // the card item's icon entries
    int32_t Icon = -1;                                   // image index; -1 is no image
    TChanal* Chanal = nullptr;                           // not owned
    uint8_t Style = 0;         // view of the level it opens: 0 icons, 1 table
    platform::XmlElement Node; // SaveToNode writes into it

    void AddChild(std::unique_ptr<TVItem> child);
    void AddChild(std::unique_ptr<TMMCVItem> entry);

    // Loads the item and its subtree; `chanals` indexes the project's channel list in
    // document order (a channel item takes the first with its ID). False when an Icon is not an
    // integer: loading stops there, the items appended so far stay, and *error says why.
    // It recurses once per folder level, as do the save and the destruction: the document
    // refuses nesting deeper than platform::kMaxDepth, which keeps the stack shallow.
    bool LoadFromNode(const platform::XmlElement& node, const TIdIndex<TChanal>& chanals,
                      QString* error = nullptr);
    // Writes the Style of this folder and of every folder below it.
    void SaveToNode();

    QString GetCaption() const;
    QString GetValueText() const;
    // The Icon of the first icon entry with exactly this key, or -1.
    int32_t FindIcon(const QString& key) const;

    // A channel item flags its channel's registers as on screen, or clears the flags.
    void Watch();
    void Unwatch();
};
