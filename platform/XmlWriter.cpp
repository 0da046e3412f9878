#include "XmlWriter.h"

#include "XmlTextCheck.h"

#include <QSet>
#include <QStringConverter>
#include <algorithm>

namespace platform {

namespace {

// Serialises the DOM, escaping what must be escaped and writing characters the target
// encoding cannot hold as character references where XML allows them.
class Writer {
public:
    explicit Writer(const XmlDocumentData& d)
        : d_(d), name_(d.encoding.toLatin1()),
          unicode_(d.unicodeForm ||
                   d.encoding.startsWith(QStringLiteral("UTF"), Qt::CaseInsensitive)) {}

    std::optional<QByteArray> Bytes(XmlStatus* status) {
        const std::optional<QString> text = Document(status);
        if (!text)
            return std::nullopt;
        QStringEncoder encoder = Encoder(true);
        if (!encoder.isValid()) {
            if (status)
                *status = {XmlError::Encoding,
                           QStringLiteral("The encoding %1 cannot be written.").arg(d_.encoding)};
            return std::nullopt;
        }
        QByteArray bytes = encoder.encode(*text);
        if (encoder.hasError()) {
            if (status)
                *status = {
                    XmlError::Encoding,
                    QStringLiteral("The document cannot be written in %1.").arg(d_.encoding)};
            return std::nullopt;
        }
        return bytes;
    }

    std::optional<QString> Document(XmlStatus* status) {
        if (d_.hasDeclaration)
            out_ += d_.declaration + u'\n';
        int nodes = 0;
        if (d_.nodesBeforeDoctype == 0)
            DocumentType();
        for (QDomNode n = d_.dom.firstChild(); !n.isNull(); n = n.nextSibling()) {
            Node(n);
            out_ += u'\n';
            if (++nodes == d_.nodesBeforeDoctype)
                DocumentType();
        }
        if (!failure_.isEmpty()) {
            if (status)
                *status = {XmlError::Encoding, failure_};
            return std::nullopt;
        }
        if (d_.crlf)
            out_.replace(u'\n', QStringLiteral("\r\n"));
        return out_;
    }

private:
    // The Unicode form the file was read in, or the encoding of its name; for the whole
    // document, with the file's byte order mark. Made where it is used, never moved: Qt's
    // ICU encoders report their errors to the state they were made with.
    QStringEncoder Encoder(bool document) const {
        const auto mark = [&](bool had) {
            return document && had ? QStringConverter::Flag::WriteBom
                                   : QStringConverter::Flag::Default;
        };
        if (d_.unicodeForm)
            return QStringEncoder(d_.unicodeForm->encoding, mark(d_.unicodeForm->byteOrderMark));
        return QStringEncoder(name_.constData(), mark(d_.byteOrderMark));
    }

    // Whether the encoding writes the character in bytes that read back as it: not so where
    // it lacks the character, writes it as nothing, or as the bytes of another (Shift_JIS
    // writes U+F86F as the numero sign). Each character is asked once, of a fresh encoder,
    // which begins in the state that designates the character's set; a line end follows,
    // as in a document, for an encoder that keeps the bits of a last character until then.
    bool Holds(char32_t c) {
        if (unicode_ || c < 0x80)
            return true;
        auto it = holds_.constFind(c);
        if (it != holds_.constEnd())
            return *it;
        const QString text = One(c) + u'\n';
        // Not a stateless encoder, whose Latin-1 encoder writes '?' for a character it lacks
        // and reports nothing.
        QStringEncoder encoder = Encoder(false);
        const QByteArray bytes = encoder.encode(text); // encodes on conversion
        QStringDecoder decoder = TextDecoder(name_);
        const bool ok = encoder.isValid() && !encoder.hasError() && decoder.isValid() &&
                        QString(decoder.decode(bytes)) == text && !decoder.hasError();
        holds_.insert(c, ok);
        return ok;
    }

    // The character alone; QString::fromUcs4 would drop U+FEFF as a byte order mark.
    static QString One(char32_t c) { return QStringView(QChar::fromUcs4(c)).toString(); }

    static QString Reference(char32_t c) {
        return QStringLiteral("&#x%1;").arg(QString::number(uint(c), 16).toUpper());
    }

