#include "IconLibrary.h"

#include "IconLibraryAbi.h"
#include "PngImage.h"

#include <QByteArray>
#include <QFileInfo>
#include <climits>
#include <dlfcn.h>

namespace configurator {

namespace {
// A count past this is a library that lies about its list, not one with many icons.
constexpr size_t kMaxImages = 65536;

std::optional<QList<QImage>> CallExport(void* library, const char* name, QStringList& problems) {
    // dlsym hands back a data pointer; the export is a function of the agreed type.
    const auto get = reinterpret_cast<TGetIconList>(dlsym(library, name));
    if (!get)
        return std::nullopt;
    const TIconList* list = get();
    if (!list) {
        problems.append(QString("%1 gave no list").arg(name));
        return std::nullopt;
    }
    if (list->Count > kMaxImages || (list->Count > 0 && !list->Images)) {
        problems.append(QString("%1 gave a list of %2 images that cannot be read")
                            .arg(name)
                            .arg(qulonglong(list->Count)));
        return std::nullopt;
    }
    QStringList imageProblems;
    QList<QImage> images = DecodeIconList(*list, &imageProblems);
    for (const QString& why : imageProblems)
        problems.append(QString("%1: %2").arg(name, why));
    return images;
}
} // namespace

QString IconLibraryPath(const QString& projectFile, const QString& dll) {
    return projectFile.left(projectFile.lastIndexOf('/') + 1) + dll;
}

TIconLists LoadIconLibrary(const QString& path) {
    TIconLists lists;
    const QFileInfo file(path);
    if (!file.isFile())
        return lists;
    // The absolute path, so that dlopen takes this very file and never searches the
    // system's library folders for a bare name.
    void* library =
        dlopen(QFile::encodeName(file.absoluteFilePath()).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        lists.Problems.append(QString("%1 is not a library that can be loaded: %2")
                                  .arg(path, QString::fromLocal8Bit(why ? why : "")));
        return lists;
    }
    lists.Big = CallExport(library, ICON_LIBRARY_BIG_LIST, lists.Problems);
    lists.Small = CallExport(library, ICON_LIBRARY_SMALL_LIST, lists.Problems);
    return lists;
}

QList<QImage> DecodeIconList(const TIconList& list, QStringList* problems) {
    QList<QImage> images;
    images.reserve(qsizetype(list.Count));
    for (size_t i = 0; i < list.Count; ++i) {
        const TIconImage& entry = list.Images[i];
        QString why = "no bytes";
        QImage image;
        if (entry.Png && entry.Size > 0 && entry.Size <= size_t(INT_MAX))
            image = platform::DecodePng(
                QByteArray::fromRawData(reinterpret_cast<const char*>(entry.Png),
                                        qsizetype(entry.Size)),
                &why);
        if (image.isNull() && problems)
            problems->append(QString("image %1: %2").arg(i).arg(why));
        images.append(image);
    }
    return images;
}

} // namespace configurator
