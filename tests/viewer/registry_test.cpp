#include "ConfigHome.h"
#include "MemorySettings.h"
#include "TestFiles.h"
#include "VaskRegistry.h"
#include "ViewerSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(VaskRegistry, NothingIsReadOrWrittenWithoutSection) {
    TVaskRegistry reg;
    reg.WriteValue("Width", 700);
    EXPECT_EQ(reg.ReadValue("Width", "700"), "");
    EXPECT_FALSE(QFile::exists(platform::SettingsFilePath("")));
}

TEST(VaskRegistry, RoundTripAndDefaults) {
    TVaskRegistry reg;
    reg.SetSection("RoundTrip");
    EXPECT_EQ(reg.ReadValue("Precision", "2"), "2");
    EXPECT_FALSE(QFile::exists(platform::SettingsFilePath("RoundTrip")));

    reg.WriteValue("Width", 250);
    reg.WriteValue("HeadColor", int(0xFF00001A));
    reg.WriteValue("Dir", QString("/tmp/a b/архив"));
    EXPECT_TRUE(QFile::exists(platform::SettingsFilePath("RoundTrip")));
    EXPECT_TRUE(platform::SettingsFilePath("RoundTrip").startsWith(g_config->dir.path()));

    TVaskRegistry again;
    again.SetSection("RoundTrip");
    EXPECT_EQ(again.ReadValue("Width", "700"), "250");
    EXPECT_EQ(again.ReadValue("HeadColor", ""), "-16777190");
    EXPECT_EQ(again.ReadValue("Dir", ""), "/tmp/a b/архив");
    EXPECT_EQ(again.ReadValue("Absent", "$00FFFFFF"), "$00FFFFFF");
}

TEST(VaskRegistry, ValueThatIsNotAStringIsAnError) {
    // A list and a byte array are what an edited settings file can hold besides text.
    WriteAll(platform::SettingsFilePath("NotString"),
             "[General]\nWidth=1, 2\nHeight=@ByteArray(500)\nLeft=300\n");
    TVaskRegistry reg;
    reg.SetSection("NotString");
    EXPECT_THROW(reg.ReadValue("Width", "700"), ERegistryError);
    EXPECT_THROW(reg.ReadValue("Height", "500"), ERegistryError);
    EXPECT_EQ(reg.ReadValue("Left", "250"), "300");
}

TEST(VaskRegistry, UnwritableSettingsAreAnError) {
    // A regular file where the section's folder should be stops root as well.
    WriteAll(g_config->dir.path() + "/Software/Blocked", "file");
    TVaskRegistry reg;
    reg.SetSection("Blocked/Inner");
    EXPECT_THROW(reg.WriteValue("Width", 1), ERegistryError);
}

TEST(ViewerSettings, ASaveIsOneCommitThatKeepsWhatWasWrittenBeforeAFailure) {
    viewer::TViewerSettings settings;
    settings.Width = 640;
    settings.WindowState = viewer::TWindowState::Maximized;
    settings.SaveDir = "/s";
    settings.Precision = 3;
    const struct {
        QSet<QString> refused;
        bool normal;
        QStringList stored;
        QStringList absent;
    } cases[] = {
        {{}, true, {"Width", "WindowState", "SaveDir", "SecondColor"}, {}},
        {{}, false, {"WindowState", "SecondColor"}, {"Width"}},
        {{"Dir"}, true, {"Width", "WindowState"}, {"Dir", "SaveDir", "Precision", "SecondColor"}},
    };
    for (const auto& c : cases) {
        MemorySettings store;
        store.Refused = c.refused;
        TVaskRegistry registry(store);
        viewer::SaveSettings(registry, settings, c.normal);
        EXPECT_EQ(store.Commits, 1);
        EXPECT_FALSE(store.Batching);
        for (const QString& name : c.stored)
            EXPECT_FALSE(store.Text("Brisquelon", name).isEmpty()) << name.toStdString();
        for (const QString& name : c.absent)
            EXPECT_TRUE(store.Text("Brisquelon", name).isEmpty()) << name.toStdString();
    }
}

