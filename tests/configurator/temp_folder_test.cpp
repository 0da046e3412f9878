#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <functional>

namespace {

using configurator::TTempFolder;

void WriteFile(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("card file");
}

// As a card file's download writes it: a new file put in the old one's place.
void Download(TTempFolder& temp, const QString& name, const QByteArray& bytes) {
    const QString path = temp.Path() + "/" + name;
    temp.DownloadStarts(path);
    QSaveFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    ASSERT_TRUE(file.commit());
    temp.DownloadEnded(path);
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
    TTempFolder temp(Program());
    EXPECT_EQ(temp.Path(), QDir::toNativeSeparators(Program() + "/Temp"));
    EXPECT_TRUE(temp.Create());
    EXPECT_TRUE(QFileInfo(temp.Path()).isDir());
    EXPECT_FALSE(QFileInfo::exists(root.filePath("cache")));
}

TEST_F(TempFolderTest, UnwritableProgramFolderFallsBackToTheUserCache) {
    QString asked;
    TTempFolder temp(Program(), [&](const QString& folder) {
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
    TTempFolder temp(Program());
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

// Also where the window joined the folder through the link: the folder the link leads to
// then holds only what it held, no lock file of the program's.
TEST_F(TempFolderTest, ALinkInPlaceOfTheFolderIsRemovedNotFollowed) {
    for (const bool joined : {false, true}) {
        SCOPED_TRACE(joined);
        const QString elsewhere = root.filePath(joined ? "joined" : "documents");
        ASSERT_TRUE(QDir().mkpath(elsewhere));
        WriteFile(elsewhere + "/keep.txt");
        TTempFolder temp(Program());
        ASSERT_TRUE(QFile::link(elsewhere, temp.Path()));
        if (joined) {
            ASSERT_TRUE(temp.Create());
        }

        EXPECT_TRUE(temp.Remove());
        EXPECT_FALSE(QFileInfo(temp.Path()).isSymLink());
        EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                            QDir::NoDotAndDotDot),
                  QStringList{"keep.txt"});
    }
}

// A file of that name is not the folder: the window's end leaves it under its name.
TEST_F(TempFolderTest, AFileInPlaceOfTheFolderIsLeftAsItIs) {
    TTempFolder temp(Program());
    WriteFile(temp.Path());
    EXPECT_FALSE(temp.Create());

    temp.Remove();
    EXPECT_EQ(QDir(Program()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                        QDir::NoDotAndDotDot),
              QStringList{"Temp"});
    QFile file(temp.Path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "card file");
}

// Two instances started from one program folder share its Temp: the first to close leaves
// the other's files, and the last one removes the folder, leaving nothing beside it.
TEST_F(TempFolderTest, OnlyTheLastInstanceToCloseRemovesTheFolder) {
    for (const bool firstClosesFirst : {true, false}) {
        TTempFolder first(Program()), second(Program());
        ASSERT_TRUE(first.Create());
        ASSERT_TRUE(second.Create());
        ASSERT_EQ(first.Path(), second.Path());
        WriteFile(second.Path() + "/README.TXT"); // handed to the desktop's viewer
        TTempFolder& early = firstClosesFirst ? first : second;
        TTempFolder& last = firstClosesFirst ? second : first;

        EXPECT_TRUE(early.Remove());
        EXPECT_TRUE(QFileInfo::exists(last.Path() + "/README.TXT")) << firstClosesFirst;
        // One that starts now joins the folder that is still in use.
        TTempFolder third(Program());
        ASSERT_TRUE(third.Create());
        EXPECT_TRUE(third.Remove());
        EXPECT_TRUE(QFileInfo::exists(last.Path() + "/README.TXT")) << firstClosesFirst;

        EXPECT_TRUE(last.Remove());
        EXPECT_FALSE(QFileInfo::exists(last.Path())) << firstClosesFirst;
        EXPECT_EQ(QDir(Program()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                            QDir::NoDotAndDotDot),
                  QStringList());
    }
}

// An instance that closes beside another removes what its own downloads wrote and nothing
// else: not a file its download failed to replace, nor one written anew since.
TEST_F(TempFolderTest, AnInstanceClosingBesideAnotherRemovesOnlyWhatItsDownloadsWrote) {
    using Steps = std::function<void(TTempFolder & closing, TTempFolder & other)>;
    const struct Case {
        const char* name;
        Steps steps;
        bool stays;
    } cases[] = {
        {"its own download",
         [](TTempFolder& closing, TTempFolder&) { Download(closing, "A.TXT", "mine"); }, false},
        {"its download over the other's file",
         [](TTempFolder& closing, TTempFolder& other) {
             Download(other, "A.TXT", "theirs");
             Download(closing, "A.TXT", "mine");
         },
         false},
        {"the other's download over its own",
         [](TTempFolder& closing, TTempFolder& other) {
             Download(closing, "A.TXT", "mine");
             Download(other, "A.TXT", "theirs");
         },
         true},
        {"the other's download, again and again",
         [](TTempFolder& closing, TTempFolder& other) {
             Download(closing, "A.TXT", "mine");
             for (int i = 0; i < 8; ++i)
                 Download(other, "A.TXT", "theirs");
         },
         true},
        {"its download that wrote nothing",
         [](TTempFolder& closing, TTempFolder& other) {
             Download(other, "A.TXT", "theirs");
             const QString path = closing.Path() + "/A.TXT";
             closing.DownloadStarts(path);
             closing.DownloadEnded(path);
         },
         true},
        {"a file no download wrote",
         [](TTempFolder&, TTempFolder& other) { WriteFile(other.Path() + "/A.TXT"); }, true},
    };
    for (const Case& c : cases) {
        TTempFolder closing(Program()), other(Program());
        ASSERT_TRUE(closing.Create());
        ASSERT_TRUE(other.Create());
        c.steps(closing, other);
        const QString path = closing.Path() + "/A.TXT";
        EXPECT_TRUE(closing.Remove()) << c.name;
        EXPECT_EQ(QFileInfo::exists(path), c.stays) << c.name;
        EXPECT_TRUE(other.Remove()) << c.name;
        EXPECT_FALSE(QFileInfo::exists(closing.Path())) << c.name;
    }
}

} // namespace
