// The polling master driven step by step, as its port thread would drive it, against an
// instrument played in memory; the dialog's side is a recorder. No thread runs here.
#include "DataMaster.h"
#include "LinkRecorders.h"
#include "MasterFixtures.h"
#include "MessageBox.h"

#include <gtest/gtest.h>

using namespace mastertest;

namespace {

const QString kSearch = "status Поиск устройства...";
const QString kStage = "stage Поиск устройства... 1";
const QString kSilent = "status Устройство не отвечает...";
const QString kUpdate = "status Обновляется пакет";

class MasterSteps : public ::testing::Test {
protected:
    // One poll cycle as the port thread runs it: the first question without a buffer,
    // then an exchange and the next question until the master answers none, or until
    // maxAsks questions were asked. The number of questions.
    int Cycle(int maxAsks = 1000) {
        TPortBuffer* buffer = nullptr;
        master.NextRequest(buffer);
        int asks = 1;
        while (buffer && asks < maxAsks) {
            EXPECT_EQ(buffer, &master.Buffer());
            Exchange(*buffer, device);
            master.NextRequest(buffer);
            ++asks;
        }
        cycleEnded = buffer == nullptr;
        return asks;
    }
    // The posts since the last call.
    QStringList Posts() {
        const QStringList lines = dialog.Lines();
        dialog.Clear();
        return lines;
    }
    QStringList Requests() {
        const QStringList log = device.Log();
        device.ClearLog();
        return log;
    }
    // Connected as far as the steps go, through the first full read, which must pass.
    void StartPolling(Project& project, const QString& id = "") {
        master.StartSteps(id, project.List, project.Writes);
        Cycle();
        ASSERT_EQ(master.State(), dmsPoll);
        Posts();
        Requests();
    }

