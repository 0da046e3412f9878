#include "ConfiguratorImages.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include "PngImage.h"

namespace {

void ExpectImages(const QList<QImage>& images, qsizetype count, QSize size) {
    ASSERT_EQ(images.size(), count);
    for (qsizetype i = 0; i < count; ++i) {
        EXPECT_FALSE(images[i].isNull()) << "image " << i;
        EXPECT_EQ(images[i].size(), size) << "image " << i;
    }
}

TEST(ConfiguratorImages, ToolBarViewStylesAndPictures) {
    ExpectImages(configurator::ToolBarImages(), 9, {48, 48});
    ExpectImages(configurator::ViewStyleImages(), 2, {48, 48});
    ExpectImages({configurator::Image("vendrill"), configurator::Image("message")}, 2, {48, 48});
    // The message form's picture stands on the form's own colour.
    const QImage message = configurator::Image("message");
    EXPECT_EQ(message.pixelColor(47, 0).alpha(), 0);
    EXPECT_TRUE(configurator::Image("no-such-picture").isNull());
}

TEST(ConfiguratorImages, SearchAnimationFramesDiffer) {
    const QList<QImage> frames = configurator::SearchFrames();
    ExpectImages(frames, 12, configurator::kSearchFrameSize);
    for (qsizetype i = 1; i < frames.size(); ++i)
        EXPECT_NE(frames[i], frames[i - 1]) << "frame " << i;
}

// Every drawing has its rendered PNG beside it, at the size the drawing declares.
TEST(ConfiguratorImages, EveryDrawingIsRendered) {
    const QRegularExpression size(R"re(<svg[^>]*\swidth="(\d+)"\s+height="(\d+)")re");
    int drawings = 0;
    QDirIterator it(RESOURCES_DIR, {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString svg = it.next();
        QFile file(svg);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << svg.toStdString();
        const QRegularExpressionMatch declared = size.match(QString::fromUtf8(file.readAll()));
        ASSERT_TRUE(declared.hasMatch()) << svg.toStdString();
        const QString pngPath = svg.chopped(4) + ".png";
        QString error;
        const QImage png = platform::LoadPng(pngPath, &error);
        ASSERT_FALSE(png.isNull()) << error.toStdString();
        EXPECT_EQ(png.size(), QSize(declared.captured(1).toInt(), declared.captured(2).toInt()))
            << pngPath.toStdString();
        ++drawings;
    }
    EXPECT_EQ(drawings, 14 + 2 * 12);
}

} // namespace
