#pragma once
// The document written back: every element, attribute (in the file's order),
// comment and the layout between elements, the declaration and document type as the file
// had them.
#include "XmlDocument.h"
#include "XmlDocumentData.h"

#include <QByteArray>
#include <optional>

namespace platform {

// The document in the bytes of its encoding; nothing when a character cannot be written in
// the declared encoding where no character reference may stand, or the encoding cannot be
// written (status says which).
std::optional<QByteArray> DocumentBytes(const XmlDocumentData& d, XmlStatus* status);

} // namespace platform
