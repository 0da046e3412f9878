#include "CardFakes.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>

namespace cardtest {

namespace {
uint16_t Word(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}
void Put16(QByteArray& a, qsizetype at, uint16_t v) {
    a[at] = static_cast<char>(v & 0xFF);
    a[at + 1] = static_cast<char>(v >> 8);
}
void Put32(QByteArray& a, qsizetype at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        a[at + i] = static_cast<char>(v >> (8 * i));
}
} // namespace

Bytes WithCrc(Bytes frame) {
    const uint16_t c = ModbusCRC16(frame.data(), static_cast<uint16_t>(frame.size()));
    frame.push_back(static_cast<uint8_t>(c >> 8));
    frame.push_back(static_cast<uint8_t>(c & 0xFF));
    return frame;
}

std::vector<FakeInstrument::Piece> FakeInstrument::Respond(const Bytes& request) {
    ++requests_;
    Bytes reply;
    if (!Scripted.empty()) {
        reply = Scripted.front();
        Scripted.pop_front();
    } else {
        reply = Serve(request);
    }
    if (reply.empty())
        return {};
    return {Piece{2, reply}};
}

Bytes FakeInstrument::Serve(const Bytes& request) {
    if (request.size() != 8 || WithCrc(Bytes(request.begin(), request.end() - 2)) != request)
        return {};
    const uint8_t address = request[0];
    const uint16_t reg = Word(request, 2);
    if (request[1] == 6 && reg == 999) {
        Page = Word(request, 4);
        const uint16_t echoed = EchoPage.value_or(Page);
        return WithCrc({address, 6, 0x03, 0xE7, static_cast<uint8_t>(echoed >> 8),
                        static_cast<uint8_t>(echoed)});
    }
    if (request[1] != 3 || Word(request, 4) != 64 || reg < 999 || reg >= 999 + 1024)
        return WithCrc({address, 0x83, 2});
    if (!Card)
        return WithCrc({address, 0x83, 8});
    const unsigned index = reg - 999u;
    const uint64_t offset = (uint64_t{Page} * 256 + index / 4) * 512 + (index % 4) * 128;
    if (offset + 128 > static_cast<uint64_t>(Card->size()))
        return WithCrc({address, 0x83, 2});
    Bytes frame = {address, 3, 128};
    frame.insert(frame.end(), Card->begin() + static_cast<qsizetype>(offset),
                 Card->begin() + static_cast<qsizetype>(offset) + 128);
    return WithCrc(frame);
}

bool ScriptedPrompt::AskRetry(TProblemKind kind) {
    Asked.push_back(kind);
    if (Answers.empty())
        return false;
    const bool retry = Answers.front();
    Answers.pop_front();
    return retry;
}

void RecordingProgress::SetBusyCursor(bool busy) {
    Calls << (busy ? QStringLiteral("busy") : QStringLiteral("idle"));
}
void RecordingProgress::ClearCancel() {
    Cancel = false;
    Calls << QStringLiteral("clear");
}
void RecordingProgress::SetProgressRange(int minimum, int maximum) {
    Calls << QStringLiteral("range %1 %2").arg(minimum).arg(maximum);
}
void RecordingProgress::SetProgressPosition(int position) {
    Calls << QStringLiteral("position %1").arg(position);
}
void RecordingProgress::SetPathText(const QString& path) {
    Calls << QStringLiteral("path ") + path;
}
void RecordingProgress::SetSizeText(const QString& text) {
    Calls << QStringLiteral("size ") + text;
}
void RecordingProgress::ShowPanel() {
    Calls << QStringLiteral("show");
}
void RecordingProgress::HidePanel() {
    Calls << QStringLiteral("hide");
}
void RecordingProgress::ProcessEvents() {
    Calls << QStringLiteral("events");
    if (++Events == CancelAtEvents)
        Cancel = true;
}
QStringList RecordingProgress::Matching(const QString& prefix) const {
    QStringList out;
    for (const QString& c : Calls)
        if (c.startsWith(prefix))
            out << c;
    return out;
}

QByteArray DirEntry(const QByteArray& name8, const QByteArray& ext3, uint8_t attributes,
                    uint16_t cluster, uint32_t size) {
    QByteArray e(32, '\0');
    std::memcpy(e.data(), name8.leftJustified(8, ' ', true).constData(), 8);
    std::memcpy(e.data() + 8, ext3.leftJustified(3, ' ', true).constData(), 3);
    e[11] = static_cast<char>(attributes);
    Put16(e, 0x1A, cluster);
    Put32(e, 0x1C, size);
    return e;
}

Fat16Builder::Fat16Builder() : Fat16Builder(Geometry{}) {}

Fat16Builder::Fat16Builder(Geometry g) : g_(g), image_(qsizetype{g.TotalSectors} * 512, '\0') {
    image_.replace(0, 512, BootSector(g));
    SetFat(0, 0xFFF8);
    SetFat(1, 0xFFFF);
}

QByteArray Fat16Builder::BootSector(const Geometry& g) {
    QByteArray b(512, '\0');
    b[0] = static_cast<char>(0xEB);
    b[1] = 0x3C;
    b[2] = static_cast<char>(0x90);
    std::memcpy(b.data() + 3, "MSWIN4.1", 8);
    Put16(b, 0x0B, g.BytesPerSector);
    b[0x0D] = static_cast<char>(g.SecPerClus);
    Put16(b, 0x0E, g.Reserved);
    b[0x10] = static_cast<char>(g.Fats);
    Put16(b, 0x11, g.RootEntries);
    Put16(b, 0x13, g.TotalSectors);
    b[0x15] = static_cast<char>(0xF8);
    Put16(b, 0x16, g.FatSize);
    b[0x1FE] = 0x55;
    b[0x1FF] = static_cast<char>(0xAA);
    return b;
}

void Fat16Builder::SetFat(uint16_t cluster, uint16_t value) {
    for (unsigned f = 0; f < std::max<unsigned>(g_.Fats, 1); ++f) {
        const qsizetype at =
            (qsizetype{g_.Reserved} + qsizetype{f} * g_.FatSize) * 512 + 2 * cluster;
        if (at + 2 <= image_.size())
            Put16(image_, at, value);
    }
}

void Fat16Builder::Chain(const std::vector<uint16_t>& clusters) {
    for (size_t i = 0; i < clusters.size(); ++i)
        SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0xFFFF);
}

