#include "PanelDetal.h"

#include "VItem.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TPanelDetal::TPanelDetal(QWidget* parent) : QFrame(parent) {
    NameLabel = new QLabel(this);
    // A font of its own: later changes of the panel's font do not reach it.
    QFont bold = font();
    bold.setBold(true);
    bold.setResolveMask(QFont::AllPropertiesResolved);
    NameLabel->setFont(bold);
    NameLabel->move(10, 10);

    KindLabel = new QLabel(this);
    KindLabel->move(10, 10);

    ValueEdit = new QLineEdit(this);
    ValueEdit->setGeometry(10, 50, 180, ValueEdit->sizeHint().height());

    ValueComboBox = new QComboBox(this);
    ValueComboBox->setEditable(false);
    ValueComboBox->setGeometry(10, 50, 180, ValueComboBox->sizeHint().height());

    WriteButton = new QPushButton("Записать!", this);
    WriteButton->setGeometry(10, 80, 180, WriteButton->sizeHint().height());
    connect(WriteButton, &QPushButton::clicked, this, &TPanelDetal::WriteButtonClick);

    HexLabel = new QLabel("$", this);
    HexLabel->move(2, 55);
    HexLabel->adjustSize();

    ShowItem();
}

void TPanelDetal::WriteButtonClick() {
    if (OnWrite)
        OnWrite(WriteButton);
}

void TPanelDetal::ShowItem() {
    if (!Item) {
        for (QWidget* w : std::initializer_list<QWidget*>{NameLabel, KindLabel, ValueEdit,
                                                          ValueComboBox, HexLabel, WriteButton})
            w->hide();
        return;
    }
    NameLabel->setText(QStringLiteral("Имя: ") + Item->GetCaption());
    NameLabel->adjustSize();
    NameLabel->show();
    switch (Item->Kind) {
    case vkFolder:
        ShowFolder();
        break;
    case vkChanal:
        ShowChanal();
        break;
    case vkMMC:
        KindLabel->hide();
        HideValueControls();
        break;
    case vkCardFile:
        ShowFile();
        break;
    case vkCardDir:
        ShowCardFolder();
        break;
    }
}

void TPanelDetal::ShowKind(const QString& kind) {
    KindLabel->setText(kind);
    KindLabel->adjustSize();
    KindLabel->move(10, 10);
    KindLabel->show();
    NameLabel->move(10, 30);
}

void TPanelDetal::HideValueControls() {
    ValueEdit->hide();
    ValueComboBox->hide();
    HexLabel->hide();
    WriteButton->hide();
}

void TPanelDetal::ShowFolder() {
    ShowKind(QStringLiteral("Папка"));
    HideValueControls();
}

void TPanelDetal::ShowFile() {
    ShowKind(QStringLiteral("Файл"));
    HideValueControls();
}

void TPanelDetal::ShowCardFolder() {
    ShowKind(QStringLiteral("Папка"));
    HideValueControls();
}

void TPanelDetal::ShowChanal() {
    ShowKind(QStringLiteral("Канал"));
    HideValueControls();
    const TChanal* c = Item->Chanal;
    // Without a usable channel there is nothing to lay out by: the value text ("Не задано"
    // or "Недоступно") in a read-only edit, and no input.
    if (!c || !c->Usable()) {
        ValueEdit->setText(Item->GetValueText());
        ValueEdit->setReadOnly(true);
        ValueEdit->move(10, 50);
        ValueEdit->show();
        return;
    }
    const TChanalFormat format = c->GetFormat();
    const bool writable = c->GetAccess() == cmRW;
    if (format == cfStr) {
        ValueComboBox->clear();
        if (const QStringList* names = c->GetList())
            ValueComboBox->addItems(*names);
        ValueComboBox->setCurrentIndex(c->GetListIndex());
        ValueComboBox->move(10, 50);
        ValueComboBox->show();
    } else {
        ValueEdit->setText(c->GetValueText());
        ValueEdit->setReadOnly(!writable);
        ValueEdit->move(10, 50);
        ValueEdit->show();
        if (format == cfHex) {
            HexLabel->move(2, 55);
            HexLabel->show();
        }
    }
    if (writable) {
        WriteButton->move(10, 80);
        WriteButton->show();
    }
}
