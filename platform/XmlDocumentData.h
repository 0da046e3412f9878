#pragma once
// What a loaded document holds, shared by the loader and the writer.
#include <QDomDocument>
#include <QHash>
#include <QString>
#include <QStringConverter>
#include <QStringList>
#include <optional>

namespace platform {

// A Unicode form as a file is written in.
struct UnicodeForm {
    QStringConverter::Encoding encoding;
    bool byteOrderMark;
};

// The DOM keeps attributes in a hash, so their order is kept here, per element, to write
// them back as the file had them. Whitespace between elements is kept as text nodes
// (the DOM's own parser drops it) so that a save keeps the file's layout.
struct XmlDocumentData {
    QDomDocument dom;
    QHash<const void*, QStringList> attributeOrder;
    bool hasDeclaration = false;
    QString declaration;        // as written in the file
    QString doctype;            // as written in the file, empty when none
    int nodesBeforeDoctype = 0; // the top-level comments and instructions before it
    QString encoding = QStringLiteral("UTF-8");
    // The form the file is written back in instead of the encoding's name, when Qt leaves
    // that name to ICU (see XmlText).
    std::optional<UnicodeForm> unicodeForm;
    bool byteOrderMark = false;
    bool crlf = false; // the file ended its lines with CR LF
};

// A DOM handle is a pointer to a shared node; that pointer identifies the node.
class NodeIdentity : public QDomNode {
public:
    explicit NodeIdentity(const QDomNode& node) : QDomNode(node) {}
    const void* Key() const { return impl; }
};

inline const void* KeyOf(const QDomNode& node) {
    return NodeIdentity(node).Key();
}

} // namespace platform
