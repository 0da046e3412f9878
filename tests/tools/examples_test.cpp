#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(ArchiveExamples, CommittedFilesAreWhatTheGeneratorWrites) {
    QTemporaryDir dir;
    const QString tool = qEnvironmentVariable("TEST_BIN_DIR") + "/tools/make-archive-examples";
    ASSERT_EQ(QProcess::execute(tool, {dir.path()}), 0) << tool.toStdString();

    for (const char* name : {"archive-enciphered.xxx", "archive-plain.csv"}) {
        const QByteArray made = ReadAll(dir.filePath(name));
        ASSERT_FALSE(made.isEmpty()) << name;
        EXPECT_EQ(ReadAll(QString(EXAMPLES_DIR) + "/" + name), made) << name;
    }

    // Deciphered byte by byte: even offsets XOR 7C, odd ones XOR 3A.
    QByteArray plain = ReadAll(dir.filePath("archive-enciphered.xxx"));
    for (qsizetype i = 0; i + 1 < plain.size(); i += 2) {
        plain[i] = char(uchar(plain[i]) ^ 0x7C);
        plain[i + 1] = char(uchar(plain[i + 1]) ^ 0x3A);
    }
    for (const QByteArray& text : {plain, ReadAll(dir.filePath("archive-plain.csv"))}) {
        ASSERT_TRUE(text.startsWith("Time;Error;1;2;3;"));
        ASSERT_TRUE(text.endsWith("\r\n"));
        const QList<QByteArray> lines = text.chopped(1).split('\n');
        EXPECT_GT(lines.size(), 50);
        for (const QByteArray& line : lines) {
            ASSERT_TRUE(line.endsWith(";\r")) << line.data();
            EXPECT_EQ(line.count(';'), 66) << line.data();
        }
    }
}

} // namespace