TEST(FileTypeExecLine, QuotesTheProgram) {
    const struct {
        QString path;
        QString exec;
    } cases[] = {
        {"/usr/bin/Brisquel", R"("/usr/bin/Brisquel" %f)"},
        {"/home/u/my programs/Brisquel", R"("/home/u/my programs/Brisquel" %f)"},
        {R"(/opt/a"b/Brisquel)", R"("/opt/a\\"b/Brisquel" %f)"},
        {"/opt/$HOME/`x`/Brisquel", R"("/opt/\\$HOME/\\`x\\`/Brisquel" %f)"},
        {R"(/opt/back\slash/Brisquel)", R"("/opt/back\\\\slash/Brisquel" %f)"},
        {"/opt/100%/Brisquel", R"("/opt/100%%/Brisquel" %f)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(filetype::ExecLine(c.path), c.exec) << c.path.toStdString();
}

TEST(FileTypeMimeapps, SetsTheDefaultAndKeepsOtherLines) {
    const QString type = "application/x-xxxfile";
    const QString id = "brisquel.desktop";
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"", "[Default Applications]\napplication/x-xxxfile=brisquel.desktop\n"},
        {"[Added Associations]\ntext/plain=ed.desktop;\n",
         "[Added Associations]\ntext/plain=ed.desktop;\n\n[Default Applications]\n"
         "application/x-xxxfile=brisquel.desktop\n"},
        {"# mine\n[Default Applications]\ntext/plain=ed.desktop\n\n[Removed Associations]\n"
         "image/png=x.desktop\n",
         "# mine\n[Default Applications]\ntext/plain=ed.desktop\n"
         "application/x-xxxfile=brisquel.desktop\n\n[Removed Associations]\nimage/png=x.desktop\n"},
        {"[Default Applications]\napplication/x-xxxfile = other.desktop\ntext/plain=ed.desktop",
         "[Default Applications]\napplication/x-xxxfile=brisquel.desktop\ntext/plain=ed.desktop\n"},
        {"[Removed Associations]\napplication/x-xxxfile=old.desktop\n[Default Applications]\n",
         "[Removed Associations]\napplication/x-xxxfile=old.desktop\n[Default Applications]\n"
         "application/x-xxxfile=brisquel.desktop\n"},
    };
    for (const auto& c : cases) {
        const QByteArray once = filetype::WithDefaultApplication(c.before, type, id);
        EXPECT_EQ(once, QByteArray(c.after)) << c.before;
        EXPECT_EQ(filetype::WithDefaultApplication(once, type, id), once) << c.before;
    }
}

// Fresh data and configuration folders for the association; the settings folder of the
// run comes back afterwards.
class FileTypeAssociation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        data = home.path() + "/data";
        config = home.path() + "/config";
        qputenv("XDG_DATA_HOME", data.toUtf8());
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        reg.ProgramPath = [this] { return program; };
        reg.IconPng = QByteArray("\x89PNG\r\n\x1a\nicon", 12);
        reg.RunTool = [this](const QString& tool, const QStringList& args) {
            tools.append(tool + " " + args.join(' '));
        };
    }
    void TearDown() override {
        qunsetenv("XDG_DATA_HOME");
        qputenv("XDG_CONFIG_HOME", g_config->dir.path().toUtf8());
    }
    // Every file below the home folder with its bytes.
    QMap<QString, QByteArray> Tree() const {
        QMap<QString, QByteArray> files;
        QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            files[path.mid(home.path().size())] = ReadAll(path);
        }
        return files;
    }

    QTemporaryDir home;
    QString data, config;
    QString program = "/opt/my programs/Brisquel";
    QStringList tools;
    TVaskRegistry reg;
};

