#pragma once
// The settings dialog: number of decimals, grid font and the three grid colours. It edits
// copies and gives them back only on OK; the main window applies them.
#include "ViewColors.h"

#include <QDialog>
#include <QFont>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;

// What the dialog edits: the main window's values and its grid's font.
struct TSetingsValues {
    int Precision = 2;
    viewer::TColor HeadColor = viewer::kHotTrackColor;
    viewer::TColor FerstColor = viewer::kWhiteColor;
    viewer::TColor SecondColor = viewer::kButtonFaceColor;
    QFont GridFont;
};

// A colour swatch that writes its word over its colour and reports double clicks.
class TColorSwatch : public QWidget {
    Q_OBJECT
public:
    TColorSwatch(const QString& word, QWidget* parent);
    void SetColor(viewer::TColor color);

signals:
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;

private:
    QString word_;
    viewer::TColor color_ = 0;
};

class TSetingsForm : public QDialog {
    Q_OBJECT
public:
    explicit TSetingsForm(QWidget* parent = nullptr);

    // Loads the values to edit before each showing; windowFont is the font "Сброс" gives
    // the grid. A precision outside 0-4 is shown clamped.
    void Load(const TSetingsValues& current, const QFont& windowFont);
    // The edited values; after OK, what the main window takes.
    const TSetingsValues& Values() const { return Edited; }
    // True once something was edited in this showing (the ImageON indicator).
    bool Changed() const { return changed_; }

    // The font and colour dialogs: nullopt when the user cancels. Tests answer for them.
    std::function<std::optional<QFont>(const QFont&)> PickFont;
    std::function<std::optional<QColor>(const QColor&)> PickColor;

    QLabel* Image1;
    QLabel* ImageOFF;
    QLabel* ImageON;
    QComboBox* PrecisionComboBox;
    QPushButton* FontButton;
    TColorSwatch* HeadPaintBox;
    TColorSwatch* FerstPaintBox;
    TColorSwatch* SecondPaintBox;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    QPushButton* DefaultButton;

private:
    void ShowChanged(bool changed);
    void PickSwatchColor(viewer::TColor& field, TColorSwatch* swatch);
    void FontButtonClick();
    void DefaultButtonClick();
    void OKButtonClick();
    void ShowColors();

    TSetingsValues Edited;
    QFont WindowFont;
    bool changed_ = false;
};