void Fat16Builder::PutFile(const std::vector<uint16_t>& clusters, const QByteArray& data) {
    Chain(clusters);
    FillClusters(clusters, data);
}

void Fat16Builder::SetRootEntry(int index, const QByteArray& entry) {
    std::memcpy(image_.data() + qsizetype{RootStart()} * 512 + index * 32, entry.constData(), 32);
}

void Fat16Builder::SetDirEntry(uint16_t cluster, int index, const QByteArray& entry) {
    std::memcpy(image_.data() + qsizetype{ClusterSector(cluster)} * 512 + index * 32,
                entry.constData(), 32);
}

void Fat16Builder::WriteAt(uint32_t sector, const QByteArray& bytes) {
    const qsizetype at = qsizetype{sector} * 512;
    if (image_.size() < at + bytes.size())
        image_.resize(at + bytes.size(), '\0');
    std::memcpy(image_.data() + at, bytes.constData(), static_cast<size_t>(bytes.size()));
}

void Fat16Builder::FillClusters(const std::vector<uint16_t>& clusters, const QByteArray& data) {
    const qsizetype clusterBytes = qsizetype{g_.SecPerClus} * 512;
    for (size_t i = 0; i < clusters.size(); ++i)
        WriteAt(ClusterSector(clusters[i]),
                data.mid(static_cast<qsizetype>(i) * clusterBytes, clusterBytes));
}