    platform::RecordingMessageBox boxes;
    TRecordingMainWindow window;
    TRecordingConnectProcess dialog;
    TDataMaster master{window, dialog};
    Device device;
    bool cycleEnded = false;
};

TEST_F(MasterSteps, AWholeConnection) {
    Project project(2);
    master.StartSteps("ABC", project.List, project.Writes);
    EXPECT_EQ(master.State(), dmsSearch);

    Cycle();
    EXPECT_TRUE(cycleEnded);
    EXPECT_EQ(Posts(), (QStringList{"request", kStage, "show", kSearch,        //
                                    "reply", "request", kUpdate, "progress 0", //
                                    "reply", "request", "progress 1",          //
                                    "reply", "done"}));
    EXPECT_EQ(Requests(), (QStringList{"id", "p0", "p1"}));
    EXPECT_EQ(master.State(), dmsPoll);

    for (int cycle = 0; cycle < 2; ++cycle) {
        Cycle();
        EXPECT_EQ(Posts(), (QStringList{"request", "reply", "request", "reply", "cycle"}));
        EXPECT_EQ(Requests(), (QStringList{"p0", "p1"}));
    }
}

TEST_F(MasterSteps, PostsCarryTheDialogsValuesOfTheirMoment) {
    Project project(3);
    master.StartSteps("ABC", project.List, project.Writes);
    Cycle();
    const auto entries = dialog.Entries();
    std::vector<TConnectProgress> progress;
    for (const auto& e : entries)
        if (!e.Stage && e.Progress.Code == lnkProgress)
            progress.push_back(e.Progress);
    ASSERT_EQ(progress.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(progress[i].LParam, i);
        EXPECT_EQ(progress[i].ProgressPos, i);
        EXPECT_EQ(progress[i].ProgressMin, 0);
        EXPECT_EQ(progress[i].ProgressMax, 2);
        EXPECT_EQ(progress[i].MessageText, "Обновляется пакет");
    }
    // The search's status went out with its own text, not the later one.
    EXPECT_EQ(entries[3].Progress.MessageText, "Поиск устройства...");
}

TEST_F(MasterSteps, WithoutIdentificationTheDialogIsNeverShown) {
    Project project(2);
    master.StartSteps("", project.List, project.Writes);
    Cycle();
    EXPECT_EQ(Posts(), (QStringList{"request", kUpdate, "progress 0", //
                                    "reply", "request", "progress 1", //
                                    "reply", "done"}));
    EXPECT_EQ(Requests(), (QStringList{"p0", "p1"}));
    EXPECT_EQ(master.State(), dmsPoll);
}

// The device stays silent (or answers 3 bytes): every unanswered request goes out
// again at once; the 32nd in a row and every later one show "Устройство не отвечает...".
TEST_F(MasterSteps, UnansweredIdentificationRequests) {
    struct Case {
        const char* name;
        int unanswered;
        Bytes reply;
        int silentShown;
    };
    const Case cases[] = {
        {"31 unanswered show nothing", 31, {}, 0},
        {"the 32nd shows it", 32, {}, 1},
        {"and every later one", 40, {}, 9},
        {"3 bytes are no reply", 32, {kSlave, 0x11, 0x00}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRecordingConnectProcess dialog;
        TDataMaster master(window, dialog);
        Project project(1);
        device.SetOverride([&](const Bytes&, const QString&) { return c.reply; });
        master.StartSteps("ABC", project.List, project.Writes);
        TPortBuffer* buffer = nullptr;
        master.NextRequest(buffer);
        for (int i = 0; i < c.unanswered; ++i) {
            Exchange(*buffer, device);
            master.NextRequest(buffer);
        }
        EXPECT_EQ(dialog.Count(lnkRequest), static_cast<size_t>(c.unanswered + 1));
        EXPECT_EQ(static_cast<int>(dialog.Lines().count(kSilent)), c.silentShown);
        EXPECT_EQ(master.State(), dmsSearch);
        EXPECT_NE(buffer, nullptr); // the search never gives up by itself
    }
}

TEST_F(MasterSteps, AnIdentificationReplyWithABadCrcIsSentAgainUncounted) {
    Project project(1);
    Bytes bad = WithCrc({kSlave, 0x11, 3, 'A', 'B', 'C'});
    bad.back() ^= 0xFF;
    int answered = 0;
    device.SetOverride([&](const Bytes&, const QString&) -> std::optional<Bytes> {
        if (++answered <= 3)
            return bad;
        return std::nullopt;
    });
    master.StartSteps("ABC", project.List, project.Writes);
    Cycle();
    // The same frame went out four times, but only the first and the good reply's
    // follow-up were handed over as new requests.
    EXPECT_EQ(Requests(), (QStringList{"id", "id", "id", "id", "p0"}));
    EXPECT_EQ(Posts().mid(0, 6),
              (QStringList{"request", kStage, "show", kSearch, "reply", "request"}));
    EXPECT_EQ(master.Retries(), 0);
}

// The identification text against the reply's bytes from offset 3 on.
TEST_F(MasterSteps, IdentificationMatch) {
    struct Case {
        QString id;
        Bytes text;
        bool match;
    };
    const Case cases[] = {
        {"ABC", {'A', 'B', 'C'}, true},
        {"ABC", {'A', 'B', 'C', 'D', ' ', '1'}, true}, // the device's text begins with it
        {"ABC", {'A', 'B', 'D'}, false},
        {"ABC", {'a', 'b', 'c'}, false},
        {"ABC", {'A', 'B'}, false}, // shorter than the text
        {"ABC", {}, false},
        {"ВКТ-7", {0xC2, 0xCA, 0xD2, '-', '7'}, true}, // Windows-1251 bytes
        {QString(300, 'A'), Bytes(249, 'A'), false},   // more than any reply holds
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id.left(10).toStdString() + " / " +
                     std::string(c.text.begin(), c.text.end()).substr(0, 10));
        TRecordingConnectProcess dialog;
        TDataMaster master(window, dialog);
        Project project(1);
        device.Id = c.text;
        master.StartSteps(c.id, project.List, project.Writes);
        TPortBuffer* buffer = nullptr;
        master.NextRequest(buffer);
        Exchange(*buffer, device);
        master.NextRequest(buffer);

        QStringList lines = dialog.Lines().mid(4);
        if (c.match) {
            EXPECT_EQ(lines, (QStringList{"reply", "request", kUpdate, "progress 0"}));
            EXPECT_EQ(master.State(), dmsUpdate);
            EXPECT_NE(buffer, nullptr);
        } else {
            EXPECT_EQ(lines, (QStringList{"reply", "mismatch"}));
            EXPECT_EQ(dialog.Entries().back().Progress.ErrorText, TDataMaster::MismatchText);
            EXPECT_EQ(master.State(), dmsStopped);
            EXPECT_EQ(buffer, nullptr);
        }
    }
}

TEST_F(MasterSteps, TheMismatchTextBreaksItsLinesWithLineFeedCarriageReturn) {
    EXPECT_EQ(TDataMaster::MismatchText.toUtf8(),
              QByteArray("Внимание!!!\x0A\x0D"
                         "Найденое устройство не соответствует файлу описания.\x0A\x0D"
                         "Дальнейшая работа с этим устройством не возможна."));
}

// Bytes left in Rx by an earlier, longer reply must not make a short reply match.
TEST_F(MasterSteps, OnlyReplyBytesThatCameAreCompared) {
    Project project(1);
    master.StartSteps("ABC", project.List, project.Writes);
    TPortBuffer reply;
    const Bytes full = WithCrc({kSlave, 0x11, 3, 'A', 'B', 'C'});
    std::copy(full.begin(), full.end(), reply.Rx);
    reply.RxCount = static_cast<uint8_t>(full.size());
    EXPECT_TRUE(master.DeviceIdMatches(reply));
    reply.RxCount = 7; // "AB" and a CRC came; 'C' is what the earlier reply left
    EXPECT_FALSE(master.DeviceIdMatches(reply));
}

TEST_F(MasterSteps, ABadReplyInTheFirstFullReadSendsThePacketAgain) {
    Project project(3);
    int p1 = 0;
    device.SetOverride([&](const Bytes&, const QString& label) -> std::optional<Bytes> {
        if (label == "p1" && ++p1 == 1)
            return WithCrc({kSlave, 0x83, 0x02}); // an exception reply
        return std::nullopt;
    });
    master.StartSteps("", project.List, project.Writes);
    Cycle();
    EXPECT_EQ(Posts(), (QStringList{"request", kUpdate, "progress 0", //
                                    "reply", "request", "progress 1", //
                                    "request", "progress 1",          // packet 1 again
                                    "reply", "request", "progress 2", //
                                    "reply", "done"}));
    EXPECT_EQ(Requests(), (QStringList{"p0", "p1", "p1", "p2"}));
    EXPECT_TRUE(cycleEnded);
}

TEST_F(MasterSteps, AProjectWithoutPacketsGoesStraightToPolling) {
    Project project(0);
    master.StartSteps("ABC", project.List, project.Writes);
    Cycle();
    EXPECT_EQ(Posts(), (QStringList{"request", kStage, "show", kSearch, "reply", "done"}));
    EXPECT_EQ(master.State(), dmsPoll);
    project.QueueWrite(5, 7);
    Cycle();
    EXPECT_EQ(Posts(), (QStringList{"request", "reply", "cycle"}));
    EXPECT_EQ(Requests(), (QStringList{"id", "w5"}));
}

TEST_F(MasterSteps, TheCyclicPollReadsOnlyActivePacketsAndSkipsBadReplies) {
    Project project(4, false);
    StartPolling(project); // every register has been read: none is stale any more
    project.Registers[1]->Watched = true;
    project.Registers[3]->Watched = true;
    device.Values[30] = 99; // packet 3 reads wire address 30
    int p3 = 0;
    device.SetOverride([&](const Bytes&, const QString& label) -> std::optional<Bytes> {
        if (label == "p3" && ++p3 == 1)
            return Bytes{};
        return std::nullopt;
    });
    Cycle();
    EXPECT_EQ(Requests(), (QStringList{"p1", "p3"}));
    EXPECT_EQ(Posts(), (QStringList{"request", "reply", "request", "cycle"}));
    EXPECT_EQ(project.Registers[3]->AsWord(), 0); // not read again in this cycle
    Cycle();
    EXPECT_EQ(Requests(), (QStringList{"p1", "p3"}));
    EXPECT_EQ(project.Registers[3]->AsWord(), 99);
}

TEST_F(MasterSteps, AWriteQueuedWhilePacket5Of8IsReadGoesOutRightAfterIt) {
    Project project(8);
    StartPolling(project);
    device.SetOverride([&](const Bytes&, const QString& label) -> std::optional<Bytes> {
        if (label == "p5" && project.Writes.Empty() && device.Log().count("w3") == 0)
            project.QueueWrite(3, 1234);
        return std::nullopt;
    });
    Cycle();
    EXPECT_EQ(Requests(), (QStringList{"p0", "p1", "p2", "p3", "p4", "p5", "w3", //
                                       "p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7"}));
    EXPECT_TRUE(project.Writes.Empty());
    EXPECT_EQ(device.Values[2], 1234);
    EXPECT_EQ(dialog.Count(lnkCycle), 1u); // one cycle for all of it
}

TEST_F(MasterSteps, TwoQueuedWritesGoOutInTwoStepsBeforeAnyRead) {
    Project project(2);
    StartPolling(project);
    project.QueueWrite(3, 1);
    project.QueueWrite(4, 2);
    Cycle();
    EXPECT_EQ(Requests(), (QStringList{"w3", "w4", "p0", "p1"}));
    EXPECT_EQ(Posts(), (QStringList{"request", "reply", "request", "reply", //
                                    "request", "reply", "request", "reply", "cycle"}));
}

TEST_F(MasterSteps, ACycleWithoutActivePacketsSendsOnlyTheWrites) {
    Project project(3, false);
    StartPolling(project);
    Cycle();
    EXPECT_EQ(Requests(), QStringList{});
    EXPECT_EQ(Posts(), QStringList{"cycle"});
    project.QueueWrite(1, 5);
    Cycle();
    EXPECT_EQ(Requests(), QStringList{"w1"});
    EXPECT_EQ(Posts(), (QStringList{"request", "reply", "cycle"}));
}

TEST_F(MasterSteps, ARefusedWriteIsReportedOnceAndDropped) {
    Project project(1, false);
    StartPolling(project);
    project.QueueWrite(1, 5);
    project.QueueWrite(2, 6);
    device.SetOverride([&](const Bytes&, const QString& label) -> std::optional<Bytes> {
        if (label == "w1")
            return WithCrc({kSlave, 0x86, 0x02});
        return std::nullopt;
    });
    Cycle();
    EXPECT_EQ(Requests(), (QStringList{"w1", "w2"}));
    EXPECT_EQ(Posts(), (QStringList{"request", "request", "reply", "cycle"}));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Не получилось записать региср!");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Внимание");
    EXPECT_TRUE(project.Writes.Empty());
}

