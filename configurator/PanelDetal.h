#pragma once
// The detail panel beside the list: the selected item's name and kind, and for a channel
// item its value, with an input and "Записать!" for a writable channel. It shows one
// moment: ShowItem takes the value and the list selection, the poll does not update them.
#include <QFrame>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TVItem;

class TPanelDetal : public QFrame {
    Q_OBJECT
public:
    explicit TPanelDetal(QWidget* parent = nullptr);

    // Raised by the write button with the button as sender; the owner reads ValueEdit's
    // text or ValueComboBox's current index (-1: nothing chosen). Empty: the button does
    // nothing.
    std::function<void(QObject* sender)> OnWrite;

    QLabel* NameLabel; // "Имя: " and the caption; bold in the panel's font at creation
    QLabel* KindLabel; // "Канал", "Файл" or "Папка"
    QLabel* HexLabel;  // "$" before the edit of a hexadecimal channel
    QLineEdit* ValueEdit;
    QComboBox* ValueComboBox; // the names of a channel shown by name; pick only
    QPushButton* WriteButton; // "Записать!"

    TVItem* Item = nullptr; // borrowed

    // Lays the panel out for Item; nothing is shown without one.
    void ShowItem();

private:
    void WriteButtonClick();
    void ShowFolder();
    void ShowChanal();
    void ShowFile();
    void ShowCardFolder();
    void ShowKind(const QString& kind);
    void HideValueControls();
};