    void DocumentType() {
        if (d_.doctype.isEmpty())
            return;
        Raw(d_.doctype);
        out_ += u'\n';
    }

    // Markup and names: no character references are possible there.
    void Raw(const QString& text) {
        for (char32_t c : text.toUcs4())
            if (!Holds(c) && failure_.isEmpty())
                failure_ =
                    QStringLiteral("The character U+%1 cannot be written in %2 outside text and "
                                   "attribute values.")
                        .arg(uint(c), 4, 16, QChar(u'0'))
                        .arg(d_.encoding);
        out_ += text;
    }

    void Escaped(const QString& text, bool attribute) {
        for (char32_t c : text.toUcs4()) {
            switch (c) {
            case U'&':
                out_ += QStringLiteral("&amp;");
                continue;
            case U'<':
                out_ += QStringLiteral("&lt;");
                continue;
            case U'>':
                out_ += QStringLiteral("&gt;");
                continue;
            case U'\r':
                out_ += QStringLiteral("&#13;");
                continue;
            default:
                break;
            }
            if (attribute && (c == U'"' || c == U'\n' || c == U'\t')) {
                out_ += c == U'"' ? QStringLiteral("&quot;")
                                  : (c == U'\n' ? QStringLiteral("&#10;") : QStringLiteral("&#9;"));
                continue;
            }
            if (Holds(c))
                out_ += One(c);
            else
                out_ += Reference(c);
        }
    }

    void CData(const QString& text) {
        out_ += QStringLiteral("<![CDATA[");
        for (char32_t c : text.toUcs4()) {
            if (Holds(c))
                out_ += One(c);
            else
                out_ += QStringLiteral("]]>") + Reference(c) + QStringLiteral("<![CDATA[");
        }
        out_ += QStringLiteral("]]>");
    }

    void Element(const QDomElement& e) {
        out_ += u'<';
        Raw(e.nodeName());
        QStringList names = d_.attributeOrder.value(KeyOf(e));
        const QSet<QString> known(names.cbegin(), names.cend());
        QStringList others;
        const QDomNamedNodeMap map = e.attributes();
        for (int i = 0; i < map.count(); ++i)
            if (!known.contains(map.item(i).nodeName()))
                others << map.item(i).nodeName();
        std::sort(others.begin(), others.end());
        names += others;
        for (const QString& name : names) {
            if (!e.hasAttribute(name))
                continue;
            out_ += u' ';
            Raw(name);
            out_ += QStringLiteral("=\"");
            Escaped(e.attribute(name), true);
            out_ += u'"';
        }
        if (!e.hasChildNodes()) {
            out_ += QStringLiteral("/>");
            return;
        }
        out_ += u'>';
        for (QDomNode n = e.firstChild(); !n.isNull(); n = n.nextSibling())
            Node(n);
        out_ += QStringLiteral("</");
        Raw(e.nodeName());
        out_ += u'>';
    }

    void Node(const QDomNode& n) {
        switch (n.nodeType()) {
        case QDomNode::ElementNode:
            Element(n.toElement());
            break;
        case QDomNode::TextNode:
            Escaped(n.nodeValue(), false);
            break;
        case QDomNode::CDATASectionNode:
            CData(n.nodeValue());
            break;
        case QDomNode::CommentNode:
            out_ += QStringLiteral("<!--");
            Raw(n.nodeValue());
            out_ += QStringLiteral("-->");
            break;
        case QDomNode::ProcessingInstructionNode: {
            const QDomProcessingInstruction pi = n.toProcessingInstruction();
            out_ += QStringLiteral("<?");
            Raw(pi.target());
            if (!pi.data().isEmpty()) {
                out_ += u' ';
                Raw(pi.data());
            }
            out_ += QStringLiteral("?>");
            break;
        }
        case QDomNode::EntityReferenceNode:
            out_ += u'&';
            Raw(n.nodeName());
            out_ += u';';
            break;
        default:
            break;
        }
    }

    const XmlDocumentData& d_;
    const QByteArray name_;
    const bool unicode_;
    QHash<char32_t, bool> holds_;
    QString out_;
    QString failure_;
};

} // namespace

std::optional<QByteArray> DocumentBytes(const XmlDocumentData& d, XmlStatus* status) {
    return Writer(d).Bytes(status);
}

} // namespace platform
