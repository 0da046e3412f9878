#pragma once
// The visible archive grid: a table view over TArchiveModel whose header row (row 0) and
// time column (column 0) stay in place while the rest scrolls. Every cell, fixed or not,
// is painted by one owner-draw handler, as in a string grid with owner-drawn cells. Rows
// share one height; nothing is sized to its contents, so the grid costs the same for
// thirty rows as for half a million.
#include "ArchiveModel.h"

#include <QTableView>
#include <functional>

class TFixedHeader;

struct TGridDrawState {
    bool Selected = false; // inside the selected range
    bool Focused = false;  // the current cell of a grid that has the focus
    bool Fixed = false;    // the header row or the time column
};

using TDrawCellEvent = std::function<void(QPainter& canvas, int col, int row, const QRect& rect,
                                          TGridDrawState state)>;

class TViewGrid : public QTableView {
    Q_OBJECT
public:
    explicit TViewGrid(QWidget* parent = nullptr);

    TArchiveModel* Model() const { return model_; }
    // Counts with the fixed row and column.
    int ColCount() const { return model_->columnCount(); }
    int RowCount() const { return model_->rowCount(); }
    TCellView Cell(int col, int row) const { return model_->Cell(col, row); }
    QString Cells(int col, int row) const { return model_->Cell(col, row).Text; }

    int DefaultRowHeight() const { return rowHeight_; }
    // Every row, the header row included; heights the user dragged are reset.
    void SetDefaultRowHeight(int height);
    // The header row's height and the time column's width; the user drags both at the
    // headers' outer edges, the other rows and columns at the lines between them.
    int FixedRowHeight() const;
    int FixedColWidth() const;
    void SetFixedColWidth(int width);
    void SetCurrentCell(int col, int row);
    // Repaints every part of the grid at once.
    void Refresh();

    // The rectangle a cell is drawn in, in the grid's coordinates; empty when out of view.
    QRect CellRect(int col, int row) const;
    QColor GridLineColor() const;

    // The owner-draw handler; it paints the whole cell. Without one, cells show their text.
    TDrawCellEvent OnDrawCell;
    // Draws one cell through OnDrawCell, clipped to rect, in the grid's font.
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect,
                  TGridDrawState state) const;

protected:
    void updateGeometries() override;

private:
    friend class TFixedHeader;
    void HideFixedSections();
    // A string grid keeps its current cell and selected range when its content is
    // replaced, brought inside a smaller table.
    void RememberCurrentCell();
    void RestoreCurrentCell();

    TArchiveModel* model_;
    TFixedHeader* top_;
    TFixedHeader* left_;
    QWidget* corner_;
    int rowHeight_ = 18;
    QPoint current_{-1, -1}; // column, row
    QRect selected_;         // columns by rows
};
