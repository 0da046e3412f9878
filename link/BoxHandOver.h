#pragma once
// Message boxes raised outside the window thread are shown by the window thread. The
// port thread shows a refused write's box and waits for it; only the window thread may
// touch widgets, so the box is handed over: queued here, shown by the window thread
// (from its event loop, or from a wait of the window thread for the port thread), and
// its answer handed back. A window thread that waits for the port thread keeps serving
// the hand-over, or cancels the boxes, so neither thread waits for the other for ever.
//
// The program installs one hand-over as the app-wide message box handler
// (platform::SetMessageBoxHandler), made in the window thread around the handler that
// really shows boxes there, and keeps it until every port thread has ended.
#include "MessageBox.h"

#include <QObject>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TBoxHandOver : public platform::MessageBoxHandler {
public:
    // In the window thread: window shows the boxes there.
    explicit TBoxHandOver(platform::MessageBoxHandler& window);
    // Cancels the boxes still waiting and waits until no asking thread is inside Show.
    ~TBoxHandOver() override;
    TBoxHandOver(const TBoxHandOver&) = delete;
    TBoxHandOver& operator=(const TBoxHandOver&) = delete;

    // Any thread. In the window thread the box shows at once. Another thread hands it
    // over, asks the window thread's event loop to serve it, and waits for the answer;
    // a cancelled box answers Cancel.
    platform::MsgResult Show(const QString& text, const QString& caption,
                             platform::MsgButtons buttons, platform::MsgIcon icon) override;

    // Window thread: shows every box handed over and not yet shown, oldest first.
    void ServePending();
    // Window thread: answers every box handed over with Cancel, also one on screen
    // (its later answer is dropped), and shows none.
    void CancelPending();
    // Boxes handed over and not yet answered.
    size_t Pending() const;

    // Window thread, around a wait for another thread: while set, wake is called (from
    // the asking thread) each time a box is handed over. Gives back the wake it replaces,
    // for a wait inside a wait to put back when it ends.
    std::function<void()> SetWaiterWake(std::function<void()> wake);
    // Window thread, around a wait that answers the boxes with Cancel: while set, a box
    // handed over is answered Cancel at once and never queued, so that the window's own
    // work served during the wait shows none. Gives back the setting it replaces.
    bool SetCancelling(bool cancelling);

    bool InWindowThread() const { return std::this_thread::get_id() == windowThread_; }

private:
    struct Request {
        QString text;
        QString caption;
        platform::MsgButtons buttons;
        platform::MsgIcon icon;
        bool answered = false;
        platform::MsgResult result = platform::MsgResult::Cancel;
    };
    void AnswerLocked(Request& request, platform::MsgResult result);

    platform::MessageBoxHandler& window_;
    const std::thread::id windowThread_;
    QObject context_; // in the window thread: the queued calls of ServePending

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Request>> queued_;
    std::vector<std::shared_ptr<Request>> onScreen_;
    std::function<void()> waiterWake_;
    int askers_ = 0;
    bool closing_ = false;
    bool cancelling_ = false;
};
