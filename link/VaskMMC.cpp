#include "VaskMMC.h"

#include "CodePage.h"
#include "FileReplace.h"
#include "MessageBox.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kSectorBytes = 512;
constexpr int kQuarterBytes = 128;
constexpr int kEntryBytes = 32;
constexpr uint8_t kQuarterRegisters = 64;
constexpr uint8_t kPageReplyLength = 8;
constexpr uint8_t kNoCardFunction = 0x83;
constexpr uint8_t kNoCardCode = 8;
constexpr int64_t kSecondTryMs = 200;
constexpr int64_t kThirdTryMs = 500;
// FAT16 values from FFF8 hex end a chain; FFF7 marks a bad cluster, so the last data
// cluster a volume can have is FFF6 hex.
constexpr uint16_t kEndOfChain = 0xFFF8;
constexpr uint32_t kMaxClusters = 0xFFF6 - 1;
// A volume's FAT type follows from its count of data clusters alone: fewer make it
// FAT12, more FAT32, whose FATs this reader cannot follow.
constexpr uint64_t kFat16MinClusters = 4085;
constexpr uint64_t kFat16MaxClusters = 65524;

const QString kAttention = QStringLiteral("Внимание");
const QString kBadBootSector =
    QStringLiteral("Карта не распознана: загрузочный сектор не описывает том FAT16.");
const QString kBrokenChain =
    QStringLiteral("Файловая система карты повреждена: неверная цепочка кластеров.");

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A chain that visits a cluster twice loops; one that leaves 2 .. last is broken.
class ChainGuard {
public:
    explicit ChainGuard(uint32_t clusterCount) : seen_(clusterCount + 2, false) {}
    bool Visit(uint32_t cluster) {
        if (cluster < 2 || cluster >= seen_.size() || seen_[cluster])
            return false;
        seen_[cluster] = true;
        return true;
    }

private:
    std::vector<bool> seen_;
};

class BusyCursor {
public:
    explicit BusyCursor(TCardProgress& ui) : ui_(ui) { ui_.SetBusyCursor(true); }
    ~BusyCursor() { ui_.SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    TCardProgress& ui_;
};

class ShownPanel {
public:
    explicit ShownPanel(TCardProgress& ui) : ui_(ui) { ui_.ShowPanel(); }
    ~ShownPanel() { ui_.HidePanel(); }
    ShownPanel(const ShownPanel&) = delete;
    ShownPanel& operator=(const ShownPanel&) = delete;

private:
    TCardProgress& ui_;
};

// The count of data clusters the way every FAT driver takes it, a partly used root
// sector counted whole.
bool IsFat16(uint64_t totalSectors, uint64_t reserved, uint64_t fatSectors, uint64_t rootEntries,
             uint64_t secPerClus) {
    if (secPerClus == 0)
        return false;
    const uint64_t rootSectors = (rootEntries * kEntryBytes + kSectorBytes - 1) / kSectorBytes;
    const uint64_t before = reserved + fatSectors + rootSectors;
    const uint64_t clusters = totalSectors > before ? (totalSectors - before) / secPerClus : 0;
    return clusters >= kFat16MinClusters && clusters <= kFat16MaxClusters;
}

TCardProgress& SilentProgress() {
    static TCardProgress silent;
    return silent;
}

bool SafeInFileName(QChar ch) {
    static const QString reserved = QStringLiteral("/\\:*?\"<>|");
    return ch.isPrint() && !reserved.contains(ch);
}

QString FileNamePart(const QByteArray& bytes) {
    QString text = platform::FromCodePage(bytes);
    while (!text.isEmpty() && text.back() == QLatin1Char(' '))
        text.chop(1);
    for (QChar& ch : text)
        if (!SafeInFileName(ch))
            ch = QLatin1Char('_');
    return text;
}

} // namespace

