// Card file download on crafted images: the chain first, then the data, the progress
// panel's calls, Cancel, failures and the final write; local names; the panel's layout.
#include "CardFakes.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace cardtest;

namespace {

const QString kBrokenChain =
    QStringLiteral("Файловая система карты повреждена: неверная цепочка кластеров.");

QByteArray Data(int size, int seed = 1) {
    QByteArray d(size, '\0');
    for (int i = 0; i < size; ++i)
        d[i] = static_cast<char>(i * 31 + seed + i / 512);
    return d;
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// One-sector clusters; FAT of two sectors, so cluster 300 is in the second one and
// clusters 2 .. 511 can be chained.
Fat16Builder::Geometry SmallClusters() {
    return {512, 1, 1, 2, 16, 2, 4200};
}

class CardDownloadTest : public ::testing::Test {
protected:
    // The instrument falls silent after n more requests.
    void SilenceAfter(int n) {
        served_ = 0;
        rig.Line->SetResponder([this, n](const Bytes& request) {
            return ++served_ > n ? std::vector<FakeInstrument::Piece>{}
                                 : rig.Instrument.Respond(request);
        });
    }
    TCardEntry File(uint16_t cluster, uint32_t size) {
        TCardEntry e;
        e.Name = "DATA    ";
        e.Ext = "BIN";
        e.FirstCluster = cluster;
        e.Size = size;
        return e;
    }
    QString Target() const { return rig.Folder.filePath(QStringLiteral("DATA.BIN")); }

    CardRig rig;
    int served_ = 0;
};

TEST_F(CardDownloadTest, WholeFileWalksTheChainThenReadsTheDataWithProgress) {
    Fat16Builder card(SmallClusters());
    const QByteArray content = Data(1500);
    card.PutFile({5, 300, 7}, content);
    ASSERT_TRUE(rig.MountImage(card.Image()));
    {
        QFile old(Target());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(Data(5000, 9));
    }

    ASSERT_TRUE(rig.Reader.DownloadFile(File(5, 1500), Target()));
    EXPECT_EQ(ReadFile(Target()), content);
    EXPECT_EQ(rig.Progress.Calls,
              QStringList({"busy", "clear", "range 0 3", "path " + Target(),
                           "size Скачено: 0 байт.", "show", "events", "events", "position 1",
                           "size Скачено: 512 байт из 1500.", "events", "position 2",
                           "size Скачено: 1024 байт из 1500.", "events", "hide", "idle"}));
    // Both FAT sectors before any data, each read once.
    const QStringList requests = rig.TakeRequests();
    EXPECT_EQ(requests.mid(0, 8),
              QStringList({"read 1003", "read 1004", "read 1005", "read 1006", "read 1007",
                           "read 1008", "read 1009", "read 1010"}));
    EXPECT_EQ(requests.size(), 8 + 12 + 2); // 3 data sectors, page 1 and back to page 0
    EXPECT_EQ(rig.Boxes.Count(), 0u);
}

TEST_F(CardDownloadTest, CancelWritesWhatWasReadAndReturnsTrue) {
    struct Case {
        const char* name;
        std::vector<uint16_t> clusters;
        int size;
        int cancelAtEvents;
        int bytes;
        int requests;
    };
    // The chain 5, 300, 7 runs through both FAT sectors, 5, 6, 7 through the first one.
    const std::vector<Case> cases = {
        // The chain is left unfinished: the first data sector is read all the same.
        {"while the chain is walked", {5, 300, 7}, 1500, 1, 512, 4 + 4},
        {"after the first data sector", {5, 6, 7}, 1500, 3, 512, 4 + 4},
        {"after the second data sector", {5, 6, 7}, 1500, 4, 1024, 4 + 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CardRig r;
        Fat16Builder card(SmallClusters());
        const QByteArray content = Data(c.size);
        card.PutFile(c.clusters, content);
        ASSERT_TRUE(r.MountImage(card.Image()));
        r.Progress.Cancel = true; // left from an earlier download: cleared at the start
        r.Progress.CancelAtEvents = c.cancelAtEvents;
        const QString target = r.Folder.filePath(QStringLiteral("PART.BIN"));
        ASSERT_TRUE(r.Reader.DownloadFile(File(c.clusters[0], c.size), target));
        EXPECT_EQ(ReadFile(target), content.left(c.bytes));
        EXPECT_EQ(r.TakeRequests().size(), c.requests);
        EXPECT_EQ(r.Progress.Calls.mid(r.Progress.Calls.size() - 2), QStringList({"hide", "idle"}));
    }
}

TEST_F(CardDownloadTest, ChainThatEndsBeforeTheSizeGivesWhatItHolds) {
    for (const uint16_t end : {uint16_t{0xFFFF}, uint16_t{0xFFF8}}) {
        SCOPED_TRACE(end);
        CardRig r;
        Fat16Builder card(SmallClusters());
        card.PutFile({8, 9}, Data(1024));
        card.SetFat(9, end);
        ASSERT_TRUE(r.MountImage(card.Image()));
        const QString target = r.Folder.filePath(QStringLiteral("SHORT.BIN"));
        ASSERT_TRUE(r.Reader.DownloadFile(File(8, 5000), target));
        EXPECT_EQ(ReadFile(target), Data(1024));
    }
}

TEST_F(CardDownloadTest, SizeFromTheCardDoesNotOutrunTheChain) {
    Fat16Builder card(SmallClusters());
    card.PutFile({10}, Data(512));
    ASSERT_TRUE(rig.MountImage(card.Image()));
    ASSERT_TRUE(rig.Reader.DownloadFile(File(10, 0xFFFFFFFF), Target()));
    EXPECT_EQ(ReadFile(Target()), Data(512));
    EXPECT_TRUE(rig.Progress.Calls.contains("range 0 8388608"));
    EXPECT_TRUE(rig.Progress.Calls.contains("size Скачено: 512 байт из 4294967295."));
}

TEST_F(CardDownloadTest, BrokenChainsAbortWithAMessageAndAnEmptyFile) {
    struct Case {
        const char* name;
        uint16_t first;
        std::vector<std::pair<uint16_t, uint16_t>> fat;
    };
    const std::vector<Case> cases = {
        {"loop", 5, {{5, 6}, {6, 5}}},
        {"free cluster in the chain", 5, {{5, 0}}},
        {"reserved value", 5, {{5, 1}}},
        {"beyond the last cluster", 5, {{5, 512}}},
        {"bad cluster mark", 5, {{5, 0xFFF7}}},
        {"first cluster 0", 0, {}},
        {"first cluster beyond the volume", 9000, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CardRig r;
        Fat16Builder card(SmallClusters());
        for (const auto& [cluster, value] : c.fat)
            card.SetFat(cluster, value);
        ASSERT_TRUE(r.MountImage(card.Image()));
        ASSERT_EQ(r.Reader.ClusterCount, 510u);
        const QString target = r.Folder.filePath(QStringLiteral("BROKEN.BIN"));
        EXPECT_THROW(r.Reader.DownloadFile(File(c.first, 4 * 512), target), EMainException);
        ASSERT_EQ(r.Boxes.Count(), 1u);
        EXPECT_EQ(r.Boxes.Boxes()[0].text, kBrokenChain);
        EXPECT_EQ(ReadFile(target), QByteArray());
        EXPECT_EQ(r.Progress.Calls.mid(r.Progress.Calls.size() - 2), QStringList({"hide", "idle"}));
    }
}

TEST_F(CardDownloadTest, FailedReadWritesThePartReadThenAborts) {
    Fat16Builder card(SmallClusters());
    card.PutFile({5, 6, 7}, Data(1500));
    ASSERT_TRUE(rig.MountImage(card.Image()));
    SilenceAfter(4 + 8 + 2); // the FAT sector, two data sectors, half of the third
    EXPECT_THROW(rig.Reader.DownloadFile(File(5, 1500), Target()), EMainException);
    EXPECT_EQ(ReadFile(Target()), Data(1024));
    EXPECT_EQ(rig.Prompt.Asked, std::vector<TProblemKind>({pkNoAnswer}));
    EXPECT_EQ(rig.Progress.Calls.mid(rig.Progress.Calls.size() - 2), QStringList({"hide", "idle"}));

    // A failed FAT read aborts before any data, with an empty file.
    SilenceAfter(0);
    EXPECT_THROW(rig.Reader.DownloadFile(File(5, 1500), Target()), EMainException);
    EXPECT_EQ(ReadFile(Target()), QByteArray());
}

TEST_F(CardDownloadTest, SmallFilesNeedNoProgressStep) {
    Fat16Builder card(SmallClusters());
    card.PutFile({5}, Data(512));
    ASSERT_TRUE(rig.MountImage(card.Image()));

    ASSERT_TRUE(rig.Reader.DownloadFile(File(5, 512), Target()));
    EXPECT_EQ(ReadFile(Target()), Data(512));
    EXPECT_TRUE(rig.Progress.Matching("position").isEmpty());
    EXPECT_EQ(rig.Progress.Matching("size"), QStringList({"size Скачено: 0 байт."}));
    EXPECT_EQ(rig.TakeRequests().size(), 4); // one data sector, no FAT lookup

    // An empty file has no clusters: nothing is read, an empty file is written.
    rig.Progress.Calls.clear();
    ASSERT_TRUE(rig.Reader.DownloadFile(File(0, 0), Target()));
    EXPECT_EQ(ReadFile(Target()), QByteArray());
    EXPECT_TRUE(rig.TakeRequests().isEmpty());
    EXPECT_TRUE(rig.Progress.Calls.contains("range 0 1"));
}

TEST_F(CardDownloadTest, ClusterMultipleEndsWithTheLastByteOfTheFile) {
    Fat16Builder card({512, 4, 1, 2, 16, 1, 16400});
    const QByteArray content = Data(2 * 2048);
    card.PutFile({3, 4}, content);
    ASSERT_TRUE(rig.MountImage(card.Image()));
    ASSERT_TRUE(rig.Reader.DownloadFile(File(3, 4096), Target()));
    EXPECT_EQ(ReadFile(Target()), content);
    EXPECT_EQ(rig.TakeRequests().size(), 4 + 8 * 4); // one FAT lookup, eight data sectors
    EXPECT_EQ(rig.Progress.Matching("position").last(), QStringLiteral("position 7"));
}

TEST_F(CardDownloadTest, UnwritableTargetIsReportedAndNotToBeOpened) {
    Fat16Builder card(SmallClusters());
    card.PutFile({5}, Data(100));
    ASSERT_TRUE(rig.MountImage(card.Image()));
    const QString path = rig.Folder.filePath(QStringLiteral("missing/DATA.BIN"));
    EXPECT_FALSE(rig.Reader.DownloadFile(File(5, 100), path));
    ASSERT_EQ(rig.Boxes.Count(), 1u);
    const auto box = rig.Boxes.Boxes()[0];
    EXPECT_EQ(box.text, QStringLiteral("Неудалось записать фаил") + path);
    EXPECT_EQ(box.caption, QStringLiteral("Ошибка."));
    EXPECT_EQ(box.buttons, platform::MsgButtons::Ok);
    EXPECT_EQ(box.icon, platform::MsgIcon::Information);
    EXPECT_EQ(rig.Progress.Calls.mid(rig.Progress.Calls.size() - 2), QStringList({"hide", "idle"}));
    EXPECT_FALSE(QFileInfo::exists(path));
}

// A FIFO (or, for root, a device) at the download's path is not replaced by a regular
// file: the download reports it as a file it cannot write and leaves it.
TEST_F(CardDownloadTest, ATargetThatIsNotARegularFileIsReported) {
    const testfiles::HangGuard guard;
    Fat16Builder card(SmallClusters());
    card.PutFile({5}, Data(100));
    ASSERT_TRUE(rig.MountImage(card.Image()));
    for (const mode_t kind : testfiles::kNotRegular) {
        SCOPED_TRACE(kind);
        QFile::remove(Target());
        if (!testfiles::MakeNotRegular(Target(), kind))
            continue; // a device, and this process may not make one
        rig.Boxes.Clear();
        EXPECT_FALSE(rig.Reader.DownloadFile(File(5, 100), Target()));
        ASSERT_EQ(rig.Boxes.Count(), 1u);
        EXPECT_EQ(rig.Boxes.Boxes()[0].text, QStringLiteral("Неудалось записать фаил") + Target());
        EXPECT_EQ(testfiles::FileKind(Target()), kind);
        EXPECT_EQ(QDir(rig.Folder.path()).entryList(QDir::System | QDir::Files | QDir::Hidden),
                  QStringList{"DATA.BIN"});
    }
}

TEST_F(CardDownloadTest, UnmountedReaderDownloadsNothing) {
    EXPECT_THROW(rig.Reader.DownloadFile(File(5, 100), Target()), EMainException);
    EXPECT_EQ(rig.Instrument.Requests(), 0);
    EXPECT_TRUE(rig.Progress.Calls.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Target()));
}

TEST(CardLocalFileName, CardNamesBecomeSafeFileNames) {
    struct Case {
        QByteArray name;
        QByteArray ext;
        QString file;
    };
    const std::vector<Case> cases = {
        {"README  ", "TXT", "README.TXT"},
        {"NOEXT   ", "   ", "NOEXT"},
        {"MY FILE ", "A  ", "MY FILE.A"},
        {"\xCF\xD0\xC8\xC1\xCE\xD0  ", "\xC4\xC0\xD2", QStringLiteral("ПРИБОР.ДАТ")},
        {"../../x ", "   ", "_._.._x"},
        {"A/B\\C:D ", "/  ", "A_B_C_D._"},
        {QByteArray("\x01\x1F\x7F*?\"<>", 8), QByteArray("|\0\0", 3), "________.___"},
        {"..      ", "   ", "_."},
        {"        ", "   ", "_"},
        {QByteArray(8, '\0'), "TXT", "________.TXT"},
    };
    QDir folder(QStringLiteral("/tmp/cards"));
    for (const Case& c : cases) {
        TCardEntry e;
        e.Name = c.name;
        e.Ext = c.ext;
        const QString file = CardLocalFileName(e);
        EXPECT_EQ(file, c.file) << c.name.toHex().toStdString();
        EXPECT_EQ(QFileInfo(folder.filePath(file)).absolutePath(), folder.absolutePath());
    }
    EXPECT_EQ(CardNameText(QByteArray("A\x01\xC0 ", 4)), QStringLiteral("A?А "));
}

TEST(ProgressPanelLayout, PanelFitsThePathAndIsCentred) {
    struct Case {
        int path, button, panelHeight, windowWidth, windowHeight;
        TProgressPanelLayout want;
    };
    const std::vector<Case> cases = {
        {301, 75, 90, 800, 600, {321, 301, 123, 240, 255}},
        {300, 75, 90, 800, 600, {320, 280, 123, 240, 255}},
        {280, 75, 90, 800, 600, {300, 280, 113, 250, 255}},
        {0, 76, 91, 801, 601, {300, 280, 112, 250, 255}},
        {900, 75, 90, 400, 300, {920, 900, 423, -260, 105}},
    };
    for (const Case& c : cases) {
        const TProgressPanelLayout got =
            LayoutProgressPanel(c.path, c.button, c.panelHeight, c.windowWidth, c.windowHeight);
        SCOPED_TRACE(c.path);
        EXPECT_EQ(got.PanelWidth, c.want.PanelWidth);
        EXPECT_EQ(got.BarWidth, c.want.BarWidth);
        EXPECT_EQ(got.ButtonLeft, c.want.ButtonLeft);
        EXPECT_EQ(got.PanelLeft, c.want.PanelLeft);
        EXPECT_EQ(got.PanelTop, c.want.PanelTop);
    }
}

} // namespace
