// Vendrill under a file-size limit (ulimit -f): every save that passes the limit fails the
// way any failed write does, with the old file kept, and the program lives on. Each case
// runs inside the program's own start-up, in a child, so a process the limit kills fails.
#include "CardFakes.h"
#include "FileReplace.h"
#include "MessageBox.h"
#include "NoHardLinks.h"
#include "Program.h"
#include "ProgramChild.h"
#include "ProjectHost.h"
#include "ProjectXML.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestFiles.h"
#include "XmlDocument.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

using programchild::FileSizeLimit;
using testfiles::ReadFile;
using testfiles::WriteFile;

// A project of about 2 KB, so that a limit of 1 KB cuts its save short.
const QByteArray kProject =
    "<Device Name=\"P\" NetAddr=\"1\">\n<!-- " + QByteArray(2000, 'x') +
    " -->\n<Screen Width1=\"200\" Width2=\"100\" Style=\"0\"/>\n</Device>\n";

QByteArray Kept(const QString& path, const QByteArray& old) {
    return ReadFile(path) == old ? "old file kept" : "old file changed";
}

QByteArray Shown(const platform::RecordingMessageBox& boxes) {
    QByteArray texts;
    for (const auto& box : boxes.Boxes())
        texts += box.text.toUtf8() + "; ";
    return texts;
}

// A settings save under a limit set from the size of the old settings file.
QByteArray SaveSettings(qsizetype (*limitFor)(qsizetype oldSize)) {
    const QString path = platform::SettingsFilePath(TQeldSettings::Section);
    const QByteArray old = ReadFile(path);
    TQeldSettings settings;
    settings.Link.Port = 7;
    FileSizeLimit limit(rlim_t(limitFor(old.size())));
    const bool saved = settings.Save();
    return (saved ? "saved; " : "refused; ") + Kept(path, old);
}

// The settings file made a symbolic link to a file in another folder, as a user who keeps
// settings elsewhere has it.
QByteArray AsLinkElsewhere(const QString& dir) {
    const QString path = platform::SettingsFilePath(TQeldSettings::Section);
    const QString target = dir + "/elsewhere/settings.ini";
    if (!QDir().mkpath(dir + "/elsewhere") || !QFile::rename(path, target) ||
        !QFile::link(target, path))
        return "no link made; ";
    return {};
}

QByteArray StillALink(const QString& dir) {
    const QFileInfo link(platform::SettingsFilePath(TQeldSettings::Section));
    return link.isSymLink() && link.symLinkTarget() == dir + "/elsewhere/settings.ini"
               ? "; still a link"
               : "; link replaced";
}

qsizetype PastTheNewFile(qsizetype old) {
    return old + 10;
}

qsizetype BelowTheOldFile(qsizetype old) {
    return old / 2;
}

struct Case {
    const char* name;
    // Runs in the child with the shared folder; reports what happened.
    std::function<QByteArray(const QString& dir)> job;
    std::function<QByteArray(const QString& dir)> expected;
};

const Case kCases[] = {
    {"project save, replacing the file",
     [](const QString& dir) {
         const QString path = dir + "/project.xml";
         platform::RecordingMessageBox boxes;
         projecttest::TestHost host;
         TXMLProject project(host);
         if (!project.LoadFromFile(path))
             return QByteArray("not loaded");
         FileSizeLimit limit(1024);
         const bool saved = project.Save();
         return (saved ? "saved; " : "refused; ") + Shown(boxes) + Kept(path, kProject);
     },
     [](const QString& dir) {
         return "refused; Неудалось записать фаил" + (dir + "/project.xml").toUtf8() +
                "; old file kept";
     }},
    // Shorter than the old file, so nothing needs reserving: the limit alone must stop it
    // before the first byte.
    {"project save in place",
     [](const QString& dir) {
         const QString path = dir + "/project.xml";
         FileSizeLimit limit(1024);
         const platform::FileWrite status = platform::WriteFileInPlace(
             path, "<Device NetAddr=\"2\">" + QByteArray(1500, ' ') + "</Device>\n");
         return (!status.ok ? "refused; " : "written; ") + Kept(path, kProject);
     },
     [](const QString&) { return QByteArray("refused; old file kept"); }},
    {"card file download into Temp",
     [](const QString& dir) {
         const QString path = dir + "/DATA.BIN";
         const QByteArray old(100, 'o');
         WriteFile(path, old);
         cardtest::CardRig rig;
         cardtest::Fat16Builder card;
         card.PutFile({5, 6, 7}, QByteArray(1500, 'd'));
         if (!rig.MountImage(card.Image()))
             return QByteArray("not mounted");
         TCardEntry entry;
         entry.FirstCluster = 5;
         entry.Size = 1500;
         FileSizeLimit limit(1024);
         const bool written = rig.Reader.DownloadFile(entry, path);
         return (written ? "written; " : "refused; ") + Shown(rig.Boxes) + Kept(path, old);
     },
     [](const QString& dir) {
         return "refused; Неудалось записать фаил" + (dir + "/DATA.BIN").toUtf8() +
                "; old file kept";
     }},
    {"settings save", [](const QString&) { return SaveSettings(PastTheNewFile); },
     [](const QString&) { return QByteArray("refused; old file kept"); }},
    // The old file does not fit the limit either: it cannot be written back.
    {"settings save, the old file past the limit",
     [](const QString&) { return SaveSettings(BelowTheOldFile); },
     [](const QString&) { return QByteArray("refused; old file kept"); }},
    {"settings save through a symbolic link, the old file past the limit",
     [](const QString& dir) {
         QByteArray report = AsLinkElsewhere(dir);
         report += SaveSettings(BelowTheOldFile);
         return report + StillALink(dir);
     },
     [](const QString&) { return QByteArray("refused; old file kept; still a link"); }},
    {"settings save in a folder without hard links",
     [](const QString&) {
         if (!nohardlinks::RefuseHardLinks())
             return QByteArray("hard links not refused");
         return SaveSettings(PastTheNewFile);
     },
     [](const QString&) { return QByteArray("refused; old file kept"); }},
    {"settings save in a folder without hard links, the old file past the limit",
     [](const QString&) {
         if (!nohardlinks::RefuseHardLinks())
             return QByteArray("hard links not refused");
         return SaveSettings(BelowTheOldFile);
     },
     [](const QString&) { return QByteArray("refused; old file kept"); }},
};

TEST(FileSizeLimit, EachSavePastTheLimitFailsAndKeepsTheOldFile) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(WriteFile(dir.filePath("project.xml"), kProject));
        // Settings with more in them than a save adds, so that the old file fits the
        // limit and the new one does not.
        ASSERT_TRUE(QDir(dir.path()).mkpath("Software"));
        ASSERT_TRUE(WriteFile(dir.filePath("Software/Morlavin_V1.ini"),
                              "[General]\nNote=" + QByteArray(500, 'n') + "\nPort=1\n"));
        const QString home = dir.path();
        const programchild::Outcome outcome =
            programchild::RunInProgram(VendrillMain, home, [&] { return c.job(home); });
        EXPECT_TRUE(outcome.ExitedNormally())
            << "wait status " << outcome.status << " (signal " << WTERMSIG(outcome.status) << ")";
        EXPECT_EQ(outcome.report.toStdString(), c.expected(home).toStdString());
    }
}

} // namespace
