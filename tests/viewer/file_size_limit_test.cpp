// Brisquel's CSV export under a file-size limit (ulimit -f): an export that passes the
// limit fails and leaves neither a cut file nor a changed old one, and the program lives
// on. Each case runs inside the program's own start-up, in a child, so a process the
// limit kills fails.
#include "ArchiveFormat.h"
#include "Program.h"
#include "ProgramChild.h"
#include "TestFiles.h"
#include "VaskRegistry.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

using testfiles::ReadFile;
using testfiles::WriteFile;

// Lines of 29 bytes and their line ends.
QByteArray Export(qsizetype lineCount) {
    QByteArray text;
    for (qsizetype i = 0; i < lineCount; ++i)
        text += "01.01.2024 00:00:00;1;2;3;4;5\n";
    return text;
}

TEST(FileSizeLimit, CsvExportPastTheLimitFailsAndKeepsTheOldFile) {
    // A small export is written at its end in one piece, a large one a chunk at a time.
    const struct {
        qsizetype lines;
        rlim_t limit;
    } cases[] = {{100, 1024}, {100'000, 2'000'000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        QTemporaryDir home;
        QTemporaryDir dir;
        const QString path = dir.filePath("Копия.CSV");
        const QByteArray old(100, 'o');
        ASSERT_TRUE(WriteFile(path, old));
        const programchild::Outcome outcome =
            programchild::RunInProgram(viewer::BrisquelMain, home.path(), [&] {
                TArchiveLines lines;
                lines.Assign(Export(c.lines));
                programchild::FileSizeLimit limit(c.limit);
                return QByteArray(viewer::WriteArchiveLines(path, lines) ? "written" : "refused");
            });
        EXPECT_TRUE(outcome.ExitedNormally())
            << "wait status " << outcome.status << " (signal " << WTERMSIG(outcome.status) << ")";
        EXPECT_EQ(outcome.report, "refused");
        EXPECT_TRUE(ReadFile(path) == old) << "the old file changed";
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Копия.CSV"});
    }
}

// The desktop files of a file-type association: an icon larger than the limit is refused
// and not left cut short.
TEST(FileSizeLimit, FileTypeIconPastTheLimitIsReportedAndNotWritten) {
    QTemporaryDir home;
    const QString icon = home.path() + "/icons/hicolor/48x48/mimetypes/application-x-xxxfile.png";
    const programchild::Outcome outcome =
        programchild::RunInProgram(viewer::BrisquelMain, home.path(), [] {
            TVaskRegistry reg;
            reg.ProgramPath = [] { return QStringLiteral("/opt/Brisquel"); };
            reg.IconPng = QByteArray(3000, 'i');
            reg.RunTool = [](const QString&, const QStringList&) {};
            programchild::FileSizeLimit limit(1024);
            try {
                reg.RegisterFileType(".xxx", "xxxFile");
            } catch (const ERegistryError& error) {
                return error.Message().toUtf8();
            }
            return QByteArray("registered");
        });
    EXPECT_TRUE(outcome.ExitedNormally())
        << "wait status " << outcome.status << " (signal " << WTERMSIG(outcome.status) << ")";
    EXPECT_EQ(QString::fromUtf8(outcome.report).toStdString(),
              ("Неудалось записать фаил" + icon).toStdString());
    EXPECT_FALSE(QFileInfo::exists(icon));
}

} // namespace