QString CardNameText(const QByteArray& bytes) {
    QString text = platform::FromCodePage(bytes);
    for (QChar& ch : text)
        if (!ch.isPrint())
            ch = QLatin1Char('?');
    return text;
}

QString CardLocalFileName(const TCardEntry& entry) {
    QString name = FileNamePart(entry.Name);
    const QString ext = FileNamePart(entry.Ext);
    if (name.isEmpty())
        name = QStringLiteral("_");
    // "." and ".." name folders, and a leading dot would hide the file.
    if (name.front() == QLatin1Char('.'))
        name.front() = QLatin1Char('_');
    return ext.isEmpty() ? name : name + QLatin1Char('.') + ext;
}

TMMC::TMMC() : clock_(&platform::SystemClock()) {}

TCardProgress& TMMC::Ui() {
    return Progress ? *Progress : SilentProgress();
}

bool TMMC::AskRetry(TProblemKind kind) {
    return Prompt && Prompt->AskRetry(kind);
}

void TMMC::ReportBroken(const QString& text) {
    platform::MessageBox(text, kAttention);
}

// ---- Requests -------------------------------------------------------------------------

void TMMC::BuildRequest(uint8_t function, uint16_t reg, uint16_t value) {
    Buffer.Tx[0] = Address;
    Buffer.Tx[1] = function;
    Buffer.Tx[2] = static_cast<uint8_t>(reg >> 8);
    Buffer.Tx[3] = static_cast<uint8_t>(reg);
    Buffer.Tx[4] = static_cast<uint8_t>(value >> 8);
    Buffer.Tx[5] = static_cast<uint8_t>(value);
    Buffer.TxLen = 8;
}

void TMMC::BuildReadRequest(uint16_t reg, uint16_t count) {
    BuildRequest(3, reg, count);
}

bool TMMC::SendRequest() {
    AppendCRC(Buffer, static_cast<uint8_t>(Buffer.TxLen - 2));
    Buffer.RxLen =
        Buffer.Tx[1] == 3 ? static_cast<uint8_t>(2 * Buffer.Tx[5] + 5) : kPageReplyLength;
    Buffer.RxCount = 0;
    if (!Port)
        return false;
    Port->SetBuffer(&Buffer);
    return Port->Exchange();
}

bool TMMC::CheckReplyCRC() const {
    return ::CheckReplyCRC(Buffer);
}

bool TMMC::Transact() {
    // A short reply with a good CRC (an exception reply) is an answer too, so the
    // exchange's own result does not count.
    for (const int64_t pauseMs : {int64_t{0}, kSecondTryMs, kThirdTryMs}) {
        if (pauseMs)
            clock_->SleepMs(pauseMs);
        SendRequest();
        if (CheckReplyCRC())
            return true;
    }
    return false;
}

bool TMMC::SelectPage(uint16_t page) {
    for (;;) {
        BuildRequest(6, PageRegister, page);
        TProblemKind kind = pkNoAnswer;
        if (Transact()) {
            // The echoed register and value are not compared.
            if (Buffer.RxCount == kPageReplyLength) {
                Page = page;
                return true;
            }
            kind = pkException;
        }
        if (!AskRetry(kind))
            return false;
    }
}

bool TMMC::ReadQuarter(uint8_t sectorInPage, uint8_t quarter) {
    for (;;) {
        BuildReadRequest(static_cast<uint16_t>(PageRegister + 4 * sectorInPage + quarter),
                         kQuarterRegisters);
        TProblemKind kind = pkNoAnswer;
        if (Transact()) {
            if (Buffer.RxCount == QuarterReplyLength) {
                std::memcpy(Sector.data() + kQuarterBytes * quarter, Buffer.Rx + 3, kQuarterBytes);
                return true;
            }
            kind = Buffer.Rx[1] == kNoCardFunction && Buffer.Rx[2] == kNoCardCode ? pkNoCard
                                                                                  : pkException;
        }
        if (!AskRetry(kind))
            return false;
    }
}

