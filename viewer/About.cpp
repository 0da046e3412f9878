#include "About.h"

#include "DialogParts.h"
#include "LayoutFont.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

using viewer::BoldFont;
using viewer::Text;

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent), Version("1.1001") {
    setWindowTitle("О программе");
    setFixedSize(323, 211);
    // A window does not inherit its owner's font; taken before the headings derive theirs.
    platform::SetLayoutFont(this);

    AboutImage = viewer::Picture("brisquel", this, 12, 12);

    StaticText1 = new QLabel("Brisquel", this);
    StaticText1->setFont(BoldFont(this, 20));
    StaticText1->setStyleSheet("color: #000080;");
    StaticText1->move(72, 8);
    StaticText1->adjustSize();

    const QFont larger = BoldFont(this, font().pointSize() + 2);
    const QFont bold = BoldFont(this);
    const struct {
        const char* text;
        int x, y;
        const QFont& font;
    } lines[] = {
        {"Программа просмотра", 72, 44, larger},
        {"файлов архива", 72, 62, larger},
        {"форматов:", 72, 84, bold},
        {"*.xxx - зашифрованый архив", 88, 100, bold},
        {"*.csv - архив", 88, 116, bold},
    };
    for (const auto& line : lines) {
        QLabel* label = Text(line.text, this, line.x, line.y);
        label->setFont(line.font);
        label->adjustSize();
    }

    VersionLable = new QLabel(this);
    VersionLable->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    VersionLable->setGeometry(163, 134, 152, 16);
    viewer::Separator(this, QRect(8, 151, 307, 2));

    QLabel* author = Text("<b>Автор: </b>команда Vendrill и Brisquel", this, 8, 157);
    author->setTextFormat(Qt::RichText);
    author->adjustSize();
    Text("Связь: трекер задач проекта", this, 8, 172);

    ButtonOK = viewer::Button("OK", this, QRect(124, 189, 75, 20));
    ButtonOK->setDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutForm::showEvent(QShowEvent* event) {
    VersionLable->setText("Версия: " + Version);
    // Centred on the screen at every showing, wherever the box was moved before.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        const QSize size = frameGeometry().size();
        move(area.x() + area.width() / 2 - size.width() / 2,
             area.y() + area.height() / 2 - size.height() / 2);
    }
    QDialog::showEvent(event);
}
