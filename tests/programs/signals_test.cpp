// SIGTERM, SIGINT and SIGHUP end either program as closing its main window does: exit
// status 0, the settings written, Vendrill's Temp folder gone with what was in it. Each
// program runs from a scratch folder of its own, with scratch settings and caches.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBoundMs = 60000;        // only a program that hangs or never starts runs into it
constexpr int kHandlerBoundMs = 20000; // a program without handlers fails here

struct Case {
    const char* name;
    std::vector<int> sent; // sent one right after the other
    bool flood = false;    // then SIGTERM again and again until the program has ended
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

const Case kCases[] = {
    {"Term", {SIGTERM}},
    {"Int", {SIGINT}},
    {"Hup", {SIGHUP}},
    // The second comes while the first one's close is on its way: nothing changes.
    {"TermTwice", {SIGTERM, SIGTERM}},
    {"IntThenHup", {SIGINT, SIGHUP}},
    // As a session manager or a supervisor may: the close and the program's end after it
    // take them all in.
    {"TermFlood", {SIGTERM}, true},
};

// Sends SIGTERM to the process every millisecond or so until it has ended. Through a pidfd,
// so that no signal reaches another process that gets its number once it has gone.
class SignalFlood {
public:
    explicit SignalFlood(qint64 pid)
        : pidfd_(int(syscall(SYS_pidfd_open, pid_t(pid), 0))), sender_([this] {
              while (pidfd_ >= 0 && !stop_ &&
                     syscall(SYS_pidfd_send_signal, pidfd_, SIGTERM, nullptr, 0) == 0)
                  std::this_thread::sleep_for(std::chrono::microseconds(500));
          }) {}
    ~SignalFlood() {
        stop_ = true;
        sender_.join();
        if (pidfd_ >= 0)
            close(pidfd_);
    }
    SignalFlood(const SignalFlood&) = delete;
    SignalFlood& operator=(const SignalFlood&) = delete;

private:
    const int pidfd_;
    std::atomic<bool> stop_{false};
    std::thread sender_;
};

// Whether the process has a handler of its own for the signal (SigCgt in its status).
bool Catches(qint64 pid, int signal) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

// Whether the process holds a file in the folder open (a Vendrill that has joined its Temp).
bool HoldsAFileIn(qint64 pid, const QString& folder) {
    const QFileInfoList fds =
        QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryInfoList(QDir::System | QDir::Files);
    for (const QFileInfo& fd : fds)
        if (fd.symLinkTarget().startsWith(folder + "/"))
            return true;
    return false;
}

class ProgramSignals : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        ASSERT_TRUE(QDir(scratch.path()).mkpath("bin"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", Path("config"));
        env.insert("XDG_CACHE_HOME", Path("cache"));
        env.insert("XDG_DATA_HOME", Path("data"));
        env.insert("VENDRILL_PORTS_DIR", Path("ports"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    void TearDown() override {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(kBoundMs);
        }
    }

    QString Path(const QString& name) const { return scratch.filePath(name); }
    QString SettingsFile(const QString& section) const {
        return Path("config/Software/" + section + ".ini");
    }

    // The program copied into the scratch folder, so that its Temp is the test's own.
    void Start(const QString& program, const QStringList& arguments = {}) {
        const QString copy = Path("bin/" + QFileInfo(program).fileName());
        ASSERT_TRUE(QFile::copy(program, copy));
        process.start(copy, arguments);
        ASSERT_TRUE(process.waitForStarted(kBoundMs));
    }
    // Until cond holds while the program runs.
    void WaitFor(const char* what, const std::function<bool()>& cond, int boundMs = kBoundMs) {
        for (int i = 0; i < boundMs / 50; ++i) {
            if (cond())
                return;
            ASSERT_EQ(process.state(), QProcess::Running) << what << ": the program ended";
            QThread::msleep(50);
        }
        FAIL() << what << ": not seen";
    }
    // Brisquel shows nothing outside before its window closes.
    void WaitUntilCaught(const std::vector<int>& endSignals) {
        WaitFor(
            "the program's own signal handlers",
            [&] {
                for (int signal : endSignals)
                    if (!Catches(process.processId(), signal))
                        return false;
                return true;
            },
            kHandlerBoundMs);
    }
    void SendAndExpectNormalEnd(const std::vector<int>& endSignals, bool flood = false) {
        for (int signal : endSignals)
            ASSERT_EQ(kill(static_cast<pid_t>(process.processId()), signal), 0);
        std::optional<SignalFlood> further;
        if (flood)
            further.emplace(process.processId());
        ASSERT_TRUE(process.waitForFinished(kBoundMs)) << "the program did not end";
        further.reset();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "ended by the signal";
        EXPECT_EQ(process.exitCode(), 0);
    }

    QTemporaryDir scratch;
    QProcess process;
};

TEST_P(ProgramSignals, VendrillWritesItsSettingsAndRemovesItsTemp) {
    ASSERT_NO_FATAL_FAILURE(Start(VENDRILL_PROGRAM));
    const QString temp = Path("bin/Temp");
    // Made at the window's start, once the program's handlers are in place.
    ASSERT_NO_FATAL_FAILURE(WaitFor("Temp", [&] { return QFileInfo(temp).isDir(); }));
    QFile downloaded(temp + "/card.dat"); // as a downloaded card file
    ASSERT_TRUE(downloaded.open(QIODevice::WriteOnly) && downloaded.write("x") == 1);
    downloaded.close();

    ASSERT_NO_FATAL_FAILURE(SendAndExpectNormalEnd(GetParam().sent, GetParam().flood));
    EXPECT_FALSE(QFileInfo::exists(temp));
    QFile settings(SettingsFile("Morlavin_V1"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains("Port=")) << "settings not written";
}

TEST_P(ProgramSignals, BrisquelWritesItsSettings) {
    ASSERT_NO_FATAL_FAILURE(Start(BRISQUEL_PROGRAM, {EXAMPLES_DIR "/archive-enciphered.xxx"}));
    ASSERT_NO_FATAL_FAILURE(WaitUntilCaught(GetParam().sent));

    ASSERT_NO_FATAL_FAILURE(SendAndExpectNormalEnd(GetParam().sent, GetParam().flood));
    QFile settings(SettingsFile("Brisquelon"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly)) << "settings not written";
    EXPECT_FALSE(settings.readAll().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramSignals, ::testing::ValuesIn(kCases), CaseName);

// A signal that comes while Brisquel tells the user that the file named on its command
// line (a pipe) cannot be read: the message is answered as its close button would, then
// the window closes.
TEST_F(ProgramSignals, BrisquelEndsFromItsRefusalMessage) {
    const QString pipe = Path("archive.csv");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_NO_FATAL_FAILURE(Start(BRISQUEL_PROGRAM, {pipe}));
    // A writer's open waits until the program has opened the pipe from its event loop.
    const QByteArray name = QFile::encodeName(pipe);
    std::atomic<bool> opened{false};
    std::thread writer([&] {
        const int fd = open(name.constData(), O_WRONLY | O_CLOEXEC);
        if (fd >= 0)
            close(fd);
        opened = true;
    });
    WaitFor("the open of the pipe", [&] { return opened.load(); });
    if (!opened) {
        // Lets the writer go.
        const int reader = open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        writer.join();
        close(reader);
        return;
    }
    writer.join();

    ASSERT_NO_FATAL_FAILURE(SendAndExpectNormalEnd({SIGTERM}));
    EXPECT_TRUE(QFileInfo::exists(SettingsFile("Brisquelon")));
}

// Two Vendrills started from one folder share its Temp: the first to end leaves the file in
// it that the other has handed to the desktop's viewer; the last one removes the folder.
TEST_F(ProgramSignals, TwoVendrillsShareTheirTempUntilTheLastEnds) {
    ASSERT_NO_FATAL_FAILURE(Start(VENDRILL_PROGRAM));
    const QString temp = Path("bin/Temp");
    QProcess second;
    second.setProcessEnvironment(process.processEnvironment());
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    const std::unique_ptr<QProcess, void (*)(QProcess*)> ending(&second, [](QProcess* p) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(kBoundMs);
        }
    });
    second.start(process.program());
    ASSERT_TRUE(second.waitForStarted(kBoundMs));
    ASSERT_NO_FATAL_FAILURE(WaitFor("both in Temp", [&] {
        return second.state() != QProcess::Running ||
               (HoldsAFileIn(process.processId(), temp) && HoldsAFileIn(second.processId(), temp));
    }));
    ASSERT_EQ(second.state(), QProcess::Running);
    QFile downloaded(temp + "/README.TXT"); // as the second one's download
    ASSERT_TRUE(downloaded.open(QIODevice::WriteOnly) && downloaded.write("x") == 1);
    downloaded.close();

    ASSERT_NO_FATAL_FAILURE(SendAndExpectNormalEnd({SIGTERM}));
    EXPECT_TRUE(QFileInfo::exists(temp + "/README.TXT"));
    ASSERT_EQ(kill(static_cast<pid_t>(second.processId()), SIGTERM), 0);
    ASSERT_TRUE(second.waitForFinished(kBoundMs)) << "the second did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(temp));
    EXPECT_EQ(QDir(Path("bin"))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{QFileInfo(process.program()).fileName()});
}

} // namespace