QByteArray Fat16Builder::WithPartitionTable(uint32_t startSector) const {
    QByteArray table(qsizetype{startSector} * 512, '\0');
    table[0x1BE + 4] = 0x06; // FAT16 over 32 MB
    Put32(table, 0x1C6, startSector);
    Put32(table, 0x1CA, g_.TotalSectors);
    table[0x1FE] = 0x55;
    table[0x1FF] = static_cast<char>(0xAA);
    return table + image_;
}

std::optional<TCardEntry> FindEntry(TMMC& reader, const QString& path) {
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const auto it =
            std::find_if(reader.Entries.begin(), reader.Entries.end(),
                         [&](const TCardEntry& e) { return CardLocalFileName(e) == parts[i]; });
        if (it == reader.Entries.end())
            return std::nullopt;
        const TCardEntry found = *it;
        if (i + 1 == parts.size())
            return found;
        if (found.Kind != ckDir || !reader.DirEnter(found.FirstCluster))
            return std::nullopt;
    }
    return std::nullopt;
}

bool BackToRoot(TMMC& reader) {
    while (!reader.DirStack.empty())
        if (!reader.DirUp())
            return false;
    return reader.CurDir == 0;
}

QString DownloadAndCompare(TMMC& reader, const QByteArray& expected, const QString& path,
                           const QString& folder) {
    if (!BackToRoot(reader) || !reader.ReadDirectory())
        return QStringLiteral("cannot list the root");
    const std::optional<TCardEntry> entry = FindEntry(reader, path);
    if (!entry || entry->Kind != ckFile)
        return QStringLiteral("no such file on the card");
    const QString target = QDir(folder).filePath(CardLocalFileName(*entry));
    if (!reader.DownloadFile(*entry, target))
        return QStringLiteral("not written");
    QFile f(target);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the download");
    const QByteArray downloaded = f.readAll();
    if (downloaded != expected || expected.size() != qsizetype{entry->Size})
        return QStringLiteral("downloaded %1 bytes, %2 expected, the entry says %3")
            .arg(downloaded.size())
            .arg(expected.size())
            .arg(entry->Size);
    return QString();
}

CardRig::CardRig() {
    qputenv("VENDRILL_PORTS_DIR", Folder.path().toUtf8());
    auto line = std::make_unique<platform::FakeSerialLine>(Clock);
    Line = line.get();
    TPortSettings settings;
    settings.Speed = 115200;
    settings.TimeOut = 100;
    settings.Pause = 5;
    Port = std::make_unique<TVskComPort>(settings, std::move(line), Clock);
    Port->Open();
    Line->SetResponder([this](const Bytes& request) { return Instrument.Respond(request); });
    Reader.Port = Port.get();
    Reader.Prompt = &Prompt;
    Reader.Progress = &Progress;
    Reader.SetClock(Sleeper);
}

CardRig::~CardRig() {
    qunsetenv("VENDRILL_PORTS_DIR");
}

bool CardRig::MountImage(const QByteArray& image) {
    Instrument.Card = image;
    const bool mounted = Reader.Mount();
    TakeRequests();
    Progress.Calls.clear();
    return mounted;
}

QStringList CardRig::TakeRequests() {
    QStringList out;
    const auto writes = Line->Writes();
    for (; seen_ < writes.size(); ++seen_) {
        const Bytes& w = writes[seen_];
        const unsigned value = w.size() >= 6 ? unsigned(w[4] << 8 | w[5]) : 0;
        const unsigned reg = w.size() >= 4 ? unsigned(w[2] << 8 | w[3]) : 0;
        if (w.size() >= 2 && w[1] == 6)
            out << QStringLiteral("page %1").arg(value);
        else
            out << QStringLiteral("read %1").arg(reg);
    }
    return out;
}

QByteArray CardRig::CardBytes(uint32_t sector, uint32_t count) const {
    return Instrument.Card->mid(qsizetype{sector} * 512, qsizetype{count} * 512);
}

} // namespace cardtest
