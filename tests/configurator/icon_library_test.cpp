#include "IconLibrary.h"
#include "IconLibraryAbi.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <dlfcn.h>

namespace {

using configurator::IconLibraryPath;
using configurator::LoadIconLibrary;

QList<QSize> Sizes(const QList<QImage>& images) {
    QList<QSize> sizes;
    for (const QImage& image : images)
        sizes.append(image.size());
    return sizes;
}

TEST(IconLibrary, PathIsTheProjectFolderAndTheDllText) {
    struct Case {
        const char* project;
        const char* dll;
        const char* path;
    } cases[] = {
        {"/home/u/proj/device.xml", "icons.so", "/home/u/proj/icons.so"},
        {"/home/u/proj/device.xml", "lib/icons.so", "/home/u/proj/lib/icons.so"},
        {"/device.xml", "icons.so", "/icons.so"},
        {"device.xml", "icons.so", "icons.so"},
        {"/home/u/proj/device.xml", "", "/home/u/proj/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IconLibraryPath(c.project, c.dll), c.path) << c.project << " + " << c.dll;
}

TEST(IconLibrary, BothExportsGiveBothListsAndADamagedImageKeepsItsPlace) {
    const configurator::TIconLists lists = LoadIconLibrary(ICONS_BOTH);
    ASSERT_TRUE(lists.Big.has_value());
    ASSERT_TRUE(lists.Small.has_value());
    EXPECT_EQ(Sizes(*lists.Big), (QList<QSize>{{32, 32}, {0, 0}, {32, 32}}));
    EXPECT_TRUE(lists.Big->at(1).isNull());
    EXPECT_EQ(Sizes(*lists.Small), (QList<QSize>{{16, 16}, {16, 16}}));
    ASSERT_EQ(lists.Problems.size(), 1);
    EXPECT_TRUE(lists.Problems[0].startsWith("GetBigList: image 1: "))
        << lists.Problems[0].toStdString();
}

TEST(IconLibrary, OneExportLeavesTheOtherListUnset) {
    const configurator::TIconLists lists = LoadIconLibrary(ICONS_BIG_ONLY);
    ASSERT_TRUE(lists.Big.has_value());
    EXPECT_EQ(Sizes(*lists.Big), (QList<QSize>{{32, 32}}));
    EXPECT_FALSE(lists.Small.has_value());
    EXPECT_TRUE(lists.Problems.isEmpty());
}

TEST(IconLibrary, NoFileGivesNoListsAndNoProblem) {
    QTemporaryDir dir;
    for (const QString& path : {dir.filePath("icons.so"), dir.path(), QString()}) {
        const configurator::TIconLists lists = LoadIconLibrary(path);
        EXPECT_FALSE(lists.Big.has_value()) << path.toStdString();
        EXPECT_FALSE(lists.Small.has_value()) << path.toStdString();
        EXPECT_TRUE(lists.Problems.isEmpty()) << path.toStdString();
    }
}

TEST(IconLibrary, AFileThatIsNoLibraryGivesNoListsAndSaysWhy) {
    QTemporaryDir dir;
    QFile file(dir.filePath("icons.so"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a library\n");
    file.close();
    const configurator::TIconLists lists = LoadIconLibrary(file.fileName());
    EXPECT_FALSE(lists.Big.has_value());
    EXPECT_FALSE(lists.Small.has_value());
    ASSERT_EQ(lists.Problems.size(), 1);
    EXPECT_TRUE(lists.Problems[0].contains("icons.so")) << lists.Problems[0].toStdString();
}

TEST(IconLibrary, EachLoadCallsEachExportOnceAndANullListIsUnset) {
    void* probe = dlopen(ICONS_COUNTING, RTLD_NOW);
    ASSERT_NE(probe, nullptr) << dlerror();
    const auto calls = reinterpret_cast<int (*)()>(dlsym(probe, "BigListCalls"));
    ASSERT_NE(calls, nullptr);
    const int before = calls();
    for (int load = 1; load <= 2; ++load) {
        const configurator::TIconLists lists = LoadIconLibrary(ICONS_COUNTING);
        EXPECT_EQ(calls(), before + load);
        ASSERT_TRUE(lists.Big.has_value());
        EXPECT_TRUE(lists.Big->isEmpty());
        EXPECT_FALSE(lists.Small.has_value());
        EXPECT_EQ(lists.Problems, QStringList{"GetSmolList gave no list"});
    }
}

TEST(IconLibrary, ARelativePathLoadsThatFileNotALibraryOfTheSystem) {
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(ICONS_BIG_ONLY, dir.filePath("libdl.so.2")));
    const QString here = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const configurator::TIconLists lists = LoadIconLibrary("libdl.so.2");
    QDir::setCurrent(here);
    ASSERT_TRUE(lists.Big.has_value());
    EXPECT_EQ(lists.Big->size(), 1);
}

TEST(IconLibrary, DecodingAListKeepsEveryIndex) {
    QByteArray png;
    {
        QImage image(4, 3, QImage::Format_RGBA8888);
        image.fill(Qt::red);
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(png.constData());
    const TIconImage images[] = {
        {bytes, size_t(png.size())}, {nullptr, 10}, {bytes, 0}, {bytes, size_t(png.size()) / 2},
        {bytes, size_t(png.size())},
    };
    const TIconList list = {5, images};
    QStringList problems;
    const QList<QImage> decoded = configurator::DecodeIconList(list, &problems);
    EXPECT_EQ(Sizes(decoded), (QList<QSize>{{4, 3}, {0, 0}, {0, 0}, {0, 0}, {4, 3}}));
    EXPECT_EQ(decoded[0].pixelColor(0, 0), QColor(Qt::red));
    ASSERT_EQ(problems.size(), 3);
    EXPECT_EQ(problems[0], "image 1: no bytes");
    EXPECT_EQ(problems[1], "image 2: no bytes");
    EXPECT_TRUE(problems[2].startsWith("image 3: ")) << problems[2].toStdString();
}

TEST(IconLibrary, TheExampleLibraryHasTwelveLargeAndTwelveSmallIcons) {
    const configurator::TIconLists lists = LoadIconLibrary(EXAMPLE_ICONS);
    ASSERT_TRUE(lists.Big.has_value());
    ASSERT_TRUE(lists.Small.has_value());
    EXPECT_TRUE(lists.Problems.isEmpty()) << lists.Problems.join("; ").toStdString();
    EXPECT_EQ(Sizes(*lists.Big), QList<QSize>(12, QSize(32, 32)));
    EXPECT_EQ(Sizes(*lists.Small), QList<QSize>(12, QSize(16, 16)));
}

} // namespace
