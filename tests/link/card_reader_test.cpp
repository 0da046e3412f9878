// The card reader against a fake instrument: the card protocol, the retry rule, mounting
// and listing, on small crafted FAT16 images.
#include "CardFakes.h"

#include <gtest/gtest.h>

using namespace cardtest;

namespace {

const QString kBadBootSector =
    QStringLiteral("Карта не распознана: загрузочный сектор не описывает том FAT16.");
const QString kBrokenChain =
    QStringLiteral("Файловая система карты повреждена: неверная цепочка кластеров.");

QByteArray Pattern(uint32_t sectors) {
    QByteArray card(qsizetype{sectors} * 512, '\0');
    for (qsizetype i = 0; i < card.size(); ++i)
        card[i] = static_cast<char>((i / 512) * 7 + i);
    return card;
}

QByteArray SectorBytes(const TMMC& reader) {
    return QByteArray(reinterpret_cast<const char*>(reader.Sector.data()), 512);
}

Bytes NoCardReply() {
    return WithCrc({210, 0x83, 8});
}

class CardReaderTest : public ::testing::Test {
protected:
    CardRig rig;
};

// ---- Protocol -------------------------------------------------------------------------

TEST_F(CardReaderTest, SectorOnAnotherPageSelectsItThenReadsFourQuarters) {
    rig.Instrument.Card = Pattern(4700);
    rig.Reader.Page = 3;
    ASSERT_TRUE(rig.Reader.ReadSector(4660));
    EXPECT_EQ(rig.TakeRequests(),
              QStringList({"page 18", "read 1207", "read 1208", "read 1209", "read 1210"}));
    EXPECT_EQ(SectorBytes(rig.Reader), rig.CardBytes(4660));
    EXPECT_EQ(rig.Reader.Page, std::optional<uint16_t>(18));

    const auto writes = rig.Line->Writes();
    EXPECT_EQ(writes[0], WithCrc({210, 6, 0x03, 0xE7, 0x00, 0x12}));
    EXPECT_EQ(writes[1], WithCrc({210, 3, 0x04, 0xB7, 0x00, 0x40}));

    // The same page again: no select.
    ASSERT_TRUE(rig.Reader.ReadSector(4661));
    EXPECT_EQ(rig.TakeRequests(),
              QStringList({"read 1211", "read 1212", "read 1213", "read 1214"}));
    EXPECT_TRUE(rig.Prompt.Asked.empty());
    EXPECT_EQ(rig.Reader.Buffer.Tx[0], 210);
}

TEST_F(CardReaderTest, PageSixtyFiveThousandFiveHundredThirtyFiveIsAPageLikeAnyOther) {
    // FFFF hex is a real page, not "none": once selected it is not selected again.
    rig.Instrument.Card = QByteArray();
    rig.Instrument.Scripted = {WithCrc({210, 6, 0x03, 0xE7, 0xFF, 0xFF})};
    ASSERT_TRUE(rig.Reader.SelectPage(0xFFFF));
    EXPECT_EQ(rig.Reader.Page, std::optional<uint16_t>(0xFFFF));
    TMMC fresh;
    EXPECT_FALSE(fresh.Page.has_value());
}

TEST_F(CardReaderTest, PageSelectEchoingAnotherPageIsAccepted) {
    rig.Instrument.Card = Pattern(600);
    rig.Instrument.EchoPage = 7;
    ASSERT_TRUE(rig.Reader.ReadSector(2 * 256 + 5));
    EXPECT_EQ(rig.Reader.Page, std::optional<uint16_t>(2));
    EXPECT_EQ(SectorBytes(rig.Reader), rig.CardBytes(2 * 256 + 5));
    EXPECT_TRUE(rig.Prompt.Asked.empty());
}

TEST_F(CardReaderTest, NoCardReplyShowsItsPanelAtOnceAndRetrySendsTheSameQuarter) {
    rig.Instrument.Card.reset();
    rig.Prompt.Answers = {true, false};
    EXPECT_FALSE(rig.Reader.ReadSector(1));
    // One try each: the exception reply is an answer.
    EXPECT_EQ(rig.TakeRequests(), QStringList({"page 0", "read 1003", "read 1003"}));
    EXPECT_EQ(rig.Prompt.Asked, std::vector<TProblemKind>({pkNoCard, pkNoCard}));
    EXPECT_EQ(rig.Sleeper.SleptMs(), 0);
    const auto writes = rig.Line->Writes();
    EXPECT_EQ(writes[1], writes[2]);
}

TEST_F(CardReaderTest, RetryAfterAFailedQuarterGoesOnWithTheRestOfTheSector) {
    rig.Instrument.Card = Pattern(4);
    rig.Reader.Page = 0;
    rig.Instrument.Scripted = {{}, {}, {}}; // quarter 0: three silent tries
    rig.Prompt.Answers = {true};
    ASSERT_TRUE(rig.Reader.ReadSector(2));
    EXPECT_EQ(rig.TakeRequests(), QStringList({"read 1007", "read 1007", "read 1007", "read 1007",
                                               "read 1008", "read 1009", "read 1010"}));
    EXPECT_EQ(rig.Prompt.Asked, std::vector<TProblemKind>({pkNoAnswer}));
    EXPECT_EQ(rig.Sleeper.SleptMs(), 700);
    EXPECT_EQ(SectorBytes(rig.Reader), rig.CardBytes(2));
}

struct FailureCase {
    const char* name;
    std::deque<Bytes> replies; // to the first quarter read (Page already 0)
    std::vector<TProblemKind> asked;
    int requests;
    int64_t sleptMs;
};

TEST_F(CardReaderTest, FailedQuarterReadsAskWithTheirKind) {
    Bytes badCrc = WithCrc({210, 3, 2, 0, 0});
    badCrc.back() ^= 1;
    const Bytes shortRead = WithCrc({210, 3, 2, 0x12, 0x34});
    const std::vector<FailureCase> cases = {
        {"silent", {{}, {}, {}}, {pkNoAnswer}, 3, 700},
        {"bad CRC every time", {badCrc, badCrc, badCrc}, {pkNoAnswer}, 3, 700},
        {"answered on the third try", {{}, badCrc, NoCardReply()}, {pkNoCard}, 3, 700},
        {"answered on the second try", {{}, NoCardReply()}, {pkNoCard}, 2, 200},
        {"other exception code", {WithCrc({210, 0x83, 2})}, {pkException}, 1, 0},
        {"code 8 of another function", {WithCrc({210, 0x84, 8})}, {pkException}, 1, 0},
        {"reply of the wrong length", {shortRead}, {pkException}, 1, 0},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        CardRig r;
        r.Instrument.Card = Pattern(2);
        r.Reader.Page = 0;
        r.Instrument.Scripted = c.replies;
        EXPECT_FALSE(r.Reader.ReadSector(0));
        EXPECT_EQ(r.Prompt.Asked, c.asked);
        EXPECT_EQ(r.Instrument.Requests(), c.requests);
        EXPECT_EQ(r.Sleeper.SleptMs(), c.sleptMs);
    }
}

TEST_F(CardReaderTest, FailedPageSelectKeepsTheOldPage) {
    rig.Instrument.Card = Pattern(600);
    rig.Reader.Page = 1;
    rig.Instrument.Scripted = {WithCrc({210, 0x86, 2})};
    EXPECT_FALSE(rig.Reader.ReadSector(512));
    EXPECT_EQ(rig.Prompt.Asked, std::vector<TProblemKind>({pkException}));
    EXPECT_EQ(rig.Reader.Page, std::optional<uint16_t>(1));

    rig.Prompt.Asked.clear();
    rig.Instrument.Scripted = {{}, {}, {}};
    EXPECT_FALSE(rig.Reader.SelectPage(2));
    EXPECT_EQ(rig.Prompt.Asked, std::vector<TProblemKind>({pkNoAnswer}));
    EXPECT_EQ(rig.Reader.Page, std::optional<uint16_t>(1));
}

TEST_F(CardReaderTest, WithoutAPromptAFailedRequestGivesUp) {
    rig.Reader.Prompt = nullptr;
    rig.Instrument.Card.reset();
    EXPECT_FALSE(rig.Reader.ReadSector(0));
    EXPECT_EQ(rig.Instrument.Requests(), 2);
}

TEST_F(CardReaderTest, SendRequestCompletesTheFrameAndExpectsItsReplyLength) {
    rig.Instrument.Card = Pattern(1);
    rig.Reader.BuildReadRequest(1000, 64);
    EXPECT_EQ(rig.Reader.Buffer.TxLen, 8);
    EXPECT_TRUE(rig.Reader.SendRequest());
    EXPECT_EQ(rig.Reader.Buffer.RxLen, 133);
    EXPECT_EQ(rig.Line->Writes().back(), WithCrc({210, 3, 0x03, 0xE8, 0x00, 0x40}));
    EXPECT_TRUE(rig.Reader.CheckReplyCRC());

    TMMC unlent;
    unlent.SetClock(rig.Sleeper);
    unlent.BuildReadRequest(1000, 64);
    EXPECT_FALSE(unlent.SendRequest());
    EXPECT_FALSE(unlent.Transact());
}

// ---- Mount ----------------------------------------------------------------------------

TEST_F(CardReaderTest, MountDerivesTheLayoutFromTheBootSector) {
    Fat16Builder card({512, 4, 3, 2, 64, 16, 16400});
    rig.Instrument.Card = card.Image();
    ASSERT_TRUE(rig.Reader.Mount());
    const TMMC& m = rig.Reader;
    EXPECT_EQ(m.SecPerClus, 4);
    EXPECT_EQ(m.FATSize, 16);
    EXPECT_EQ(m.FATStart, 3u);
    EXPECT_EQ(m.RootStart, 35u);
    EXPECT_EQ(m.RootSectors, 4u);
    EXPECT_EQ(m.DataStart, 39u);
    EXPECT_EQ(m.ClusterCount, (16400u - 39) / 4);
    EXPECT_EQ(m.CurDir, 0);
    EXPECT_EQ(m.ClusterToSector(0), 35u);
    EXPECT_EQ(m.ClusterToSector(2), 39u);
    EXPECT_EQ(m.ClusterToSector(5), 51u);
    EXPECT_EQ(rig.TakeRequests().size(), 5); // page 0 and one sector
}

TEST_F(CardReaderTest, MountFollowsThePartitionTableWhenByteZeroIsZero) {
    Fat16Builder card({512, 2, 1, 2, 16, 17, 8300});
    const uint32_t start = 300; // on page 1
    rig.Instrument.Card = card.WithPartitionTable(start);
    ASSERT_TRUE(rig.Reader.Mount());
    EXPECT_EQ(rig.TakeRequests().mid(5, 2), QStringList({"page 1", "read 1175"}));
    EXPECT_EQ(rig.Reader.FATStart, start + 1);
    EXPECT_EQ(rig.Reader.RootStart, start + 35);
    EXPECT_EQ(rig.Reader.DataStart, start + 36);
    EXPECT_EQ(rig.Reader.ClusterCount, (8300u - 36) / 2);
}

TEST_F(CardReaderTest, MountRefusesBootSectorsThatDescribeNoFat16Volume) {
    struct Case {
        const char* name;
        Fat16Builder::Geometry geometry;
        bool pageDropped;
    };
    const std::vector<Case> cases = {
        {"1024-byte sectors", {1024, 1, 1, 2, 32, 1, 4200}, true},
        {"0 sectors per cluster", {512, 0, 1, 2, 32, 1, 4200}, false},
        {"3 sectors per cluster", {512, 3, 1, 2, 32, 1, 12600}, false},
        {"no FAT", {512, 1, 1, 0, 32, 1, 4200}, false},
        {"FAT of 0 sectors", {512, 1, 1, 2, 32, 0, 4200}, false},
        // Told by the count of data clusters; here data starts at sector 4.
        {"4084 clusters: FAT12", {512, 1, 1, 2, 16, 1, 4088}, false},
        {"65525 clusters: FAT32", {512, 1, 1, 2, 16, 1, 65529}, false},
        {"4084 clusters of two sectors, one sector over", {512, 2, 1, 2, 16, 1, 8173}, false},
        {"a root sector partly used counts whole", {512, 1, 1, 2, 17, 1, 4089}, false},
        {"no volume size", {512, 1, 1, 2, 16, 1, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CardRig r;
        r.Instrument.Card = Fat16Builder::BootSector(c.geometry);
        EXPECT_FALSE(r.Reader.Mount());
        EXPECT_EQ(r.Reader.CurDir, TMMC::NotMounted);
        EXPECT_EQ(r.Reader.SecPerClus, 0);
        EXPECT_EQ(r.Reader.Page.has_value(), !c.pageDropped);
        ASSERT_EQ(r.Boxes.Count(), 1u);
        EXPECT_EQ(r.Boxes.Boxes()[0].text, kBadBootSector);
        EXPECT_EQ(r.Boxes.Boxes()[0].caption, QStringLiteral("Внимание"));
        EXPECT_FALSE(r.Reader.ReadDirectory());
        r.TakeRequests();
        // With the page dropped the next read selects its page again.
        ASSERT_TRUE(r.Reader.ReadSector(0));
        EXPECT_EQ(r.TakeRequests().size(), c.pageDropped ? 5 : 4);
    }
}

TEST_F(CardReaderTest, MountTakesFat16AtBothEndsOfItsCountOfDataClusters) {
    // One reserved sector, two FATs of one sector, a root of one: data from sector 4.
    const std::vector<Fat16Builder::Geometry> volumes = {
        {512, 1, 1, 2, 16, 1, 4089},  // 4085 clusters
        {512, 1, 1, 2, 16, 1, 65528}, // 65524
        {512, 2, 1, 2, 16, 1, 8174},  // 4085 of two sectors
    };
    for (const Fat16Builder::Geometry& g : volumes) {
        SCOPED_TRACE(g.TotalSectors);
        CardRig r;
        r.Instrument.Card = Fat16Builder::BootSector(g);
        EXPECT_TRUE(r.Reader.Mount());
        EXPECT_EQ(r.Boxes.Count(), 0u);
    }
}

TEST_F(CardReaderTest, AFailedMountKeepsTheMountedVolume) {
    Fat16Builder good;
    ASSERT_TRUE(rig.MountImage(good.Image()));
    rig.Reader.CurDir = 3;
    rig.Instrument.Card = Fat16Builder::BootSector({512, 0, 1, 2, 32, 1, 4200});
    EXPECT_FALSE(rig.Reader.Mount());
    EXPECT_EQ(rig.Reader.CurDir, 3);
    EXPECT_EQ(rig.Reader.SecPerClus, 1);
}

// ---- Listing --------------------------------------------------------------------------

TEST_F(CardReaderTest, ListingAppliesTheEntryRulesInOrder) {
    Fat16Builder card;
    const std::vector<QByteArray> root = {
        DirEntry("README", "TXT", 0x20, 5, 1234),
        DirEntry("SUB", "XYZ", 0x10, 6, 99),
        DirEntry("\xE5GONE", "TXT", 0x20, 7, 1),
        DirEntry("A", "", 0x0F, 0, 0),
        DirEntry("\x05KANJI", "TXT", 0x20, 8, 1),
        DirEntry(" BLANK", "TXT", 0x20, 8, 1),
        DirEntry(".HIDDEN", "", 0x20, 8, 1),
        DirEntry("LABEL", "", 0x08, 0, 0),
        DirEntry("ARCHLBL", "", 0x28, 0, 0),
        DirEntry("NOEXT", "", 0x01, 9, 7),
        DirEntry("\xCF\xD0\xC8\xC1\xCE\xD0", "\xC4\xC0\xD2", 0x20, 10, 3),
    };
    for (size_t i = 0; i < root.size(); ++i)
        card.SetRootEntry(static_cast<int>(i), root[i]);
    card.SetRootEntry(static_cast<int>(root.size()) + 1, DirEntry("AFTER", "END", 0x20, 11, 1));
    ASSERT_TRUE(rig.MountImage(card.Image()));
    ASSERT_TRUE(rig.Reader.ReadDirectory());

    struct Want {
        const char* name;
        const char* ext;
        uint8_t kind;
        uint16_t cluster;
        uint32_t size;
    };
    const std::vector<Want> want = {
        {"README  ", "TXT", ckFile, 5, 1234},
        {"SUB     ", "", ckDir, 6, 0},
        {"ARCHLBL ", "   ", ckFile, 0, 0},
        {"NOEXT   ", "   ", ckFile, 9, 7},
        {"\xCF\xD0\xC8\xC1\xCE\xD0  ", "\xC4\xC0\xD2", ckFile, 10, 3},
    };
    ASSERT_EQ(rig.Reader.Entries.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const TCardEntry& e = rig.Reader.Entries[i];
        SCOPED_TRACE(want[i].name);
        EXPECT_EQ(e.Name, QByteArray(want[i].name));
        EXPECT_EQ(e.Ext, QByteArray(want[i].ext));
        EXPECT_EQ(e.Kind, want[i].kind);
        EXPECT_EQ(e.FirstCluster, want[i].cluster);
        EXPECT_EQ(e.Size, want[i].size);
    }
    EXPECT_EQ(CardNameText(rig.Reader.Entries[4].Name), QStringLiteral("ПРИБОР  "));
    // The listing stopped at the 0 name byte in the first root sector.
    EXPECT_EQ(rig.TakeRequests().size(), 4);
    EXPECT_EQ(rig.Progress.Calls, QStringList({"busy", "idle"}));
}

TEST_F(CardReaderTest, FullRootIsListedFromAllItsSectors) {
    Fat16Builder card({512, 8, 1, 2, 512, 16, 32800});
    for (int i = 0; i < 512; ++i)
        card.SetRootEntry(i, DirEntry(QByteArray("F") + QByteArray::number(i), "BIN", 0x20, 0, 0));
    ASSERT_TRUE(rig.MountImage(card.Image()));
    ASSERT_TRUE(rig.Reader.ReadDirectory());
    EXPECT_EQ(rig.Reader.Entries.size(), 512u);
    EXPECT_EQ(rig.Reader.Entries.back().Name, QByteArray("F511    "));
    EXPECT_EQ(rig.TakeRequests().size(), 32 * 4);
}

TEST_F(CardReaderTest, FullSubdirectoryEndsAtTheEndOfItsChain) {
    Fat16Builder card;
    card.Chain({3, 7});
    card.SetFat(7, 0xFFF8);
    for (int i = 0; i < 16; ++i) {
        card.SetDirEntry(3, i, DirEntry("A" + QByteArray::number(i), "", 0x20, 0, 0));
        card.SetDirEntry(7, i, DirEntry("B" + QByteArray::number(i), "", 0x20, 0, 0));
    }
    ASSERT_TRUE(rig.MountImage(card.Image()));
    ASSERT_TRUE(rig.Reader.DirEnter(3));
    EXPECT_EQ(rig.Reader.Entries.size(), 32u);
    EXPECT_EQ(rig.Reader.Entries[16].Name, QByteArray("B0      "));
    EXPECT_EQ(rig.Reader.CurDir, 3);
    EXPECT_EQ(rig.Reader.DirStack, std::vector<uint16_t>({0}));
}

TEST_F(CardReaderTest, BrokenDirectoryChainsEndTheListing) {
    struct Case {
        const char* name;
        uint16_t value; // FAT entry of the directory's second cluster
        uint16_t next;  // what NextCluster makes of it
    };
    // Two full clusters 3 -> 4 -> value; the volume has clusters 2 .. 4182.
    const std::vector<Case> cases = {
        {"loop", 3, 3},
        {"self", 4, 4},
        {"free", 0, TMMC::ChainFailed},
        {"reserved", 1, TMMC::ChainFailed},
        {"beyond the last", 4183, TMMC::ChainFailed},
        {"bad cluster", 0xFFF7, TMMC::ChainFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CardRig r;
        Fat16Builder card({512, 1, 1, 1, 16, 17, 4200});
        card.SetFat(3, 4);
        card.SetFat(4, c.value);
        for (int i = 0; i < 16; ++i) {
            card.SetDirEntry(3, i, DirEntry("A" + QByteArray::number(i), "", 0x20, 0, 0));
            card.SetDirEntry(4, i, DirEntry("B" + QByteArray::number(i), "", 0x20, 0, 0));
        }
        ASSERT_TRUE(r.MountImage(card.Image()));
        EXPECT_EQ(r.Reader.ClusterCount, 4181u);
        r.Reader.CurDir = 3;
        EXPECT_FALSE(r.Reader.ReadDirectory());
        ASSERT_EQ(r.Boxes.Count(), 1u);
        EXPECT_EQ(r.Boxes.Boxes()[0].text, kBrokenChain);
        EXPECT_EQ(r.Reader.Entries.size(), 32u);
        EXPECT_EQ(r.Progress.Calls.last(), QStringLiteral("idle"));
        EXPECT_EQ(r.Reader.NextCluster(4), c.next);
    }
}

TEST_F(CardReaderTest, NextClusterReadsTheFatOnEveryCall) {
    Fat16Builder card({512, 1, 1, 1, 16, 2, 4200});
    card.Chain({2, 300, 5});
    card.SetFat(6, 0xFFF8);
    card.SetFat(7, 0xFFFE);
    ASSERT_TRUE(rig.MountImage(card.Image()));
    EXPECT_EQ(rig.Reader.NextCluster(2), 300);
    EXPECT_EQ(rig.Reader.NextCluster(300), 5);
    EXPECT_EQ(rig.Reader.NextCluster(5), 0);
    EXPECT_EQ(rig.Reader.NextCluster(6), 0);
    EXPECT_EQ(rig.Reader.NextCluster(7), 0);
    EXPECT_EQ(rig.Reader.NextCluster(0), 0);
    EXPECT_EQ(rig.TakeRequests(),
              QStringList({"read 1003", "read 1004", "read 1005", "read 1006", "read 1007",
                           "read 1008", "read 1009", "read 1010", "read 1003", "read 1004",
                           "read 1005", "read 1006", "read 1003", "read 1004", "read 1005",
                           "read 1006", "read 1003", "read 1004", "read 1005", "read 1006"}));
    rig.Instrument.Card.reset();
    EXPECT_EQ(rig.Reader.NextCluster(2), TMMC::ChainFailed);
}

TEST_F(CardReaderTest, DirEnterAndDirUpMoveThroughTheStack) {
    Fat16Builder card;
    card.SetRootEntry(0, DirEntry("ONE", "", 0x10, 4, 0));
    card.Chain({4});
    card.SetDirEntry(4, 0, DirEntry("TWO", "", 0x10, 5, 0));
    card.Chain({5});
    card.SetDirEntry(5, 0, DirEntry("LEAF", "TXT", 0x20, 0, 0));
    ASSERT_TRUE(rig.MountImage(card.Image()));

    ASSERT_TRUE(rig.Reader.DirUp()); // at the root with an empty stack: nothing happens
    EXPECT_TRUE(rig.TakeRequests().isEmpty());
    ASSERT_TRUE(rig.Reader.ReadDirectory());
    ASSERT_TRUE(rig.Reader.DirEnter(rig.Reader.Entries[0].FirstCluster));
    ASSERT_TRUE(rig.Reader.DirEnter(rig.Reader.Entries[0].FirstCluster));
    EXPECT_EQ(rig.Reader.Entries[0].Name, QByteArray("LEAF    "));
    EXPECT_EQ(rig.Reader.DirStack, std::vector<uint16_t>({0, 4}));
    ASSERT_TRUE(rig.Reader.DirUp());
    EXPECT_EQ(rig.Reader.CurDir, 4);
    EXPECT_EQ(rig.Reader.Entries[0].Name, QByteArray("TWO     "));
    ASSERT_TRUE(rig.Reader.DirUp());
    EXPECT_EQ(rig.Reader.CurDir, 0);
    EXPECT_EQ(rig.Reader.Entries[0].Name, QByteArray("ONE     "));
    EXPECT_TRUE(rig.Reader.DirStack.empty());
    rig.TakeRequests();
    const size_t listed = rig.Reader.Entries.size();
    EXPECT_TRUE(rig.Reader.DirUp());
    EXPECT_EQ(rig.Reader.Entries.size(), listed);
    EXPECT_TRUE(rig.TakeRequests().isEmpty());

    // A folder entry that points beyond the volume: refused without a read, yet the
    // reader stands in it, so Back leads out again.
    EXPECT_FALSE(rig.Reader.DirEnter(5000));
    EXPECT_TRUE(rig.TakeRequests().isEmpty());
    EXPECT_EQ(rig.Reader.CurDir, 5000);
    EXPECT_TRUE(rig.Reader.Entries.empty());
    ASSERT_TRUE(rig.Reader.DirUp());
    EXPECT_EQ(rig.Reader.CurDir, 0);
}

TEST_F(CardReaderTest, ListingThatFailsToReadKeepsWhatWasListed) {
    Fat16Builder card({512, 1, 1, 2, 32, 1, 4200}); // two root sectors
    for (int i = 0; i < 17; ++i)
        card.SetRootEntry(i, DirEntry("F" + QByteArray::number(i), "", 0x20, 0, 0));
    ASSERT_TRUE(rig.MountImage(card.Image()));
    // The first root sector is served, then the instrument falls silent.
    int served = 0;
    rig.Line->SetResponder([&](const Bytes& request) {
        return ++served > 4 ? std::vector<FakeInstrument::Piece>{}
                            : rig.Instrument.Respond(request);
    });
    EXPECT_FALSE(rig.Reader.ReadDirectory());
    EXPECT_EQ(rig.Reader.Entries.size(), 16u);
    EXPECT_EQ(rig.Prompt.Asked, std::vector<TProblemKind>({pkNoAnswer}));
    EXPECT_EQ(rig.Progress.Calls, QStringList({"busy", "idle"}));
}

} // namespace
