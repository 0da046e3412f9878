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

// Whether `opening` stands at the first non-blank character from `from` on.
bool OpensAt(const QString& text, qint64 from, QLatin1StringView opening) {
    qsizetype i = from;
    while (i < text.size() &&
           (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\n'))
        ++i;
    return QStringView(text).sliced(i).startsWith(opening);
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
    // Before the root, a comment or instruction stands either at the top level or in the
    // internal subset of the document type, which the parser reports before the document
    // type itself. The first blank-free text after the previous top-level token tells which:
    // at the top level the token itself opens there, in the subset the document type does.
    // Nothing walks the top level per node, so that a load takes time in proportion to
    // the file however many nodes stand there.
    bool rootStarted = false;
    bool doctypeSeen = false;
    bool inSubset = false;
    qint64 topLevelEnd = 0;
    int topLevelNodes = 0;
    const auto appendCommentOrInstruction = [&](const QDomNode& node, QLatin1StringView opening) {
        if (!open.empty() || rootStarted) {
            append(node);
            return;
        }
        inSubset = inSubset || !OpensAt(decoded->text, topLevelEnd, opening);
        if (inSubset)
            return; // written with the document type
        dom.appendChild(node);
        ++topLevelNodes;
        topLevelEnd = reader.characterOffset();
    };
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            data->hasDeclaration = !reader.documentVersion().isEmpty();
            if (!decoded->declared.isEmpty())
                data->encoding = decoded->declared;
            if (data->hasDeclaration) {
                data->declaration = DeclarationText(bytes, reader, decoded->declared);
                topLevelEnd = reader.characterOffset();
            }
            if (!WritesBack(data->encoding, data->declaration))
                return {XmlError::Parse,
                        QStringLiteral("The encoding %1 cannot be written back so that it "
                                       "reads again.")
                            .arg(data->encoding)};
            break;
        case QXmlStreamReader::DTD:
            // The parser takes a document type anywhere; the file is damaged unless it stands
            // once, before the root.
            if (rootStarted)
                return {XmlError::Parse,
                        QStringLiteral("A document type stands inside or after the root element "
                                       "(line %1).")
                            .arg(reader.lineNumber())};
            if (doctypeSeen)
                return {XmlError::Parse,
                        QStringLiteral("The document has a second document type (line %1).")
                            .arg(reader.lineNumber())};
            doctypeSeen = true;
            data->doctype = reader.text().toString().trimmed();
            data->nodesBeforeDoctype = topLevelNodes;
            inSubset = false;
            topLevelEnd = reader.characterOffset();
            break;
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
            rootStarted = true;
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
            appendCommentOrInstruction(dom.createComment(reader.text().toString()),
                                       QLatin1StringView("<!--"));
            break;
        case QXmlStreamReader::ProcessingInstruction:
            appendCommentOrInstruction(
                dom.createProcessingInstruction(reader.processingInstructionTarget().toString(),
                                                reader.processingInstructionData().toString()),
                QLatin1StringView("<?"));
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
