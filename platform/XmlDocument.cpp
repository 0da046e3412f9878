#include "XmlDocument.h"

#include "FileReplace.h"
#include "WholeFile.h"
#include "XmlDocumentData.h"
#include "XmlTextCheck.h"
#include "XmlWriter.h"

#include <QFileInfo>
#include <QXmlStreamReader>
#include <utility>
#include <vector>

namespace platform {

namespace {

bool IsBlankText(const QDomNode& node) {
    return node.isText() && !node.isCDATASection() && node.nodeValue().trimmed().isEmpty();
}

bool StartsWithByteOrderMark(const QByteArray& bytes) {
    return bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFE\xFF") ||
           bytes.startsWith("\xFF\xFE");
}

// The declaration as the file wrote it, when it is in ASCII; otherwise rebuilt.
QString DeclarationText(const QByteArray& bytes, const QXmlStreamReader& reader,
                        const QString& encoding) {
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    if (body.startsWith("<?xml")) {
        const qsizetype end = body.indexOf("?>");
        if (end > 0)
            return QString::fromLatin1(body.left(end + 2));
    }
    QString text = QStringLiteral("<?xml version=\"%1\"").arg(reader.documentVersion());
    if (!encoding.isEmpty())
        text += QStringLiteral(" encoding=\"%1\"").arg(encoding);
    if (reader.isStandaloneDocument())
        text += QStringLiteral(" standalone=\"yes\"");
    return text + QStringLiteral("?>");
}

bool UsesCrLf(const QByteArray& bytes) {
    const qsizetype lf = bytes.indexOf('\n');
    return lf > 0 && bytes[lf - 1] == '\r';
}

} // namespace

// ---- XmlNode ----

XmlNode::XmlNode(QDomNode node, std::shared_ptr<XmlDocumentData> doc)
    : node_(std::move(node)), doc_(std::move(doc)) {}

bool XmlNode::IsElement() const {
    return node_.isElement();
}

QString XmlNode::LocalName() const {
    return node_.isElement() ? node_.localName() : QString();
}

QString XmlNode::Text() const {
    if (node_.isElement())
        return node_.toElement().text();
    if (node_.isCharacterData())
        return node_.nodeValue();
    return QString();
}

XmlNodeList XmlNode::ChildNodes() const {
    return XmlNodeList(node_.childNodes(), doc_);
}

XmlElement XmlNode::ToElement() const {
    if (!node_.isElement())
        return XmlElement();
    return XmlElement(node_, doc_);
}

// ---- XmlElement ----

XmlElement::XmlElement(QDomNode node, std::shared_ptr<XmlDocumentData> doc)
    : XmlNode(std::move(node), std::move(doc)) {}

std::optional<QString> XmlElement::Attribute(const QString& name) const {
    const QDomElement e = node_.toElement();
    if (e.isNull() || !e.hasAttribute(name))
        return std::nullopt;
    return e.attribute(name);
}

bool XmlElement::HasAttribute(const QString& name) const {
    return node_.toElement().hasAttribute(name);
}

void XmlElement::SetAttribute(const QString& name, const QString& value) {
    QDomElement e = node_.toElement();
    if (e.isNull())
        return;
    if (!e.hasAttribute(name))
        doc_->attributeOrder[KeyOf(e)].append(name);
    e.setAttribute(name, value);
}

XmlElement XmlElement::FindChildElement(const QString& localName) const {
    for (QDomNode n = node_.firstChild(); !n.isNull(); n = n.nextSibling())
        if (n.isElement() && n.localName() == localName)
            return XmlElement(n, doc_);
    return XmlElement();
}

XmlElement XmlElement::ChildElement(const QString& localName) {
    QDomElement parent = node_.toElement();
    if (parent.isNull())
        return XmlElement();
    if (XmlElement found = FindChildElement(localName); !found.IsNull())
        return found;

    const QString prefix = parent.prefix();
    const QString name = prefix.isEmpty() ? localName : prefix + u':' + localName;
    QDomElement created = doc_->dom.createElementNS(parent.namespaceURI(), name);
    // Put it on a line of its own, indented like its last sibling element, when the
    // element's children are laid out on lines.
    const QDomNode last = parent.lastChild();
    const QDomElement lastElement = parent.lastChildElement();
    if (IsBlankText(last) && !lastElement.isNull() && IsBlankText(lastElement.previousSibling())) {
        parent.insertBefore(doc_->dom.createTextNode(lastElement.previousSibling().nodeValue()),
                            last);
        parent.insertBefore(created, last);
    } else {
        parent.appendChild(created);
    }
    return XmlElement(created, doc_);
}

// ---- XmlNodeList ----

XmlNodeList::XmlNodeList(QDomNodeList list, std::shared_ptr<XmlDocumentData> doc)
    : list_(std::move(list)), doc_(std::move(doc)) {}

int XmlNodeList::Count() const {
    return list_.count();
}

XmlNode XmlNodeList::Item(int index) const {
    if (index < 0 || index >= list_.count())
        return XmlNode();
    return XmlNode(list_.item(index), doc_);
}

// ---- XmlDocument ----

XmlDocument::XmlDocument() : d_(std::make_shared<XmlDocumentData>()) {}

XmlStatus XmlDocument::Load(const QString& path) {
    d_ = std::make_shared<XmlDocumentData>();
    if (path.isEmpty())
        return {XmlError::EmptyPath, QStringLiteral("No file name was given.")};
    QByteArray bytes;
    if (!ReadWholeFile(path, bytes))
        return {XmlError::Open,
                QStringLiteral("The file cannot be read whole, or is not a regular file.")};
    return LoadFromData(bytes);
}

XmlStatus XmlDocument::LoadFromData(const QByteArray& bytes) {
    d_ = std::make_shared<XmlDocumentData>();
    auto data = std::make_shared<XmlDocumentData>();
    data->byteOrderMark = StartsWithByteOrderMark(bytes);
    data->crlf = UsesCrLf(bytes);
    QDomDocument& dom = data->dom;

    // Decoded once: the checks and the parser read the same text.
    XmlStatus status;
    const std::optional<XmlText> decoded = DecodeXmlText(bytes, status);
    if (!decoded)
        return status;
    data->unicodeForm = decoded->unicodeForm;
    if (const std::optional<XmlStatus> refusal = XmlTextRefusal(decoded->text))
        return *refusal;
    QXmlStreamReader reader(decoded->text);
    reader.setNamespaceProcessing(true);
    // The open elements, innermost last. An element joins its parent only when it closes:
    // the DOM finds a node's document by walking up its parents on every insertion, which
    // inside the document costs the node's depth (quadratic loads of deep files), but
    // stops at once in a subtree not yet attached.
    std::vector<QDomElement> open;
    open.reserve(kMaxDepth);
    const auto append = [&](const QDomNode& node) {
        if (open.empty())
            dom.appendChild(node);
        else
            open.back().appendChild(node);
    };
    // The top-level nodes before the root, with where each ends in the text.
    std::vector<std::pair<QDomNode, qint64>> beforeRoot;
    const auto appendBeforeRoot = [&](const QDomNode& node) {
        append(node);
        if (open.empty() && dom.documentElement().isNull())
            beforeRoot.emplace_back(node, reader.characterOffset());
    };
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            data->hasDeclaration = !reader.documentVersion().isEmpty();
            if (!decoded->declared.isEmpty())
                data->encoding = decoded->declared;
            if (data->hasDeclaration)
                data->declaration = DeclarationText(bytes, reader, decoded->declared);
            if (!WritesBack(data->encoding, data->declaration))
                return {XmlError::Parse,
                        QStringLiteral("The encoding %1 cannot be written back so that it "
                                       "reads again.")
                            .arg(data->encoding)};
            break;
        case QXmlStreamReader::DTD: {
            data->doctype = reader.text().toString().trimmed();
            // The parser reports the comments and instructions of the internal subset before
            // the document type itself; they are written with it, not after it.
            const qsizetype start =
                decoded->text.lastIndexOf(u"<!DOCTYPE", reader.characterOffset() - 1);
            for (const auto& [node, end] : beforeRoot)
                if (end > start)
                    dom.removeChild(node);
            beforeRoot.clear();
            data->nodesBeforeDoctype = dom.childNodes().count();
            break;
        }
        case QXmlStreamReader::StartElement: {
            if (static_cast<int>(open.size()) == kMaxDepth)
                return {XmlError::Limit,
                        QStringLiteral("Elements nest deeper than %1 levels (line %2).")
                            .arg(kMaxDepth)
                            .arg(reader.lineNumber())};
            QDomElement e = dom.createElementNS(reader.namespaceUri().toString(),
                                                reader.qualifiedName().toString());
            QStringList& order = data->attributeOrder[KeyOf(e)];
            for (const QXmlStreamNamespaceDeclaration& ns : reader.namespaceDeclarations()) {
                const QString name = ns.prefix().isEmpty()
                                         ? QStringLiteral("xmlns")
                                         : QStringLiteral("xmlns:") + ns.prefix().toString();
                e.setAttribute(name, ns.namespaceUri().toString());
                order << name;
            }
            for (const QXmlStreamAttribute& a : reader.attributes()) {
                if (a.isDefault())
                    continue; // declared, not written in the file
                e.setAttribute(a.qualifiedName().toString(), a.value().toString());
                order << a.qualifiedName().toString();
            }
            open.push_back(e);
            break;
        }
        case QXmlStreamReader::EndElement: {
            const QDomElement closed = open.back();
            open.pop_back();
            append(closed);
            break;
        }
        case QXmlStreamReader::Characters:
            if (open.empty())
                break; // blanks between top-level nodes: the writer puts line ends there
            if (reader.isCDATA())
                append(dom.createCDATASection(reader.text().toString()));
            else
                append(dom.createTextNode(reader.text().toString()));
            break;
        case QXmlStreamReader::Comment:
            appendBeforeRoot(dom.createComment(reader.text().toString()));
            break;
        case QXmlStreamReader::ProcessingInstruction:
            appendBeforeRoot(
                dom.createProcessingInstruction(reader.processingInstructionTarget().toString(),
                                                reader.processingInstructionData().toString()));
            break;
        case QXmlStreamReader::EntityReference:
            append(dom.createEntityReference(reader.name().toString()));
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return ParseFailure(reader);
    if (dom.documentElement().isNull())
        return {XmlError::Parse, QStringLiteral("The document has no root element.")};
    d_ = std::move(data);
    return {};
}

std::optional<QByteArray> XmlDocument::ToBytes(XmlStatus* status) const {
    if (status)
        *status = {};
    if (d_->dom.documentElement().isNull()) {
        // Writing would replace a file with nothing.
        if (status)
            *status = {XmlError::Empty, QStringLiteral("There is no document to write.")};
        return std::nullopt;
    }
    return DocumentBytes(*d_, status);
}

XmlStatus XmlDocument::Save(const QString& path) const {
    if (path.isEmpty())
        return {XmlError::EmptyPath, QStringLiteral("No file name was given.")};
    XmlStatus status;
    const std::optional<QByteArray> bytes = ToBytes(&status);
    if (!bytes)
        return status;
    const QFileInfo info(path);
    const FileWrite written = info.exists() && !FolderTakesNewFiles(info.canonicalFilePath())
                                  ? WriteFileInPlace(path, *bytes)
                                  : ReplaceFile(path, *bytes);
    return written.ok ? XmlStatus{} : XmlStatus{XmlError::Write, written.message};
}

XmlElement XmlDocument::DocumentElement() const {
    const QDomElement root = d_->dom.documentElement();
    if (root.isNull())
        return XmlElement();
    return XmlElement(root, d_);
}

QString XmlDocument::Encoding() const {
    return d_->encoding;
}

} // namespace platform
