#include "ViewerImages.h"

#include "PngImage.h"

#include <QFile>

// The resources live in a static library, so they are registered by hand before use.
static void InitViewerResources() {
    Q_INIT_RESOURCE(viewer);
}

namespace viewer {

namespace {
QString ResourcePath(const QString& name) {
    static const bool once = (InitViewerResources(), true);
    (void)once;
    return ":/viewer/" + name + ".png";
}
} // namespace

QByteArray ImagePng(const QString& name) {
    QFile file(ResourcePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage Image(const QString& name) {
    return platform::DecodePng(ImagePng(name));
}

QList<QImage> ToolBarImages() {
    QList<QImage> images;
    for (const char* name : {"open", "close", "save", "settings", "about"})
        images.append(Image(name));
    return images;
}

} // namespace viewer
