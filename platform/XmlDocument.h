#pragma once
// The project document: an XML file loaded into a DOM (QDomDocument, namespaces
// processed, so local names work) and written back as it was read. Saving keeps every
// element, attribute (in its order), comment and the layout between elements, writes
// the bytes of the declared encoding and replaces the file atomically where its folder
// allows (otherwise it writes the file in place).
//
// Elements nest at most kMaxDepth deep and carry at most kMaxAttributes attributes: no
// real project comes near either, every walk of the tree (here and in the view tree
// built from it) may then recurse without risk to the stack, and a load takes time in
// proportion to the file's size. A document type may name an external one and hold
// comments and instructions, but declares nothing: no declared default, type or entity
// changes what the file holds, and a save writes only that. The limits are checked on the
// text the parser reads (XmlTextCheck.h).
//
// Nodes and elements are counted handles: a handle keeps its document alive, and a
// default-constructed handle is null (every operation on it does nothing or returns
// empty). Handles belong to one thread.
#include <QByteArray>
#include <QDomNode>
#include <QString>
#include <memory>
#include <optional>

namespace platform {

// The document element is at depth 1.
inline constexpr int kMaxDepth = 256;
inline constexpr int kMaxAttributes = 256; // namespace declarations included

struct XmlDocumentData;
class XmlElement;
class XmlNodeList;

enum class XmlError {
    None,
    EmptyPath, // the document layer's own refusal: no file name given
    Open,      // the file cannot be opened or read
    Parse,     // not well-formed XML, or an encoding the platform cannot decode
    Limit,     // refused like a damaged file: nesting or attributes beyond the limits, or a
               // document type that declares markup or refers to a parameter entity
    Encoding,  // a character that cannot be written in the declared encoding
    Empty,     // nothing loaded, so nothing to write
    Write,     // the file cannot be written or replaced; the old file is intact
};

struct XmlStatus {
    XmlError error = XmlError::None;
    QString message; // what went wrong, for the user (English, from the layer or the OS)
    bool Ok() const { return error == XmlError::None; }
    // True only for the document layer's own errors (not for I/O, parser or limit failures,
    // which all tell the user the same: the file cannot be loaded).
    bool OwnError() const { return error == XmlError::EmptyPath || error == XmlError::Empty; }
};

class XmlNode {
public:
    XmlNode() = default;
    bool IsNull() const { return node_.isNull(); }
    bool IsElement() const;
    // Local name of an element (without prefix); empty for text, comments and the like.
    QString LocalName() const;
    // The text of the node and of all its descendants, concatenated.
    QString Text() const;
    XmlNodeList ChildNodes() const;
    // The node as an element; null when it is not one.
    XmlElement ToElement() const;

protected:
    XmlNode(QDomNode node, std::shared_ptr<XmlDocumentData> doc);
    QDomNode node_;
    std::shared_ptr<XmlDocumentData> doc_;
    friend class XmlDocument;
    friend class XmlNodeList;
};

class XmlElement : public XmlNode {
public:
    XmlElement() = default;
    // Absent attributes give nothing; a present one gives its text, possibly empty.
    // Names are qualified names as written in the file ("ID", "x:ID").
    std::optional<QString> Attribute(const QString& name) const;
    bool HasAttribute(const QString& name) const;
    // Sets an attribute; a missing one is added after the element's other attributes.
    void SetAttribute(const QString& name, const QString& value);
    // The first child element with this local name; when there is none, an empty element
    // of that name (in this element's namespace) is created as the last child element.
    XmlElement ChildElement(const QString& localName);
    // The first child element with this local name; null when there is none (nothing is
    // added to the document).
    XmlElement FindChildElement(const QString& localName) const;

private:
    XmlElement(QDomNode node, std::shared_ptr<XmlDocumentData> doc);
    friend class XmlNode;
    friend class XmlDocument;
};

class XmlNodeList {
public:
    XmlNodeList() = default;
    int Count() const;
    // Null for an index outside 0 .. Count() - 1.
    XmlNode Item(int index) const;

private:
    XmlNodeList(QDomNodeList list, std::shared_ptr<XmlDocumentData> doc);
    QDomNodeList list_;
    std::shared_ptr<XmlDocumentData> doc_;
    friend class XmlNode;
};

// Copies share one document.
class XmlDocument {
public:
    XmlDocument();
    // Replaces the content with the file's, read whole and only when it is a regular file
    // (ReadWholeFile). On failure the document is empty.
    XmlStatus Load(const QString& path);
    XmlStatus LoadFromData(const QByteArray& bytes);
    // Writes the whole document into the file: ReplaceFile where the file's folder takes
    // new files, WriteFileInPlace where it does not but the file exists (FileReplace.h).
    XmlStatus Save(const QString& path) const;
    // The bytes Save writes; nothing when a character cannot be written (status says why).
    std::optional<QByteArray> ToBytes(XmlStatus* status = nullptr) const;
    // Null when nothing is loaded.
    XmlElement DocumentElement() const;
    // The declared encoding ("UTF-8" when the file declared none).
    QString Encoding() const;

private:
    std::shared_ptr<XmlDocumentData> d_;
};

} // namespace platform
