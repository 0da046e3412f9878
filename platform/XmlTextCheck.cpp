#include "XmlTextCheck.h"

#include <QStringConverter>
#include <cstring>
#include <iterator>

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

// The code-unit width of the Unicode form the converters take the name for, 0 for any other
// encoding. Asked of the converter itself, by what it writes for a probe text: UTF-8, UTF-16
// or UTF-32 in either byte order, with or without a byte order mark. So every name ICU
// gives a form (ISO-10646-UCS-2, csUnicode, UnicodeBig) is that form. The locale's encoding
// is none: what it is depends on where the program runs.
int UnicodeWidth(const QString& name) {
    const QByteArray latin1 = name.toLatin1();
    if (Converter::encodingForName(latin1.constData()) == Converter::System)
        return 0;
    const char32_t probe[] = {U'<', U'?', 0xE9, 0x4E2D, 0x1F600};
    const QString text = QString::fromUcs4(probe, std::size(probe));
    QStringEncoder encoder(latin1.constData());
    const QByteArray written = encoder.encode(text);
    if (!encoder.isValid() || encoder.hasError())
        return 0;
    for (const Converter::Encoding form : {Converter::Utf8, Converter::Utf16LE, Converter::Utf16BE,
                                           Converter::Utf32LE, Converter::Utf32BE})
        for (const Converter::Flag flag : {Converter::Flag::Default, Converter::Flag::WriteBom})
            if (written == QByteArray(QStringEncoder(form, flag).encode(text)))
                return Width(form);
    return 0;
}

// Whether the bytes are whole code units of the form and every UTF-32 unit a character:
// Qt's own UTF-16 and UTF-32 decoders let a last odd byte, a unit past U+10FFFF and a
// surrogate unit through (two of which would read as a pair). Its UTF-8 decoder reports
// them itself; a lone UTF-16 surrogate is found in the text, whatever decoded it.
bool WholeUnits(const QByteArray& bytes, Converter::Encoding form) {
    const int width = Width(form);
    if (width == 1)
        return true;
    if (bytes.size() % width != 0)
        return false;
    if (width == 2)
        return true;
    const bool bigEndian = form == Converter::Utf32BE;
    for (qsizetype i = 0; i < bytes.size(); i += width) {
        char32_t unit = 0;
        for (int k = 0; k < width; ++k)
            unit = unit << 8 | uchar(bytes[i + (bigEndian ? k : width - 1 - k)]);
        if (unit > 0x10FFFF || (unit >= 0xD800 && unit < 0xE000))
            return false;
    }
    return true;
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

QStringDecoder TextDecoder(const QByteArray& name) {
    return QStringDecoder(name.constData(), Converter::Flag::Stateless);
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
    // A byte order mark, or a first '<' in units of 2 or 4 bytes, tells the encoding of its
    // own; the declaration may then only name a Unicode form of the same unit.
    const std::optional<Converter::Encoding> marked = Converter::encodingForData(bytes, u'<');
    if (marked && !result.declared.isEmpty()) {
        if (UnicodeWidth(result.declared) != Width(*marked)) {
            status = EncodingFailure(
                QStringLiteral("The declared encoding %1 is not the one the file is written in."),
                result.declared);
            return std::nullopt;
        }
        if (!Converter::encodingForName(result.declared.toLatin1().constData())) {
            const QByteArray mark = QStringEncoder(*marked).encode(QChar(0xFEFF));
            result.unicodeForm = UnicodeForm{*marked, bytes.startsWith(mark)};
        }
    }
    const QByteArray name = marked ? QByteArray(Converter::nameForEncoding(*marked))
                            : result.declared.isEmpty() ? QByteArray("UTF-8")
                                                        : result.declared.toLatin1();
    QStringDecoder decoder = TextDecoder(name);
    if (!decoder.isValid()) {
        status =
            EncodingFailure(QStringLiteral("The encoding %1 is not supported."), result.declared);
        return std::nullopt;
    }
    result.text = decoder.decode(bytes);
    // A surrogate out of a pair is no character, and no encoder writes it back; Qt's UTF-16
    // decoder and ICU's UTF-7 and CESU-8 ones let it through without an error.
    if (decoder.hasError() || (marked && !WholeUnits(bytes, *marked)) ||
        !result.text.isValidUtf16()) {
        status = EncodingFailure(QStringLiteral("The file holds bytes that are not %1."),
                                 QString::fromLatin1(name));
        return std::nullopt;
    }
    return result;
}

bool WritesBack(const QString& encoding, const QString& declaration) {
    if (UnicodeWidth(encoding) != 0)
        return true;
    const QByteArray name = encoding.toLatin1();
    QStringEncoder encoder(name.constData());
    const QByteArray written = encoder.encode(declaration);
    if (!encoder.isValid() || encoder.hasError() || written != declaration.toLatin1())
        return false;
    // Ending in a line end, as a document does: an encoder may keep the bits of a last
    // character it writes in bytes of its own until a character follows, and what it has
    // not written by the end is a sequence cut short.
    QString ascii;
    for (char c = ' '; c < 0x7F; ++c)
        ascii += QLatin1Char(c);
    ascii += QStringLiteral("\t\r\n");
    for (const QString& text : {ascii, QStringLiteral(">\n"), QStringLiteral(">\r\n")}) {
        const QByteArray bytes = QStringEncoder(name.constData()).encode(text);
        QStringDecoder decoder = TextDecoder(name);
        if (!decoder.isValid() || decoder.decode(bytes) != text || decoder.hasError())
            return false;
    }
    return true;
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
