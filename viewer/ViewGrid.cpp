#include "ViewGrid.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

// A fixed cell's section holds the cell and, at its right and bottom, the grid lines.
void DrawFixedCell(const TViewGrid& grid, QPainter& painter, int col, int row,
                   const QRect& section) {
    grid.DrawCell(painter, col, row, section.adjusted(0, 0, -1, -1), {false, false, true});
    painter.save();
    painter.setPen(grid.GridLineColor());
    painter.drawLine(section.topRight(), section.bottomRight());
    painter.drawLine(section.bottomLeft(), section.bottomRight());
    painter.restore();
}

class TCellDelegate : public QStyledItemDelegate {
public:
    explicit TCellDelegate(TViewGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        TGridDrawState state;
        state.Selected = option.state & QStyle::State_Selected;
        state.Focused = option.state & QStyle::State_HasFocus;
        grid_->DrawCell(*painter, index.column(), index.row(), option.rect, state);
        if (state.Focused) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.rect = option.rect;
            focus.state |= QStyle::State_KeyboardFocusChange;
            grid_->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, grid_);
        }
    }
    // Rows and columns are never sized to their contents.
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {}; }

private:
    TViewGrid* grid_;
};

// The top left cell, which belongs to both the header row and the time column.
class TCornerCell : public QWidget {
public:
    explicit TCornerCell(TViewGrid* grid) : QWidget(grid), grid_(grid) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        DrawFixedCell(*grid_, painter, 0, 0, rect());
    }

private:
    TViewGrid* grid_;
};

} // namespace

// The header row (horizontal) or the time column (vertical), drawn as grid cells.
class TFixedHeader : public QHeaderView {
public:
    TFixedHeader(Qt::Orientation orientation, TViewGrid* grid)
        : QHeaderView(orientation, grid), grid_(grid) {
        setSectionsClickable(false);
        setHighlightSections(false);
        setSectionResizeMode(QHeaderView::Interactive);
        setMinimumSectionSize(1);
    }

    // The header row's height or the time column's width.
    int Thickness = 18;

    QSize sizeHint() const override {
        return orientation() == Qt::Horizontal ? QSize(length(), Thickness)
                                               : QSize(Thickness, length());
    }

protected:
    // The outer edge (the time column's right, the header row's bottom) sizes the header.
    bool AtOuterEdge(QPoint pos) const {
        return orientation() == Qt::Vertical ? pos.x() >= viewport()->width() - kEdge
                                             : pos.y() >= viewport()->height() - kEdge;
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && AtOuterEdge(event->position().toPoint())) {
            dragging_ = true;
            return;
        }
        QHeaderView::mousePressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint pos = event->position().toPoint();
        if (dragging_) {
            Thickness = std::max(1, (orientation() == Qt::Vertical ? pos.x() : pos.y()) + 1);
            grid_->updateGeometries();
            return;
        }
        if (AtOuterEdge(pos) && !(event->buttons() & Qt::LeftButton)) {
            viewport()->setCursor(orientation() == Qt::Vertical ? Qt::SplitHCursor
                                                                : Qt::SplitVCursor);
            edgeCursor_ = true;
            return;
        }
        if (edgeCursor_) {
            viewport()->unsetCursor();
            edgeCursor_ = false;
        }
        QHeaderView::mouseMoveEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (dragging_) {
            dragging_ = false;
            return;
        }
        QHeaderView::mouseReleaseEvent(event);
    }

    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        if (orientation() == Qt::Horizontal)
            DrawFixedCell(*grid_, *painter, logicalIndex, 0, rect);
        else
            DrawFixedCell(*grid_, *painter, 0, logicalIndex, rect);
    }

private:
    static constexpr int kEdge = 3;
    TViewGrid* grid_;
    bool dragging_ = false;
    bool edgeCursor_ = false;
};

TViewGrid::TViewGrid(QWidget* parent)
    : QTableView(parent), model_(new TArchiveModel(this)),
      top_(new TFixedHeader(Qt::Horizontal, this)), left_(new TFixedHeader(Qt::Vertical, this)),
      corner_(new TCornerCell(this)) {
    setHorizontalHeader(top_);
    setVerticalHeader(left_);
    setModel(model_);
    setItemDelegate(new TCellDelegate(this));
    top_->setDefaultSectionSize(64);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
            &TViewGrid::RememberCurrentCell);
    connect(model_, &QAbstractItemModel::modelReset, this, &TViewGrid::HideFixedSections);
    connect(model_, &QAbstractItemModel::modelReset, this, &TViewGrid::RestoreCurrentCell);
    SetDefaultRowHeight(rowHeight_);
    SetFixedColWidth(64);
}

