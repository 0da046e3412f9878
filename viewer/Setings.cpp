#include "Setings.h"

#include "DialogParts.h"
#include "LayoutFont.h"

#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

using viewer::TColor;

TColorSwatch::TColorSwatch(const QString& word, QWidget* parent) : QWidget(parent), word_(word) {
    setFixedSize(89, 25);
}

void TColorSwatch::SetColor(TColor color) {
    color_ = color;
    update();
}

void TColorSwatch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), viewer::ToQColor(color_));
    p.setFont(parentWidget() ? parentWidget()->font() : font());
    p.setPen(Qt::black);
    p.drawText(QRect(15, 5, width() - 15, height() - 5), Qt::AlignLeft | Qt::AlignTop, word_);
}

void TColorSwatch::mouseDoubleClickEvent(QMouseEvent*) {
    emit DoubleClicked();
}

using viewer::Button;
using viewer::Picture;
using viewer::Text;

TSetingsForm::TSetingsForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Настройки");
    setFixedSize(339, 209);
    platform::SetLayoutFont(this);

    Image1 = Picture("settings", this, 8, 8);
    ImageOFF = Picture("unchanged", this, 8, 64);
    ImageON = Picture("changed", this, 8, 64);

    Text("Формат числа:", this, 72, 8);
    PrecisionComboBox = new QComboBox(this);
    PrecisionComboBox->addItems({"0", "0.0", "0.00", "0.000", "0.0000"});
    PrecisionComboBox->setGeometry(72, 26, 121, 24);
    FontButton = Button("Шрифт", this, QRect(216, 26, 113, 25));

    Text("Цвет:", this, 72, 58);
    HeadPaintBox = new TColorSwatch("Заголовок", this);
    HeadPaintBox->move(72, 76);
    FerstPaintBox = new TColorSwatch("Чентые", this);
    FerstPaintBox->move(72, 103);
    SecondPaintBox = new TColorSwatch("Нечетные", this);
    SecondPaintBox->move(72, 130);

    viewer::Separator(this, QRect(8, 164, 323, 2));
    OKButton = Button("OK", this, QRect(88, 175, 75, 25));
    CancelButton = Button("Отмена", this, QRect(171, 175, 75, 25));
    DefaultButton = Button("Сброс", this, QRect(254, 175, 75, 25));
    OKButton->setDefault(true);

    PickFont = [this](const QFont& initial) -> std::optional<QFont> {
        bool ok = false;
        QFont font = QFontDialog::getFont(&ok, initial, this);
        return ok ? std::optional<QFont>(font) : std::nullopt;
    };
    PickColor = [this](const QColor& initial) -> std::optional<QColor> {
        QColor color = QColorDialog::getColor(initial, this);
        return color.isValid() ? std::optional<QColor>(color) : std::nullopt;
    };

    connect(PrecisionComboBox, &QComboBox::activated, this, [this] { ShowChanged(true); });
    connect(FontButton, &QPushButton::clicked, this, &TSetingsForm::FontButtonClick);
    connect(HeadPaintBox, &TColorSwatch::DoubleClicked, this,
            [this] { PickSwatchColor(Edited.HeadColor, HeadPaintBox); });
    connect(FerstPaintBox, &TColorSwatch::DoubleClicked, this,
            [this] { PickSwatchColor(Edited.FerstColor, FerstPaintBox); });
    connect(SecondPaintBox, &TColorSwatch::DoubleClicked, this,
            [this] { PickSwatchColor(Edited.SecondColor, SecondPaintBox); });
    connect(OKButton, &QPushButton::clicked, this, &TSetingsForm::OKButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(DefaultButton, &QPushButton::clicked, this, &TSetingsForm::DefaultButtonClick);

    Load(TSetingsValues{}, font());
}

void TSetingsForm::Load(const TSetingsValues& current, const QFont& windowFont) {
    Edited = current;
    // Only an edited setting gives a precision outside the entries; show the nearest.
    Edited.Precision = std::clamp(current.Precision, 0, PrecisionComboBox->count() - 1);
    PrecisionComboBox->setCurrentIndex(Edited.Precision);
    WindowFont = windowFont;
    ShowColors();
    ShowChanged(false);
}

void TSetingsForm::ShowChanged(bool changed) {
    changed_ = changed;
    ImageON->setVisible(changed);
    ImageOFF->setVisible(!changed);
    update();
}

void TSetingsForm::ShowColors() {
    HeadPaintBox->SetColor(Edited.HeadColor);
    FerstPaintBox->SetColor(Edited.FerstColor);
    SecondPaintBox->SetColor(Edited.SecondColor);
}

void TSetingsForm::PickSwatchColor(TColor& field, TColorSwatch* swatch) {
    const QColor shown = viewer::ToQColor(field);
    const std::optional<QColor> picked = PickColor(shown);
    // The same colour picked again is no change, whichever form it was stored in.
    if (!picked || picked->rgb() == shown.rgb())
        return;
    field = viewer::FromQColor(*picked);
    swatch->SetColor(field);
    ShowChanged(true);
}

void TSetingsForm::FontButtonClick() {
    if (const std::optional<QFont> picked = PickFont(Edited.GridFont)) {
        Edited.GridFont = *picked;
        ShowChanged(true);
    }
}

void TSetingsForm::DefaultButtonClick() {
    const TSetingsValues defaults;
    PrecisionComboBox->setCurrentIndex(defaults.Precision);
    Edited.HeadColor = defaults.HeadColor;
    Edited.FerstColor = defaults.FerstColor;
    Edited.SecondColor = defaults.SecondColor;
    Edited.GridFont = WindowFont;
    ShowColors();
    ShowChanged(true);
}

void TSetingsForm::OKButtonClick() {
    // With no entry chosen the loaded precision stays.
    if (PrecisionComboBox->currentIndex() >= 0)
        Edited.Precision = PrecisionComboBox->currentIndex();
    accept();
}
