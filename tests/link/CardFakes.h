#pragma once
// Test doubles around the card reader: an instrument that serves card sectors from an
// image over a virtual-time serial line, a scripted retry prompt, a recording progress
// panel, a builder of small FAT16 images, and a rig that wires them to a TMMC.
#include "Clock.h"
#include "FakeSerialLine.h"
#include "FatImage.h"
#include "MessageBox.h"
#include "VaskMMC.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace cardtest {

using Bytes = std::vector<uint8_t>;

// Frame + Modbus CRC in wire order.
Bytes WithCrc(Bytes frame);

// The instrument's side of the card protocol. Requests with a bad CRC get no reply.
class FakeInstrument {
public:
    using Piece = platform::FakeSerialLine::Piece;

    std::optional<QByteArray> Card; // the card image; none: no card in the receiver
    uint16_t Page = 0;              // the instrument's page register

    // Replies for the next requests, in order, instead of the served ones: bytes to
    // send as they stand (CRC included); an empty entry sends nothing.
    std::deque<Bytes> Scripted;
    // A page select is echoed with this page instead of the one asked for.
    std::optional<uint16_t> EchoPage;

    std::vector<Piece> Respond(const Bytes& request);
    int Requests() const { return requests_; }

private:
    Bytes Serve(const Bytes& request);
    int requests_ = 0;
};

// Answers from a queue (give up when it is empty) and records every kind asked about.
class ScriptedPrompt : public TRetryPrompt {
public:
    std::deque<bool> Answers;
    std::vector<TProblemKind> Asked;
    bool AskRetry(TProblemKind kind) override;
};

// Records each call as one line of text; sets the cancel flag at the n-th ProcessEvents.
class RecordingProgress : public TCardProgress {
public:
    QStringList Calls;
    int CancelAtEvents = 0; // 0: never
    int Events = 0;
    bool Cancel = false;

    void SetBusyCursor(bool busy) override;
    void ClearCancel() override;
    bool CancelRequested() const override { return Cancel; }
    void SetProgressRange(int minimum, int maximum) override;
    void SetProgressPosition(int position) override;
    void SetPathText(const QString& path) override;
    void SetSizeText(const QString& text) override;
    void ShowPanel() override;
    void HidePanel() override;
    void ProcessEvents() override;
    // The calls whose text starts with prefix.
    QStringList Matching(const QString& prefix) const;
};

// A 32-byte directory entry.
QByteArray DirEntry(const QByteArray& name8, const QByteArray& ext3, uint8_t attributes,
                    uint16_t cluster, uint32_t size);

// A small FAT16 volume in memory, sector 0 being its boot sector unless a partition
// table is put in front. A volume is FAT16 by its count of data clusters (4085 to
// 65524), so even a small one declares some thousands of sectors; a FAT smaller than
// that count keeps the clusters that can be chained few.
class Fat16Builder {
public:
    struct Geometry {
        uint16_t BytesPerSector = 512;
        uint8_t SecPerClus = 1;
        uint16_t Reserved = 1;
        uint8_t Fats = 2;
        uint16_t RootEntries = 32;
        uint16_t FatSize = 1;
        uint16_t TotalSectors = 4200;
    };
    Fat16Builder();
    explicit Fat16Builder(Geometry g);
    // The boot sector alone, for a card that is only mounted.
    static QByteArray BootSector(const Geometry& g);

    const Geometry& Geo() const { return g_; }
    uint32_t RootStart() const { return g_.Reserved + uint32_t{g_.FatSize} * g_.Fats; }
    uint32_t DataStart() const { return RootStart() + g_.RootEntries * 32u / 512; }
    uint32_t ClusterSector(uint16_t cluster) const {
        return DataStart() + (cluster - 2u) * g_.SecPerClus;
    }

    void SetFat(uint16_t cluster, uint16_t value); // in every FAT copy
    // A file's clusters chained and filled with its bytes.
    void PutFile(const std::vector<uint16_t>& clusters, const QByteArray& data);
    void Chain(const std::vector<uint16_t>& clusters); // linked, the last one FFFF
    void SetRootEntry(int index, const QByteArray& entry);
    void SetDirEntry(uint16_t cluster, int index, const QByteArray& entry);
    void WriteAt(uint32_t sector, const QByteArray& bytes);
    // A file's bytes into its clusters, in order.
    void FillClusters(const std::vector<uint16_t>& clusters, const QByteArray& data);
    // The volume behind a partition table whose first entry starts at startSector.
    QByteArray WithPartitionTable(uint32_t startSector) const;
    const QByteArray& Image() const { return image_; }
    QByteArray& Image() { return image_; }

private:
    Geometry g_;
    QByteArray image_;
};

// From the root, enters each folder of path ("A/B/FILE.TXT") by its local name and
// returns the last component's entry; none when something is missing.
std::optional<TCardEntry> FindEntry(TMMC& reader, const QString& path);
// DirUp until the reader is back at the root.
bool BackToRoot(TMMC& reader);

// From the root: finds the file, downloads it into folder under its local name and
// compares it with the expected bytes (what mcopy extracts; taken beforehand, since a
// tool must not be started while the simulator's thread runs under ThreadSanitizer).
// Empty when they are the same, else what differs.
QString DownloadAndCompare(TMMC& reader, const QByteArray& expected, const QString& path,
                           const QString& folder);

// A TMMC on a mounted-ready port: the instrument answers through a fake line on
// virtual time, failures ask the scripted prompt, the progress panel is recorded and
// message boxes are recorded.
class CardRig {
public:
    CardRig();
    ~CardRig();

    // Serves the image and mounts it; the requests and progress calls so far are dropped.
    bool MountImage(const QByteArray& image);
    // The requests that went out since the last call, as "page N" / "read R" lines.
    QStringList TakeRequests();
    // The image's bytes for the sector range, for comparing.
    QByteArray CardBytes(uint32_t sector, uint32_t count = 1) const;

    platform::VirtualClock Clock{1000}; // the line's time
    platform::VirtualClock Sleeper;     // the reader's pauses between tries
    FakeInstrument Instrument;
    ScriptedPrompt Prompt;
    RecordingProgress Progress;
    platform::RecordingMessageBox Boxes;
    QTemporaryDir Folder;                     // also the empty ports folder
    platform::FakeSerialLine* Line = nullptr; // owned by Port
    std::unique_ptr<TVskComPort> Port;
    TMMC Reader;

private:
    size_t seen_ = 0;
};

} // namespace cardtest
