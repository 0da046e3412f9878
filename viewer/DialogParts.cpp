#include "DialogParts.h"

#include "ViewerImages.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace viewer {

QLabel* Picture(const QString& image, QWidget* parent, int x, int y) {
    auto* label = new QLabel(parent);
    label->setGeometry(x, y, 48, 48);
    label->setPixmap(QPixmap::fromImage(Image(image)));
    return label;
}

QLabel* Text(const QString& text, QWidget* parent, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton* Button(const QString& text, QWidget* parent, const QRect& geometry) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(geometry);
    return button;
}

QFrame* Separator(QWidget* parent, const QRect& geometry) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(geometry);
    return line;
}

QFont BoldFont(const QWidget* parent, int pointSize, int weight) {
    QFont font = parent->font();
    if (pointSize > 0)
        font.setPointSize(pointSize);
    font.setWeight(QFont::Weight(weight));
    return font;
}

} // namespace viewer
