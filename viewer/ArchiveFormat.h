#pragma once
// Archive files: semicolon tables under a fixed header line, plain or enciphered with a
// 16-bit XOR key. The file's bytes are held once; the lines and the cells are views into
// them, so an archive of half a million rows costs little more than its file.
#include "CellText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The text's lines: the bytes up to the first NUL, split at CR, LF and CR LF.
class TArchiveLines {
public:
    void Assign(const QByteArray& bytes);
    void Clear();
    qsizetype Count() const { return spans_.size(); }
    bool IsEmpty() const { return spans_.isEmpty(); }
    QByteArrayView Line(qsizetype index) const {
        const TSpan& s = spans_[index];
        return QByteArrayView(bytes_.constData() + s.Start, s.Length);
    }

private:
    struct TSpan {
        qsizetype Start;
        qsizetype Length;
    };
    QByteArray bytes_;   // shared with the stream, never copied
    QList<TSpan> spans_; // shared between copies of the table
};

// The table of raw cell texts, columns by rows: row i is line i split at ";", fields past
// the last column ignored, cells a short line does not reach empty. Copies are cheap.
class TDataGrid {
public:
    // ColCount x RowCount empty cells, no lines.
    void SetSize(int cols, int rows);
    // One row per line. False when there are more lines than a grid can count.
    bool Assign(const TArchiveLines& lines, int cols);
    // Every cell empty, the size kept.
    void ClearCells();

    int ColCount() const { return cols_; }
    int RowCount() const { return rows_; }
    // A row's whole text; empty past the lines.
    QByteArrayView RowText(int row) const {
        return row < lines_.Count() ? lines_.Line(row) : QByteArrayView();
    }
    // Splits a row into ColCount() cells.
    void SplitRow(int row, QByteArrayView* cells) const;
    QByteArrayView Cell(int col, int row) const;

private:
    TArchiveLines lines_;
    int cols_ = 0;
    int rows_ = 0;
};

namespace viewer {

constexpr quint16 kArchiveKey = 0x3A7C;
constexpr int kArchiveColumns = 66; // Time, Error, 1 to 64
// What every archive begins with; the rest of the first line is not examined.
extern const QByteArrayView kArchiveHeader;

// The whole file; false when it is not a regular file, or cannot be opened, held in memory
// or read whole.
bool ReadArchiveFile(const QString& fileName, QByteArray& bytes);

// True when the first byte is the enciphered form of the header's T.
bool LooksEnciphered(QByteArrayView bytes, quint16 key);
// XORs each little-endian 16-bit word with key; an odd last byte stays as it is. Its own
// inverse.
void DecipherArchive(QByteArray& bytes, quint16 key);
// True when bytes begins with kArchiveHeader.
bool CheckTableHeader(QByteArrayView bytes);

// The cells that fail their grammar: time cells (column 0, empty ones included) and value
// cells (columns 2 on) that are not empty, not "NaN" and do not begin with a capital E.
// Row 0 and column 1 are never tested.
qint64 CountBadCells(const TDataGrid& grid, const TRegionalSettings& settings);

// Every line followed by CR LF, the bytes as they stand. Written to a temporary file that
// replaces path only when all of it is written, so a failure leaves the old file intact.
bool WriteArchiveLines(const QString& path, const TArchiveLines& lines);

// "Копия" followed by the file-name part of the open dialog's current file name.
QString ExportDefaultName(const QString& openFileName);
// The chosen name's folder and file name with its extension replaced by ".CSV".
QString ExportTargetPath(const QString& chosen);

} // namespace viewer
