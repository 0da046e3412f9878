#include "VItem.h"

namespace {

const QString kNotSet = QStringLiteral("Не задано");

TVItemKind KindFromKeyword(const QString& keyword) {
    if (keyword == u"Chanal")
        return vkChanal;
    if (keyword == u"MMC")
        return vkMMC;
    return vkFolder;
}

} // namespace

void TVItem::AddChild(std::unique_ptr<TVItem> child) {
    Children.push_back(std::move(child));
}

void TVItem::AddChild(std::unique_ptr<TMMCVItem> entry) {
    IconEntries.push_back(std::move(entry));
}

bool TVItem::LoadFromNode(const platform::XmlElement& node, const TIdIndex<TChanal>& chanals,
                          QString* error) {
    Node = node;
    if (const auto name = node.Attribute(QStringLiteral("Name")))
        Name = *name;
    const QString type = node.Attribute(QStringLiteral("Type")).value_or(QString());
    if (!LoadIconAttribute(node, Icon, error))
        return false;
    Kind = KindFromKeyword(type);

    const platform::XmlNodeList children = node.ChildNodes();
    switch (Kind) {
    case vkFolder:
        for (int i = 0; i < children.Count(); ++i) {
            const platform::XmlElement element = children.Item(i).ToElement();
            if (element.IsNull())
                continue;
            auto child = std::make_unique<TVItem>();
            if (!child->LoadFromNode(element, chanals, error))
                return false;
            AddChild(std::move(child));
        }
        Style = node.Attribute(QStringLiteral("Style")).value_or(QString()) == u"Tab" ? 1 : 0;
        break;
    case vkChanal:
        if (const platform::XmlElement ref = node.FindChildElement(QStringLiteral("Chanal"));
            !ref.IsNull())
            Chanal = chanals.Find(ref.Text());
        break;
    case vkMMC:
        for (int i = 0; i < children.Count(); ++i) {
            const platform::XmlElement element = children.Item(i).ToElement();
            if (element.IsNull())
                continue;
            auto entry = std::make_unique<TMMCVItem>();
            if (!entry->LoadFromNode(element, error))
                return false;
            AddChild(std::move(entry));
        }
        break;
    case vkCardFile:
    case vkCardDir:
        break;
    }
    return true;
}

void TVItem::SaveToNode() {
    if (Kind != vkFolder)
        return;
    Node.SetAttribute(QStringLiteral("Style"),
                      Style == 1 ? QStringLiteral("Tab") : QStringLiteral("Icon"));
    for (const auto& child : Children)
        child->SaveToNode();
}

QString TVItem::GetCaption() const {
    if (Kind == vkChanal)
        return Chanal ? Chanal->GetName() : kNotSet;
    return Name;
}

QString TVItem::GetValueText() const {
    switch (Kind) {
    case vkFolder:
    case vkMMC:
        return QStringLiteral("<Папка>");
    case vkChanal:
        return Chanal ? Chanal->GetValueText() : kNotSet;
    case vkCardFile:
    case vkCardDir:
        break;
    }
    return QString();
}

int32_t TVItem::FindIcon(const QString& key) const {
    for (const auto& entry : IconEntries)
        if (entry->TypeName == key)
            return entry->Icon;
    return -1;
}

void TVItem::Watch() {
    if (Kind == vkChanal && Chanal)
        Chanal->Watch();
}

void TVItem::Unwatch() {
    if (Kind == vkChanal && Chanal)
        Chanal->Unwatch();
}
