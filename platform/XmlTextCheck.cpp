#include "XmlTextCheck.h"

#include <QStringConverter>
#include <cstring>

namespace platform {

namespace {

using Converter = QStringConverter;

// What one pass over the text finds before the parser reads it.
struct Markup {
    qsizetype floodAt = -1;       // the first start tag with more than kMaxAttributes
    bool declares = false;        // the document type's internal subset declares something
    bool parameterEntity = false; // the document type refers to one
};

// Counts '=' signs outside quotes in each start tag, and looks through the internal subset
// of a document type for declarations and parameter-entity references. Comments, CDATA and
// instructions count nothing. A malformed text may be miscounted; the parser refuses it
// where it goes wrong.
class MarkupScanner {
public:
    explicit MarkupScanner(const QString& text) : text_(text.constData()), size_(text.size()) {}

    Markup Scan() {
        qsizetype i = 0;
        while (i < size_ && markup_.floodAt < 0 && !markup_.declares && !markup_.parameterEntity) {
            if (text_[i] != u'<') {
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
                i = After(i + 2, ">");
            } else {
                const qsizetype tag = i;
                int count = 0;
                i = AfterTag(i + 1, count);
                if (count > kMaxAttributes)
                    markup_.floodAt = tag;
            }
        }
        return markup_;
    }

private:
    bool Starts(qsizetype i, const char* ascii) const {
        for (; *ascii; ++i, ++ascii)
            if (i >= size_ || text_[i] != QLatin1Char(*ascii))
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
        const QChar quote = text_[i];
        for (++i; i < size_; ++i)
            if (text_[i] == quote)
                return i + 1;
        return size_;
    }
    static bool IsQuote(QChar c) { return c == u'"' || c == u'\''; }

    // Its name and external identifier, whose literals may hold ']' and '>', then the
    // internal subset in brackets.
    qsizetype AfterDocumentType(qsizetype i) {
        while (i < size_) {
            const QChar c = text_[i];
            if (IsQuote(c))
                i = AfterLiteral(i);
            else if (c == u'[')
                i = AfterSubset(i + 1);
            else if (c == u'>')
                return i + 1;
            else
                ++i;
        }
        return size_;
    }
    // Comments and instructions up to ']'; a declaration or a parameter-entity reference
    // ends the scan.
    qsizetype AfterSubset(qsizetype i) {
        while (i < size_) {
            if (text_[i] == u']') {
                return i + 1;
            } else if (Starts(i, "<!--")) {
                i = After(i + 4, "-->");
            } else if (Starts(i, "<?")) {
                i = After(i + 2, "?>");
            } else if (Starts(i, "<!")) {
                markup_.declares = true;
                return size_;
            } else if (text_[i] == u'%') {
                markup_.parameterEntity = true;
                return size_;
            } else {
                ++i;
            }
        }
        return size_;
    }
    // The index just after the tag whose name starts at i; `count` gets its attributes.
    qsizetype AfterTag(qsizetype i, int& count) const {
        while (i < size_) {
            const QChar c = text_[i];
            if (IsQuote(c)) {
                i = AfterLiteral(i);
                continue;
            }
            if (c == u'=')
                ++count;
            else if (c == u'>')
                return i + 1;
            ++i;
        }
        return size_;
    }

