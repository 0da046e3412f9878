#include "XmlDocument.h"

#include "FileReplace.h"
#include "WholeFile.h"
#include "XmlDocumentData.h"
#include "XmlWriter.h"

#include <QFileInfo>
#include <QStringConverter>
#include <QSysInfo>
#include <QXmlStreamReader>
#include <cstring>
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
QString DeclarationText(const QByteArray& bytes, const QXmlStreamReader& reader) {
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    if (body.startsWith("<?xml")) {
        const qsizetype end = body.indexOf("?>");
        if (end > 0)
            return QString::fromLatin1(body.left(end + 2));
    }
    QString text = QStringLiteral("<?xml version=\"%1\"").arg(reader.documentVersion());
    if (!reader.documentEncoding().isEmpty())
        text += QStringLiteral(" encoding=\"%1\"").arg(reader.documentEncoding());
    if (reader.isStandaloneDocument())
        text += QStringLiteral(" standalone=\"yes\"");
    return text + QStringLiteral("?>");
}

// What one pass over the raw text finds before the parser reads it. The parser checks each
// attribute of a tag against all before it, and each attribute definition of the document
// type against all declared before it, so both cost the square of their number; and it
// adds every declared default to each element it falls on, attributes the file never had.
struct Markup {
    qsizetype floodAt = -1;       // the first start tag with more than kMaxAttributes
    qint64 definitions = 0;       // attribute definitions declared; never fewer than there are
    bool parameterEntity = false; // the document type refers to one
    std::vector<std::pair<qsizetype, qsizetype>> attributeLists; // [begin, end) of each
};

// Counts '=' signs outside quotes in each start tag, and in each document type the
// attribute definitions of its attribute lists by their defaults: every one ends in
// "#IMPLIED", "#REQUIRED", "#FIXED" and a literal, or a literal ("#FIXED" counts twice).
// Comments, CDATA and instructions count nothing. A malformed text may be miscounted; the
// parser refuses it where it goes wrong. `Unit` is char for ASCII-based encodings, char16_t
// for UTF-16, char32_t for UTF-32.
template <class Unit> class MarkupScanner {
public:
    MarkupScanner(const Unit* text, qsizetype size) : text_(text), size_(size) {}

    Markup Scan() {
        qsizetype i = 0;
        while (i < size_ && markup_.floodAt < 0) {
            if (text_[i] != '<') {
                ++i;
            } else if (Starts(i, "<!--")) {
                i = After(i + 4, "-->");
            } else if (Starts(i, "<![CDATA[")) {
                i = After(i + 9, "]]>");
            } else if (Starts(i, "<?")) {
                i = After(i + 2, "?>");
            } else if (Starts(i, "<!DOCTYPE")) {
                i = AfterDocumentType(i + 9);
            } else if (Starts(i, "<!")) {
                i = AfterDeclaration(i + 2);
            } else {
                const qsizetype tag = i;
                int count = 0;
                i = AfterTag(i + 1, count);
                if (count > kMaxAttributes)
                    markup_.floodAt = tag;
            }
        }
        return std::move(markup_);
    }

private:
    bool Starts(qsizetype i, const char* ascii) const {
        for (; *ascii; ++i, ++ascii)
            if (i >= size_ || text_[i] != Unit(*ascii))
                return false;
        return true;
    }
    // The index just after the first `end` from i on; the end of the text when none.
    qsizetype After(qsizetype i, const char* end) const {
        for (; i < size_; ++i)
            if (Starts(i, end))
                return i + qsizetype(std::strlen(end));
        return size_;
    }
    // The index just after the quoted literal that opens at i.
    qsizetype AfterLiteral(qsizetype i) const {
        const Unit quote = text_[i];
        for (++i; i < size_; ++i)
            if (text_[i] == quote)
                return i + 1;
        return size_;
    }
    static bool IsQuote(Unit c) { return c == '"' || c == '\''; }

    // Its name and external identifier, whose literals may hold ']' and '>', then the
    // internal subset in brackets.
    qsizetype AfterDocumentType(qsizetype i) {
        while (i < size_) {
            const Unit c = text_[i];
            if (IsQuote(c))
                i = AfterLiteral(i);
            else if (c == '[')
                i = AfterSubset(i + 1);
            else if (c == '>')
                return i + 1;
            else
                ++i;
        }
        return size_;
    }
    // Declarations, comments, instructions and parameter-entity references up to ']'.
    qsizetype AfterSubset(qsizetype i) {
        while (i < size_) {
            if (text_[i] == ']') {
                return i + 1;
            } else if (Starts(i, "<!--")) {
                i = After(i + 4, "-->");
            } else if (Starts(i, "<?")) {
                i = After(i + 2, "?>");
            } else if (Starts(i, "<!ATTLIST")) {
                const qsizetype begin = i;
                i = AfterDeclaration(i + 9, true);
                markup_.attributeLists.emplace_back(begin, i);
            } else if (Starts(i, "<!")) {
                i = AfterDeclaration(i + 2);
            } else {
                if (text_[i] == '%')
                    markup_.parameterEntity = true;
                ++i;
            }
        }
        return size_;
    }
    // The index just after the declaration's '>'; an attribute list's definitions counted.
    qsizetype AfterDeclaration(qsizetype i, bool attributeList = false) {
        while (i < size_) {
            const Unit c = text_[i];
            if (IsQuote(c)) {
                markup_.definitions += attributeList;
                i = AfterLiteral(i);
                continue;
            }
            if (c == '#')
                markup_.definitions += attributeList;
            else if (c == '>')
                return i + 1;
            ++i;
        }
        return size_;
    }
    // The index just after the tag whose name starts at i; `count` gets its attributes.
    qsizetype AfterTag(qsizetype i, int& count) const {
        while (i < size_) {
            const Unit c = text_[i];
            if (IsQuote(c)) {
                i = AfterLiteral(i);
                continue;
            }
            if (c == '=')
                ++count;
            else if (c == '>')
                return i + 1;
            ++i;
        }
        return size_;
    }

    const Unit* text_;
    qsizetype size_;
    Markup markup_;
};

