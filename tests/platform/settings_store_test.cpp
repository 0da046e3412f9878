// A settings save lands whole or changes nothing, whatever fails on the way, and leaves
// nothing in the program that could write a refused value later. Each failure runs in a
// child of its own, so that what the program keeps between saves is what it kept after
// that failure alone. The full disk runs on a small file system of the test's own, mounted
// in a private mount namespace where the system lets a test make one (as root).
#include "ConfigHome.h"
#include "FileReplace.h"
#include "FileSizeLimit.h"
#include "NoHardLinks.h"
#include "SettingsStore.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

using testfiles::ReadFile;
using testfiles::WriteFile;

const QByteArray kCannotRun = "cannot run here";

struct Child {
    pid_t pid = -1;
    int report = -1;
};

// Starts job in a child process, which writes its report for Finish.
Child Start(const std::function<QByteArray()>& job) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        const QByteArray report = job();
        for (qsizetype done = 0; done < report.size();) {
            const ssize_t n = ::write(fds[1], report.constData() + done, report.size() - done);
            if (n <= 0)
                break;
            done += n;
        }
        _exit(0);
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

// The child's report, once it has ended.
QByteArray Finish(const Child& child) {
    QByteArray report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(child.report, buffer, sizeof buffer)) > 0;)
        report.append(buffer, n);
    ::close(child.report);
    int status = 0;
    waitpid(child.pid, &status, 0);
    if (!WIFEXITED(status))
        report += " (killed by signal " + QByteArray::number(WTERMSIG(status)) + ")";
    return report;
}

QByteArray InChild(const std::function<QByteArray()>& job) {
    return Finish(Start(job));
}

QString SettingsFolder() {
    return g_config->dir.filePath("Software");
}

// Makes the settings folder a 64 KB tmpfs of this process's own.
bool MountSmallSettingsFolder() {
    const QByteArray folder = QFile::encodeName(SettingsFolder());
    QDir().mkpath(SettingsFolder());
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", folder.constData(), "tmpfs", 0, "size=64k") == 0;
}

