#include "MMCVItem.h"

#include "NumberText.h"

bool LoadIconAttribute(const platform::XmlElement& node, int32_t& icon, QString* error) {
    const auto text = node.Attribute(QStringLiteral("Icon"));
    if (!text)
        return true;
    const auto value = platform::AttributeToInt(*text);
    if (!value) {
        // Named by its caption or file type where it has one, so the user can find it.
        const QString label =
            node.Attribute(QStringLiteral("Name"))
                .value_or(node.Attribute(QStringLiteral("Type")).value_or(node.LocalName()));
        if (error)
            *error = QStringLiteral("Ошибка в описании экрана: номер значка \"%1\" элемента "
                                    "\"%2\" не является целым числом!")
                         .arg(*text, label);
        return false;
    }
    icon = *value;
    return true;
}

bool TMMCVItem::LoadFromNode(const platform::XmlElement& node, QString* error) {
    if (const auto type = node.Attribute(QStringLiteral("Type")))
        TypeName = *type;
    return LoadIconAttribute(node, Icon, error);
}