// How the parser reads the bytes: in units of 1 (ASCII-based), 2 or 4 bytes, in which order.
struct Layout {
    int width = 1;
    bool bigEndian = false;
};

// As the parser tells it: by a byte order mark or by the first character, '<'.
Layout LayoutOf(const QByteArray& bytes) {
    using C = QStringConverter;
    const C::Encoding e = C::encodingForData(bytes, u'<').value_or(C::Utf8);
    const bool utf16 = e == C::Utf16 || e == C::Utf16BE || e == C::Utf16LE;
    const bool utf32 = e == C::Utf32 || e == C::Utf32BE || e == C::Utf32LE;
    const bool hostOrder = e == C::Utf16 || e == C::Utf32;
    const int width = utf16 ? 2 : (utf32 ? 4 : 1);
    return {width, e == C::Utf16BE || e == C::Utf32BE ||
                       (hostOrder && QSysInfo::ByteOrder == QSysInfo::BigEndian)};
}

template <class Unit> std::vector<Unit> Units(const QByteArray& bytes, bool bigEndian) {
    constexpr int width = sizeof(Unit);
    std::vector<Unit> units(bytes.size() / width);
    for (size_t k = 0; k < units.size(); ++k) {
        char32_t value = 0;
        for (int b = 0; b < width; ++b)
            value = value << 8 | uchar(bytes[width * k + (bigEndian ? b : width - 1 - b)]);
        units[k] = Unit(value);
    }
    return units;
}

// Markup positions are in units of the layout.
Markup ScanMarkup(const QByteArray& bytes, Layout layout) {
    switch (layout.width) {
    case 2: {
        const auto units = Units<char16_t>(bytes, layout.bigEndian);
        return MarkupScanner<char16_t>(units.data(), qsizetype(units.size())).Scan();
    }
    case 4: {
        const auto units = Units<char32_t>(bytes, layout.bigEndian);
        return MarkupScanner<char32_t>(units.data(), qsizetype(units.size())).Scan();
    }
    default:
        return MarkupScanner<char>(bytes.constData(), bytes.size()).Scan();
    }
}

// The line of a position, counted in units of the layout.
qsizetype LineAt(const QByteArray& bytes, Layout layout, qsizetype at) {
    qsizetype line = 1;
    for (qsizetype k = 0; k < at; ++k) {
        const qsizetype b = k * layout.width + (layout.bigEndian ? layout.width - 1 : 0);
        bool lineFeed = bytes[b] == '\n';
        for (int other = 1; lineFeed && other < layout.width; ++other)
            lineFeed = bytes[k * layout.width + (layout.bigEndian ? other - 1 : other)] == '\0';
        line += lineFeed;
    }
    return line;
}

// The bytes with each attribute list replaced by blanks of its length: the parser then
// applies no declared default and keeps every value as written, and its lines and
// columns stay those of the file.
QByteArray WithoutAttributeLists(QByteArray bytes, Layout layout, const Markup& markup) {
    for (const auto& [begin, end] : markup.attributeLists)
        for (qsizetype k = begin; k < end; ++k)
            for (int b = 0; b < layout.width; ++b)
                bytes[k * layout.width + b] =
                    b == (layout.bigEndian ? layout.width - 1 : 0) ? ' ' : '\0';
    return bytes;
}

// The document's own refusals of what its text declares or holds.
std::optional<XmlStatus> MarkupRefusal(const QByteArray& bytes, Layout layout,
                                       const Markup& markup) {
    if (markup.floodAt >= 0)
        return XmlStatus{XmlError::Limit,
                         QStringLiteral("An element has more than %1 attributes (line %2).")
                             .arg(kMaxAttributes)
                             .arg(LineAt(bytes, layout, markup.floodAt))};
    if (markup.parameterEntity)
        return XmlStatus{XmlError::Limit,
                         QStringLiteral("The document type refers to a parameter entity.")};
    if (markup.definitions > kMaxAttributeDefinitions)
        return XmlStatus{XmlError::Limit,
                         QStringLiteral("The document type declares more than %1 attributes.")
                             .arg(kMaxAttributeDefinitions)};
    return std::nullopt;
}