// A write whose reply was never judged (a disconnect came in between) stays at the
// head of the queue and goes out again in the next connection's poll.
TEST_F(MasterSteps, AWriteNotJudgedGoesOutAgain) {
    Project project(1, false);
    StartPolling(project);
    project.QueueWrite(1, 5);
    TPortBuffer* buffer = nullptr;
    master.NextRequest(buffer);
    ASSERT_TRUE(master.WriteInFlight());
    Exchange(*buffer, device);
    master.Disconnect();
    master.NextRequest(buffer);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(project.Writes.Size(), 1u);

    StartPolling(project);
    EXPECT_EQ(project.Writes.Size(), 1u); // only the poll sends writes
    Cycle();
    EXPECT_EQ(Requests(), QStringList{"w1"});
    EXPECT_TRUE(project.Writes.Empty());
}

TEST_F(MasterSteps, WritesWaitWhileTheMasterIsNotPolling) {
    Project project(1);
    project.QueueWrite(1, 5);
    master.StartSteps("ABC", project.List, project.Writes);
    Cycle();
    EXPECT_EQ(Requests(), (QStringList{"id", "p0"}));
    EXPECT_EQ(project.Writes.Size(), 1u);
    master.Disconnect();
    Cycle();
    EXPECT_EQ(Requests(), QStringList{});
    EXPECT_EQ(project.Writes.Size(), 1u);
}

TEST_F(MasterSteps, TheIdentificationRequestUsesTheCurrentAddress) {
    Project project(1);
    master.SetAddress(1);
    master.StartSteps("ABC", project.List, project.Writes);
    TPortBuffer* buffer = nullptr;
    master.NextRequest(buffer);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(Bytes(buffer->Tx, buffer->Tx + buffer->TxLen), WithCrc({1, 0x11}));
    EXPECT_EQ(buffer->RxLen, 255);
    master.SetAddress(kSlave);
    master.NextRequest(buffer);
    EXPECT_EQ(Bytes(buffer->Tx, buffer->Tx + buffer->TxLen), (Bytes{0xD2, 0x11, 0x9D, 0x1C}));
}

} // namespace
