#pragma once
// The project's list: one model shown either as large icons or as a table with the two
// columns. Both views share the model and the selection, so a style change keeps the
// selection and a refresh touches each item once. Each view draws its own image list
// (large in the icon style, small in the table style) by the row's image index, at the
// size of that list's images.
#include <QImage>
#include <QList>
#include <QStackedWidget>
#include <QString>
#include <cstdint>

class QItemSelectionModel;
class QListView;
class QStandardItemModel;
class QTreeView;
class TIconDelegate;

class TProjectListView : public QStackedWidget {
    Q_OBJECT
public:
    static constexpr int MinFontSize = 8;
    static constexpr int MaxFontSize = 28;

    explicit TProjectListView(QWidget* parent = nullptr);

    QStandardItemModel* Model;
    QItemSelectionModel* Selection;
    QListView* Icons; // style 0
    QTreeView* Table; // style 1

    // 0 icons, 1 table; any other value is taken as icons.
    void SetViewStyle(uint8_t style);
    uint8_t ViewStyle() const { return style_; }

    void SetColumnCaptions(const QString& first, const QString& second);
    QString ColumnCaption(int column) const;
    int ColumnWidth(int column) const;
    void SetColumnWidth(int column, int width);

    // The images by index; an index without an image (or -1) draws none.
    void SetLargeImages(const QList<QImage>& images);
    void SetSmallImages(const QList<QImage>& images);
    bool HasLargeImages() const;
    bool HasSmallImages() const;

    // The font of both views, in points.
    int FontSize() const;
    void SetFontSize(int points);

    // Rows: a caption, an image index and one sub-item (the second column).
    int Count() const;
    void AppendRow();
    void RemoveLastRow();
    void Clear();
    QString Caption(int row) const;
    void SetCaption(int row, const QString& text);
    int32_t IconIndex(int row) const;
    void SetIconIndex(int row, int32_t index);
    QString SubItem(int row) const;
    void SetSubItem(int row, const QString& text);

    // The selected row, -1 when none.
    int SelectedRow() const;
    void SelectRow(int row);
    // Nothing selected and no row keeps the focus.
    void ClearSelection();

    // The view of the current style.
    QWidget* CurrentView() const;

signals:
    // A click on a row, or any change of the selection (keyboard, a row removed).
    void SelectionTouched();
    // A double click on a row.
    void RowActivated();

private:
    uint8_t style_ = 0;
    TIconDelegate* largeDelegate_;
    TIconDelegate* smallDelegate_;
};
