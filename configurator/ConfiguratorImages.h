#pragma once
// The configurator's own pictures, kept as PNG resources and decoded with libpng.
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace configurator {

// "vendrill" (the program's icon), "message" (the information sign of the message form) or
// any other picture by its name. A missing or damaged image comes back null.
QImage Image(const QString& name);

// The nine 48 x 48 tool-bar images in their order: open, close, save, go, stop, link
// settings, view, back, about.
QList<QImage> ToolBarImages();

// The two 48 x 48 images of the view drop-down: icons, table.
QList<QImage> ViewStyleImages();

// The device-search animation of the connection-progress dialog, frame by frame.
constexpr QSize kSearchFrameSize{272, 60};
QList<QImage> SearchFrames();

} // namespace configurator
