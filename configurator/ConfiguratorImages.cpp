#include "ConfiguratorImages.h"

#include "PngImage.h"

// The resources live in a static library, so they are registered by hand before use.
static void InitConfiguratorResources() {
    Q_INIT_RESOURCE(configurator);
}

namespace configurator {

namespace {
QList<QImage> Images(std::initializer_list<const char*> names) {
    QList<QImage> images;
    for (const char* name : names)
        images.append(Image(name));
    return images;
}
} // namespace

QImage Image(const QString& name) {
    static const bool once = (InitConfiguratorResources(), true);
    (void)once;
    return platform::LoadPng(":/configurator/" + name + ".png");
}

QList<QImage> ToolBarImages() {
    return Images({"open", "close", "save", "go", "stop", "set", "view", "back", "about"});
}

QList<QImage> ViewStyleImages() {
    return Images({"view-icons", "view-table"});
}

QList<QImage> SearchFrames() {
    // One strip of frames side by side keeps the animation in a single drawing.
    const QImage strip = Image("search");
    QList<QImage> frames;
    if (strip.height() != kSearchFrameSize.height())
        return frames;
    for (int x = 0; x + kSearchFrameSize.width() <= strip.width(); x += kSearchFrameSize.width())
        frames.append(strip.copy(x, 0, kSearchFrameSize.width(), kSearchFrameSize.height()));
    return frames;
}

} // namespace configurator
