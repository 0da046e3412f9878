#include "AbandonedLock.h"
#include "ConfigHome.h"
#include "SettingsStore.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

using testfiles::ReadFile;

// A lock left a few seconds ago by default: past the instant a writer takes to name itself
// in it, well inside the 30 s after which Qt would take it over by its age alone.
void WriteLock(const QString& path, const QByteArray& bytes, int ageSeconds = 3) {
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(testfiles::WriteFile(path, bytes));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                 QFileDevice::FileModificationTime));
}

pid_t DeadPid() {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

// What a program killed while it held a lock leaves in it.
QByteArray LeftByKilledHolder() {
    const QString path = g_config->dir.filePath("killed.lock");
    const pid_t child = fork();
    if (child == 0) {
        QLockFile lock(path);
        _exit(lock.tryLock() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    const QByteArray bytes = ReadFile(path);
    QFile::remove(path);
    return bytes;
}

// This test's own program, as a lock written by it names it.
QByteArray ThisProgram() {
    return QFileInfo(QFileInfo("/proc/self/exe").symLinkTarget()).fileName().toUtf8();
}

QByteArray Holder(qint64 pid, const QString& host, const QByteArray& program = ThisProgram()) {
    return QByteArray::number(pid) + "\n" + program + "\n" + host.toUtf8() + "\n";
}

// Runs step in a child process: true when it returned true within the guard. The guard
// only turns a hang into a failure; it is far above any real write.
bool FinishesInChild(const std::function<bool()>& step) {
    const pid_t child = fork();
    if (child == 0)
        _exit(step() ? 0 : 1);
    for (int hundredths = 0; hundredths < 2000; ++hundredths) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return false;
}

} // namespace

// A writer killed between creating its lock and naming itself in it leaves it empty.
TEST(SettingsLock, ALockNoOneHoldsIsTakenOverAndTheSaveWrites) {
    const std::function<bool()> saves[] = {
        [] { return UserSettings().Write("Abandoned", "Width", "640"); },
        [] {
            UserSettings().Begin();
            UserSettings().Write("Abandoned", "Width", "640");
            return UserSettings().Commit();
        },
    };
    const QString path = SettingsFilePath("Abandoned");
    for (const QByteArray& lock : {QByteArray(), QByteArray("x\ny\n")})
        for (const auto& save : saves) {
            SCOPED_TRACE(lock.isEmpty() ? "empty lock" : lock.toStdString());
            WriteLock(path + ".lock", lock);
            EXPECT_TRUE(FinishesInChild(save));
            EXPECT_TRUE(ReadFile(path).contains("Width=640"));
            EXPECT_FALSE(QFile::exists(path + ".lock"));
            QFile::remove(path);
        }
}

TEST(SettingsLock, OnlyALockNoLivingProcessHoldsIsRemoved) {
    const QString here = QSysInfo::machineHostName();
    const struct {
        const char* what;
        QByteArray bytes;
        LockState state;
        int ageSeconds = 3;
    } cases[] = {
        {"empty", "", LockState::Free},
        {"no process named", "vendrill\n\n", LockState::Free},
        {"dead process here", Holder(DeadPid(), here), LockState::Free},
        {"holder killed", LeftByKilledHolder(), LockState::Free},
        {"dead process, no host", QByteArray::number(DeadPid()), LockState::Free},
        {"living process of the program named", Holder(getpid(), here), LockState::Aging},
        // The number came back to another program.
        {"living process of another program", Holder(getpid(), here, "vendrill"), LockState::Free},
        {"process on another host", Holder(DeadPid(), "elsewhere.invalid"), LockState::Aging},
        // Qt takes these over by their age alone.
        {"living process, 40 s old", Holder(getpid(), here), LockState::Free, 40},
        {"another host, 40 s old", Holder(DeadPid(), "elsewhere.invalid"), LockState::Free, 40},
    };
    const QString path = g_config->dir.filePath("cases.lock");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteLock(path, c.bytes, c.ageSeconds);
        EXPECT_EQ(ClearAbandonedLock(path), c.state);
        EXPECT_EQ(QFile::exists(path), c.state != LockState::Free);
        QFile::remove(path);
    }
    EXPECT_EQ(ClearAbandonedLock(path), LockState::Free);

    // An empty lock made this instant may be a writer's about to name itself.
    QFile fresh(path);
    ASSERT_TRUE(fresh.open(QIODevice::WriteOnly));
    EXPECT_EQ(ClearAbandonedLock(path), LockState::Held);
    EXPECT_TRUE(QFile::exists(path));
    QFile::remove(path);
}

TEST(SettingsLock, ALockALivingProgramHoldsIsWaitedForBoundedlyAndKept) {
    const QString path = SettingsFilePath("Held");
    ASSERT_TRUE(UserSettings().Write("Held", "Width", "1"));
    const QByteArray before = ReadFile(path);
    QLockFile holder(path + ".lock");
    ASSERT_TRUE(holder.tryLock());
    const QByteArray lock = ReadFile(path + ".lock");
    EXPECT_EQ(ClearAbandonedLock(path + ".lock"), LockState::Held);

    VirtualClock clock;
    SetSettingsClock(clock);
    EXPECT_FALSE(UserSettings().Write("Held", "Width", "2"));
    EXPECT_GE(clock.SleptMs(), SettingsLockWaitMs);
    UserSettings().Begin();
    UserSettings().Write("Held", "Width", "3");
    EXPECT_FALSE(UserSettings().Commit());
    EXPECT_GE(clock.SleptMs(), 2 * SettingsLockWaitMs);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(ReadFile(path + ".lock"), lock);
    EXPECT_TRUE(holder.isLocked());

    holder.unlock();
    EXPECT_TRUE(UserSettings().Write("Held", "Width", "4"));
    EXPECT_TRUE(ReadFile(path).contains("Width=4"));
    SetSettingsClock(SystemClock());
}

// A lock no one holds that names a living process of its program (a number that came back)
// or another host (a shared home) holds a save up no longer than a held one: then the save
// fails and both the file and the lock stay.
TEST(SettingsLock, ALockNoOneHoldsButQtWouldWaitForIsWaitedForBoundedly) {
    const QString path = SettingsFilePath("Aging");
    ASSERT_TRUE(UserSettings().Write("Aging", "Width", "1"));
    const QByteArray before = ReadFile(path);
    for (const QByteArray& lock :
         {Holder(getpid(), QSysInfo::machineHostName()), Holder(DeadPid(), "elsewhere.invalid")}) {
        SCOPED_TRACE(lock.toStdString());
        WriteLock(path + ".lock", lock);
        VirtualClock clock;
        SetSettingsClock(clock);
        EXPECT_FALSE(UserSettings().Write("Aging", "Width", "2"));
        EXPECT_GE(clock.SleptMs(), SettingsLockWaitMs);
        EXPECT_LT(clock.SleptMs(), 2 * SettingsLockWaitMs);
        UserSettings().Begin();
        UserSettings().Write("Aging", "Width", "3");
        EXPECT_FALSE(UserSettings().Commit());
        SetSettingsClock(SystemClock());
        EXPECT_EQ(ReadFile(path), before);
        EXPECT_EQ(ReadFile(path + ".lock"), lock);
        QFile::remove(path + ".lock");
    }
}
