// The file replacement as every save reaches it: only a regular file is replaced or written
// over, the file is found where the kernel's links lead, and the name beside a file is text.
#include "FileReplace.h"
#include "TestFiles.h"
#include "XmlDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <algorithm>
#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace platform;
using testfiles::FileKind;
using testfiles::ReadFile;
using testfiles::WriteFile;

namespace {

const QByteArray kContent = "<Device NetAddr=\"2\"/>\n";

struct Writer {
    const char* name;
    std::function<FileWrite(const QString& path)> write;
};

FileWrite ThroughReplacingFile(const QString& path) {
    ReplacingFile file(path);
    if (file.Open() && file.Write(kContent) && file.Commit())
        return {};
    return {false, file.ErrorString()};
}

FileWrite ThroughTheDocument(const QString& path) {
    XmlDocument doc;
    if (!doc.LoadFromData(kContent).Ok())
        return {false, "not loaded"};
    const XmlStatus status = doc.Save(path);
    return {status.Ok(), status.message};
}

const Writer kWriters[] = {
    {"ReplaceFile", [](const QString& path) { return ReplaceFile(path, kContent); }},
    {"ReplacingFile", ThroughReplacingFile},
    {"WriteFileInPlace", [](const QString& path) { return WriteFileInPlace(path, kContent); }},
    {"the project document", ThroughTheDocument},
};

// Every name in the folder with the kind of file it is.
QMap<QString, mode_t> Kinds(const QDir& dir) {
    QMap<QString, mode_t> kinds;
    for (const QString& name :
         dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
        kinds[name] = FileKind(dir.filePath(name));
    return kinds;
}

bool Link(const QDir& dir, const char* name, const char* target) {
    return ::symlink(target, QFile::encodeName(dir.filePath(name)).constData()) == 0;
}

// What stands at the path a save is given, made in an empty folder; false where this
// process may not make it.
struct Target {
    const char* name;
    std::function<bool(const QDir& dir)> make;
};

const Target kTargets[] = {
    {"FIFO",
     [](const QDir& dir) { return testfiles::MakeNotRegular(dir.filePath("p.xml"), S_IFIFO); }},
    {"link to a FIFO",
     [](const QDir& dir) {
         return testfiles::MakeNotRegular(dir.filePath("fifo"), S_IFIFO) &&
                Link(dir, "p.xml", "fifo");
     }},
    {"device",
     [](const QDir& dir) { return testfiles::MakeNotRegular(dir.filePath("p.xml"), S_IFCHR); }},
    {"link to a device",
     [](const QDir& dir) {
         return testfiles::MakeNotRegular(dir.filePath("null"), S_IFCHR) &&
                Link(dir, "p.xml", "null");
     }},
    // The kernel gives up on it (ELOOP): there is no file behind it to write.
    {"loop of links",
     [](const QDir& dir) { return Link(dir, "p.xml", "q.xml") && Link(dir, "q.xml", "p.xml"); }},
};

// A FIFO is not replaced by a new regular file (its reader would get nothing) nor opened
// to wait for a reader; a device is not replaced either. Each way refuses it and leaves
// the folder as it was.
TEST(FileReplace, WhatIsNotARegularFileIsRefusedAndLeftAsItIs) {
    const testfiles::HangGuard guard;
    for (const Target& target : kTargets) {
        for (const Writer& writer : kWriters) {
            SCOPED_TRACE(std::string(target.name) + ", " + writer.name);
            QTemporaryDir temporary;
            const QDir dir(temporary.path());
            if (!target.make(dir))
                continue; // a device, and this process may not make one
            const QMap<QString, mode_t> before = Kinds(dir);
            const FileWrite status = writer.write(dir.filePath("p.xml"));
            EXPECT_FALSE(status.ok);
            EXPECT_FALSE(status.message.isEmpty());
            EXPECT_EQ(Kinds(dir), before);
        }
    }
}

// A regular file replaced by a FIFO while the new content is written is not replaced.
TEST(FileReplace, ATargetThatStopsBeingARegularFileIsNotReplacedAtTheCommit) {
    QTemporaryDir temporary;
    const QDir dir(temporary.path());
    const QString path = dir.filePath("p.xml");
    ASSERT_TRUE(WriteFile(path, "old"));
    ReplacingFile file(path);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Write(kContent));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(testfiles::MakeNotRegular(path, S_IFIFO));
    EXPECT_FALSE(file.Commit());
    EXPECT_FALSE(file.ErrorString().isEmpty());
    EXPECT_EQ(Kinds(dir), (QMap<QString, mode_t>{{"p.xml", S_IFIFO}}));
}

// top/lnk is a link to ../real/sub, and sub/p.xml a link to ../data.xml: the kernel reads
// each target from the folder the link stands in, so top/lnk/p.xml is real/data.xml (not
// top/data.xml, as the path's text would have it). A last link whose file is not there yet
// creates it where the link leads.
TEST(FileReplace, ASaveLandsWhereTheKernelsLinksLead) {
    struct Case {
        const char* link;  // in real/sub
        const char* lands; // below the folder
        bool exists;
    };
    for (const Case& c :
         {Case{"p.xml", "real/data.xml", true}, Case{"fresh.xml", "real/fresh.xml", false}}) {
        for (const Writer& writer : kWriters) {
            if (!c.exists && std::string(writer.name) == "WriteFileInPlace")
                continue; // writes only over a file that is there
            SCOPED_TRACE(std::string(c.link) + ", " + writer.name);
            QTemporaryDir temporary;
            const QDir dir(temporary.path());
            ASSERT_TRUE(dir.mkpath("real/sub") && dir.mkpath("top"));
            ASSERT_TRUE(WriteFile(dir.filePath("real/data.xml"), "old"));
            ASSERT_TRUE(Link(dir, "top/lnk", "../real/sub"));
            ASSERT_TRUE(Link(dir, "real/sub/p.xml", "../data.xml"));
            ASSERT_TRUE(Link(dir, "real/sub/fresh.xml", "../fresh.xml"));
            const QString path = dir.filePath(QStringLiteral("top/lnk/") + c.link);
            const QString lands = QFileInfo(dir.path()).canonicalFilePath() + "/" + c.lands;

            EXPECT_EQ(FileBehindLinks(path).toStdString(), lands.toStdString());
            const FileWrite status = writer.write(path);
            ASSERT_TRUE(status.ok) << status.message.toStdString();
            EXPECT_EQ(ReadFile(lands), kContent);
            EXPECT_EQ(Kinds(QDir(dir.filePath("top"))), (QMap<QString, mode_t>{{"lnk", S_IFLNK}}));
            EXPECT_EQ(Kinds(QDir(dir.filePath("real/sub"))),
                      (QMap<QString, mode_t>{{"p.xml", S_IFLNK}, {"fresh.xml", S_IFLNK}}));
        }
    }
}

bool IsUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

// A name cut to fit beside a file is cut between characters, whatever their width.
TEST(FileReplace, TheNameBesideAFileIsCutBetweenCharacters) {
    const QString zhe(QStringLiteral("ж"));     // two bytes
    const QString grin(QString::fromUtf8("😀")); // four bytes
    struct Case {
        QString path;
        QByteArray suffix;
        QString name;
    };
    const Case cases[] = {
        {"/папка/project.xml", ".abcdef", "/папка/project.xml.abcdef"},
        // 255 bytes; 248 left for the name would end inside a letter.
        {"/папка/a" + zhe.repeated(127), ".abcdef", "/папка/a" + zhe.repeated(123) + ".abcdef"},
        {"/папка/" + zhe.repeated(127), ".before", "/папка/" + zhe.repeated(124) + ".before"},
        {"a" + grin.repeated(63), ".abcdef", "a" + grin.repeated(61) + ".abcdef"},
        {"ab" + grin.repeated(63), ".abcdef", "ab" + grin.repeated(61) + ".abcdef"},
    };
    for (const Case& c : cases) {
        const QByteArray name = NameBeside(c.path.toUtf8(), c.suffix);
        EXPECT_TRUE(IsUtf8(name)) << name.toHex().toStdString();
        EXPECT_EQ(QString::fromUtf8(name), c.name);
    }
}

// The folder's names as the file system holds them.
QList<QByteArray> RawNames(const QString& folder) {
    QList<QByteArray> names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir))
        if (qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0)
            names << QByteArray(entry->d_name);
    ::closedir(dir);
    return names;
}