// Fills the folder's file system until `pages` pages are left free.
bool LeaveFree(const QString& folder, unsigned long pages) {
    struct statvfs fs;
    if (statvfs(QFile::encodeName(folder).constData(), &fs) != 0 || fs.f_bavail < pages)
        return false;
    const QByteArray filler((fs.f_bavail - pages) * fs.f_frsize, 'f');
    const int fd = open(QFile::encodeName(folder + "/filler").constData(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written = fd >= 0 && write(fd, filler.constData(), filler.size()) == filler.size();
    close(fd);
    return written && statvfs(QFile::encodeName(folder).constData(), &fs) == 0 &&
           fs.f_bavail == pages;
}

bool FillTheDisk(const QString& folder) {
    return LeaveFree(folder, 1);
}

bool FreeTheDisk(const QString& folder) {
    return QFile::remove(folder + "/filler");
}

// The entries beside the settings file under names made from its own, as a save's lock and
// new file are.
QStringList Beside(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    QStringList names = QFileInfo(path).dir().entryList(
        {name + "*"}, QDir::AllEntries | QDir::Hidden | QDir::System);
    names.removeAll(name);
    return names;
}

void SetFileSizeLimit(rlim_t bytes) {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

int OpenRefused(const char*, int, mode_t) {
    errno = EIO;
    return -1;
}
ssize_t WriteRefused(int, const void*, size_t) {
    errno = EIO;
    return -1;
}
// Half the bytes reach the file, then the device fails.
ssize_t WriteCutShort(int fd, const void* bytes, size_t size) {
    static bool cut = false;
    if (std::exchange(cut, true))
        return WriteRefused(fd, bytes, size);
    return ::write(fd, bytes, size / 2);
}
int FsyncRefused(int) {
    errno = EIO;
    return -1;
}
int CloseRefused(int fd) {
    ::close(fd);
    errno = EIO;
    return -1;
}
int RenameRefused(const char*, const char*) {
    errno = EIO;
    return -1;
}

// The user's own lines beside the program's: a comment, a group of their own with a
// Cyrillic name, a list, values of other types, one of them none, and one that never equals
// itself.
const QByteArray kOld = "; kept by hand\n"
                        "[General]\n"
                        "Note=" +
                        QByteArray(3000, 'n') +
                        "\n"
                        "Port=1\n"
                        "\n"
                        "[Own]\n"
                        "Ключ=\"a, b\"\n"
                        "Odd=@Variant(\\0\\0\\0\\x6\\x7f\\xf8\\0\\0\\0\\0\\0\\0)\n"
                        "List=1, 2\n"
                        "Area=@Rect(1 2 3 4)\n"
                        "None=@Invalid()\n";

QByteArray WithTop(const QByteArray& old) {
    QByteArray text = old;
    return text.replace("Port=1\n", "Port=1\nTop=3\n");
}

// A user of the machine other than root, for a file that is root's.
constexpr uid_t kUser = 65534;

struct FaultCase {
    const char* name;
    // Before the old file is written, where the fault needs its own file system or folder:
    // false when it cannot be had here.
    std::function<bool()> prepare;
    std::function<bool(const QString& path)> fault;
    std::function<bool(const QString& path)> lift;
};

bool asUser = false;

// Run as root, the file is root's in the user's own folder, and the save runs as the user,
// who may replace the file but not write it; run as a user, the file is read-only.
bool ReadOnlyFile(const QString& path) {
    if (geteuid() != 0)
        return chmod(QFile::encodeName(path).constData(), 0444) == 0;
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    asUser = true;
    // Root is kept as the saved user, to give the file to the user afterwards.
    return chmod(QFile::encodeName(g_config->dir.path()).constData(), 0755) == 0 &&
           chmod(QFile::encodeName(SettingsFolder()).constData(), 0755) == 0 &&
           chown(folder.constData(), kUser, kUser) == 0 && setresgid(kUser, kUser, 0) == 0 &&
           setresuid(kUser, kUser, 0) == 0;
}

bool WritableFile(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    if (!asUser)
        return chmod(file.constData(), 0644) == 0;
    return seteuid(0) == 0 && chown(file.constData(), kUser, kUser) == 0 && seteuid(kUser) == 0;
}

uid_t Owner(const QString& path) {
    struct stat status {};
    stat(QFile::encodeName(path).constData(), &status);
    return status.st_uid;
}

// A system call of the file replacement fails, as a failing device or file system has it.
FaultCase CallFails(const char* name, const ReplaceCalls& calls) {
    const auto set = [](const ReplaceCalls& calls) {
        SetReplaceCalls(calls);
        return true;
    };
    return {name, {}, [=](auto&) { return set(calls); }, [=](auto&) { return set({}); }};
}

bool LinksRefused(bool refused) {
    return !refused || nohardlinks::RefuseHardLinks();
}

// One page left: the lock beside the file takes it, and the new file finds no room.
FaultCase FullDisk(const char* name, bool noHardLinks) {
    return {name, MountSmallSettingsFolder,
            [noHardLinks](const QString& path) {
                return LinksRefused(noHardLinks) && FillTheDisk(QFileInfo(path).path());
            },
            [](const QString& path) { return FreeTheDisk(QFileInfo(path).path()); }};
}

// A file-size limit (ulimit -f) of the old file's size, which the new one passes, or of
// half of it.
FaultCase SizeLimit(const char* name, qint64 divisor, bool noHardLinks) {
    return {name,
            {},
            [=](const QString& path) {
                SurviveFileSizeLimit();
                SetFileSizeLimit(rlim_t(QFileInfo(path).size() / divisor));
                return LinksRefused(noHardLinks);
            },
            [](auto&) {
                SetFileSizeLimit(RLIM_INFINITY);
                return true;
            }};
}

const FaultCase kFaults[] = {
    CallFails("create refused", {.open = OpenRefused}),
    CallFails("write refused", {.write = WriteRefused}),
    CallFails("write cut short, then refused", {.write = WriteCutShort}),
    CallFails("fsync refused", {.fsync = FsyncRefused}),
    CallFails("close refused", {.close = CloseRefused}),
    CallFails("rename refused", {.rename = RenameRefused}),
    FullDisk("full disk", false),
    FullDisk("full disk, no hard links", true),
    SizeLimit("file-size limit, the old file within it", 1, false),
    SizeLimit("file-size limit, the old file past it", 2, false),
    SizeLimit("file-size limit, no hard links", 1, true),
    {"read-only file", {}, ReadOnlyFile, WritableFile},
};

QByteArray Saved(bool saved) {
    return saved ? "saved" : "refused";
}

QByteArray Kept(const QString& path, const QByteArray& old) {
    return ReadFile(path) == old ? "old file" : "file changed";
}

// One failure: a single write and a batch refused with the file as it was, reads and the
// file's name taken anew writing nothing, nothing left beside; then, the fault gone, a
// write of another key keeps the old content and never writes a refused value.
QByteArray RunFault(const FaultCase& c, const QString& section) {
    if (c.prepare && !c.prepare())
        return kCannotRun;
    const QString path = SettingsFilePath(section);
    QDir().mkpath(QFileInfo(path).path());
    if (!WriteFile(path, kOld))
        return "no old file";
    const uid_t owner = Owner(path);
    if (!c.fault(path))
        return kCannotRun;
    SettingsStore& store = UserSettings();
    QByteArray report = Saved(store.Write(section, "Port", "7000")) + ", " + Kept(path, kOld);
    store.Begin();
    store.Write(section, "Port", "8000");
    store.Write(section, "Width", "5");
    report += "; " + Saved(store.Commit()) + ", " + Kept(path, kOld);
    const std::optional<QVariant> port = store.Read(section, "Port");
    report += "; reads " + (port ? port->toString().toUtf8() : "nothing");
    SettingsFilePath(section); // as a message that names the file takes it
    report += ", " + Kept(path, kOld) + (Owner(path) == owner ? ", same owner" : ", new owner");
    report += "; beside: " + Beside(path).join(' ').toUtf8();
    if (!c.lift(path))
        return report + "; fault not lifted";
    report += "; then " + Saved(store.Write(section, "Top", "3"));
    const QByteArray now = ReadFile(path);
    report += now == WithTop(kOld) ? ", old content and Top"
                                   : ", " + QByteArray(now).replace(QByteArray(3000, 'n'), "n...");
    return report;
}

TEST(SettingsStore, AFailedSaveChangesNothingAndNoLaterSaveWritesItsValues) {
    QStringList notRun;
    int index = 0;
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.name);
        const QString section = QStringLiteral("Users/Fault%1").arg(++index);
        const QByteArray report = InChild([&] { return RunFault(c, section); });
        if (report == kCannotRun) {
            notRun << c.name;
            continue;
        }
        EXPECT_EQ(report.toStdString(), "refused, old file; refused, old file; reads 1, old file, "
                                        "same owner; beside: ; then saved, old content and Top");
    }
    if (!notRun.isEmpty())
        GTEST_SKIP() << "not run here: " << notRun.join(", ").toStdString();
}

// A writer killed between writing its new file and the rename leaves that file and its lock
// beside the settings; the next save takes the lock over and removes the file, and the
// user's own files of like names stay.
TEST(SettingsStore, TheNewFileOfAKilledWriterIsRemovedByTheNextSave) {
    const QString path = SettingsFilePath("Killed");
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(WriteFile(path, "[General]\nPort=1\n"));
    const QStringList own = {"Killed.ini.backup", "Killed.ini.saving", "Killed.ini.saving.ab"};
    for (const QString& name : own)
        ASSERT_TRUE(WriteFile(QFileInfo(path).dir().filePath(name), "mine"));
    const QByteArray report = InChild([] {
        SetReplaceCalls({.fsync = [](int) {
            raise(SIGKILL);
            return -1;
        }});
        return Saved(UserSettings().Write("Killed", "Port", "2"));
    });
    EXPECT_EQ(report.toStdString(), " (killed by signal 9)");
    EXPECT_EQ(Beside(path).size(), own.size() + 2) << Beside(path).join(' ').toStdString();

    EXPECT_TRUE(UserSettings().Write("Killed", "Width", "3"));
    EXPECT_EQ(ReadFile(path).toStdString(), "[General]\nPort=1\nWidth=3\n");
    EXPECT_EQ(Beside(path), own);
}

// Two programs saving distinct keys of one section at once (two Vendrills closed together):
// every value reported saved is in the file, none reported refused is, and the user's own
// key stays.
TEST(SettingsStore, TwoProcessesSavingAtOnceLoseNothing) {
    constexpr int kKeys = 300;
    const QString section = "Together";
    const QString path = SettingsFilePath(section);
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(WriteFile(path, "[Own]\nKept=1\n"));
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    // Single writes and batches of two, each reported as "key 1" or "key 0".
    const auto saves = [&](const QString& prefix) {
        return [&, prefix] {
            ::close(start[1]);
            char go;
            (void)!::read(start[0], &go, 1);
            SettingsStore& store = UserSettings();
            QByteArray report;
            for (int i = 0; i < kKeys; i += 3) {
                const QString one = prefix + QString::number(i);
                const QString two = prefix + QString::number(i + 1);
                const QString three = prefix + QString::number(i + 2);
                const bool single = store.Write(section, one, one.toLower());
                store.Begin();
                store.Write(section, two, two.toLower());
                store.Write(section, three, three.toLower());
                const bool batch = store.Commit();
                report += QStringLiteral("%1 %2\n%3 %4\n%5 %4\n")
                              .arg(one)
                              .arg(single)
                              .arg(two)
                              .arg(batch)
                              .arg(three)
                              .toUtf8();
            }
            return report;
        };
    };
    const Child children[] = {Start(saves("A")), Start(saves("B"))};
    ::close(start[0]);
    ::close(start[1]); // both start
    int saved = 0;
    for (const Child& child : children)
        for (const QByteArray& line : Finish(child).split('\n')) {
            if (line.isEmpty())
                continue;
            const QList<QByteArray> parts = line.split(' ');
            ASSERT_EQ(parts.size(), 2) << line.toStdString();
            const QString key = QString::fromUtf8(parts[0]);
            const std::optional<QVariant> value = UserSettings().Read(section, key);
            if (parts[1] == "1") {
                ++saved;
                EXPECT_EQ(value ? value->toString() : "(lost)", key.toLower());
            } else {
                EXPECT_FALSE(value.has_value()) << key.toStdString() << " refused but landed";
            }
        }
    EXPECT_EQ(saved, 2 * kKeys);
    EXPECT_EQ(UserSettings().Read(section, "Own/Kept"), QVariant("1"));
}

// Nothing of a save depends on the folder for temporary files.
TEST(SettingsStore, SavesWhateverTheTemporaryFolder) {
    const QByteArray saved = qgetenv("TMPDIR");
    const QString file = g_config->dir.filePath("not-a-folder");
    ASSERT_TRUE(WriteFile(file, "x"));
    const QByteArray folders[] = {"/nonexistent/tmp", QFile::encodeName(file),
                                  "/" + QByteArray(PATH_MAX, 't')};
    int width = 0;
    for (const QByteArray& folder : folders) {
        SCOPED_TRACE(folder.left(40).toStdString());
        qputenv("TMPDIR", folder);
        const QString text = QString::number(++width);
        EXPECT_TRUE(UserSettings().Write("AnyTemp", "Width", text));
        UserSettings().Begin();
        UserSettings().Write("AnyTemp", "Height", text);
        EXPECT_TRUE(UserSettings().Commit());
        EXPECT_EQ(UserSettings().Read("AnyTemp", "Width"), QVariant(text));
        EXPECT_EQ(ReadFile(SettingsFilePath("AnyTemp")).toStdString(),
                  ("[General]\nHeight=" + text + "\nWidth=" + text + "\n").toStdString());
    }
    if (saved.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", saved);
}

// A hand-edited value that never equals itself stays as it was and stops no save.
TEST(SettingsStore, AValueThatNeverEqualsItselfStopsNoSave) {
    const QString path = SettingsFilePath("Odd");
    QDir().mkpath(QFileInfo(path).path());
    const QByteArray odd = "Odd=@Variant(\\0\\0\\0\\x6\\x7f\\xf8\\0\\0\\0\\0\\0\\0)\n";
    ASSERT_TRUE(WriteFile(path, "[General]\n" + odd + "Port=1\n"));
    EXPECT_TRUE(UserSettings().Write("Odd", "Port", "2"));
    EXPECT_TRUE(UserSettings().Write("Odd", "Width", "3"));
    EXPECT_EQ(ReadFile(path).toStdString(),
              ("[General]\n" + odd + "Port=2\nWidth=3\n").toStdString());
    const std::optional<QVariant> value = UserSettings().Read("Odd", "Odd");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->typeId(), QMetaType::Double);
    EXPECT_TRUE(std::isnan(value->toDouble()));
}

// A line QSettings reads otherwise than it looks, or that hides what follows it, stops no
// save: the value saved reads back, and so does the user's own.
TEST(SettingsStore, AnOddHandEditedLineStopsNoSave) {
    const struct {
        const char* what;
        QByteArray text;
    } cases[] = {
        {"a key with an empty part", "[General]\n\\Width=1\nOwn=2\n"},
        {"a quote never closed", "[General]\nOwn=2\nNote=\"open\n"},
        {"a backslash at the very end", "[General]\nOwn=2\nDir=C:\\"},
        {"blanks after a byte order mark", "\xEF\xBB\xBF\tWidth=1\nOwn=2\n"},
    };
    const QString path = SettingsFilePath("HandEdited");
    QDir().mkpath(QFileInfo(path).path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFile(path, c.text));
        EXPECT_TRUE(UserSettings().Write("HandEdited", "Width", "640"));
        EXPECT_EQ(UserSettings().Read("HandEdited", "Width"), QVariant("640"));
        EXPECT_EQ(UserSettings().Read("HandEdited", "Own"), QVariant("2"));
    }
}

