// The card reader on images made by mkfs.fat and filled by mtools, served by the fake
// instrument: listing and every file downloaded byte for byte as mcopy extracts it.
#include "CardFakes.h"
#include "FatImage.h"

#include <gtest/gtest.h>

using namespace cardtest;

namespace {

class CardImageTest : public ::testing::Test {
protected:
    void Serve(FatImage& image) {
        rig.Instrument.Card = image.Bytes();
        ASSERT_TRUE(rig.Reader.Mount());
        ASSERT_TRUE(rig.Reader.ReadDirectory());
    }
    void ExpectDownloadedAsExtracted(FatImage& image, const QString& path) {
        const QByteArray extracted = image.Extract(QLatin1Char('/') + path);
        ASSERT_TRUE(image.Error().isEmpty()) << image.Error().toStdString();
        EXPECT_EQ(DownloadAndCompare(rig.Reader, extracted, path, rig.Folder.path()), QString())
            << path.toStdString();
    }
    CardRig rig;
};

TEST_F(CardImageTest, FoldersAndFilesOfAFormattedCard) {
    FatImage image(rig.Folder.filePath(QStringLiteral("card.img")));
    ASSERT_TRUE(MakeExampleCard(image)) << image.Error().toStdString();
    Serve(image);

    EXPECT_EQ(rig.Reader.SecPerClus, 4);
    QStringList root;
    for (const TCardEntry& e : rig.Reader.Entries)
        root << CardLocalFileName(e) + (e.Kind == ckDir ? "/" : "");
    root.sort();
    EXPECT_EQ(root, ExampleRoot());
    const auto noExt = FindEntry(rig.Reader, "NOEXT");
    ASSERT_TRUE(noExt.has_value());
    EXPECT_EQ(noExt->Name, QByteArray("NOEXT   "));
    EXPECT_EQ(noExt->Ext, QByteArray("   "));

    EXPECT_FALSE(FindEntry(rig.Reader, "EMPTYDIR/X").has_value());
    EXPECT_TRUE(rig.Reader.Entries.empty()); // only "." and ".."

    for (const ExampleFile& f : ExampleFiles())
        ExpectDownloadedAsExtracted(image, f.path);
    EXPECT_EQ(rig.Boxes.Count(), 0u);
    EXPECT_TRUE(rig.Prompt.Asked.empty());
}

TEST_F(CardImageTest, CardWithAPartitionTableInFront) {
    const uint32_t start = 2048;
    const unsigned sizeKiB = 20000;
    FatImage image(rig.Folder.filePath(QStringLiteral("parted.img")), start);
    ASSERT_TRUE(image.Make(sizeKiB, 1)) << image.Error().toStdString();
    ASSERT_TRUE(image.WritePartitionTable(sizeKiB * 2));
    ASSERT_TRUE(image.MakeDir("/LOGS")) << image.Error().toStdString();
    // One-sector clusters: the file's chain runs through several FAT sectors.
    ASSERT_TRUE(image.Put("/LOGS/ARCHIVE.XXX", VariedBytes(400 * 1024 + 17, 7)));
    ASSERT_TRUE(image.Put("/README.TXT", "card with a partition table\r\n"));
    Serve(image);

    EXPECT_EQ(rig.Reader.SecPerClus, 1);
    EXPECT_GT(rig.Reader.FATStart, start);
    EXPECT_GT(rig.Reader.ClusterCount, 30000u);
    ExpectDownloadedAsExtracted(image, "LOGS/ARCHIVE.XXX");
    ExpectDownloadedAsExtracted(image, "README.TXT");
}

TEST_F(CardImageTest, OnlyFat16CardsAreRecognised) {
    struct Case {
        const char* name;
        unsigned fatBits, secPerClus, sizeKiB;
        bool recognised;
    };
    const std::vector<Case> cases = {
        {"FAT12", 12, 1, 1024, false},
        {"FAT32", 32, 1, 33 * 1024, false},
        // Above 32 MiB the sector count stands in the boot sector's 32-bit field.
        {"FAT16 of 40 MiB", 16, 2, 40 * 1024, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CardRig r;
        FatImage image(r.Folder.filePath(QStringLiteral("card.img")));
        ASSERT_TRUE(image.Make(c.sizeKiB, c.secPerClus, c.fatBits)) << image.Error().toStdString();
        // A file of several clusters, a chain that only a FAT16 reading of the FAT follows.
        const QByteArray content = VariedBytes(5000, 3);
        ASSERT_TRUE(image.Put("/LOG.TXT", content)) << image.Error().toStdString();
        r.Instrument.Card = image.Bytes();

        EXPECT_EQ(r.Reader.Mount(), c.recognised);
        if (!c.recognised) {
            ASSERT_EQ(r.Boxes.Count(), 1u);
            EXPECT_EQ(r.Boxes.Boxes()[0].text,
                      QStringLiteral("Карта не распознана: загрузочный сектор не описывает том "
                                     "FAT16."));
            EXPECT_EQ(r.Reader.CurDir, TMMC::NotMounted);
            EXPECT_FALSE(r.Reader.ReadDirectory());
            EXPECT_TRUE(r.Reader.Entries.empty());
            continue;
        }
        ASSERT_TRUE(r.Reader.ReadDirectory());
        EXPECT_EQ(DownloadAndCompare(r.Reader, content, "LOG.TXT", r.Folder.path()), QString());
        EXPECT_EQ(r.Boxes.Count(), 0u);
    }
}

} // namespace
