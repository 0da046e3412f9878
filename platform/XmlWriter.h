#pragma once
// The document written back as text: every element, attribute (in the file's order),
// comment and the layout between elements, the declaration and document type as the file
// had them.
#include "XmlDocument.h"
#include "XmlDocumentData.h"

#include <QString>
#include <optional>

namespace platform {

// The text of the document; nothing when a character cannot be written in the declared
// encoding where no character reference may stand (status says which).
std::optional<QString> DocumentText(const XmlDocumentData& d, XmlStatus* status);

} // namespace platform
