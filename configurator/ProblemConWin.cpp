#include "ProblemConWin.h"

#include "MessageBox.h"
#include "WindowParts.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr int kClientWidth = 322;
constexpr int kClientHeight = 156;
constexpr int kShownPanelHeight = 100;
constexpr int kButtonTop = 120;
constexpr int kButtonWidth = 137;
constexpr int kButtonGap = 15;   // between Retry and Abort
constexpr int kRightMargin = 17; // right of Abort
constexpr int kTextMargin = 16;  // right of the longest text, as left of Label1

QFrame* MakePanel(QWidget* parent, int top, int height) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(0, top, kClientWidth, height);
    panel->setFocusPolicy(Qt::NoFocus);
    return panel;
}

QLabel* MakeLabel(QFrame* panel, const QString& text, int left, int top) {
    auto* label = new QLabel(text, panel);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, int left) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(left, kButtonTop, FittingWidth(button, kButtonWidth), 25);
    button->setAutoDefault(true); // Enter acts on the button that has the focus
    button->setDefault(false);
    return button;
}
} // namespace

TProblemConectionForm::TProblemConectionForm(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                              Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Ошибка обмена с прибором!"));
    SetLayoutFont(this);
    setFixedSize(kClientWidth, kClientHeight);
    AbortButton = MakeButton(this, QStringLiteral("Разорвать соединение"), 168);
    RetryButton = MakeButton(this, QStringLiteral("Повторить запрос"), 16);
    setTabOrder(AbortButton, RetryButton);
    NoAnsverPanel = MakePanel(this, 0, 50);
    Label1 =
        MakeLabel(NoAnsverPanel,
                  QStringLiteral("Прибор не ответил. Возможно проблемы с линией связи."), 16, 16);
    NoCardPanel = MakePanel(this, 50, 31);
    Label2 = MakeLabel(NoCardPanel, QStringLiteral("Прибор ответил:\"Нет карты в картопиемнике\""),
                       48, 8);
    ExceptPanel = MakePanel(this, 81, 32);
    Label3 = MakeLabel(ExceptPanel, QStringLiteral("Прибор ответил Исключительный ответ"), 72, 8);
    FitTexts();
    connect(AbortButton, &QPushButton::clicked, this, &TProblemConectionForm::AbortButtonClick);
    connect(RetryButton, &QPushButton::clicked, this, &TProblemConectionForm::RetryButtonClick);
    FormCreate();
}

void TProblemConectionForm::FitTexts() {
    // A face wider than the layout's: Abort moves clear of a wider Retry, and the window
    // and its panels widen to hold the longest text; nothing narrows.
    AbortButton->move(std::max(AbortButton->x(), RetryButton->geometry().right() + 1 + kButtonGap),
                      kButtonTop);
    int width = std::max(kClientWidth, AbortButton->geometry().right() + 1 + kRightMargin);
    for (const QLabel* label : {Label1, Label2, Label3})
        width = std::max(width, label->geometry().right() + 1 + kTextMargin);
    setFixedSize(width, kClientHeight);
    for (QFrame* panel : {NoAnsverPanel, NoCardPanel, ExceptPanel})
        panel->resize(width, panel->height());
}

void TProblemConectionForm::FormCreate() {
    ProblemKind = pkNoAnswer;
}

void TProblemConectionForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TProblemConectionForm::FormShow() {
    CentreOnMainWindow();
    switch (ProblemKind) {
    case pkNoAnswer:
        ShowOnly(NoAnsverPanel);
        break;
    case pkNoCard:
        ShowOnly(NoCardPanel);
        break;
    case pkException:
        ShowOnly(ExceptPanel);
        break;
    default:
        break; // an unknown kind changes no panel
    }
    RetryButton->setFocus();
}

void TProblemConectionForm::CentreOnMainWindow() {
    const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
    if (!main)
        return;
    // Outer sizes, each halved and truncated toward zero before the difference (CentreOn
    // halves the difference, which is a pixel off when the main window is the smaller).
    const QRect m = main->frameGeometry();
    const QRect own = frameGeometry();
    move(m.left() + m.width() / 2 - own.width() / 2, m.top() + m.height() / 2 - own.height() / 2);
}

void TProblemConectionForm::ShowOnly(QFrame* panel) {
    for (QFrame* p : {NoAnsverPanel, NoCardPanel, ExceptPanel})
        if (p != panel)
            p->hide();
    // The one panel shown sits alone at the top, above the buttons.
    panel->setGeometry(0, 0, width(), kShownPanelHeight);
    panel->show();
}

void TProblemConectionForm::AbortButtonClick() {
    done(AbortResult);
}

void TProblemConectionForm::RetryButtonClick() {
    done(RetryResult);
}

void TProblemConectionForm::reject() {
    done(ClosedResult);
}

void TProblemConectionForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TProblemPrompt::AskRetry(TProblemKind kind) {
    // The program is closing: given up unseen, as the close box gives up.
    if (platform::QuietCloseBegun())
        return false;
    form_.ProblemKind = kind;
    return form_.exec() == TProblemConectionForm::RetryResult;
}
