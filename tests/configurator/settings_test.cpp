#include "ConfigHome.h"
#include "MemorySettings.h"
#include "Settings.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

const QString kSection = "Morlavin_V1";

QStringList Names() {
    return {"Width", "Height",    "Left",    "Top",     "WinState",
            "Port",  "PortSpeed", "TimeOut", "ScanRate"};
}

QList<int32_t> Numbers(const TQeldSettings& s) {
    return {s.Width,     s.Height,         s.Left,         s.Top,          s.WinState,
            s.Link.Port, s.Link.PortSpeed, s.Link.TimeOut, s.Link.ScanRate};
}

TEST(QeldSettings, NothingStoredGivesTheDefaults) {
    MemorySettings store;
    TQeldSettings settings;
    settings.Load(store);
    EXPECT_EQ(Numbers(settings), (QList<int32_t>{600, 400, 463, 299, 0, 1, 9600, 100, 1000}));
}

TEST(QeldSettings, SavesDecimalTextAndLoadsItBack) {
    MemorySettings store;
    TQeldSettings saved;
    saved.Width = 801;
    saved.Height = 602;
    saved.Left = -40;
    saved.Top = 7;
    saved.Link = {3, 115200, 250, 30};
    ASSERT_TRUE(saved.Save(store));
    const QStringList texts = {"801", "602", "-40", "7", "0", "3", "115200", "30", "250"};
    for (int i = 0; i < Names().size(); ++i)
        EXPECT_EQ(store.Text(kSection, Names()[i]), texts[i]) << Names()[i].toStdString();

    TQeldSettings loaded;
    loaded.Load(store);
    EXPECT_EQ(Numbers(loaded), Numbers(saved));
}

TEST(QeldSettings, BadValuesKeepTheDefaultAndTheRestIsRead) {
    MemorySettings store;
    for (const QString& name : Names())
        store.Write(kSection, name, "5");
    const struct {
        const char* name;
        QVariant stored;
        int32_t expected;
    } cases[] = {
        {"Width", "abc", 600},       {"Height", "", 400},       {"Left", "12x", 463},
        {"Top", "99999999999", 299}, {"Port", QVariant(7), 1},  {"PortSpeed", "$4B00", 19200},
        {"TimeOut", "  +42", 42},    {"ScanRate", "0x64", 100},
    };
    for (const auto& c : cases)
        store.Values[{kSection, c.name}] = c.stored;
    TQeldSettings settings;
    settings.Load(store);
    for (const auto& c : cases)
        EXPECT_EQ(Numbers(settings)[Names().indexOf(c.name)], c.expected) << c.name;
    EXPECT_EQ(settings.WinState, 5);
}

TEST(QeldSettings, GeometryIsWrittenOnlyInTheNormalState) {
    for (int32_t state : {wsMinimized, wsMaximized}) {
        MemorySettings store;
        TQeldSettings normal;
        normal.Width = 700;
        ASSERT_TRUE(normal.Save(store));

        TQeldSettings other = normal;
        other.WinState = state;
        other.Width = 1920;
        other.Link.Port = 9;
        ASSERT_TRUE(other.Save(store));
        EXPECT_EQ(store.Text(kSection, "Width"), "700") << state;
        EXPECT_EQ(store.Text(kSection, "WinState"), QString::number(state));
        EXPECT_EQ(store.Text(kSection, "Port"), "9");
    }
}

TEST(QeldSettings, AFailedWriteIsReportedAndTheOthersAreWritten) {
    MemorySettings store;
    store.Refused = {"Height"};
    TQeldSettings settings;
    EXPECT_FALSE(settings.Save(store));
    EXPECT_EQ(store.Writes, 8);
    EXPECT_EQ(store.Text(kSection, "ScanRate"), "1000");
}

TEST(QeldSettings, OneSaveRewritesTheFileOnce) {
    for (int32_t state : {wsNormal, wsMaximized}) {
        TQeldSettings settings;
        settings.WinState = state;
        settings.Link.Port = 4 + state;
        const int writes = platform::SettingsFileWrites();
        ASSERT_TRUE(settings.Save());
        EXPECT_EQ(platform::SettingsFileWrites() - writes, 1) << state;

        TQeldSettings loaded;
        loaded.Load();
        EXPECT_EQ(Numbers(loaded), Numbers(settings)) << state;
    }
}

// The file a first save makes is the one QSettings made, its keys sorted; so is the file
// after a save in the normal state adds the geometry that one while maximized left out.
TEST(QeldSettings, TheFileIsWrittenAsQSettingsWroteIt) {
    const QString path = platform::SettingsFilePath(kSection);
    QFile::remove(path);
    TQeldSettings settings;
    settings.WinState = wsMaximized;
    ASSERT_TRUE(settings.Save());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(),
              "[General]\nPort=1\nPortSpeed=9600\nScanRate=1000\nTimeOut=100\nWinState=2\n");
    file.close();
    settings.WinState = wsNormal;
    ASSERT_TRUE(settings.Save());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(),
              "[General]\nHeight=400\nLeft=463\nPort=1\nPortSpeed=9600\nScanRate=1000\n"
              "TimeOut=100\nTop=299\nWidth=600\nWinState=0\n");
}

} // namespace
