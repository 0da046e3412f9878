#pragma once
// The exchange-error dialog: shown modally by the card reader when a card request
// fails; Retry repeats the request, Abort or the close box give up.
#include "CardPrompt.h"

#include <QDialog>
#include <cstdint>

class QFrame;
class QLabel;
class QPushButton;

class TProblemConectionForm : public QDialog {
    Q_OBJECT
public:
    // Modal results, numbered as the caller compares them.
    static constexpr int ClosedResult = 2;
    static constexpr int AbortResult = 3;
    static constexpr int RetryResult = 4;

    // Centred on mainWindow at each showing; it is also the dialog's owner.
    explicit TProblemConectionForm(QWidget* mainWindow = nullptr);

    QPushButton* AbortButton;
    QPushButton* RetryButton;
    QFrame* NoAnsverPanel;
    QLabel* Label1;
    QFrame* NoCardPanel;
    QLabel* Label2;
    QFrame* ExceptPanel;
    QLabel* Label3;

    uint8_t ProblemKind = pkNoAnswer; // TProblemKind; set before each showing

    // The close box gives up like Abort, with its own result; Escape does nothing.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void AbortButtonClick();
    void RetryButtonClick();

private:
    void FitTexts();
    void FormCreate();
    void FormShow();
    void CentreOnMainWindow();
    void ShowOnly(QFrame* panel);
};

// The card reader's retry prompt, answered by the dialog.
class TProblemPrompt : public TRetryPrompt {
public:
    explicit TProblemPrompt(TProblemConectionForm& form) : form_(form) {}
    bool AskRetry(TProblemKind kind) override;

private:
    TProblemConectionForm& form_;
};