// A file with the longest Cyrillic name a folder takes saves, and the file written beside
// it meanwhile has a name that is text too.
TEST(FileReplace, ALongCyrillicNameSavesThroughANameThatIsText) {
    QTemporaryDir temporary;
    const QString path = temporary.filePath("a" + QStringLiteral("ж").repeated(127));
    ASSERT_TRUE(WriteFile(path, "old"));
    ReplacingFile file(path);
    ASSERT_TRUE(file.Open()) << file.ErrorString().toStdString();
    const QList<QByteArray> names = RawNames(temporary.path());
    EXPECT_EQ(names.size(), 2);
    for (const QByteArray& name : names)
        EXPECT_TRUE(IsUtf8(name)) << name.toHex().toStdString();
    ASSERT_TRUE(file.Write(kContent) && file.Commit()) << file.ErrorString().toStdString();
    EXPECT_EQ(ReadFile(path), kContent);
    EXPECT_EQ(RawNames(temporary.path()),
              QList<QByteArray>{QFile::encodeName(QFileInfo(path).fileName())});
}

// A link's target is a name of bytes, which need not be text (one written in windows-1251
// on another system): the save lands in the file the link names, not in one whose name is
// what is left of it as text.
TEST(FileReplace, ALinkToANameThatIsNotTextLeadsTheSaveToThatFile) {
    const QByteArray legacy = "\xcf\xf0\xee\xe5\xea\xf2.xml"; // "Проект.xml"
    for (const Writer& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        QTemporaryDir temporary;
        const QString path = temporary.filePath("p.xml");
        ASSERT_EQ(::symlink(legacy.constData(), QFile::encodeName(path).constData()), 0);
        ASSERT_TRUE(WriteFile(path, "old")); // through the link, as the kernel follows it
        const FileWrite status = writer.write(path);
        ASSERT_TRUE(status.ok) << status.message.toStdString();
        EXPECT_EQ(ReadFile(path), kContent);
        QList<QByteArray> names = RawNames(temporary.path());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (QList<QByteArray>{"p.xml", legacy}));
    }
}

} // namespace
