#include "Clock.h"
#include "CodePage.h"
#include "MessageBox.h"
#include "SettingsStore.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;

TEST(VirtualClock, SleepsAdvanceTime) {
    VirtualClock clock(100);
    clock.SleepMs(5);
    clock.SleepMs(0);
    clock.SleepMs(-3);
    clock.Advance(10);
    EXPECT_EQ(clock.NowMs(), 115);
    EXPECT_EQ(clock.SleptMs(), 5);
}

TEST(CodePage, RoundTripsCyrillic) {
    ASSERT_TRUE(CodePageAvailable());
    const QString text = QString::fromUtf8("Внимание ёЁ №");
    const QByteArray bytes = ToCodePage(text);
    EXPECT_EQ(bytes, QByteArray::fromHex("c2ede8ece0ede8e520b8a820b9"));
    EXPECT_EQ(FromCodePage(bytes), text);
}

TEST(MessageBox, RecorderAnswersInOrderThenFirstButton) {
    RecordingMessageBox boxes;
    boxes.Answer(MsgResult::Cancel);
    EXPECT_EQ(MessageBox("a", "b", MsgButtons::OkCancel), MsgResult::Cancel);
    EXPECT_EQ(MessageBox("c", "d", MsgButtons::YesNo), MsgResult::Yes);
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, "a");
    EXPECT_EQ(boxes.Boxes()[1].caption, "d");
}

TEST(SettingsStore, RoundTripAndAbsent) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    QStandardPaths::setTestModeEnabled(false);
    SettingsStore& store = UserSettings();
    EXPECT_FALSE(store.Read("SectionA", "Width").has_value());
    EXPECT_TRUE(store.Write("SectionA", "Width", "640"));
    auto v = store.Read("SectionA", "Width");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->toString(), "640");
    EXPECT_TRUE(SettingsFilePath("SectionA").startsWith(dir.path()));
    EXPECT_FALSE(store.Read("SectionB", "Width").has_value());
}
