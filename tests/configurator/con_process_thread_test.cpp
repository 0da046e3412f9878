#include "ConProcess.h"
#include "ConnectRecorders.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <thread>

namespace {

// The polling master reports from the port thread while the window thread is busy; the
// window thread then handles every report, in order, and alone touches the controls.
TEST(ConProcessFromThePortThread, ReportsArriveInOrderInTheWindowThread) {
    RecordingConnectOwner owner;
    TConnectProcessForm form(owner);
    TConnectProcessLink& link = form.Link();
    constexpr int kRequests = 2000;

    std::thread port([&link] {
        TConnectProgress mismatch;
        mismatch.Code = lnkMismatch;
        mismatch.MessageText = "Поиск устройства...";
        mismatch.ErrorText = "Внимание!!!";
        link.Post(mismatch);
        link.SetStage("Поиск устройства...", 1);
        TConnectProgress p;
        for (int i = 0; i < kRequests; ++i) {
            p.Code = i % 2 ? lnkReply : lnkRequest;
            link.Post(p);
            p.Code = lnkProgress;
            p.MessageText = "Обновляется пакет";
            p.LParam = i;
            p.ProgressMax = kRequests;
            p.ProgressPos = i;
            link.Post(p);
            p.MessageText.clear();
        }
        p.Code = lnkCycle;
        link.Post(p);
    });
    port.join();
    QCoreApplication::sendPostedEvents();

    EXPECT_EQ(owner.Requests, kRequests / 2);
    EXPECT_EQ(owner.Answers, kRequests / 2);
    EXPECT_EQ(form.MesageLabel->text(), "Обновляется пакет" + QString::number(kRequests - 1));
    EXPECT_EQ(form.ProgressBar1->value(), kRequests - 1);
    // The stage came after the mismatch and so undid it.
    EXPECT_TRUE(form.ErrStaticText->isHidden());
    EXPECT_EQ(form.Animate1->CommonAVI(), 1);
    EXPECT_EQ(owner.Calls, QStringList({"refresh"}));
}

} // namespace
