#include "ConProcess.h"
#include "ConnectRecorders.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

const QString kMismatch = QString("Внимание!!!") + "\n\r" +
                          "Найденое устройство не соответствует файлу описания." + "\n\r" +
                          "Дальнейшая работа с этим устройством не возможна.";

// The dialog over a main window; reports go through the dialog's own link, as the polling
// master sends them, and are handled when the test lets the event loop run.
class ConProcessDialog : public ::testing::Test {
public:
    void SetUp() override {
        mainWindow.setGeometry(100, 80, 777, 501);
        mainWindow.show();
        // A modal loop that never ends would hang the run; this ends it and says so.
        guard.setSingleShot(true);
        guard.setInterval(20000);
        QObject::connect(&guard, &QTimer::timeout, [this] {
            guardFired = true;
            form.done(QDialog::Rejected);
        });
        guard.start();
    }
    void TearDown() override {
        guard.stop();
        EXPECT_FALSE(guardFired) << "the dialog never closed";
    }

    void Post(TLinkCode code, const QString& message = {}, int32_t lParam = 0) {
        TConnectProgress p;
        p.Code = code;
        p.LParam = lParam;
        p.MessageText = message;
        form.Link().Post(p);
    }
    void PostProgress(const QString& message, int32_t lParam, int32_t min, int32_t max,
                      int32_t pos) {
        TConnectProgress p;
        p.Code = lnkProgress;
        p.LParam = lParam;
        p.MessageText = message;
        p.ProgressMin = min;
        p.ProgressMax = max;
        p.ProgressPos = pos;
        form.Link().Post(p);
    }
    void PostMismatch(const QString& message, const QString& error) {
        TConnectProgress p;
        p.Code = lnkMismatch;
        p.MessageText = message;
        p.ErrorText = error;
        form.Link().Post(p);
    }
    // Runs in the window thread after everything posted before it.
    void Then(std::function<void()> step) {
        QMetaObject::invokeMethod(&form, std::move(step), Qt::QueuedConnection);
    }
    // Handles everything posted so far, modal loops included.
    void Run() { QCoreApplication::sendPostedEvents(); }

    // Where the dialog stands centred on the main window's outer frame.
    QPoint Centred() const {
        const QRect main = mainWindow.frameGeometry();
        return {main.left() + (main.width() - 309) / 2, main.top() + (main.height() - 181) / 2};
    }
    int Bar() const { return form.ProgressBar1->value(); }
    bool BarFull() const { return Bar() == form.ProgressBar1->maximum(); }
    bool BarEmpty() const { return Bar() == form.ProgressBar1->minimum(); }
    QString Status() const { return form.MesageLabel->text(); }
    bool ShowsError() const {
        EXPECT_NE(form.ErrStaticText->isHidden(), form.Animate1->isHidden());
        return !form.ErrStaticText->isHidden();
    }

    QWidget mainWindow;
    RecordingConnectOwner owner;
    TConnectProcessForm form{owner, &mainWindow};
    QTimer guard;
    bool guardFired = false;
};

TEST_F(ConProcessDialog, StartsHiddenWithTheSearchAnimation) {
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form.size(), QSize(309, 181));
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(ShowsError());
    EXPECT_TRUE(form.ErrStaticText->font().bold());
    // Centred across its width, from its top down.
    EXPECT_EQ(form.ErrStaticText->alignment(), Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_EQ(form.Animate1->CommonAVI(), 1);
    EXPECT_GT(form.Animate1->FrameCount(), 1);
    EXPECT_FALSE(form.Animate1->Active());
    EXPECT_EQ(form.ProgressBar1->minimum(), 0);
    EXPECT_EQ(form.ProgressBar1->maximum(), 100);
    EXPECT_EQ(Bar(), 0);
    EXPECT_EQ(form.CancelButton->text(), "Отмена");
}

TEST_F(ConProcessDialog, SearchShowsModallyAndTheFirstFullReadClosesIt) {
    // What the polling master sends when the search begins.
    form.Link().SetStage("Поиск устройства...", 1);
    Post(lnkShow);
    Post(lnkStatus, "Поиск устройства...");
    Post(lnkRequest);
    bool modal = false, playing = false, error = true;
    QString status;
    QPoint place;
    Then([&] {
        modal = QApplication::activeModalWidget() == &form &&
                form.windowModality() == Qt::ApplicationModal;
        playing = form.Animate1->Active();
        error = ShowsError();
        status = Status();
        place = form.pos() - Centred();
        Post(lnkReply);
        Post(lnkStatus, "Обновляется пакет");
        PostProgress("Обновляется пакет", 0, 0, 1, 0);
        Post(lnkDone);
    });
    Run();

    EXPECT_TRUE(modal);
    EXPECT_TRUE(playing);
    EXPECT_FALSE(error);
    EXPECT_EQ(status, "Поиск устройства...");
    EXPECT_EQ(place, QPoint(0, 0));
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(owner.Requests, 1);
    EXPECT_EQ(owner.Answers, 1);
    EXPECT_EQ(Status(), "Обновляется пакет0");
    EXPECT_TRUE(owner.Calls.isEmpty());
}

