#include "ArchiveFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <bit>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

namespace viewer {

const QByteArrayView kArchiveHeader(
    "Time;Error;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18;19;20;21;22;23;24;25;26;27;28;29;"
    "30;31;32;33;34;35;36;37;38;39;40;41;42;43;44;45;46;47;48;49;50;51;52;53;54;55;56;57;58;59;"
    "60;61;62;63;64;");

bool ReadArchiveFile(const QString& fileName, QByteArray& bytes) {
    bytes.clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    try {
        if (file.isSequential()) {
            bytes = file.readAll();
            return file.error() == QFileDevice::NoError;
        }
        const qint64 size = file.size();
        bytes.resize(size);
        qint64 done = 0;
        while (done < size) {
            const qint64 n = file.read(bytes.data() + done, size - done);
            if (n <= 0)
                break;
            done += n;
        }
        if (done != size || file.error() != QFileDevice::NoError) {
            bytes.clear();
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return false;
    }
}

bool LooksEnciphered(QByteArrayView bytes, quint16 key) {
    return !bytes.isEmpty() && bytes[0] != 'T' && quint8(bytes[0]) == quint8('T' ^ (key & 0xFF));
}

void DecipherArchive(QByteArray& bytes, quint16 key) {
    char* data = bytes.data();
    const qsizetype words = bytes.size() / 2;
    const char lo = char(key & 0xFF);
    const char hi = char(key >> 8);
    qsizetype i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Four words at a time: the same XOR on a little-endian host.
        const quint64 wide = quint64(key) * 0x0001000100010001ull;
        for (; i + 4 <= words; i += 4) {
            quint64 chunk;
            std::memcpy(&chunk, data + 2 * i, 8);
            chunk ^= wide;
            std::memcpy(data + 2 * i, &chunk, 8);
        }
    }
    for (; i < words; ++i) {
        data[2 * i] ^= lo;
        data[2 * i + 1] ^= hi;
    }
}

bool CheckTableHeader(QByteArrayView bytes) {
    return bytes.startsWith(kArchiveHeader);
}

} // namespace viewer

void TArchiveLines::Assign(const QByteArray& bytes) {
    Clear();
    bytes_ = bytes;
    const char* begin = bytes_.constData();
    const char* nul = static_cast<const char*>(std::memchr(begin, 0, bytes_.size()));
    const char* end = nul ? nul : begin + bytes_.size();
    const auto find = [end](const char* from, char c) {
        const void* hit = std::memchr(from, c, end - from);
        return hit ? static_cast<const char*>(hit) : end;
    };
    // The next CR and the next LF, each looked up again only once passed.
    const char* p = begin;
    const char* cr = find(p, '\r');
    const char* lf = find(p, '\n');
    while (p < end) {
        if (cr < p)
            cr = find(p, '\r');
        if (lf < p)
            lf = find(p, '\n');
        const char* e = std::min(cr, lf);
        spans_.append({p - begin, e - p});
        if (e == end)
            break;
        p = e + ((*e == '\r' && e + 1 < end && e[1] == '\n') ? 2 : 1);
    }
}

void TArchiveLines::Clear() {
    bytes_.clear();
    spans_.clear();
}

void TDataGrid::SetSize(int cols, int rows) {
    lines_.Clear();
    cols_ = cols;
    rows_ = rows;
}

bool TDataGrid::Assign(const TArchiveLines& lines, int cols) {
    if (lines.Count() > INT_MAX - 1)
        return false;
    lines_ = lines;
    cols_ = cols;
    rows_ = int(lines.Count());
    return true;
}

void TDataGrid::ClearCells() {
    lines_.Clear();
}

void TDataGrid::SplitRow(int row, QByteArrayView* cells) const {
    int c = 0;
    if (row < lines_.Count()) {
        const QByteArrayView line = lines_.Line(row);
        const char* p = line.data();
        const char* end = p + line.size();
        while (p < end && c < cols_) {
            const char* semi = static_cast<const char*>(std::memchr(p, ';', end - p));
            if (!semi) {
                cells[c++] = QByteArrayView(p, end - p);
                break;
            }
            cells[c++] = QByteArrayView(p, semi - p);
            p = semi + 1;
        }
    }
    for (; c < cols_; ++c)
        cells[c] = QByteArrayView();
}

QByteArrayView TDataGrid::Cell(int col, int row) const {
    if (col < 0 || col >= cols_ || row < 0 || row >= rows_)
        return {};
    std::vector<QByteArrayView> cells(cols_);
    SplitRow(row, cells.data());
    return cells[col];
}

namespace viewer {

qint64 CountBadCells(const TDataGrid& grid, const TRegionalSettings& settings) {
    qint64 count = 0;
    if (grid.ColCount() == 0)
        return 0;
    std::vector<QByteArrayView> cells(grid.ColCount());
    for (int row = 1; row < grid.RowCount(); ++row) {
        grid.SplitRow(row, cells.data());
        if (!TryTextToTime(cells[0], settings))
            ++count;
        for (int col = 2; col < grid.ColCount(); ++col) {
            const QByteArrayView cell = cells[col];
            if (!cell.isEmpty() && cell[0] != 'E' && cell != "NaN" &&
                !TryTextToFloat(cell, settings))
                ++count;
        }
    }
    return count;
}

bool WriteArchiveLines(const QString& path, const TArchiveLines& lines) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    constexpr qsizetype kChunk = 1 << 20;
    QByteArray buffer;
    buffer.reserve(kChunk + 4096);
    const auto flush = [&] {
        const bool ok = file.write(buffer) == buffer.size();
        buffer.resize(0);
        return ok;
    };
    for (qsizetype i = 0; i < lines.Count(); ++i) {
        buffer.append(lines.Line(i));
        buffer.append("\r\n", 2);
        if (buffer.size() >= kChunk && !flush()) {
            file.cancelWriting();
            return false;
        }
    }
    if (!flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString ExportDefaultName(const QString& openFileName) {
    return QStringLiteral("Копия") + QFileInfo(openFileName).fileName();
}

QString ExportTargetPath(const QString& chosen) {
    const QFileInfo info(chosen);
    QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    return QDir(info.path()).filePath(name + QStringLiteral(".CSV"));
}

} // namespace viewer