TEST_F(FileTypeAssociation, WritesEveryPieceOnce) {
    WriteAll(config + "/mimeapps.list", "[Default Applications]\ntext/plain=ed.desktop\n");
    reg.RegisterFileType(".xxx", "xxxFile");

    const QByteArray package = ReadAll(data + "/mime/packages/brisquel-xxxfile.xml");
    EXPECT_TRUE(package.contains(R"(<mime-type type="application/x-xxxfile">)"));
    EXPECT_TRUE(package.contains(R"(<glob pattern="*.xxx"/>)"));
    EXPECT_TRUE(package.contains(R"(<icon name="application-x-xxxfile"/>)"));

    const QByteArray desktop = ReadAll(data + "/applications/brisquel.desktop");
    EXPECT_TRUE(desktop.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(desktop.contains("\nExec=\"/opt/my programs/Brisquel\" %f\n")) << desktop.data();
    EXPECT_TRUE(desktop.contains("\nMimeType=application/x-xxxfile;\n"));
    EXPECT_TRUE(desktop.contains("\nIcon=application-x-xxxfile\n"));

    EXPECT_EQ(ReadAll(data + "/icons/hicolor/48x48/mimetypes/application-x-xxxfile.png"),
              reg.IconPng);
    EXPECT_EQ(ReadAll(config + "/mimeapps.list"), "[Default Applications]\ntext/plain=ed.desktop\n"
                                                  "application/x-xxxfile=brisquel.desktop\n");
    EXPECT_EQ(tools, QStringList({"update-mime-database " + data + "/mime",
                                  "update-desktop-database " + data + "/applications"}));

    const auto once = Tree();
    reg.RegisterFileType(".xxx", "xxxFile");
    EXPECT_EQ(Tree(), once);
}

TEST_F(FileTypeAssociation, FollowsAMovedProgram) {
    reg.RegisterFileType(".xxx", "xxxFile");
    program = "/usr/local/bin/Brisquel";
    reg.RegisterFileType(".xxx", "xxxFile");
    EXPECT_TRUE(ReadAll(data + "/applications/brisquel.desktop")
                    .contains("\nExec=\"/usr/local/bin/Brisquel\" %f\n"));
}

TEST_F(FileTypeAssociation, UnwritableFolderReportsAndKeepsWhatWasWritten) {
    // Folders below a regular file cannot be made, not even by root.
    WriteAll(home.path() + "/plain", "file");
    qputenv("XDG_CONFIG_HOME", (home.path() + "/plain/config").toUtf8());
    try {
        reg.RegisterFileType(".xxx", "xxxFile");
        FAIL() << "no error";
    } catch (const ERegistryError& e) {
        EXPECT_TRUE(e.Message().startsWith("Неудалось записать фаил")) << e.what();
        EXPECT_TRUE(e.Message().endsWith("/plain/config/mimeapps.list")) << e.what();
    }
    EXPECT_TRUE(QFile::exists(data + "/mime/packages/brisquel-xxxfile.xml"));
    EXPECT_TRUE(QFile::exists(data + "/applications/brisquel.desktop"));
    EXPECT_TRUE(tools.isEmpty());

    qputenv("XDG_DATA_HOME", (home.path() + "/plain/data").toUtf8());
    EXPECT_THROW(reg.RegisterFileType(".xxx", "xxxFile"), ERegistryError);
}

TEST_F(FileTypeAssociation, UnreadableMimeappsListIsNotReplaced) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const QString list = config + "/mimeapps.list";
    WriteAll(list, "[Default Applications]\ntext/plain=ed.desktop\n");
    ASSERT_TRUE(QFile::setPermissions(list, QFile::WriteOwner));
    EXPECT_THROW(reg.RegisterFileType(".xxx", "xxxFile"), ERegistryError);
    ASSERT_TRUE(QFile::setPermissions(list, QFile::ReadOwner | QFile::WriteOwner));
    EXPECT_EQ(ReadAll(list), "[Default Applications]\ntext/plain=ed.desktop\n");
}

// A FIFO (or, for root, a device) where a piece of the association goes is neither read
// (no waiting for a writer) nor replaced: the association reports it and leaves it.
TEST_F(FileTypeAssociation, APieceThatIsNotARegularFileIsReportedAndLeft) {
    const testfiles::HangGuard guard;
    for (const QString& piece :
         {config + "/mimeapps.list", data + "/applications/" + "brisquel.desktop"}) {
        for (const mode_t kind : testfiles::kNotRegular) {
            SCOPED_TRACE(piece.toStdString() + " " + std::to_string(kind));
            ASSERT_TRUE(QDir().mkpath(QFileInfo(piece).absolutePath()));
            QFile::remove(piece);
            if (!testfiles::MakeNotRegular(piece, kind))
                continue; // a device, and this process may not make one
            try {
                reg.RegisterFileType(".xxx", "xxxFile");
                ADD_FAILURE() << "no error";
            } catch (const ERegistryError& e) {
                EXPECT_EQ(e.Message(), "Неудалось записать фаил" + piece);
            }
            EXPECT_EQ(testfiles::FileKind(piece), kind);
            EXPECT_EQ(QDir(QFileInfo(piece).absolutePath())
                          .entryList(QDir::System | QDir::Files | QDir::Hidden),
                      QStringList{QFileInfo(piece).fileName()});
            QFile::remove(piece);
        }
    }
}

