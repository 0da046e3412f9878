#include "ComPorts.h"
#include "PtyPair.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;

namespace {

// Runs each test with a clean environment for the ports folder and restores it.
class ComPortsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        for (const char* name : kVariables) {
            saved_.append(qgetenv(name));
            wasSet_.append(qEnvironmentVariableIsSet(name));
            qunsetenv(name);
        }
    }
    void TearDown() override {
        for (int i = 0; i < 3; ++i) {
            if (wasSet_[i])
                qputenv(kVariables[i], saved_[i]);
            else
                qunsetenv(kVariables[i]);
        }
    }
    QString Folder() const { return dir_.path() + "/ports"; }
    void Link(const QString& name, const QString& target) {
        QDir().mkpath(Folder());
        ASSERT_TRUE(QFile::link(target, Folder() + "/" + name));
    }

    static constexpr const char* kVariables[3] = {"VENDRILL_PORTS_DIR", "XDG_CONFIG_HOME", "HOME"};
    QTemporaryDir dir_;
    QList<QByteArray> saved_;
    QList<bool> wasSet_;
};

TEST_F(ComPortsTest, FolderFromEnvironment) {
    qputenv("HOME", dir_.path().toUtf8());
    EXPECT_EQ(ComPortsFolder(), dir_.path() + "/.config/Vendrill/ports");
    qputenv("XDG_CONFIG_HOME", "/x/config");
    EXPECT_EQ(ComPortsFolder(), "/x/config/Vendrill/ports");
    qputenv("VENDRILL_PORTS_DIR", "/y/ports");
    EXPECT_EQ(ComPortsFolder(), "/y/ports");
}

TEST_F(ComPortsTest, NamesWithoutLinkMapToDeviceRanges) {
    qputenv("VENDRILL_PORTS_DIR", Folder().toUtf8());
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM32", "/dev/ttyS31"},
        {"COM33", "/dev/ttyUSB0"},
        {"COM64", "/dev/ttyUSB31"},
        {"COM65", "/dev/ttyACM0"},
        {"COM96", "/dev/ttyACM31"},
        {"COM97", ""},
        {"COM255", ""},
        {"COM0", ""},
        {"COM256", ""},
        {"COM03", ""},
        {"com3", ""},
        {"COM", ""},
        {"COM3 ", ""},
        {"COM+3", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveComPort(c.name), QString(c.path)) << c.name;
}

TEST_F(ComPortsTest, LinkInPortsFolderComesFirst) {
    qputenv("VENDRILL_PORTS_DIR", Folder().toUtf8());
    Link("COM3", "/dev/null");
    Link("COM200", dir_.path() + "/nowhere"); // dangling: still the device the user named
    EXPECT_EQ(ResolveComPort("COM3"), Folder() + "/COM3");
    EXPECT_EQ(ResolveComPort("COM200"), Folder() + "/COM200");
    EXPECT_EQ(ResolveComPort("COM4"), "/dev/ttyS3");
}

TEST_F(ComPortsTest, ListHoldsPortsWithExistingDevicesInOrder) {
    PtyPair a, b;
    ASSERT_TRUE(a.Valid() && b.Valid());
    qputenv("VENDRILL_PORTS_DIR", Folder().toUtf8());
    Link("COM150", a.SlavePath());
    Link("COM7", b.SlavePath());
    Link("COM120", a.SlavePath());
    Link("COM40", dir_.path() + "/nowhere");
    QFile plain(dir_.path() + "/plain");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    Link("COM41", plain.fileName());

    const QList<int> ports = ComPortList();
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end()));
    for (int n : {7, 120, 150})
        EXPECT_TRUE(ports.contains(n)) << n;
    for (int n : {40, 41, 97, 255})
        EXPECT_FALSE(ports.contains(n)) << n;
}

} // namespace
