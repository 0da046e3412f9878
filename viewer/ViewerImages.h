#pragma once
// The viewer's own pictures, kept as PNG resources and decoded with libpng.
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace viewer {

// "brisquel" (the program's icon), the tool-bar images and the dialogs' pictures
// ("unchanged", "changed", "notice"). A missing or damaged image comes back null.
QImage Image(const QString& name);
// The PNG bytes as stored, for writing the icon out.
QByteArray ImagePng(const QString& name);

// The five 48 x 48 tool-bar images in their order: open, close, save, settings, about.
QList<QImage> ToolBarImages();

} // namespace viewer
