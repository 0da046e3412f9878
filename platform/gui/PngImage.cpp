#include "PngImage.h"

#include <QFile>
#include <png.h>

namespace platform {

namespace {
// Larger images are refused before any allocation: none of ours comes near it, and a
// forged header must not ask for gigabytes.
constexpr png_uint_32 kMaxSide = 8192;

QImage Fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return QImage();
}
} // namespace

QImage DecodePng(const QByteArray& bytes, QString* error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.constData(), size_t(bytes.size()))) {
        const QString why = QString::fromLatin1("not a PNG image: ") + png.message;
        png_image_free(&png);
        return Fail(error, why);
    }
    if (png.width == 0 || png.height == 0 || png.width > kMaxSide || png.height > kMaxSide) {
        png_image_free(&png);
        return Fail(
            error,
            QString("PNG image of %1 x %2 pixels is refused").arg(png.width).arg(png.height));
    }
    png.format = PNG_FORMAT_RGBA;
    QImage image(int(png.width), int(png.height), QImage::Format_RGBA8888);
    if (image.isNull()) {
        png_image_free(&png);
        return Fail(error, "out of memory for the PNG image");
    }
    if (!png_image_finish_read(&png, nullptr, image.bits(), png_int_32(image.bytesPerLine()),
                               nullptr)) {
        const QString why = QString::fromLatin1("damaged PNG image: ") + png.message;
        png_image_free(&png);
        return Fail(error, why);
    }
    if (error)
        error->clear();
    return image;
}

QImage LoadPng(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(error, "cannot read " + path);
    QString why;
    QImage image = DecodePng(file.readAll(), &why);
    if (image.isNull())
        return Fail(error, path + ": " + why);
    return image;
}

} // namespace platform
