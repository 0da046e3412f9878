#include "Clock.h"
#include "CodePage.h"
#include "ConfigHome.h"
#include "MessageBox.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
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

// Once a quiet close has begun, no box reaches a handler: each is answered as its close
// button would answer it. Once the close has gone, boxes show again.
TEST(MessageBox, AQuietCloseAnswersEveryBoxUnseenAsItsCloseButtonWould) {
    const std::pair<MsgButtons, MsgResult> cases[] = {
        {MsgButtons::Ok, MsgResult::Ok},
        {MsgButtons::OkCancel, MsgResult::Cancel},
        {MsgButtons::YesNo, MsgResult::No},
        {MsgButtons::YesNoCancel, MsgResult::Cancel},
        {MsgButtons::RetryCancel, MsgResult::Cancel},
        {MsgButtons::AbortRetryIgnore, MsgResult::Abort},
    };
    // A handler that another passes its boxes on to: not the installed one.
    class : public MessageBoxHandler {
    public:
        MsgResult Show(const QString&, const QString&, MsgButtons, MsgIcon) override {
            ++Shown;
            return MsgResult::Ignore;
        }
        int Shown = 0;
    } passedOn;
    RecordingMessageBox boxes;
    {
        QuietClose close;
        EXPECT_FALSE(QuietCloseBegun());
        close.Begin();
        close.Begin();
        EXPECT_TRUE(QuietCloseBegun());
        for (const auto& [buttons, answer] : cases) {
            EXPECT_EQ(MessageBox("a", "b", buttons), answer);
            EXPECT_EQ(ShowBox(passedOn, "a", "b", buttons, MsgIcon::None), answer);
        }
        EXPECT_EQ(boxes.Count(), 0u);
        EXPECT_EQ(passedOn.Shown, 0);
    }
    EXPECT_FALSE(QuietCloseBegun());
    EXPECT_EQ(MessageBox("c", "d", MsgButtons::YesNo), MsgResult::Yes);
    EXPECT_EQ(ShowBox(passedOn, "e", "f", MsgButtons::Ok, MsgIcon::None), MsgResult::Ignore);
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(passedOn.Shown, 1);
}

TEST(SettingsStore, RoundTripAndAbsent) {
    QStandardPaths::setTestModeEnabled(false);
    SettingsStore& store = UserSettings();
    EXPECT_FALSE(store.Read("SectionA", "Width").has_value());
    EXPECT_TRUE(store.Write("SectionA", "Width", "640"));
    auto v = store.Read("SectionA", "Width");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->toString(), "640");
    EXPECT_TRUE(SettingsFilePath("SectionA").startsWith(g_config->dir.path()));
    EXPECT_FALSE(store.Read("SectionB", "Width").has_value());
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(SettingsStore, ABatchWritesTheFileOnceAtCommitWithWhatSingleWritesWouldLeave) {
    SettingsStore& store = UserSettings();
    const QList<std::pair<QString, QString>> values = {
        {"Width", "640"}, {"Height", "480"}, {"Port", "3"}, {"Dir", "/tmp/a b/архив"}};
    // Both files already hold a value the batch leaves alone and one it replaces.
    for (const char* section : {"Single", "Batch"}) {
        ASSERT_TRUE(store.Write(section, "Left", "5"));
        ASSERT_TRUE(store.Write(section, "Width", "1"));
    }
    for (const auto& [name, value] : values)
        ASSERT_TRUE(store.Write("Single", name, value));
    const QByteArray before = FileBytes(SettingsFilePath("Batch"));

    const int writes = SettingsFileWrites();
    store.Begin();
    for (const auto& [name, value] : values)
        ASSERT_TRUE(store.Write("Batch", name, value));
    EXPECT_EQ(FileBytes(SettingsFilePath("Batch")), before);
    EXPECT_EQ(SettingsFileWrites(), writes);
    EXPECT_EQ(store.Read("Batch", "Port")->toString(), "3");
    EXPECT_TRUE(store.Commit());
    EXPECT_EQ(SettingsFileWrites() - writes, 1);
    EXPECT_EQ(FileBytes(SettingsFilePath("Batch")), FileBytes(SettingsFilePath("Single")));

    // The batch is over: a write reaches the file at once.
    ASSERT_TRUE(store.Write("Batch", "Top", "7"));
    EXPECT_EQ(SettingsFileWrites() - writes, 2);
    EXPECT_TRUE(FileBytes(SettingsFilePath("Batch")).contains("Top=7"));
}

TEST(SettingsStore, ACommitThatCannotWriteIsFalseAndEndsTheBatch) {
    // A regular file where the section's folder should be stops root as well.
    QDir().mkpath(g_config->dir.filePath("Software"));
    QFile blocker(g_config->dir.filePath("Software/Blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsStore& store = UserSettings();
    store.Begin();
    store.Write("Blocked/Inner", "Width", "1");
    EXPECT_FALSE(store.Commit());
    EXPECT_FALSE(store.Write("Blocked/Inner", "Width", "1"));
}
