#pragma once
// The notice for functions this version does not have.
#include <QDialog>

class QPushButton;

class TSoryForm : public QDialog {
    Q_OBJECT
public:
    explicit TSoryForm(QWidget* parent = nullptr);

    QPushButton* ButtonOk;
};
