#include "AbandonedLock.h"
#include "ConfigHome.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

using testfiles::ReadFile;

// A lock left a few seconds ago: past the instant a writer takes to name itself in it, well
// inside the 30 s after which Qt would take it over by its age alone.
void WriteLock(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(testfiles::WriteFile(path, bytes));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3),
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

QByteArray Holder(qint64 pid, const QString& host) {
    return QByteArray::number(pid) + "\nvendrill\n" + host.toUtf8() + "\n";
}

} // namespace

TEST(SettingsLock, OnlyALockNoLivingProcessHoldsIsRemoved) {
    const QString here = QSysInfo::machineHostName();
    const struct {
        const char* what;
        QByteArray bytes;
        LockState state;
    } cases[] = {
        {"empty", "", LockState::Free},
        {"no process named", "vendrill\n\n", LockState::Free},
        {"dead process here", Holder(DeadPid(), here), LockState::Free},
        {"holder killed", LeftByKilledHolder(), LockState::Free},
        {"dead process, no host", QByteArray::number(DeadPid()), LockState::Free},
        {"living process", Holder(getpid(), here), LockState::Aging},
        {"process on another host", Holder(DeadPid(), "elsewhere.invalid"), LockState::Aging},
    };
    const QString path = g_config->dir.filePath("cases.lock");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteLock(path, c.bytes);
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