bool TMMC::ReadSector(uint32_t sector) {
    if (sector > LastSector)
        return false;
    const auto page = static_cast<uint16_t>(sector >> 8);
    if (Page != page && !SelectPage(page))
        return false;
    for (uint8_t q = 0; q < 4; ++q)
        if (!ReadQuarter(static_cast<uint8_t>(sector & 0xFF), q))
            return false;
    return true;
}

// ---- Layout ---------------------------------------------------------------------------

bool TMMC::Mount() {
    if (!ReadSector(0))
        return false;
    uint32_t partitionStart = 0;
    if (Sector[0] == 0) {
        // A partition table: the first entry's start sector.
        partitionStart = U32(Sector.data() + 0x1C6);
        if (partitionStart > LastSector) {
            ReportBroken(kBadBootSector);
            return false;
        }
        if (!ReadSector(partitionStart))
            return false;
    }
    return TakeBootSector(partitionStart);
}

bool TMMC::TakeBootSector(uint32_t partitionStart) {
    const uint8_t* b = Sector.data();
    if (U16(b + 0x0B) != kSectorBytes) {
        // The page cache is dropped too, so the next read selects its page again.
        Page.reset();
        ReportBroken(kBadBootSector);
        return false;
    }
    const uint8_t secPerClus = b[0x0D];
    const uint16_t reserved = U16(b + 0x0E);
    const uint8_t fats = b[0x10];
    const uint16_t rootEntries = U16(b + 0x11);
    const uint16_t fatSize = U16(b + 0x16);
    // The download divides by the cluster size, and a FAT of no sectors holds no chain.
    const bool powerOfTwo = secPerClus != 0 && (secPerClus & (secPerClus - 1)) == 0;
    const uint64_t fatStart = uint64_t{partitionStart} + reserved;
    const uint64_t rootStart = fatStart + uint64_t{fatSize} * fats;
    const uint64_t rootSectors = uint64_t{rootEntries} * kEntryBytes / kSectorBytes;
    const uint64_t dataStart = rootStart + rootSectors;
    const uint16_t total16 = U16(b + 0x13);
    const uint64_t total = total16 ? total16 : U32(b + 0x20);
    if (!powerOfTwo || fats == 0 || fatSize == 0 || dataStart > LastSector ||
        !IsFat16(total, reserved, uint64_t{fatSize} * fats, rootEntries, secPerClus)) {
        ReportBroken(kBadBootSector);
        return false;
    }

    // Clusters: as many as the FAT can chain, the volume holds and the pages reach.
    const uint64_t volumeEnd = uint64_t{partitionStart} + total;
    uint64_t clusters = std::min<uint64_t>(uint64_t{fatSize} * 256 - 2, kMaxClusters);
    clusters = std::min(clusters, (volumeEnd - dataStart) / secPerClus);
    clusters = std::min(clusters, (uint64_t{LastSector} + 1 - dataStart) / secPerClus);

    SecPerClus = secPerClus;
    FATSize = fatSize;
    FATStart = static_cast<uint32_t>(fatStart);
    RootStart = static_cast<uint32_t>(rootStart);
    RootSectors = static_cast<uint32_t>(rootSectors);
    DataStart = static_cast<uint32_t>(dataStart);
    ClusterCount = static_cast<uint32_t>(clusters);
    CurDir = 0;
    return true;
}

uint32_t TMMC::ClusterToSector(uint16_t cluster) const {
    if (cluster < 2)
        return RootStart;
    return (uint32_t{cluster} - 2) * SecPerClus + DataStart;
}

TMMC::Link TMMC::FollowLink(uint16_t cluster, uint16_t& next) {
    next = 0;
    if (cluster < 2)
        return Link::End;
    if (cluster > LastCluster())
        return Link::Broken;
    if (!ReadSector(FATStart + cluster / 256))
        return Link::ReadFailed;
    const uint16_t value = U16(Sector.data() + 2 * (cluster % 256));
    if (value >= kEndOfChain)
        return Link::End;
    if (value < 2 || value > LastCluster())
        return Link::Broken;
    next = value;
    return Link::Next;
}