// QSettings takes a file of the same size and time as one it read for unchanged; a read
// here sees the file as it is on the disk, as another program may just have written it.
TEST(SettingsStore, AReadSeesTheFileAsItIsOnTheDisk) {
    const QString path = SettingsFilePath("Fresh");
    QDir().mkpath(QFileInfo(path).path());
    const QDateTime time = QDateTime::currentDateTime().addSecs(-60);
    for (const char* port : {"1", "2", "3"}) {
        ASSERT_TRUE(WriteFile(path, QByteArray("[General]\nPort=") + port + "\n"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
        file.close();
        EXPECT_EQ(UserSettings().Read("Fresh", "Port"), QVariant(port));
    }
}

// Where the folder takes no hard link (FAT), a save goes on as elsewhere and leaves nothing
// beside the file.
TEST(SettingsStore, AFolderWithoutHardLinksSavesAndLeavesNothingBeside) {
    const QByteArray report = InChild([] {
        if (!nohardlinks::RefuseHardLinks())
            return kCannotRun;
        const QString path = SettingsFilePath("NoLinks");
        const bool saved = UserSettings().Write("NoLinks", "Width", "1") &&
                           UserSettings().Write("NoLinks", "Height", "2");
        return Saved(saved) + "; " + ReadFile(path) +
               "; beside: " + Beside(path).join(' ').toUtf8();
    });
    if (report == kCannotRun)
        GTEST_SKIP() << "hard links cannot be refused here";
    EXPECT_EQ(report.toStdString(), "saved; [General]\nHeight=2\nWidth=1\n; beside: ");
}

// A FIFO in the settings file's place is neither waited on nor replaced: the read finds no
// value and the save fails. The alarm only turns a hang into a failure.
TEST(SettingsStore, AFifoInTheFilesPlaceIsRefusedAtOnce) {
    const QString path = SettingsFilePath("Fifo");
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const QByteArray report = InChild([&] {
        alarm(20);
        const bool read = UserSettings().Read("Fifo", "Width").has_value();
        const bool saved = UserSettings().Write("Fifo", "Width", "1");
        return QByteArray(read ? "read" : "nothing read") + ", " + Saved(saved);
    });
    EXPECT_EQ(report.toStdString(), "nothing read, refused");
    struct stat status {};
    EXPECT_TRUE(stat(QFile::encodeName(path).constData(), &status) == 0 &&
                S_ISFIFO(status.st_mode));
}

// Texts that need quotes or escapes in the file read back as they were written, and stay so
// through a later save of another key.
TEST(SettingsStore, EveryTextReadsBackAsWritten) {
    const QString texts[] = {"",
                             QString(),
                             QChar(0xFEFF) + QString("bom"),
                             QChar(0xFEFF) + QString(", in quotes"),
                             " leading",
                             "trailing ",
                             "  ",
                             "a, b",
                             "a;b",
                             "x=y",
                             "\"quoted\"",
                             "back\\slash\\",
                             "tab\tend",
                             "two\nlines\r\n",
                             "@at",
                             "@Variant(x)",
                             "@String(x)",
                             QString("nul") + QChar(0) + "1a",
                             QString(QChar(1)) + "a",
                             "\x1b"
                             "f",
                             "\x7f",
                             "/tmp/a b/Архив",
                             "é 😀",
                             "[General]",
                             "; no comment",
                             "\\x41"};
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        ASSERT_TRUE(UserSettings().Write("Texts", "Value", text));
        ASSERT_TRUE(UserSettings().Write("Texts", "Other", "1"));
        const std::optional<QVariant> read = UserSettings().Read("Texts", "Value");
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->typeId(), QMetaType::QString);
        EXPECT_EQ(read->toString(), text);
    }
}

} // namespace