TEST_F(FileTypeAssociation, TheDesktopDatabaseAcceptsThePackage) {
    const QString tool = QStandardPaths::findExecutable("update-mime-database");
    if (tool.isEmpty())
        GTEST_SKIP() << "shared-mime-info is not installed";
    TVaskRegistry real;
    real.ProgramPath = [this] { return program; };
    real.RegisterFileType(".xxx", "xxxFile");
    // The tool runs on its own; only one that never writes its cache runs into the bound.
    QByteArray globs;
    for (int i = 0; i < 600 && !globs.contains("application/x-xxxfile:*.xxx"); ++i) {
        QThread::msleep(50);
        globs = ReadAll(data + "/mime/globs2");
    }
    EXPECT_TRUE(globs.contains("application/x-xxxfile:*.xxx")) << globs.data();
}

// A cache tool that never ends (a lock, a slow home) holds the association up for no
// time: it returns with both tools still running, and the tools hold none of the caller's
// standard streams, so a caller reading its output sees the end once it has ended.
TEST_F(FileTypeAssociation, ACacheToolThatHangsHoldsNothingUp) {
    const QString bin = home.path() + "/bin";
    for (const char* tool : {"update-mime-database", "update-desktop-database"}) {
        const QString path = bin + "/" + tool;
        WriteAll(path, "#!/bin/sh\n"
                       "fds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
                       "echo \"$fds\" > \"$0.fds\"\n"
                       "echo $$ > \"$0.pid\"\nexec sleep 600\n");
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner));
    }
    int output[2];
    ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ":" + path);
    TVaskRegistry real;
    real.ProgramPath = [this] { return program; };
    const pid_t child = fork();
    if (child == 0) {
        // Standard input, output and error all on the pipe, as a caller's $(...) has them,
        // and a further descriptor too, as bash hands `> >(...)` on.
        dup2(output[1], 0);
        dup2(output[1], 1);
        dup2(output[1], 2);
        dup2(output[1], 63);
        real.RegisterFileType(".xxx", "xxxFile");
        _exit(0);
    }
    close(output[1]);
    qputenv("PATH", path);
    // Only an association that waits for the tools runs into this bound.
    int status = -1;
    for (int i = 0; i < 400 && waitpid(child, &status, WNOHANG) != child; ++i)
        QThread::msleep(50);
    if (!WIFEXITED(status)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "held up by the tools";
    std::vector<int> tools;
    for (const char* tool : {"update-mime-database", "update-desktop-database"}) {
        const QString pidFile = bin + "/" + tool + ".pid";
        QByteArray pid;
        for (int i = 0; i < 400 && !pid.endsWith('\n'); ++i) {
            QThread::msleep(50);
            pid = ReadAll(pidFile);
        }
        EXPECT_FALSE(pid.isEmpty()) << tool << " not started";
        if (pid.trimmed().toInt() > 0)
            tools.push_back(pid.trimmed().toInt());
        EXPECT_EQ(ReadAll(bin + "/" + tool + ".fds").toStdString(),
                  "/dev/null\n/dev/null\n/dev/null\n")
            << tool;
    }
    // The caller and both tools started; with the tools still running the pipe has no
    // writer left.
    ASSERT_EQ(fcntl(output[0], F_SETFL, O_NONBLOCK), 0);
    char bytes[256];
    ssize_t got;
    while ((got = read(output[0], bytes, sizeof bytes)) > 0) {
    }
    EXPECT_EQ(got, 0) << "the pipe is still held open";
    close(output[0]);
    for (int tool : tools)
        kill(tool, SIGKILL);
}

} // namespace
