#pragma once
// The project's icon library: a shared library beside the project file whose exports
// "GetBigList" and "GetSmolList" hand over the list view's large and small images (the
// form across that boundary is IconLibraryAbi.h).
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct TIconList;

namespace configurator {

struct TIconLists {
    std::optional<QList<QImage>> Big;   // "GetBigList": the icon style's images
    std::optional<QList<QImage>> Small; // "GetSmolList": the table style's images
    // Why a library file that exists gave no list, or why an image of a list is null, in
    // the loader's words (the project tells the user only that images are missing).
    // Nothing here for a missing file or a missing export: those simply give no list.
    QStringList Problems;
};

// The folder part of the project file's path (up to and including its last separator)
// followed by the dll text, as the project names it.
QString IconLibraryPath(const QString& projectFile, const QString& dll);

// Loads the library at path and calls each export it has once. The library stays loaded
// for the rest of the run, so a later load of the same file calls the exports again on
// the loaded copy. No file at path: both lists unset.
TIconLists LoadIconLibrary(const QString& path);

// One list as it crossed the boundary. An image that is not a whole PNG keeps its place
// as a null image, so the indices that the project's items name still match.
QList<QImage> DecodeIconList(const TIconList& list, QStringList* problems = nullptr);

} // namespace configurator
