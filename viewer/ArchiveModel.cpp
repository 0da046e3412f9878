#include "ArchiveModel.h"

#include <algorithm>

namespace {
const QString kBadCell = QStringLiteral("-------");
// A cell shows its first few thousand characters: no cell is that wide, and a line
// without separators can be the whole file.
constexpr qsizetype kShownBytes = 4096;

QString Shown(QByteArrayView raw) {
    return viewer::DecodeCell(raw.first(std::min(raw.size(), kShownBytes)));
}
} // namespace

void TArchiveModel::Show(const TDataGrid& grid, int precision, const TRegionalSettings& settings) {
    beginResetModel();
    grid_ = grid;
    precision_ = std::clamp(precision, 0, 4);
    settings_ = settings;
    cachedRow_ = -1;
    cachedCells_.assign(grid_.ColCount(), QByteArrayView());
    endResetModel();
}

QByteArrayView TArchiveModel::RawCell(int col, int row) const {
    if (col < 0 || col >= grid_.ColCount() || row < 0 || row >= grid_.RowCount())
        return {};
    if (row != cachedRow_) {
        grid_.SplitRow(row, cachedCells_.data());
        cachedRow_ = row;
    }
    return cachedCells_[col];
}

TCellView TArchiveModel::Cell(int col, int row) const {
    const QByteArrayView raw = RawCell(col, row);
    if (row == 0 || col == 1)
        return {Shown(raw), true};
    if (col == 0) {
        if (viewer::TryTextToTime(raw, settings_))
            return {Shown(raw), true};
        return {raw.isEmpty() ? QString() : kBadCell, false};
    }
    if (raw.isEmpty())
        return {QString(), false};
    if (raw == "NaN")
        return {QStringLiteral("NaN"), false};
    double value = 0;
    if (viewer::TryTextToFloat(raw, settings_, &value))
        return {viewer::FormatValue(value, precision_, settings_), true};
    return {kBadCell, false};
}

int TArchiveModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.RowCount();
}

int TArchiveModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.ColCount();
}

QVariant TArchiveModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return Cell(index.column(), index.row()).Text;
}

Qt::ItemFlags TArchiveModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
