#include "FormatMes.h"

#include "ConfiguratorImages.h"
#include "WindowParts.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

TFormatMesForm::TFormatMesForm(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle("Внимание!");
    setFixedSize(213, 104);
    // The layout is drawn for an 8-point font: two lines of a range notice fit the box.
    SetLayoutFont(this);

    Image1 = new QLabel(this);
    Image1->setGeometry(8, 8, 48, 48);
    Image1->setPixmap(QPixmap::fromImage(configurator::Image("message")));

    Button1 = new QPushButton("Хорошо", this);
    Button1->setGeometry(72, 72, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TFormatMesForm::Button1Click);

    StaticText1 = new QLabel(this);
    StaticText1->setGeometry(64, 8, 137, 49);
    StaticText1->setFixedSize(137, 49);
    StaticText1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    StaticText1->setWordWrap(true);
    // The notice quotes what the user typed: never read it as markup.
    StaticText1->setTextFormat(Qt::PlainText);
}

void TFormatMesForm::SetText(const QString& text) {
    StaticText1->setText(DisplayLines(text));
}

void TFormatMesForm::ShowNotice(const QString& text) {
    SetText(text);
    exec();
}

void TFormatMesForm::Button1Click() {
    accept();
}

void TFormatMesForm::setVisible(bool visible) {
    if (visible)
        FormShow();
    QDialog::setVisible(visible);
}

// Centred on the main window's outer frame, also after the main window was moved.
void TFormatMesForm::FormShow() {
    const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
    if (main)
        CentreOn(this, main);
}
