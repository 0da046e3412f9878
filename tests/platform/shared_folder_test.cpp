#include "SharedFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

using namespace platform;

namespace {

// Virtual time whose next sleep does what another instance does meanwhile.
class ActingClock : public VirtualClock {
public:
    std::function<void()> Meanwhile;
    void SleepMs(int64_t ms) override {
        VirtualClock::SleepMs(ms);
        if (Meanwhile)
            std::exchange(Meanwhile, nullptr)();
    }
};

// The lock of the folder taken exclusively, as the last instance to leave takes it.
int TakeExclusively(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder + "/" + SharedFolder::LockName).constData(),
                          O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    return fd;
}

class SharedFolderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(root.isValid()); }
    QString Folder() const { return root.filePath("Temp"); }

    QTemporaryDir root;
};

// An instance that starts while the last one takes the folder away waits for the folder to
// be gone and joins the one it makes anew, which its own leave removes.
TEST_F(SharedFolderTest, AJoinThatMeetsTheLastInstanceLeavingJoinsTheFolderMadeAnew) {
    ASSERT_TRUE(QDir().mkpath(Folder()));
    const int leaving = TakeExclusively(Folder());
    const QString aside = root.filePath(".Temp-gone");
    ActingClock clock;
    clock.Meanwhile = [&] {
        EXPECT_TRUE(QDir().rename(Folder(), aside));
        ::close(leaving);
    };
    SharedFolder folder(Folder(), clock);
    EXPECT_TRUE(folder.Join());
    EXPECT_TRUE(folder.Joined());
    EXPECT_GT(clock.SleptMs(), 0) << "the exclusive lock was not met";
    EXPECT_TRUE(QFileInfo::exists(Folder() + "/" + SharedFolder::LockName));

    EXPECT_EQ(folder.Leave(), SharedFolder::Leaving::Removed);
    EXPECT_FALSE(QFileInfo::exists(Folder()));
    EXPECT_TRUE(QFileInfo::exists(aside + "/" + SharedFolder::LockName)) << "not ours";
}

// A lock that is never let go holds a start up for a bounded time; the folder is used all the
// same, and is removed only once no one holds it.
TEST_F(SharedFolderTest, ALockNeverLetGoHoldsTheStartUpForABoundedTime) {
    ASSERT_TRUE(QDir().mkpath(Folder()));
    const int holder = TakeExclusively(Folder());
    VirtualClock clock;
    SharedFolder folder(Folder(), clock);
    EXPECT_TRUE(folder.Join());
    EXPECT_FALSE(folder.Joined());
    EXPECT_GT(clock.SleptMs(), 0);
    EXPECT_LE(clock.SleptMs(), 5000);

    EXPECT_EQ(folder.Leave(), SharedFolder::Leaving::InUse);
    EXPECT_TRUE(QFileInfo::exists(Folder() + "/" + SharedFolder::LockName));
    ::close(holder);
    EXPECT_EQ(folder.Leave(), SharedFolder::Leaving::Removed);
    EXPECT_FALSE(QFileInfo::exists(Folder()));
}

// A program started by an instance (the desktop's viewer of a download) does not hold the
// folder after the instance has ended without leaving it, as a killed one does.
TEST_F(SharedFolderTest, AProgramStartedByAnInstanceHoldsNothing) {
    pid_t viewer = -1;
    {
        SharedFolder killed(Folder());
        ASSERT_TRUE(killed.Join());
        ASSERT_TRUE(killed.Joined());
        const char* argv[] = {"sleep", "600", nullptr};
        ASSERT_EQ(
            posix_spawnp(&viewer, "sleep", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    }
    SharedFolder next(Folder());
    ASSERT_TRUE(next.Join());
    EXPECT_EQ(next.Leave(), SharedFolder::Leaving::Removed);
    EXPECT_FALSE(QFileInfo::exists(Folder()));
    ::kill(viewer, SIGKILL);
    ::waitpid(viewer, nullptr, 0);
}

// An instance that never joined (its folder could not be locked) removes the folder only
// where no one holds it; nothing there is nothing to remove.
TEST_F(SharedFolderTest, AnInstanceThatNeverJoinedRemovesAFolderNoOneHolds) {
    SharedFolder absent(Folder());
    EXPECT_EQ(absent.Leave(), SharedFolder::Leaving::Removed);

    SharedFolder user(Folder());
    ASSERT_TRUE(user.Join());
    QFile file(Folder() + "/A.TXT");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    SharedFolder unjoined(Folder());
    EXPECT_EQ(unjoined.Leave(), SharedFolder::Leaving::InUse);
    EXPECT_TRUE(QFileInfo::exists(Folder() + "/A.TXT"));

    EXPECT_EQ(user.Leave(), SharedFolder::Leaving::Removed);
    ASSERT_TRUE(QDir().mkpath(Folder()));
    EXPECT_EQ(unjoined.Leave(), SharedFolder::Leaving::Removed) << "no lock file";
    EXPECT_FALSE(QFileInfo::exists(Folder()));
}

} // namespace
