#pragma once
// PNG bytes to images with libpng: the tool-bar, dialog and icon images of both programs
// are PNG resources decoded at run time.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace platform {

// The decoded image (32-bit RGBA, straight alpha), or a null image and the reason in
// *error (when given) for bytes that are not a whole, sane PNG.
QImage DecodePng(const QByteArray& bytes, QString* error = nullptr);

// Reads a file or a Qt resource (":/...") and decodes it; a null image when either fails.
QImage LoadPng(const QString& path, QString* error = nullptr);

} // namespace platform
