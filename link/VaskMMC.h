#pragma once
// The memory-card reader: FAT16 on the instrument's card, read through Modbus requests
// on the port that the polling master lends it while its port thread is paused. Runs in
// the window thread; a failed request asks the user through the retry prompt.
//
// Card access: function 6 with 999 in the register field selects a page of 256
// sectors; function 3 for 64 registers at 999 + 4 x (sector mod 256) + quarter returns
// a quarter of a 512-byte sector (133-byte replies). Register fields go out unchanged.
#include "CardProgress.h"
#include "CardPrompt.h"
#include "Clock.h"
#include "VskComPort.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

enum TCardEntryKind : uint8_t { ckFile = 0, ckDir = 1 };

// One listed directory entry.
struct TCardEntry {
    uint8_t Kind = ckFile; // TCardEntryKind
    QByteArray Name;       // the 8 name bytes as stored: blanks, case and code page kept
    QByteArray Ext;        // the 3 extension bytes as stored; empty for folders
    uint16_t FirstCluster = 0;
    uint32_t Size = 0; // bytes; 0 for folders
};

// Card name bytes as text: Windows-1251, with control characters shown as '?'.
QString CardNameText(const QByteArray& bytes);

// The entry's name for a local file: name and extension decoded as Windows-1251, their
// trailing blanks trimmed, joined by "." when there is an extension, every character
// that is unsafe in a file name (separators, controls, reserved marks) and a leading
// "." turned into "_". Never empty, never a path: the file stays in its folder.
QString CardLocalFileName(const TCardEntry& entry);

// A download whose card read failed or whose cluster chain is broken: what was read has
// been written, the user has been told, the caller only unwinds. Carries no text.
class EMainException : public std::exception {
public:
    const char* what() const noexcept override { return ""; }
};

class TMMC {
public:
    static constexpr uint16_t NotMounted = 0xFFFF;     // CurDir before the first Mount
    static constexpr uint16_t ChainFailed = 0xFFFF;    // NextCluster: read failed or chain broken
    static constexpr uint32_t LastSector = 0xFFFFFF;   // 16-bit pages of 256 sectors
    static constexpr uint16_t PageRegister = 999;      // also the first quarter's register
    static constexpr uint8_t QuarterReplyLength = 133; // address, function, count, 128, CRC

    TMMC();
    TMMC(const TMMC&) = delete;
    TMMC& operator=(const TMMC&) = delete;

    std::array<uint8_t, 512> Sector{}; // the sector read last
    std::optional<uint16_t> Page;      // the page the instrument was last told to select
    uint16_t CurDir = NotMounted;      // first cluster of the listed directory; 0: the root
    TVskComPort* Port = nullptr;       // lent by the polling master; not owned
    uint8_t SecPerClus = 0;
    uint16_t FATSize = 0;            // sectors per FAT
    uint32_t FATStart = 0;           // card sector of the first FAT
    uint32_t RootStart = 0;          // card sector of the root directory region
    uint32_t DataStart = 0;          // card sector of cluster 2
    uint32_t RootSectors = 0;        // length of the root directory region
    uint32_t ClusterCount = 0;       // data clusters: 2 .. ClusterCount + 1 are valid
    TPortBuffer Buffer;              // the reader's own request and reply
    uint8_t Address = 210;           // Modbus slave address, set by the polling master
    std::vector<TCardEntry> Entries; // directory CurDir, in card order
    std::vector<uint16_t> DirStack;  // CurDir of each directory left by DirEnter, last on top

    // The exchange-error dialog; without one a failed request gives up at once.
    TRetryPrompt* Prompt = nullptr;
    // The main window's cursor and progress panel; without one nothing is shown.
    TCardProgress* Progress = nullptr;
    // Times the pauses between tries of a request.
    void SetClock(platform::Clock& clock) { clock_ = &clock; }

    // Reads the partition table (when byte 0 of sector 0 is 0) and the boot sector and
    // derives the layout; CurDir := 0. Refuses, with a message, a boot sector that does
    // not describe a FAT16 volume of 512-byte sectors (FAT12 and FAT32 volumes told by
    // their count of data clusters); the layout is then unchanged.
    bool Mount();
    // Lists directory CurDir into Entries. False when a read fails (Entries keeps what
    // was listed) or, with a message, when its cluster chain is broken.
    bool ReadDirectory();
    // Pushes CurDir, makes the cluster current and lists it.
    bool DirEnter(uint16_t cluster);
    // Pops the parent and lists it; with an empty DirStack true and nothing done.
    bool DirUp();

    // Reads one sector into Sector, selecting its page first when it is not Page.
    bool ReadSector(uint32_t sector);
    // Tells the instrument which page to use; Page changes only on a correct echo.
    bool SelectPage(uint16_t page);
    // First sector of a cluster; clusters below 2 stand for the root directory.
    uint32_t ClusterToSector(uint16_t cluster) const;
    // The FAT successor: 0 at the end of the chain (FFF8 hex and above, and for the
    // root), ChainFailed when the read failed or the FAT holds no valid cluster there.
    uint16_t NextCluster(uint16_t cluster);

    // Function 3 request without CRC into Buffer; TxLen := 8.
    void BuildReadRequest(uint16_t reg, uint16_t count);
    // Completes the request in Buffer with its CRC and runs one exchange on Port.
    bool SendRequest();
    // Up to three tries, 200 ms and 500 ms apart; true once a reply has a correct CRC.
    bool Transact();
    bool CheckReplyCRC() const;

    // Copies a card file to path: the cluster chain first, then the data cluster by
    // cluster, driving the progress panel; a Cancel takes effect after a data sector,
    // the first one at the earliest. Whatever was read is written (atomically) in
    // every case. True when the file was written, after a Cancel too; false when it
    // could not be written ("Неудалось записать фаил" + path was shown) and must not be
    // opened. Throws EMainException when a read failed or the chain is broken.
    bool DownloadFile(const TCardEntry& entry, const QString& path);

private:
    enum class Link { Next, End, ReadFailed, Broken };
    enum class Outcome { Complete, Cancelled, Failed, Broken };

    bool Mounted() const { return CurDir != NotMounted && SecPerClus != 0; }
    uint32_t LastCluster() const { return ClusterCount + 1; }
    // Address, function, register and value, without CRC; TxLen := 8.
    void BuildRequest(uint8_t function, uint16_t reg, uint16_t value);
    bool AskRetry(TProblemKind kind);
    bool ReadQuarter(uint8_t sectorInPage, uint8_t quarter);
    bool TakeBootSector(uint32_t partitionStart);
    Link FollowLink(uint16_t cluster, uint16_t& next);
    bool ListSector();
    Outcome WalkFileChain(uint16_t first, uint32_t size, std::vector<uint16_t>& clusters);
    Outcome ReadFileData(const std::vector<uint16_t>& clusters, uint32_t size, QByteArray& image);
    bool WriteImage(const QString& path, const QByteArray& image);
    void ReportBroken(const QString& text);
    TCardProgress& Ui();

    platform::Clock* clock_;
    bool listEnded_ = false; // ListSector met the 0 name byte
};
