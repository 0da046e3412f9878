#pragma once
// The link-settings dialog: COM port, baud rate, poll period, reply time-out and, while a
// project is open, the instrument's network address. OK writes the main window's link
// values and the project's address and has the settings saved at once; the running link
// takes the new values only at the next connect.
#include "Settings.h"

#include <QDialog>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The open project as the dialog sees it: its Modbus slave address.
class TProjectAddress {
public:
    virtual ~TProjectAddress() = default;
    virtual uint8_t Address() const = 0;
    virtual void SetAddress(uint8_t address) = 0;
};

// The main window as the dialog sees it. Window thread only.
class TConSetOwner {
public:
    virtual ~TConSetOwner() = default;
    // Port, PortSpeed, ScanRate and TimeOut.
    virtual TLinkValues LinkValues() const = 0;
    virtual void SetLinkValues(const TLinkValues& values) = 0;
    // The open project; nullptr while none is open.
    virtual TProjectAddress* ProjectAddress() = 0;
    // Writes the main window's settings to the settings store now.
    virtual void SaveSettings() = 0;
};

class TConSetForm : public QDialog {
    Q_OBJECT
public:
    // Builds the port list from the ports present now; ports that appear later are not
    // offered until the program starts again.
    explicit TConSetForm(TConSetOwner& owner, QWidget* parent = nullptr);

    // Fills the fields from the main window and the project, then shows the dialog
    // modally. The result is not used: OK has stored everything already.
    void ShowSettings();
    // The filling alone.
    void FillFields();

    // Checks the fields in order; the first bad one gets the focus with its text
    // selected and nothing is stored. Otherwise stores, saves and closes with OK.
    void YesButtonClick();
    // Closes with Cancel; nothing is stored.
    void CancelButtonClick();

    static inline const QString NoDeviceText = QStringLiteral("Нет устройства");

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QComboBox* PortComboBox;
    QComboBox* SpeedComboBox;
    QLineEdit* ScanRateEdit;
    QLineEdit* AddrEdit;
    QPushButton* CancelButton;
    QPushButton* YesButton;
    QLineEdit* TimeOutEdit;

protected:
    // Enter and Esc in the input fields act as "Да" and "Отмена".
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool FormKeyDown(int key);
    void Refuse(QLineEdit* field);

    TConSetOwner& Owner;
};