uint16_t TMMC::NextCluster(uint16_t cluster) {
    uint16_t next = 0;
    switch (FollowLink(cluster, next)) {
    case Link::Next:
        return next;
    case Link::End:
        return 0;
    case Link::ReadFailed:
    case Link::Broken:
        break;
    }
    return ChainFailed;
}

// ---- Directories ----------------------------------------------------------------------

bool TMMC::ListSector() {
    for (int i = 0; i < kSectorBytes / kEntryBytes; ++i) {
        const uint8_t* e = Sector.data() + i * kEntryBytes;
        const uint8_t attributes = e[11];
        if (e[0] == 0x00)
            return true; // the end of the directory
        if (e[0] == 0xE5 || attributes == 0x0F || e[0] <= 0x20 || e[0] == 0x2E ||
            attributes == 0x08)
            continue; // deleted, long-name part, blank or 05 hex, dot entries, volume label
        TCardEntry entry;
        entry.Name = QByteArray(reinterpret_cast<const char*>(e), 8);
        entry.FirstCluster = U16(e + 0x1A);
        if (attributes & 0x10) {
            entry.Kind = ckDir;
        } else {
            entry.Kind = ckFile;
            entry.Ext = QByteArray(reinterpret_cast<const char*>(e + 8), 3);
            entry.Size = U32(e + 0x1C);
        }
        Entries.push_back(std::move(entry));
    }
    return false;
}

bool TMMC::ReadDirectory() {
    BusyCursor busy(Ui());
    Entries.clear();
    if (!Mounted())
        return false;
    ChainGuard guard(ClusterCount);
    uint16_t c = CurDir;
    if (c >= 2 && !guard.Visit(c)) {
        ReportBroken(kBrokenChain);
        return false;
    }
    for (;;) {
        const bool root = c < 2;
        const uint32_t first = ClusterToSector(c);
        const uint32_t count = root ? RootSectors : SecPerClus;
        for (uint32_t i = 0; i < count; ++i) {
            if (!ReadSector(first + i))
                return false;
            if (ListSector())
                return true;
        }
        uint16_t next = 0;
        switch (FollowLink(c, next)) {
        case Link::End:
            return true;
        case Link::ReadFailed:
            return false;
        case Link::Broken:
            ReportBroken(kBrokenChain);
            return false;
        case Link::Next:
            break;
        }
        if (!guard.Visit(next)) {
            ReportBroken(kBrokenChain);
            return false;
        }
        c = next;
    }
}

bool TMMC::DirEnter(uint16_t cluster) {
    DirStack.push_back(CurDir);
    CurDir = cluster;
    return ReadDirectory();
}

bool TMMC::DirUp() {
    if (DirStack.empty())
        return true;
    CurDir = DirStack.back();
    DirStack.pop_back();
    return ReadDirectory();
}

// ---- Download -------------------------------------------------------------------------

TMMC::Outcome TMMC::WalkFileChain(uint16_t first, uint32_t size, std::vector<uint16_t>& clusters) {
    const uint32_t clusterBytes = uint32_t{SecPerClus} * kSectorBytes;
    const uint32_t needed = size / clusterBytes + (size % clusterBytes ? 1 : 0);
    if (needed == 0)
        return Outcome::Complete; // an empty file has no clusters to read
    ChainGuard guard(ClusterCount);
    if (!guard.Visit(first))
        return Outcome::Broken;
    // The size comes from the card: the table holds no more than the volume's clusters.
    clusters.reserve(std::min(needed, ClusterCount));
    clusters.push_back(first);

    TCardProgress& ui = Ui();
    // The FAT sector is kept aside: the retry dialog's loop must not be able to change it.
    std::array<uint8_t, kSectorBytes> fat{};
    std::optional<uint32_t> fatSector;
    uint16_t c = first;
    while (clusters.size() < needed) {
        const uint32_t f = FATStart + c / 256;
        if (fatSector != f) {
            if (!ReadSector(f))
                return Outcome::Failed;
            fat = Sector;
            fatSector = f;
        }
        const uint16_t value = U16(fat.data() + 2 * (c % 256));
        ui.ProcessEvents();
        // The chain so far leads to the first data sector, which is still read: a
        // cancelled download always gives the user the file's beginning.
        if (ui.CancelRequested())
            return Outcome::Complete;
        if (value >= kEndOfChain)
            return Outcome::Complete; // the chain ends before the size: what it holds is the file
        if (!guard.Visit(value))
            return Outcome::Broken;
        clusters.push_back(value);
        c = value;
    }
    return Outcome::Complete;
}

