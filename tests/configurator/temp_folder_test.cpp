#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using configurator::TTempFolder;

void WriteFile(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("card file");
}

// A cache folder and a home of the test's own, so nothing lands in the real ones.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        savedCache = qgetenv("XDG_CACHE_HOME");
        savedHome = qgetenv("HOME");
        qputenv("XDG_CACHE_HOME", root.filePath("cache").toLocal8Bit());
        qputenv("HOME", root.filePath("home").toLocal8Bit());
        ASSERT_TRUE(QDir().mkpath(root.filePath("program")));
    }
    void TearDown() override {
        qputenv("XDG_CACHE_HOME", savedCache);
        qputenv("HOME", savedHome);
    }
    QString Program() const { return root.filePath("program"); }

    QTemporaryDir root;
    QByteArray savedCache, savedHome;
};

TEST_F(TempFolderTest, WritableProgramFolderHoldsTemp) {
    const TTempFolder temp(Program());
    EXPECT_EQ(temp.Path(), QDir::toNativeSeparators(Program() + "/Temp"));
    EXPECT_TRUE(temp.Create());
    EXPECT_TRUE(QFileInfo(temp.Path()).isDir());
    EXPECT_FALSE(QFileInfo::exists(root.filePath("cache")));
}

TEST_F(TempFolderTest, UnwritableProgramFolderFallsBackToTheUserCache) {
    QString asked;
    const TTempFolder temp(Program(), [&](const QString& folder) {
        asked = folder;
        return false;
    });
    EXPECT_EQ(asked, Program());
    EXPECT_EQ(temp.Path(), QDir::toNativeSeparators(root.filePath("cache") + "/Vendrill/Temp"));
    EXPECT_TRUE(temp.Create());
    EXPECT_TRUE(QFileInfo(temp.Path()).isDir());
    EXPECT_FALSE(QFileInfo::exists(Program() + "/Temp"));
}

TEST_F(TempFolderTest, ProgramFolderThatCannotExistFallsBackToTheUserCache) {
    // Under a regular file no folder can be made, whoever runs the test.
    WriteFile(root.filePath("file"));
    const TTempFolder temp(root.filePath("file/bin"));
    EXPECT_EQ(temp.Path(), QDir::toNativeSeparators(root.filePath("cache") + "/Vendrill/Temp"));
}

TEST_F(TempFolderTest, CacheFolderComesFromTheEnvironment) {
    const QString home = root.filePath("home");
    struct Case {
        QByteArray cache;
        QString folder;
    } cases[] = {
        {"/var/cache/u", "/var/cache/u"},
        {"relative/cache", home + "/.cache"},
        {"", home + "/.cache"},
    };
    for (const Case& c : cases) {
        qputenv("XDG_CACHE_HOME", c.cache);
        EXPECT_EQ(configurator::UserCacheFolder(), c.folder) << c.cache.data();
    }
    qunsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(configurator::UserCacheFolder(), home + "/.cache");
}

TEST_F(TempFolderTest, ExistingFolderIsReusedAndRemovedWithEverythingInIt) {
    const TTempFolder temp(Program());
    ASSERT_TRUE(QDir().mkpath(temp.Path() + "/LOGS/2024"));
    WriteFile(temp.Path() + "/ARCH0001.XXX");
    WriteFile(temp.Path() + "/LOGS/2024/DATA.CSV");
    ASSERT_TRUE(temp.Create());
    EXPECT_TRUE(QFileInfo::exists(temp.Path() + "/ARCH0001.XXX"));

    EXPECT_TRUE(temp.Remove());
    EXPECT_FALSE(QFileInfo::exists(temp.Path()));
    EXPECT_TRUE(QFileInfo(Program()).isDir());
    // Nothing left to remove is no failure.
    EXPECT_TRUE(temp.Remove());
}

TEST_F(TempFolderTest, ALinkInPlaceOfTheFolderIsRemovedNotFollowed) {
    const QString elsewhere = root.filePath("documents");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    WriteFile(elsewhere + "/keep.txt");
    const TTempFolder temp(Program());
    ASSERT_TRUE(QFile::link(elsewhere, temp.Path()));

    EXPECT_TRUE(temp.Remove());
    EXPECT_FALSE(QFileInfo(temp.Path()).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(elsewhere + "/keep.txt"));
}

} // namespace
