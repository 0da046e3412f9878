// The exchange-error dialog offscreen: one panel per kind, the results of its buttons,
// keys and close box, its place over the main window, and the retry prompt on top of it.
#include "MessageBox.h"
#include "ProblemConWin.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Runs the dialog modally; `inside` runs once it is shown and must end it.
int RunModal(TProblemConectionForm& form, std::function<void()> inside) {
    QTimer::singleShot(0, &form, [&form, inside] {
        inside();
        if (form.isVisible()) {
            ADD_FAILURE() << "the dialog is still open";
            form.done(-1);
        }
    });
    return form.exec();
}

struct Shown {
    bool noAnswer, noCard, exception;
};

Shown Panels(const TProblemConectionForm& f) {
    return {f.NoAnsverPanel->isVisible(), f.NoCardPanel->isVisible(), f.ExceptPanel->isVisible()};
}

TEST(ProblemDialog, LooksAsTheUserKnowsIt) {
    TProblemConectionForm form;
    EXPECT_EQ(form.ProblemKind, pkNoAnswer);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Ошибка обмена с прибором!"));
    // The layout's size at the least: a wider face widens the window to hold its texts.
    EXPECT_GE(form.width(), 322);
    EXPECT_EQ(form.height(), 156);
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.AbortButton->text(), QStringLiteral("Разорвать соединение"));
    EXPECT_EQ(form.AbortButton->pos(), QPoint(168, 120));
    EXPECT_GE(form.AbortButton->width(), 137);
    EXPECT_EQ(form.AbortButton->height(), 25);
    EXPECT_EQ(form.RetryButton->text(), QStringLiteral("Повторить запрос"));
    EXPECT_EQ(form.RetryButton->geometry(), QRect(16, 120, 137, 25));
    EXPECT_FALSE(form.AbortButton->isDefault());
    EXPECT_FALSE(form.RetryButton->isDefault());
    EXPECT_EQ(form.AbortButton->nextInFocusChain(), form.RetryButton);
    EXPECT_EQ(form.Label1->text(),
              QStringLiteral("Прибор не ответил. Возможно проблемы с линией связи."));
    EXPECT_EQ(form.Label2->text(), QStringLiteral("Прибор ответил:\"Нет карты в картопиемнике\""));
    EXPECT_EQ(form.Label3->text(), QStringLiteral("Прибор ответил Исключительный ответ"));
    EXPECT_EQ(form.Label1->parentWidget(), form.NoAnsverPanel);
    EXPECT_EQ(form.Label2->pos(), QPoint(48, 8));
    EXPECT_EQ(form.Label3->pos(), QPoint(72, 8));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinMaxButtonsHint);
}

TEST(ProblemDialog, EachShowingShowsThePanelOfItsKindAloneAtTheTop) {
    TProblemConectionForm form;
    struct Case {
        uint8_t kind;
        Shown want;
    };
    // Three failures in a row of different kinds, then a kind that changes no panel.
    const std::vector<Case> cases = {
        {pkNoAnswer, {true, false, false}},  {pkNoCard, {false, true, false}},
        {pkException, {false, false, true}}, {7, {false, false, true}},
        {pkNoAnswer, {true, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.kind));
        form.ProblemKind = c.kind;
        RunModal(form, [&] {
            const Shown got = Panels(form);
            EXPECT_EQ(got.noAnswer, c.want.noAnswer);
            EXPECT_EQ(got.noCard, c.want.noCard);
            EXPECT_EQ(got.exception, c.want.exception);
            for (QFrame* p : {form.NoAnsverPanel, form.NoCardPanel, form.ExceptPanel}) {
                if (p->isVisible()) {
                    EXPECT_EQ(p->geometry(), QRect(0, 0, form.width(), 100));
                }
            }
            EXPECT_EQ(form.focusWidget(), form.RetryButton);
            form.AbortButton->click();
        });
    }
}

TEST(ProblemDialog, ButtonsKeysAndTheCloseBoxGiveTheirResults) {
    TProblemConectionForm form;
    EXPECT_EQ(RunModal(form, [&] { form.RetryButton->click(); }), 4);
    EXPECT_EQ(RunModal(form, [&] { form.AbortButton->click(); }), 3);
    EXPECT_EQ(RunModal(form, [&] { form.close(); }), 2);
    // Enter acts on Retry, which has the focus; Escape does nothing.
    EXPECT_EQ(RunModal(form,
                       [&] {
                           ASSERT_EQ(form.focusWidget(), form.RetryButton);
                           QTest::keyClick(form.focusWidget(), Qt::Key_Escape);
                           EXPECT_TRUE(form.isVisible());
                           QTest::keyClick(form.focusWidget(), Qt::Key_Return);
                       }),
              4);
}

TEST(ProblemDialog, IsCentredOnTheMainWindowAtEachShowing) {
    QWidget main;
    main.setGeometry(100, 80, 800, 600);
    main.show();
    TProblemConectionForm form(&main);
    for (const QRect& place :
         {QRect(100, 80, 800, 600), QRect(333, 41, 501, 377), QRect(500, 400, 301, 101)}) {
        main.setGeometry(place);
        RunModal(form, [&] {
            const QRect m = main.frameGeometry();
            const QRect own = form.frameGeometry();
            EXPECT_EQ(own.left(), m.left() + m.width() / 2 - own.width() / 2);
            EXPECT_EQ(own.top(), m.top() + m.height() / 2 - own.height() / 2);
            form.AbortButton->click();
        });
    }
}

TEST(ProblemDialog, PromptRetriesOnlyOnRetry) {
    TProblemConectionForm form;
    TProblemPrompt prompt(form);
    TRetryPrompt& asked = prompt;
    struct Case {
        TProblemKind kind;
        std::function<void()> answer;
        bool retry;
    };
    const std::vector<Case> cases = {
        {pkNoCard, [&] { form.RetryButton->click(); }, true},
        {pkException, [&] { form.AbortButton->click(); }, false},
        {pkNoAnswer, [&] { form.close(); }, false},
    };
    for (const Case& c : cases) {
        QTimer::singleShot(0, &form, [&] {
            EXPECT_EQ(form.ProblemKind, c.kind);
            c.answer();
        });
        EXPECT_EQ(asked.AskRetry(c.kind), c.retry);
    }
}

// Once the program's close has begun, the prompt gives up unseen, as the close box does:
// nothing holds the close.
TEST(ProblemDialog, PromptGivesUpUnseenOnceTheProgramCloses) {
    TProblemConectionForm form;
    TProblemPrompt prompt(form);
    bool shown = false;
    QTimer::singleShot(0, &form, [&] {
        shown = form.isVisible();
        form.RetryButton->click();
    });
    platform::QuietClose close;
    close.Begin();
    EXPECT_FALSE(prompt.AskRetry(pkNoAnswer));
    QCoreApplication::processEvents();
    EXPECT_FALSE(shown);
}

} // namespace