TMMC::Outcome TMMC::ReadFileData(const std::vector<uint16_t>& clusters, uint32_t size,
                                 QByteArray& image) {
    TCardProgress& ui = Ui();
    const uint64_t chainBytes = uint64_t{clusters.size()} * SecPerClus * kSectorBytes;
    image.reserve(static_cast<qsizetype>(std::min<uint64_t>(size, chainBytes)));
    uint32_t written = 0;
    int position = 0;
    for (const uint16_t c : clusters) {
        const uint32_t first = ClusterToSector(c);
        for (uint32_t k = 0; k < SecPerClus; ++k) {
            if (!ReadSector(first + k))
                return Outcome::Failed;
            const uint32_t left = size - written;
            if (left <= kSectorBytes) {
                // The last piece: no progress step, the panel goes away next.
                image.append(reinterpret_cast<const char*>(Sector.data()), left);
                return Outcome::Complete;
            }
            image.append(reinterpret_cast<const char*>(Sector.data()), kSectorBytes);
            written += kSectorBytes;
            ui.SetProgressPosition(++position);
            ui.SetSizeText(QStringLiteral("Скачено: ") + QString::number(written) +
                           QStringLiteral(" байт из ") + QString::number(size) +
                           QStringLiteral("."));
            ui.ProcessEvents();
            if (ui.CancelRequested())
                return Outcome::Cancelled;
        }
    }
    return Outcome::Complete;
}

bool TMMC::WriteImage(const QString& path, const QByteArray& image) {
    // Written whole or not at all: an older file of that name survives a failed write.
    platform::ReplacingFile file(path);
    const bool written = file.Open() && file.Write(image) && file.Commit();
    if (!written)
        platform::MessageBox(QStringLiteral("Неудалось записать фаил") + path,
                             QStringLiteral("Ошибка."), platform::MsgButtons::Ok,
                             platform::MsgIcon::Information);
    return written;
}

bool TMMC::DownloadFile(const TCardEntry& entry, const QString& path) {
    if (!Mounted())
        throw EMainException();
    // Copies: the entry belongs to a listing that a nested loop could replace.
    const uint16_t first = entry.FirstCluster;
    const uint32_t size = entry.Size;

    TCardProgress& ui = Ui();
    BusyCursor busy(ui);
    ui.ClearCancel();
    ui.SetProgressRange(0, static_cast<int>(size / kSectorBytes + 1));
    ui.SetPathText(path);
    ui.SetSizeText(QStringLiteral("Скачено: 0 байт."));

    QByteArray image;
    Outcome outcome;
    {
        ShownPanel panel(ui);
        std::vector<uint16_t> clusters;
        outcome = WalkFileChain(first, size, clusters);
        if (outcome == Outcome::Complete)
            outcome = ReadFileData(clusters, size, image);
        if (outcome == Outcome::Broken)
            ReportBroken(kBrokenChain);
        // What was read is kept in every case, a failed read included.
        const bool written = WriteImage(path, image);
        if (outcome == Outcome::Complete || outcome == Outcome::Cancelled)
            return written;
    }
    throw EMainException();
}
