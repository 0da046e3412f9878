#include "FormatMes.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace {

// The 48 x 48 information sign: a speech bubble with a blue letter i.
QPixmap InformationPicture() {
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.5));
    p.setBrush(Qt::white);
    const QPointF tail[] = {{12, 34}, {8, 45}, {22, 36}};
    p.drawPolygon(tail, 3);
    p.drawEllipse(QRectF(2, 3, 44, 34));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x50, 0xd0));
    p.drawEllipse(QRectF(21, 8, 6, 6));
    p.drawRoundedRect(QRectF(21, 16, 6, 16), 1.5, 1.5);
    return QPixmap::fromImage(image);
}

} // namespace

TFormatMesForm::TFormatMesForm(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle("Внимание!");
    setFixedSize(213, 104);
    // The layout is drawn for an 8-point font: two lines of a range notice fit the box.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    Image1 = new QLabel(this);
    Image1->setGeometry(8, 8, 48, 48);
    Image1->setPixmap(InformationPicture());

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
    QString shown = text;
    shown.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    StaticText1->setText(shown);
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
    if (!main)
        return;
    // The window system knows the frame only once the native window exists.
    create();
    const QRect m = main->frameGeometry();
    const QRect f = frameGeometry();
    move(m.left() + (m.width() - f.width()) / 2, m.top() + (m.height() - f.height()) / 2);
}