TEST_F(ConProcessDialog, CentresOnTheMainWindowWhereverItStands) {
    for (const QRect& main : {QRect(0, 0, 1000, 700), QRect(300, 200, 120, 90)}) {
        mainWindow.setGeometry(main);
        QPoint place;
        Post(lnkShow);
        Then([&] {
            place = form.pos() - Centred();
            Post(lnkDone);
        });
        Run();
        EXPECT_EQ(place, QPoint(0, 0)) << main.x() << " " << main.y();
    }
}

TEST_F(ConProcessDialog, RequestsAndRepliesAreCountedAndTheBarRunsModulo100) {
    for (int i = 0; i < 250; ++i)
        Post(lnkRequest);
    for (int i = 0; i < 7; ++i)
        Post(lnkReply);
    Run();
    EXPECT_EQ(owner.Requests, 250);
    EXPECT_EQ(owner.Answers, 7);
    EXPECT_EQ(Bar(), 50);

    owner.Requests = 98;
    const int expected[] = {99, 0, 1};
    for (int bar : expected) {
        Post(lnkRequest);
        Run();
        EXPECT_EQ(Bar(), bar);
    }
    EXPECT_FALSE(form.isVisible());
}

TEST_F(ConProcessDialog, ProgressShowsTheTextWithThePacketIndexAndSetsTheBar) {
    PostProgress("Обновляется пакет", 12, 0, 20, 12);
    Run();
    EXPECT_EQ(Status(), "Обновляется пакет12");
    EXPECT_EQ(form.ProgressBar1->minimum(), 0);
    EXPECT_EQ(form.ProgressBar1->maximum(), 20);
    EXPECT_EQ(Bar(), 12);

    // Positions beyond the range show a full or empty bar, also those a request sets.
    const struct {
        int32_t min, max, pos;
        bool full, empty;
    } cases[] = {
        {0, 20, 30, true, false}, {5, 20, 2, false, true}, {0, 2, 2, true, false},
        {0, -1, 0, false, true},  {0, 0, 0, false, true},
    };
    for (const auto& c : cases) {
        PostProgress("p", 1, c.min, c.max, c.pos);
        Run();
        EXPECT_EQ(BarFull(), c.full) << c.min << " " << c.max << " " << c.pos;
        EXPECT_EQ(BarEmpty(), c.empty) << c.min << " " << c.max << " " << c.pos;
    }
    PostProgress("p", 1, 0, 2, 0);
    owner.Requests = 56;
    Post(lnkRequest);
    Run();
    EXPECT_TRUE(BarFull());
}

TEST_F(ConProcessDialog, StatusAndMismatchTexts) {
    Post(lnkStatus, "Устройство не отвечает...");
    Run();
    EXPECT_EQ(Status(), "Устройство не отвечает...");
    EXPECT_FALSE(ShowsError());

    PostMismatch("Поиск устройства...", kMismatch);
    Run();
    EXPECT_EQ(Status(), "Поиск устройства...");
    EXPECT_TRUE(ShowsError());
    EXPECT_EQ(form.ErrStaticText->text().split('\n'),
              QStringList({"Внимание!!!", "Найденое устройство не соответствует файлу описания.",
                           "Дальнейшая работа с этим устройством не возможна."}));
    EXPECT_EQ(form.ErrorText, kMismatch);
    EXPECT_EQ(form.Animate1->CommonAVI(), 0);
    EXPECT_FALSE(form.Animate1->Active());

    // The next search brings the animation back.
    form.Link().SetStage("Поиск устройства...", 1);
    Run();
    EXPECT_FALSE(ShowsError());
    EXPECT_EQ(form.Animate1->CommonAVI(), 1);
}