    const QChar* text_;
    qsizetype size_;
    Markup markup_;
};

bool IsUnicode(Converter::Encoding e) {
    switch (e) {
    case Converter::Utf8:
    case Converter::Utf16:
    case Converter::Utf16LE:
    case Converter::Utf16BE:
    case Converter::Utf32:
    case Converter::Utf32LE:
    case Converter::Utf32BE:
        return true;
    default:
        return false;
    }
}

// Code units of 1, 2 or 4 bytes.
int Width(Converter::Encoding e) {
    switch (e) {
    case Converter::Utf16:
    case Converter::Utf16LE:
    case Converter::Utf16BE:
        return 2;
    case Converter::Utf32:
    case Converter::Utf32LE:
    case Converter::Utf32BE:
        return 4;
    default:
        return 1;
    }
}

XmlStatus EncodingFailure(const QString& message, const QString& encoding) {
    return {XmlError::Parse, message.arg(encoding)};
}

} // namespace

XmlStatus ParseFailure(const QXmlStreamReader& reader) {
    return {XmlError::Parse, QStringLiteral("%1 (line %2, column %3)")
                                 .arg(reader.errorString())
                                 .arg(reader.lineNumber())
                                 .arg(reader.columnNumber())};
}

std::optional<XmlText> DecodeXmlText(const QByteArray& bytes, XmlStatus& status) {
    // The declaration, as the parser reads it from the bytes.
    QXmlStreamReader declaration(bytes);
    declaration.readNext();
    if (declaration.hasError()) {
        status = ParseFailure(declaration);
        return std::nullopt;
    }
    XmlText result;
    result.declared = declaration.documentEncoding().toString();
    // One Qt does not know itself is no Unicode encoding.
    const Converter::Encoding named =
        Converter::encodingForName(result.declared.toLatin1().constData())
            .value_or(Converter::System);
    // A byte order mark, or a first '<' in units of 2 or 4 bytes, tells the encoding of its
    // own; the declaration may then only name one of the same unit.
    const std::optional<Converter::Encoding> marked = Converter::encodingForData(bytes, u'<');
    QStringDecoder decoder;
    if (marked) {
        if (!result.declared.isEmpty() && (!IsUnicode(named) || Width(named) != Width(*marked))) {
            status = EncodingFailure(
                QStringLiteral("The declared encoding %1 is not the one the file is written in."),
                result.declared);
            return std::nullopt;
        }
        decoder = QStringDecoder(*marked);
    } else if (!result.declared.isEmpty()) {
        decoder = QStringDecoder(result.declared.toLatin1().constData());
    } else {
        decoder = QStringDecoder(Converter::Utf8);
    }
    if (!decoder.isValid()) {
        status =
            EncodingFailure(QStringLiteral("The encoding %1 is not supported."), result.declared);
        return std::nullopt;
    }
    result.text = decoder.decode(bytes);
    if (decoder.hasError()) {
        status =
            EncodingFailure(QStringLiteral("The file holds bytes that are not %1."),
                            result.declared.isEmpty() ? QStringLiteral("UTF-8") : result.declared);
        return std::nullopt;
    }
    return result;
}

bool WritesBack(const QString& encoding, const QString& declaration) {
    if (const std::optional<Converter::Encoding> e =
            Converter::encodingForName(encoding.toLatin1().constData());
        e && IsUnicode(*e))
        return true;
    // Ending in a line end, as a document does: an encoder may keep the bits of a last
    // character it writes in bytes of its own until a character follows.
    QString ascii;
    for (char c = ' '; c < 0x7F; ++c)
        ascii += QLatin1Char(c);
    ascii += QStringLiteral("\t\r\n");
    const QByteArray name = encoding.toLatin1();
    QStringEncoder encoder(name.constData());
    const QByteArray written = encoder.encode(declaration);
    const QByteArray asciiWritten = QStringEncoder(name.constData()).encode(ascii);
    QStringDecoder decoder(name.constData());
    return encoder.isValid() && !encoder.hasError() && written == declaration.toLatin1() &&
           decoder.isValid() && decoder.decode(asciiWritten) == ascii && !decoder.hasError();
}

std::optional<XmlStatus> XmlTextRefusal(const QString& text) {
    const Markup markup = MarkupScanner(text).Scan();
    if (markup.floodAt >= 0)
        return XmlStatus{XmlError::Limit,
                         QStringLiteral("An element has more than %1 attributes (line %2).")
                             .arg(kMaxAttributes)
                             .arg(QStringView(text).first(markup.floodAt).count(u'\n') + 1)};
    if (markup.declares)
        return XmlStatus{XmlError::Limit,
                         QStringLiteral("The document type declares markup, which no project "
                                        "holds.")};
    if (markup.parameterEntity)
        return XmlStatus{XmlError::Limit,
                         QStringLiteral("The document type refers to a parameter entity.")};
    return std::nullopt;
}

} // namespace platform