void TViewGrid::HideFixedSections() {
    // Row 0 and column 0 are shown by the headers, which do not scroll.
    if (model_->rowCount() > 0)
        setRowHidden(0, true);
    if (model_->columnCount() > 0)
        setColumnHidden(0, true);
}

void TViewGrid::RememberCurrentCell() {
    const QModelIndex current = currentIndex();
    current_ = current.isValid() ? QPoint(current.column(), current.row()) : QPoint(-1, -1);
    const QItemSelection selection = selectionModel()->selection();
    selected_ = selection.isEmpty()
                    ? QRect()
                    : QRect(QPoint(selection.first().left(), selection.first().top()),
                            QPoint(selection.first().right(), selection.first().bottom()));
}

void TViewGrid::RestoreCurrentCell() {
    // Row 0 and column 0 are fixed: a table without value cells has no current cell.
    const int lastCol = ColCount() - 1;
    const int lastRow = RowCount() - 1;
    if (current_.x() < 0 || lastCol < 1 || lastRow < 1)
        return;
    const auto inside = [&](QPoint p) {
        return QPoint(std::clamp(p.x(), 1, lastCol), std::clamp(p.y(), 1, lastRow));
    };
    const QPoint cell = inside(current_);
    setCurrentIndex(model_->index(cell.y(), cell.x()));
    if (selected_.isValid()) {
        const QPoint from = inside(selected_.topLeft());
        const QPoint to = inside(selected_.bottomRight());
        selectionModel()->select(
            QItemSelection(model_->index(from.y(), from.x()), model_->index(to.y(), to.x())),
            QItemSelectionModel::ClearAndSelect);
    }
}

void TViewGrid::SetDefaultRowHeight(int height) {
    rowHeight_ = height;
    top_->Thickness = height;
    if (left_->defaultSectionSize() != height)
        left_->setDefaultSectionSize(height);
    updateGeometries();
}

int TViewGrid::FixedRowHeight() const {
    return top_->Thickness;
}

int TViewGrid::FixedColWidth() const {
    return left_->Thickness;
}

void TViewGrid::SetFixedColWidth(int width) {
    left_->Thickness = width;
    updateGeometries();
}

void TViewGrid::SetCurrentCell(int col, int row) {
    const QModelIndex index = model_->index(row, col);
    if (index.isValid())
        setCurrentIndex(index);
}

void TViewGrid::Refresh() {
    executeDelayedItemsLayout();
    updateGeometries();
    viewport()->repaint();
    top_->viewport()->repaint();
    left_->viewport()->repaint();
    corner_->repaint();
}

void TViewGrid::updateGeometries() {
    QTableView::updateGeometries();
    corner_->setGeometry(left_->x(), top_->y(), left_->width(), top_->height());
    corner_->raise();
}

QRect TViewGrid::CellRect(int col, int row) const {
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount())
        return {};
    QRect cell;
    if (row == 0 && col == 0) {
        cell = corner_->geometry().adjusted(0, 0, -1, -1);
    } else if (row == 0) {
        cell = QRect(top_->x() + top_->sectionViewportPosition(col), top_->y(),
                     top_->sectionSize(col) - 1, top_->height() - 1)
                   .intersected(top_->geometry());
    } else if (col == 0) {
        cell = QRect(left_->x(), left_->y() + left_->sectionViewportPosition(row),
                     left_->width() - 1, left_->sectionSize(row) - 1)
                   .intersected(left_->geometry());
    } else {
        cell = visualRect(model_->index(row, col))
                   .translated(viewport()->pos())
                   .intersected(viewport()->geometry());
    }
    return cell;
}

QColor TViewGrid::GridLineColor() const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    return QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
}

void TViewGrid::DrawCell(QPainter& painter, int col, int row, const QRect& rect,
                         TGridDrawState state) const {
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setFont(font());
    if (OnDrawCell) {
        OnDrawCell(painter, col, row, rect, state);
    } else {
        painter.fillRect(rect, palette().base());
        painter.drawText(rect.adjusted(2, 3, 0, 0), Qt::AlignLeft | Qt::AlignTop, Cells(col, row));
    }
    painter.restore();
}
