// A settings rewrite that does not reach the disk whole, whatever the cause, puts the old
// file back and fails. The full disk runs on a small file system of the test's own, mounted
// in a private mount namespace where the system lets a test make one (as root).
#include "ConfigHome.h"
#include "SettingsStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

using testfiles::ReadFile;

constexpr int kNoPrivateMount = 77;

// Runs job in a child whose settings folder is a 64 KB tmpfs of its own; the child's exit
// status says how the job went (0 for true, kNoPrivateMount where no tmpfs could be had).
int InSmallSettingsFolder(const std::function<bool(const QString& folder)>& job) {
    const QString folder = g_config->dir.filePath("Software");
    QDir().mkpath(folder);
    const pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0)
            _exit(kNoPrivateMount);
        _exit(job(folder) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

#define CHECK(cond)                                                                                \
    if (!(cond)) {                                                                                 \
        fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond);                                 \
        return false;                                                                              \
    }

// One page left: the lock beside the file takes it, and the rewrite finds no room.
TEST(SettingsStore, AFullDiskKeepsTheOldFileAndTheSaveFails) {
    const int outcome = InSmallSettingsFolder([](const QString& folder) {
        const QString path = SettingsFilePath("Full");
        CHECK(UserSettings().Write("Full", "Note", QString(3000, 'n')));
        const QByteArray before = ReadFile(path);
        CHECK(before.contains("Note="));
        CHECK(LeaveFree(folder, 1));
        CHECK(!UserSettings().Write("Full", "Port", "7"));
        CHECK(ReadFile(path) == before);
        UserSettings().Begin();
        UserSettings().Write("Full", "Port", "8");
        CHECK(!UserSettings().Commit());
        CHECK(ReadFile(path) == before);
        CHECK(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name) ==
              QStringList({"Full.ini", "filler"}));
        // Room again: the next save writes.
        CHECK(QFile::remove(folder + "/filler"));
        CHECK(UserSettings().Write("Full", "Port", "9"));
        CHECK(ReadFile(path).contains("Port=9") && ReadFile(path).contains("Note=nnn"));
        return true;
    });
    if (outcome == kNoPrivateMount)
        GTEST_SKIP() << "no file system of the test's own can be mounted here";
    EXPECT_EQ(outcome, 0);
}

int NoHardLink(const char*, const char*) {
    errno = EPERM;
    return -1;
}

// Where the folder takes no second name of a file (FAT), the old file is kept by a copy,
// and a save goes on as elsewhere.
TEST(SettingsStore, AFolderWithoutHardLinksSavesAndLeavesNothingBeside) {
    SetSettingsLinkCall(NoHardLink);
    const QString path = SettingsFilePath("NoLinks");
    EXPECT_TRUE(UserSettings().Write("NoLinks", "Width", "1"));
    EXPECT_TRUE(UserSettings().Write("NoLinks", "Height", "2"));
    const QByteArray written = ReadFile(path);
    EXPECT_TRUE(written.contains("Width=1") && written.contains("Height=2"));
    EXPECT_FALSE(QFileInfo::exists(path + ".before"));
    SetSettingsLinkCall(nullptr);
}

} // namespace
