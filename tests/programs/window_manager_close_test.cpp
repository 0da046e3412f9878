// The window manager's close of either program's main window on a real X server (Xvfb,
// no window manager: the close is sent as a window manager sends it), with a dialog or a
// message box over the window or nothing: one close ends the program with exit status 0,
// the settings written, Vendrill's link ended and its Temp gone. Skipped where no X server
// starts.
#include "SimHarness.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <functional>
#include <optional>
#include <sys/prctl.h>

namespace {

constexpr int kBoundMs = 60000; // only a program that hangs or never starts runs into it
constexpr int kStepMs = 50;

// The child goes with the test, should the test die.
void DieWithTheTest(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(kBoundMs);
}

// An X server of the tests' own, on the first free display.
class VirtualDisplay {
public:
    VirtualDisplay() {
        DieWithTheTest(server_);
        server_.setStandardErrorFile(QProcess::nullDevice());
        server_.start("Xvfb",
                      {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"});
        if (!server_.waitForStarted(kBoundMs))
            return;
        QByteArray out;
        while (!out.contains('\n') && server_.waitForReadyRead(kBoundMs))
            out += server_.readAllStandardOutput();
        bool number = false;
        out.trimmed().toUInt(&number);
        if (number)
            name_ = ":" + QString::fromLatin1(out.trimmed());
    }
    // Ended as a session ends it, so that it leaves no lock or socket behind.
    ~VirtualDisplay() {
        if (server_.state() == QProcess::NotRunning)
            return;
        server_.terminate();
        if (!server_.waitForFinished(kBoundMs))
            Stop(server_);
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Empty where the server did not start.
    const QString& Name() const { return name_; }

private:
    QProcess server_;
    QString name_;
};

class WindowManagerClose : public ::testing::Test {
protected:
    static void SetUpTestSuite() { display = new VirtualDisplay; }
    static void TearDownTestSuite() {
        delete display;
        display = nullptr;
    }
    void SetUp() override {
        if (display->Name().isEmpty())
            GTEST_SKIP() << "no X server (Xvfb) starts here";
        ASSERT_TRUE(scratch.isValid());
        ASSERT_TRUE(QDir(scratch.path()).mkpath("bin"));
        ASSERT_TRUE(QDir(scratch.path()).mkpath("config/Software"));
        env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display->Name());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.remove("XAUTHORITY");
        // No session bus, as in a bare X session, but named: without an address the D-Bus
        // library tries to start a bus for the display, which may outlive the test.
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + Path("no-bus"));
        env.insert("XDG_CONFIG_HOME", Path("config"));
        env.insert("XDG_CACHE_HOME", Path("cache"));
        env.insert("XDG_DATA_HOME", Path("data"));
        env.insert("VENDRILL_PORTS_DIR", Path("ports"));
        ASSERT_TRUE(Run("xdotool", {"version"})) << "xdotool (tools/install-deps) is missing";
        DieWithTheTest(process);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    void TearDown() override { Stop(process); }

    QString Path(const QString& name) const { return scratch.filePath(name); }
    QString SettingsFile(const QString& section) const {
        return Path("config/Software/" + section + ".ini");
    }

    // A tool on the test's display: its output, or none where it failed.
    std::optional<QString> Run(const QString& program, const QStringList& arguments) {
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.setStandardErrorFile(QProcess::nullDevice());
        tool.start(program, arguments);
        if (!tool.waitForFinished(kBoundMs) || tool.exitStatus() != QProcess::NormalExit ||
            tool.exitCode() != 0) {
            Stop(tool);
            return std::nullopt;
        }
        return QString::fromUtf8(tool.readAllStandardOutput());
    }
    // The program's shown windows, those whose title the pattern matches where one is given.
    QStringList Windows(const QString& title = {}) {
        QStringList arguments = {"search", "--all", "--onlyvisible", "--pid",
                                 QString::number(process.processId())};
        if (!title.isEmpty())
            arguments << "--name" << title;
        const std::optional<QString> found = Run("xdotool", arguments);
        return found ? found->split('\n', Qt::SkipEmptyParts) : QStringList();
    }
    // Until cond holds while the program runs.
    void WaitFor(const char* what, const std::function<bool()>& cond, int boundMs = kBoundMs) {
        for (int i = 0; i < boundMs / kStepMs; ++i) {
            if (cond())
                return;
            ASSERT_EQ(process.state(), QProcess::Running) << what << ": the program ended";
            QThread::msleep(kStepMs);
        }
        FAIL() << what << ": not seen";
    }
    // The one shown window with the title, once it is there.
    void WaitForWindow(const QString& title, QString& window) {
        WaitFor(qPrintable(title), [&] {
            const QStringList windows = Windows(title);
            window = windows.value(0);
            return windows.size() == 1;
        });
    }
    // The pointer then leaves the window, so that no tool tip opens a window of its own.
    void Click(const QString& window, int x, int y) {
        ASSERT_TRUE(Run("xdotool", {"mousemove", "--window", window, QString::number(x),
                                    QString::number(y), "click", "1", "mousemove", "0", "0"}));
    }

    // The program copied into the scratch folder, so that its Temp is the test's own.
    void Start(const QString& program, const QStringList& arguments = {}) {
        const QString copy = Path("bin/" + QFileInfo(program).fileName());
        ASSERT_TRUE(QFile::copy(program, copy));
        process.start(copy, arguments);
        ASSERT_TRUE(process.waitForStarted(kBoundMs));
    }
    // One window manager's close of the window; the program ends as after its own close.
    void CloseAndExpectNormalEnd(const QString& window) {
        ASSERT_TRUE(Run(SEND_WM_CLOSE, {window})) << "the close was not sent";
        ASSERT_TRUE(process.waitForFinished(kBoundMs)) << "the program did not end";
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
    }
    QByteArray Settings(const QString& section) {
        QFile file(SettingsFile(section));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static inline VirtualDisplay* display = nullptr;
    QTemporaryDir scratch;
    QProcessEnvironment env;
    QProcess process;
};

// During the device search, its dialog over the window: the dialog goes as its Cancel
// does, which ends the link, and then the window.
TEST_F(WindowManagerClose, VendrillEndsFromTheDeviceSearch) {
    // An instrument that never answers: the search goes on until it is cancelled.
    simtest::SimProcess simulator(
        {"--ports-dir", Path("ports").toStdString(), "--port", "9", "--fault", "drop"});
    ASSERT_TRUE(simulator.Ready()) << simulator.Error();
    QFile settings(SettingsFile("Morlavin_V1"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly) && settings.write("[General]\nPort=9\n") > 0);
    settings.close();
    ASSERT_NO_FATAL_FAILURE(Start(VENDRILL_PROGRAM));
    QString window;
    ASSERT_NO_FATAL_FAILURE(WaitForWindow("^Конфигуратор$", window));

    // The tool bar: Open is its first button, Go the fourth, after a separator.
    ASSERT_NO_FATAL_FAILURE(Click(window, 30, 50));
    QString open;
    ASSERT_NO_FATAL_FAILURE(WaitForWindow("^Открыть$", open));
    ASSERT_TRUE(
        Run("xdotool", {"windowfocus", "--sync", open, "type", "--delay", "10", EXAMPLE_PROJECT}));
    ASSERT_TRUE(Run("xdotool", {"key", "Return"}));
    ASSERT_NO_FATAL_FAILURE(WaitFor("the project", [&] { return Windows("^Открыть$").isEmpty(); }));
    // Clicked again while the window, still loading, may not have taken the click.
    ASSERT_NO_FATAL_FAILURE(WaitFor("the device search", [&, clicks = 0]() mutable {
        if (clicks++ % 40 == 0)
            Click(window, 203, 50);
        // The dialog has no title of its own.
        return Windows().size() == 2;
    }));

    ASSERT_NO_FATAL_FAILURE(CloseAndExpectNormalEnd(window));
    EXPECT_FALSE(QFileInfo::exists(Path("bin/Temp")));
    EXPECT_TRUE(Settings("Morlavin_V1").contains("Left=")) << "settings not written";
}

// Under the message that the file named on its command line cannot be read.
TEST_F(WindowManagerClose, BrisquelEndsFromItsMessage) {
    ASSERT_NO_FATAL_FAILURE(Start(BRISQUEL_PROGRAM, {Path("missing.xxx")}));
    QString box;
    ASSERT_NO_FATAL_FAILURE(WaitForWindow("^Внимание$", box));
    QString window;
    ASSERT_NO_FATAL_FAILURE(WaitForWindow("^Brisquel$", window));

    ASSERT_NO_FATAL_FAILURE(CloseAndExpectNormalEnd(window));
    EXPECT_FALSE(Settings("Brisquelon").isEmpty()) << "settings not written";
}

// With nothing over it, the window takes its close itself, as ever.
TEST_F(WindowManagerClose, BrisquelEndsFromItsWindow) {
    ASSERT_NO_FATAL_FAILURE(Start(BRISQUEL_PROGRAM));
    QString window;
    ASSERT_NO_FATAL_FAILURE(WaitForWindow("^Brisquel$", window));

    ASSERT_NO_FATAL_FAILURE(CloseAndExpectNormalEnd(window));
    EXPECT_FALSE(Settings("Brisquelon").isEmpty()) << "settings not written";
}

} // namespace
