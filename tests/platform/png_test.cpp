#include "PngImage.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QTemporaryDir>
#include <zlib.h>

namespace {

QByteArray Encode(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A 3 x 2 image with every channel distinct, alpha included.
QImage Sample() {
    QImage image(3, 2, QImage::Format_RGBA8888);
    const QColor colors[] = {{255, 0, 0, 255},  {0, 255, 0, 128},   {0, 0, 255, 0},
                             {10, 20, 30, 255}, {200, 100, 50, 77}, {1, 2, 3, 4}};
    for (int i = 0; i < 6; ++i)
        image.setPixelColor(i % 3, i / 3, colors[i]);
    return image;
}

TEST(PngImage, DecodesPixelsAndAlpha) {
    const QImage sample = Sample();
    QString error = "stale";
    const QImage image = platform::DecodePng(Encode(sample), &error);
    ASSERT_FALSE(image.isNull()) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    ASSERT_EQ(image.size(), sample.size());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.pixelColor(x, y), sample.pixelColor(x, y)) << x << "," << y;
}

TEST(PngImage, BadBytesFailClearly) {
    const QByteArray good = Encode(Sample());
    // The same image claiming 100000 pixels a side, with a correct header checksum.
    QByteArray huge = good;
    const uchar side[4] = {0x00, 0x01, 0x86, 0xA0};
    huge.replace(16, 4, reinterpret_cast<const char*>(side), 4);
    huge.replace(20, 4, reinterpret_cast<const char*>(side), 4);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(huge.constData() + 12), 17);
    for (int i = 0; i < 4; ++i)
        huge[29 + i] = char(crc >> (24 - 8 * i));

    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"empty", QByteArray()},
        {"text", QByteArray("Time;Error;1;2;3")},
        {"signature only", good.left(8)},
        {"cut in the data", good.left(good.size() - 20)},
        {"huge", huge},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_TRUE(platform::DecodePng(c.bytes, &error).isNull()) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
        if (QByteArray(c.name) == "huge") {
            EXPECT_TRUE(error.contains("100000 x 100000")) << error.toStdString();
        }
    }
}

TEST(PngImage, LoadsFilesAndNamesTheMissingOne) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.png");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Encode(Sample()));
    f.close();
    EXPECT_EQ(platform::LoadPng(path).size(), QSize(3, 2));
    QString error;
    EXPECT_TRUE(platform::LoadPng(dir.filePath("none.png"), &error).isNull());
    EXPECT_TRUE(error.contains("none.png"));
}

} // namespace
