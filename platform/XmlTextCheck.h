#pragma once
// The checks on a document's text, made on the text the parser then reads: the bytes are
// decoded once, with the encoding the file declares (or its byte order mark tells), and
// both the checks and the parser read that text. A check of the bytes instead would miss
// what an encoding writes in bytes of its own ('<' in UTF-7, an ASCII second byte in GBK).
#include "XmlDocument.h"
#include "XmlDocumentData.h"

#include <QByteArray>
#include <QString>
#include <QStringConverter>
#include <QXmlStreamReader>
#include <optional>

namespace platform {

struct XmlText {
    QString text;     // as the parser reads it, without a byte order mark
    QString declared; // the encoding the declaration names, empty when none
    // The Unicode form a byte order mark or the first '<' tells, when the declaration names
    // it by a name Qt leaves to ICU (ISO-10646-UCS-2): the file is written back in this form,
    // as ICU's own UTF-16 and UTF-32 would add a byte order mark in the machine's order.
    std::optional<UnicodeForm> unicodeForm;
};

// The bytes decoded as the file tells; a parse failure when the declaration is malformed,
// names an encoding the platform cannot decode, contradicts the byte order mark, or the
// bytes are not valid in the encoding (bytes no character has, a sequence cut short, at
// the end too, a lone surrogate, a unit past U+10FFFF).
std::optional<XmlText> DecodeXmlText(const QByteArray& bytes, XmlStatus& status);

// A decoder for the encoding of that name as the loader decodes with: a sequence cut short
// at the end is an error, not a state kept for bytes to come. It is made where it is used
// and never moved: Qt's ICU decoders report their errors to the state they were made with.
QStringDecoder TextDecoder(const QByteArray& name);

// Whether a document in the encoding, beginning with the declaration, is written back so
// that it reads again: the declaration must come out as its own ASCII bytes, which is how
// a reader finds the encoding (not so where an encoder puts a shift sequence or a header
// before it, as HZ and ISO-2022-KR do), and every ASCII character must read back as itself.
// A file in another encoding is refused like a damaged one: what loads, saves and loads
// again.
bool WritesBack(const QString& encoding, const QString& declaration);

// A failure of the parser, with where it happened.
XmlStatus ParseFailure(const QXmlStreamReader& reader);

// What the document refuses in the text before the parser reads it: a start tag with more
// than kMaxAttributes attributes (the parser checks each against all before it, in the
// square of their number), and a document type that declares anything or refers to a
// parameter entity: a project carries none, and the parser would add declared defaults to
// elements, normalise values by declared types and expand declared entities without
// bound.
std::optional<XmlStatus> XmlTextRefusal(const QString& text);

} // namespace platform
