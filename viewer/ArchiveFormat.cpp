#include "ArchiveFormat.h"

#include "FileReplace.h"
#include "WholeFile.h"

#include <QDir>
#include <QFileInfo>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace viewer {

const QByteArrayView kArchiveHeader(
    "Time;Error;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18;19;20;21;22;23;24;25;26;27;28;29;"
    "30;31;32;33;34;35;36;37;38;39;40;41;42;43;44;45;46;47;48;49;50;51;52;53;54;55;56;57;58;59;"
    "60;61;62;63;64;");

bool ReadArchiveFile(const QString& fileName, QByteArray& bytes) {
    return platform::ReadWholeFile(fileName, bytes);
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
        // Fields are a few bytes long: a plain loop beats a library search per field.
        while (p < end && c < cols_) {
            const char* semi = p;
            while (semi < end && *semi != ';')
                ++semi;
            cells[c++] = QByteArrayView(p, semi - p);
            if (semi == end)
                break;
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

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool kWordAtATime = std::endian::native == std::endian::little;

const char* FieldEnd(const char* p, const char* end) {
    while (p < end && *p != ';')
        ++p;
    return p;
}

// The usual value, an optional sign and digits around one separator, checked while its
// end is looked for; false sends anything else to the full grammar.
bool QuickNumber(const char* p, const char* end, char separator, const char*& fieldEnd) {
    if (p < end && (*p == '-' || *p == '+'))
        ++p;
    const char* digits = p;
    while (p < end && IsDigit(*p))
        ++p;
    const qsizetype intDigits = p - digits;
    qsizetype count = intDigits;
    if (p < end && *p == separator) {
        const char* frac = ++p;
        while (p < end && IsDigit(*p))
            ++p;
        count += p - frac;
    }
    if (count == 0 || intDigits > 300 || (p < end && *p != ';'))
        return false;
    fieldEnd = p;
    return true;
}

// The same for a value that ends within the next eight bytes, all eight looked at at once
// (no branch per byte): the bytes before the first ";" must be digits, with at most one
// separator and a sign in front.
bool QuickNumber8(const char* p, char separator, const char*& fieldEnd) {
    constexpr quint64 kOnes = 0x0101010101010101ull;
    constexpr quint64 kHigh = 0x8080808080808080ull;
    constexpr quint64 kLow = ~kHigh;
    quint64 w;
    std::memcpy(&w, p, 8);
    // The high bit of each byte that equals c.
    const auto equal = [w](char c) {
        const quint64 x = w ^ (kOnes * quint8(c));
        return ~(((x & kLow) + kLow) | x) & kHigh;
    };
    const quint64 semi = equal(';');
    if (semi == 0)
        return false;
    const int length = std::countr_zero(semi) / 8;
    const quint64 field = ((1ull << (8 * length)) - 1) & kHigh;
    const quint64 low = w & kLow;
    const quint64 digits = ((low + kOnes * 0x50) & ~(low + kOnes * 0x46) & ~w & kHigh) & field;
    const quint64 separators = equal(separator) & field;
    const quint64 sign = p[0] == '-' || p[0] == '+' ? 0x80 : 0;
    if (digits == 0 || (field & ~digits & ~separators & ~sign) != 0 ||
        (separators & (separators - 1)) != 0)
        return false;
    fieldEnd = p + length;
    return true;
}

bool BadValue(QByteArrayView cell, const TRegionalSettings& settings) {
    return !cell.isEmpty() && cell[0] != 'E' && cell != "NaN" && !TryTextToFloat(cell, settings);
}

} // namespace

qint64 CountBadCells(const TDataGrid& grid, const TRegionalSettings& settings) {
    // Half a million rows of 64 values: one pass that splits and checks at once.
    const QByteArrayView separator = settings.DecimalSeparator;
    const bool quick = separator.size() == 1 && separator[0] != ';' && !IsDigit(separator[0]) &&
                       separator[0] != '-' && separator[0] != '+';
    qint64 count = 0;
    for (int row = 1; row < grid.RowCount(); ++row) {
        const QByteArrayView line = grid.RowText(row);
        const char* p = line.data();
        const char* end = p + line.size();
        const int cols = grid.ColCount();
        int col = 0;
        while (p < end && col < cols) {
            const char* fieldEnd = nullptr;
            if (col >= 2 && quick) {
                // The usual run of plain values, in a loop of its own.
                if constexpr (kWordAtATime) {
                    while (col < cols && end - p >= 8 && QuickNumber8(p, separator[0], fieldEnd)) {
                        ++col;
                        p = fieldEnd + 1;
                    }
                    if (p == end || col == cols)
                        break;
                }
                if (QuickNumber(p, end, separator[0], fieldEnd)) {
                    ++col;
                    p = fieldEnd == end ? end : fieldEnd + 1;
                    continue;
                }
            }
            fieldEnd = FieldEnd(p, end);
            const QByteArrayView cell(p, fieldEnd - p);
            if (col == 0 ? !TryTextToTime(cell, settings) : col >= 2 && BadValue(cell, settings))
                ++count;
            ++col;
            p = fieldEnd == end ? end : fieldEnd + 1;
        }
        if (col == 0) // no time at all
            ++count;
    }
    return count;
}

bool WriteArchiveLines(const QString& path, const TArchiveLines& lines) {
    // Beside the old file under a name that fits whatever the user's name: a failure
    // leaves the old file.
    platform::ReplacingFile file(path);
    if (!file.Open())
        return false;
    constexpr qsizetype kChunk = 1 << 20;
    QByteArray buffer;
    buffer.reserve(kChunk + 4096);
    const auto flush = [&] {
        const bool ok = file.Write(buffer);
        buffer.resize(0);
        return ok;
    };
    for (qsizetype i = 0; i < lines.Count(); ++i) {
        buffer.append(lines.Line(i));
        buffer.append("\r\n", 2);
        if (buffer.size() >= kChunk && !flush())
            return false;
    }
    return flush() && file.Commit();
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
