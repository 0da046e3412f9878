// The card reader on images made by mkfs.fat and filled by mtools, served by the fake
// instrument: listing and every file downloaded byte for byte as mcopy extracts it.
#include "CardFakes.h"
#include "FatImage.h"

#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <set>

using namespace cardtest;

namespace {

QByteArray Random(qsizetype size, quint32 seed) {
    QByteArray d(size, '\0');
    QRandomGenerator g(seed);
    for (qsizetype i = 0; i < size; ++i)
        d[i] = static_cast<char>(g.generate());
    return d;
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

struct CardFile {
    QString path; // on the card, as the reader names it locally
    qsizetype size;
};

// Nested three deep; empty, one-sector, whole-cluster and large files; names with and
// without extension; a long name, listed by its short name.
const std::vector<QString> kFolders = {"/A", "/A/B", "/A/B/C", "/EMPTYDIR"};
const std::vector<CardFile> kFiles = {
    {"EMPTY.BIN", 0},    {"SECTOR.BIN", 512},     {"CLUSTER.BIN", 3 * 2048},
    {"BIG.DAT", 307323}, {"NOEXT", 1000},         {"A/ALPHA.DAT", 2049},
    {"A/B/BETA", 4096},  {"A/B/C/DEEP.TXT", 777}, {"A/B/C/EXACT.BIN", 2048},
};

class CardImageTest : public ::testing::Test {
protected:
    void Serve(FatImage& image) {
        rig.Instrument.Card = image.Bytes();
        ASSERT_TRUE(rig.Reader.Mount());
        ASSERT_TRUE(rig.Reader.ReadDirectory());
    }
    // Finds the file from the root, downloads it and compares it with mcopy's copy.
    void ExpectDownloadedAsExtracted(FatImage& image, const QString& path, qsizetype size) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_TRUE(BackToRoot(rig.Reader));
        ASSERT_TRUE(rig.Reader.ReadDirectory());
        const std::optional<TCardEntry> entry = FindEntry(rig.Reader, path);
        ASSERT_TRUE(entry.has_value());
        ASSERT_EQ(entry->Kind, ckFile);
        EXPECT_EQ(entry->Size, static_cast<uint32_t>(size));
        const QString target = rig.Folder.filePath(CardLocalFileName(*entry));
        ASSERT_TRUE(rig.Reader.DownloadFile(*entry, target));
        const QByteArray extracted = image.Extract(QLatin1Char('/') + path);
        ASSERT_TRUE(image.Error().isEmpty()) << image.Error().toStdString();
        EXPECT_EQ(extracted.size(), size);
        EXPECT_TRUE(ReadFile(target) == extracted);
    }
    CardRig rig;
};

TEST_F(CardImageTest, FoldersAndFilesOfAFormattedCard) {
    FatImage image(rig.Folder.filePath(QStringLiteral("card.img")));
    ASSERT_TRUE(image.Make(16384, 4)) << image.Error().toStdString();
    for (const QString& folder : kFolders)
        ASSERT_TRUE(image.MakeDir(folder)) << image.Error().toStdString();
    for (size_t i = 0; i < kFiles.size(); ++i)
        ASSERT_TRUE(image.Put(QLatin1Char('/') + kFiles[i].path,
                              Random(kFiles[i].size, static_cast<quint32>(i + 1))))
            << image.Error().toStdString();
    ASSERT_TRUE(image.Put(QStringLiteral("/Long file name.text"), Random(3000, 99)));
    Serve(image);

    EXPECT_EQ(rig.Reader.SecPerClus, 4);
    std::set<QString> root;
    for (const TCardEntry& e : rig.Reader.Entries)
        root.insert(CardLocalFileName(e) + (e.Kind == ckDir ? "/" : ""));
    EXPECT_EQ(root, std::set<QString>({"A/", "EMPTYDIR/", "EMPTY.BIN", "SECTOR.BIN", "CLUSTER.BIN",
                                       "BIG.DAT", "NOEXT", "LONGFI~1.TEX"}));
    const auto noExt = FindEntry(rig.Reader, "NOEXT");
    ASSERT_TRUE(noExt.has_value());
    EXPECT_EQ(noExt->Name, QByteArray("NOEXT   "));
    EXPECT_EQ(noExt->Ext, QByteArray("   "));

    EXPECT_FALSE(FindEntry(rig.Reader, "EMPTYDIR/X").has_value());
    EXPECT_TRUE(rig.Reader.Entries.empty()); // only "." and ".."
    ASSERT_TRUE(BackToRoot(rig.Reader));

    for (const CardFile& f : kFiles)
        ExpectDownloadedAsExtracted(image, f.path, f.size);
    ExpectDownloadedAsExtracted(image, "LONGFI~1.TEX", 3000);
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
    ASSERT_TRUE(image.Put("/LOGS/ARCHIVE.XXX", Random(400 * 1024 + 17, 7)));
    ASSERT_TRUE(image.Put("/README.TXT", "card with a partition table\r\n"));
    Serve(image);

    EXPECT_EQ(rig.Reader.SecPerClus, 1);
    EXPECT_GT(rig.Reader.FATStart, start);
    EXPECT_GT(rig.Reader.ClusterCount, 30000u);
    ExpectDownloadedAsExtracted(image, "LOGS/ARCHIVE.XXX", 400 * 1024 + 17);
    ExpectDownloadedAsExtracted(image, "README.TXT", 29);
}

} // namespace