// An encoding that may write an ASCII character in other bytes (UTF-7 writes '<' as "+ADw-")
// hides markup from the scan of the raw bytes, but not from the parser. Such a text is
// scanned again as the parser decodes it: refused when that finds what the limits refuse,
// or attribute lists other than those found in the bytes, which alone are blanked.
std::optional<XmlStatus> HiddenMarkupRefusal(const QByteArray& bytes, Layout layout,
                                             const Markup& markup) {
    if (layout.width != 1)
        return std::nullopt;
    QXmlStreamReader reader(bytes);
    reader.readNext();
    const QByteArray encoding = reader.documentEncoding().toLatin1();
    if (encoding.isEmpty() || !QStringDecoder(encoding.constData()).isValid())
        return std::nullopt; // UTF-8, or one the parser refuses
    QByteArray ascii(128, '\0');
    for (int c = 0; c < 128; ++c)
        ascii[c] = char(c);
    if (QStringDecoder(encoding.constData()).decode(ascii) == QString::fromLatin1(ascii))
        return std::nullopt;
    const QString text = QStringDecoder(encoding.constData()).decode(bytes);
    const Markup decoded =
        MarkupScanner<char16_t>(reinterpret_cast<const char16_t*>(text.utf16()), text.size())
            .Scan();
    bool seen = decoded.floodAt < 0 && !decoded.parameterEntity &&
                decoded.definitions <= kMaxAttributeDefinitions &&
                decoded.attributeLists.size() == markup.attributeLists.size();
    for (size_t k = 0; seen && k < decoded.attributeLists.size(); ++k) {
        const auto [begin, end] = decoded.attributeLists[k];
        const auto [rawBegin, rawEnd] = markup.attributeLists[k];
        seen = QStringView(text).sliced(begin, end - begin) ==
               QLatin1StringView(bytes.constData() + rawBegin, rawEnd - rawBegin);
    }
    if (seen)
        return std::nullopt;
    return XmlStatus{XmlError::Limit,
                     QStringLiteral("The file's encoding hides markup from the limits.")};
}

XmlStatus ParseFailure(const QXmlStreamReader& reader) {
    return {XmlError::Parse, QStringLiteral("%1 (line %2, column %3)")
                                 .arg(reader.errorString())
                                 .arg(reader.lineNumber())
                                 .arg(reader.columnNumber())};
}

// The last document type before the first element, as the parser reads it in the file.
XmlStatus ReadDocumentType(const QByteArray& bytes, std::optional<QString>& doctype) {
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(true);
    while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::StartElement)
        if (reader.tokenType() == QXmlStreamReader::DTD)
            doctype = reader.text().toString().trimmed();
    return reader.hasError() ? ParseFailure(reader) : XmlStatus{};
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

    const Layout layout = LayoutOf(bytes);
    const Markup markup = ScanMarkup(bytes, layout);
    if (const std::optional<XmlStatus> refusal = MarkupRefusal(bytes, layout, markup))
        return *refusal;
    if (const std::optional<XmlStatus> refusal = HiddenMarkupRefusal(bytes, layout, markup))
        return *refusal;
    // Attribute lists reach the parser only in a first reading up to the first element,
    // which checks them and gives the document type as the file wrote it.
    std::optional<QString> doctype;
    if (!markup.attributeLists.empty())
        if (const XmlStatus status = ReadDocumentType(bytes, doctype); !status.Ok())
            return status;
    QXmlStreamReader reader(
        markup.attributeLists.empty() ? bytes : WithoutAttributeLists(bytes, layout, markup));
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
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            data->hasDeclaration = !reader.documentVersion().isEmpty();
            if (!reader.documentEncoding().isEmpty())
                data->encoding = reader.documentEncoding().toString();
            if (data->hasDeclaration)
                data->declaration = DeclarationText(bytes, reader);
            break;
        case QXmlStreamReader::DTD:
            data->doctype = doctype.value_or(reader.text().toString().trimmed());
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
            append(dom.createComment(reader.text().toString()));
            break;
        case QXmlStreamReader::ProcessingInstruction:
            append(dom.createProcessingInstruction(reader.processingInstructionTarget().toString(),
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
    const std::optional<QString> text = DocumentText(*d_, status);
    if (!text)
        return std::nullopt;
    QStringConverter::Flags flags = QStringConverter::Flag::Default;
    if (d_->byteOrderMark)
        flags |= QStringConverter::Flag::WriteBom;
    QStringEncoder encoder(d_->encoding.toLatin1().constData(), flags);
    if (!encoder.isValid()) {
        if (status)
            *status = {XmlError::Encoding,
                       QStringLiteral("The encoding %1 cannot be written.").arg(d_->encoding)};
        return std::nullopt;
    }
    QByteArray bytes = encoder.encode(*text);
    if (encoder.hasError()) {
        if (status)
            *status = {XmlError::Encoding,
                       QStringLiteral("The document cannot be written in %1.").arg(d_->encoding)};
        return std::nullopt;
    }
    return bytes;
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
