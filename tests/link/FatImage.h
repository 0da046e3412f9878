#pragma once
// FAT card images made at test time with mkfs.fat and filled and read back with
// mtools, optionally behind a partition table. Every tool run has a time limit.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace cardtest {

class FatImage {
public:
    // The volume starts offsetSectors into the file.
    explicit FatImage(QString path, uint32_t offsetSectors = 0);

    // mkfs.fat -F fatBits with the cluster size; sizeKiB is the volume's size.
    bool Make(unsigned sizeKiB, unsigned secPerClus, unsigned fatBits = 16);
    // The partition table in sector 0: its first entry holds the volume.
    bool WritePartitionTable(uint32_t volumeSectors);
    bool MakeDir(const QString& cardPath);
    bool Put(const QString& cardPath, const QByteArray& content);
    // The file's bytes as mcopy extracts them; empty with Error() set when it fails.
    QByteArray Extract(const QString& cardPath);
    QByteArray Bytes() const;

    const QString& Path() const { return path_; }
    const QString& Error() const { return error_; }

private:
    bool Run(const QString& tool, const QStringList& args, QByteArray* out = nullptr);
    QString Target(const QString& cardPath) const;

    QString path_;
    uint32_t offset_;
    QString error_;
};

// Bytes of a fixed pseudo-random sequence for the seed.
QByteArray VariedBytes(qsizetype size, quint32 seed);

// The card most image tests read: folders nested three deep and an empty one; files of
// 0 bytes, one sector, whole clusters of 2 KiB and several hundred kB; names with and
// without extension; a long name, which the reader lists by its short name.
struct ExampleFile {
    QString path; // on the card, as the reader names it locally
    qsizetype size;
};
const std::vector<ExampleFile>& ExampleFiles();
// The root's entries as local names, folders with a trailing "/".
QStringList ExampleRoot();
// Formats the image with 2 KiB clusters and fills it.
bool MakeExampleCard(FatImage& image, unsigned sizeKiB = 16384);

} // namespace cardtest
