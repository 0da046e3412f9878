#include "Sory.h"

#include "DialogParts.h"
#include "LayoutFont.h"

#include <QLabel>
#include <QPushButton>

TSoryForm::TSoryForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Внимание!!!");
    setFixedSize(401, 132);
    platform::SetLayoutFont(this);

    viewer::Picture("notice", this, 12, 16);

    QLabel* line = viewer::Text("Данная функция в этой версии программы", this, 72, 18);
    line->setFont(viewer::BoldFont(this));
    line->setStyleSheet("color: #ff0000;");
    line->adjustSize();
    QLabel* notice = viewer::Text("НЕ поддерживается.", this, 72, 38);
    notice->setFont(viewer::BoldFont(this, 16, QFont::Black));
    notice->setStyleSheet("color: #ff0000;");
    notice->adjustSize();

    viewer::Separator(this, QRect(8, 84, 385, 2));
    ButtonOk = viewer::Button("OK", this, QRect(163, 96, 75, 25));
    ButtonOk->setDefault(true);
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
}
