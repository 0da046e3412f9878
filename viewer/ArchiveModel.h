#pragma once
// The visible grid's content: the cells of a TDataGrid formatted when they are asked for,
// so only the cells on screen are ever converted. Columns and rows are the grid's own:
// row 0 is the header line, column 0 the time.
#include "ArchiveFormat.h"
#include "CellText.h"

#include <QAbstractTableModel>
#include <vector>

struct TCellView {
    QString Text;
    // Whether the shown text reads as a number (value cells) or a time (the time column);
    // true for the header row and the Error column, which are never read.
    bool Converts = true;
};

class TArchiveModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Shows grid with values at precision decimals (clamped to 0-4); a model reset that
    // shares the grid's bytes.
    void Show(const TDataGrid& grid, int precision, const TRegionalSettings& settings);
    const TDataGrid& Grid() const { return grid_; }

    // The text shown in a cell: values formatted, "NaN" and empty values as they are, a
    // time as it is when it reads as one, "-------" for anything that does not convert.
    TCellView Cell(int col, int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QByteArrayView RawCell(int col, int row) const;

    TDataGrid grid_;
    int precision_ = 2;
    TRegionalSettings settings_;
    // The last row split: painting walks the grid row by row.
    mutable int cachedRow_ = -1;
    mutable std::vector<QByteArrayView> cachedCells_;
};
