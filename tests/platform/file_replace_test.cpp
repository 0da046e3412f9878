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

} // namespace
