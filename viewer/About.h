#pragma once
// The about box: the program's name, what it opens, its version and its makers. It opens
// centred on the screen every time.
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // Shown as "Версия: " + Version at every showing.
    QString Version;

    QLabel* AboutImage;
    QLabel* StaticText1;
    QLabel* VersionLable;
    QPushButton* ButtonOK;

protected:
    void showEvent(QShowEvent* event) override;
};