TEST_F(ConProcessDialog, AfterAMismatchTheDialogWaitsForCancelWhichDisconnects) {
    form.Link().SetStage("Поиск устройства...", 1);
    Post(lnkShow);
    bool upAfterMismatch = false, playing = true;
    PostMismatch("Поиск устройства...", kMismatch);
    Post(lnkRequest);
    Then([&] {
        upAfterMismatch = form.isVisible() && ShowsError();
        playing = form.Animate1->Active();
        EXPECT_TRUE(owner.Calls.isEmpty());
        form.CancelButton->click();
    });
    Run();
    EXPECT_TRUE(upAfterMismatch);
    EXPECT_FALSE(playing);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(owner.Calls, QStringList({"disconnect"}));
    EXPECT_EQ(owner.Requests, 1);

    // The next Go shows the animation again and plays it.
    form.Link().SetStage("Поиск устройства...", 1);
    Post(lnkShow);
    Then([&] {
        playing = form.Animate1->Active() && !ShowsError();
        Post(lnkDone);
    });
    Run();
    EXPECT_TRUE(playing);
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST_F(ConProcessDialog, EscAndCloseActAsCancel) {
    const std::function<void(ConProcessDialog&)> ways[] = {
        [](ConProcessDialog& t) { QTest::keyClick(&t.form, Qt::Key_Escape); },
        [](ConProcessDialog& t) { QTest::keyClick(t.form.CancelButton, Qt::Key_Escape); },
        [](ConProcessDialog& t) { t.form.close(); },
    };
    for (const auto& way : ways) {
        owner.Calls.clear();
        bool closedByIt = false;
        Post(lnkShow);
        Then([&] {
            way(*this);
            closedByIt = !form.isVisible();
        });
        Run();
        EXPECT_TRUE(closedByIt);
        EXPECT_EQ(form.result(), QDialog::Rejected);
        EXPECT_EQ(owner.Calls, QStringList({"disconnect"}));
        EXPECT_FALSE(form.Animate1->Active());
    }
}

TEST_F(ConProcessDialog, TheSearchAnimationPlaysOnOnceTheWindowIsRestored) {
    // Minimized with the main window, the dialog is hidden by the window system only.
    bool playing = false;
    Post(lnkShow);
    Then([&] {
        form.showMinimized();
        QCoreApplication::processEvents();
        form.showNormal();
        QCoreApplication::processEvents();
        playing = form.isVisible() && form.Animate1->Active();
        Post(lnkDone);
    });
    Run();
    EXPECT_TRUE(playing);
    EXPECT_FALSE(form.Animate1->Active());
}

TEST_F(ConProcessDialog, CycleRefreshesTheOpenProjectOnly) {
    Post(lnkCycle);
    Post(lnkCycle);
    Run();
    EXPECT_EQ(owner.Calls, QStringList({"refresh", "refresh"}));
    owner.HasProject = false;
    owner.Calls.clear();
    Post(lnkCycle);
    Run();
    EXPECT_TRUE(owner.Calls.isEmpty());
}

TEST_F(ConProcessDialog, DoneWhileHiddenAndUnknownCodesChangeNothing) {
    PostProgress("Обновляется пакет", 3, 0, 10, 3);
    Run();
    for (int code : {int(lnkDone), 8, 9, 1000, -1}) {
        TConnectProgress p;
        p.Code = static_cast<TLinkCode>(code);
        p.MessageText = "other";
        p.ErrorText = "error";
        p.ProgressMax = 1;
        form.Link().Post(p);
        Run();
        EXPECT_FALSE(form.isVisible()) << code;
        EXPECT_EQ(Status(), "Обновляется пакет3") << code;
        EXPECT_EQ(Bar(), 3) << code;
        EXPECT_EQ(form.ProgressBar1->maximum(), 10) << code;
        EXPECT_FALSE(ShowsError()) << code;
    }
    EXPECT_EQ(owner.Requests + owner.Answers, 0);
    EXPECT_TRUE(owner.Calls.isEmpty());

    // The next showing starts normally.
    bool up = false;
    Post(lnkShow);
    Then([&] {
        up = form.isVisible() && form.Animate1->Active();
        Post(lnkDone);
    });
    Run();
    EXPECT_TRUE(up);
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST(Animate, StepsThroughItsFramesInALoop) {
    QWidget parent;
    TAnimate animate(&parent);
    animate.SetCommonAVI(1);
    const int frames = animate.FrameCount();
    ASSERT_GT(frames, 1);
    animate.Play();
    EXPECT_TRUE(animate.Active());
    for (int i = 1; i <= frames; ++i) {
        animate.Step();
        EXPECT_EQ(animate.Frame(), i % frames);
    }
    // Only the search has frames of ours; the others are no animation and do not play.
    for (int anim : {0, 2, 8, 9, -1}) {
        animate.SetCommonAVI(anim);
        animate.Play();
        EXPECT_EQ(animate.FrameCount(), 0) << anim;
        EXPECT_FALSE(animate.Active()) << anim;
    }
}

} // namespace
