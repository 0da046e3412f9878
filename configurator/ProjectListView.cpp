#include "ProjectListView.h"

#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QListView>
#include <QPixmap>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace {
constexpr int IconIndexRole = Qt::UserRole + 1;

// An image list's size is that of its largest image, so every picture shows whole; a list
// without a readable image leaves the view's size as it was.
QSize ImageListSize(const QList<QImage>& images, const QSize& current) {
    QSize size(0, 0);
    for (const QImage& image : images)
        size = size.expandedTo(image.size());
    return size.isEmpty() ? current : size;
}

// Writes only a value that differs, so an unchanged row raises no change at all.
void SetChanged(QStandardItemModel* model, const QModelIndex& index, const QVariant& value,
                int role) {
    if (model->data(index, role) != value)
        model->setData(index, value, role);
}
} // namespace

// Draws a row's image from its view's own list, by the index the row carries.
class TIconDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void SetImages(const QList<QImage>& images, bool present) {
        icons_.clear();
        for (const QImage& image : images)
            icons_.append(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
        present_ = present;
    }
    bool Present() const { return present_; }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() != 0)
            return;
        const QVariant v = index.data(IconIndexRole);
        const int i = v.isValid() ? v.toInt() : -1;
        if (i >= 0 && i < icons_.size() && !icons_[i].isNull()) {
            option->icon = icons_[i];
            option->features |= QStyleOptionViewItem::HasDecoration;
            option->decorationSize = option->decorationSize.isValid()
                                         ? option->decorationSize
                                         : icons_[i].availableSizes().value(0);
        }
    }

private:
    QList<QIcon> icons_;
    bool present_ = false;
};

TProjectListView::TProjectListView(QWidget* parent) : QStackedWidget(parent) {
    Model = new QStandardItemModel(0, 2, this);
    Selection = new QItemSelectionModel(Model, this);

    Icons = new QListView(this);
    Icons->setModel(Model);
    Icons->setSelectionModel(Selection);
    Icons->setViewMode(QListView::IconMode);
    Icons->setResizeMode(QListView::Adjust);
    Icons->setMovement(QListView::Static);
    Icons->setWordWrap(true);
    Icons->setIconSize(QSize(32, 32)); // until the project's image lists set their own

    Table = new QTreeView(this);
    Table->setModel(Model);
    Table->setSelectionModel(Selection);
    Table->setRootIsDecorated(false);
    Table->setItemsExpandable(false);
    Table->setUniformRowHeights(true);
    Table->setAllColumnsShowFocus(true);
    Table->setIconSize(QSize(16, 16));
    Table->header()->setStretchLastSection(false);
    Table->header()->setSectionsMovable(false);

    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(Icons), static_cast<QAbstractItemView*>(Table)}) {
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        connect(view, &QAbstractItemView::clicked, this, &TProjectListView::SelectionTouched);
        connect(view, &QAbstractItemView::doubleClicked, this, &TProjectListView::RowActivated);
    }
    connect(Selection, &QItemSelectionModel::selectionChanged, this,
            &TProjectListView::SelectionTouched);

    largeDelegate_ = new TIconDelegate(Icons);
    Icons->setItemDelegate(largeDelegate_);
    smallDelegate_ = new TIconDelegate(Table);
    Table->setItemDelegate(smallDelegate_);

    addWidget(Icons);
    addWidget(Table);
    SetColumnCaptions(QStringLiteral("Имя"), QStringLiteral("Значение"));
    SetColumnWidth(0, 200);
    SetColumnWidth(1, 100);
    Model->setHeaderData(1, Qt::Horizontal, int(Qt::AlignRight | Qt::AlignVCenter),
                         Qt::TextAlignmentRole);
    SetViewStyle(0);
}

void TProjectListView::SetViewStyle(uint8_t style) {
    style_ = style == 1 ? 1 : 0;
    const bool hadFocus = CurrentView()->hasFocus();
    setCurrentWidget(style_ == 1 ? static_cast<QWidget*>(Table) : static_cast<QWidget*>(Icons));
    if (hadFocus)
        CurrentView()->setFocus();
}

void TProjectListView::SetColumnCaptions(const QString& first, const QString& second) {
    if (Model->headerData(0, Qt::Horizontal).toString() != first)
        Model->setHeaderData(0, Qt::Horizontal, first);
    if (Model->headerData(1, Qt::Horizontal).toString() != second)
        Model->setHeaderData(1, Qt::Horizontal, second);
}

QString TProjectListView::ColumnCaption(int column) const {
    return Model->headerData(column, Qt::Horizontal).toString();
}

int TProjectListView::ColumnWidth(int column) const {
    return Table->header()->sectionSize(column);
}

void TProjectListView::SetColumnWidth(int column, int width) {
    Table->header()->resizeSection(column, width);
}

void TProjectListView::SetLargeImages(const QList<QImage>& images) {
    largeDelegate_->SetImages(images, true);
    Icons->setIconSize(ImageListSize(images, Icons->iconSize()));
    Icons->viewport()->update();
}

void TProjectListView::SetSmallImages(const QList<QImage>& images) {
    smallDelegate_->SetImages(images, true);
    Table->setIconSize(ImageListSize(images, Table->iconSize()));
    Table->viewport()->update();
}

bool TProjectListView::HasLargeImages() const {
    return largeDelegate_->Present();
}

bool TProjectListView::HasSmallImages() const {
    return smallDelegate_->Present();
}

int TProjectListView::FontSize() const {
    return Icons->font().pointSize();
}

void TProjectListView::SetFontSize(int points) {
    for (QWidget* view : {static_cast<QWidget*>(Icons), static_cast<QWidget*>(Table)}) {
        QFont f = view->font();
        f.setPointSize(points);
        view->setFont(f);
    }
}

int TProjectListView::Count() const {
    return Model->rowCount();
}

void TProjectListView::AppendRow() {
    auto* caption = new QStandardItem;
    auto* sub = new QStandardItem;
    sub->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Model->appendRow({caption, sub});
}

void TProjectListView::RemoveLastRow() {
    if (Model->rowCount() > 0)
        Model->removeRow(Model->rowCount() - 1);
}

void TProjectListView::Clear() {
    Model->removeRows(0, Model->rowCount());
}

QString TProjectListView::Caption(int row) const {
    return Model->data(Model->index(row, 0)).toString();
}

void TProjectListView::SetCaption(int row, const QString& text) {
    SetChanged(Model, Model->index(row, 0), text, Qt::DisplayRole);
}

int32_t TProjectListView::IconIndex(int row) const {
    const QVariant v = Model->data(Model->index(row, 0), IconIndexRole);
    return v.isValid() ? v.toInt() : -1;
}

void TProjectListView::SetIconIndex(int row, int32_t index) {
    SetChanged(Model, Model->index(row, 0), index, IconIndexRole);
}

QString TProjectListView::SubItem(int row) const {
    return Model->data(Model->index(row, 1)).toString();
}

void TProjectListView::SetSubItem(int row, const QString& text) {
    SetChanged(Model, Model->index(row, 1), text, Qt::DisplayRole);
}

int TProjectListView::SelectedRow() const {
    const QModelIndexList rows = Selection->selectedRows(0);
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TProjectListView::SelectRow(int row) {
    const QModelIndex i = Model->index(row, 0);
    Selection->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TProjectListView::ClearSelection() {
    Selection->clear();
}

QWidget* TProjectListView::CurrentView() const {
    return style_ == 1 ? static_cast<QWidget*>(Table) : static_cast<QWidget*>(Icons);
}
