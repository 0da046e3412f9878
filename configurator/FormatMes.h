#pragma once
// The configurator's small modal notice: a refused value typed in the detail panel.
// Created once with the main window as parent, shown again for every notice, each time
// centred on the main window where it is at that moment.
#include "Notice.h"

#include <QDialog>

class QLabel;
class QPushButton;

class TFormatMesForm : public QDialog, public TNoticeHandler {
    Q_OBJECT
public:
    explicit TFormatMesForm(QWidget* mainWindow = nullptr);

    QLabel* Image1;       // the information sign
    QLabel* StaticText1;  // the notice, centred, clipped to its fixed box
    QPushButton* Button1; // "Хорошо"

    // Sets the notice; a line feed followed by a carriage return (as the range notices
    // write it), a carriage return followed by a line feed, or either alone is one break.
    void SetText(const QString& text);
    // SetText, then shows the form modally until the user closes it.
    void ShowNotice(const QString& text) override;

    void setVisible(bool visible) override;

private:
    void Button1Click();
    void FormShow();
};
